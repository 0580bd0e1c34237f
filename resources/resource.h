/* Resource and control ids of Pimbo95.scr, shared by the .rc files and the code. */
#ifndef PIMBO_RESOURCE_H
#define PIMBO_RESOURCE_H

/* Icon */
#define IDI_PIMBO               100

/* Strings */
#define IDS_PRODUCT             1   /* "Fizzy Pimbo's Parade" */
#define IDS_SAVER_TITLE         2   /* "Fizzy Pimbo Screen Saver" */
#define IDS_EDITOR_TITLE        3   /* "Fizzy Pimbo Toon File Editor" */
#define IDS_FIRST_STATEMENT     4
#define IDS_LAST_STATEMENT      197

/* Saver configuration dialog */
#define IDD_CONFIG              2003
#define IDC_HELPBUTTON          3
#define IDC_WALKRANDOM          1037
#define IDC_PLAYTOONS           1038
#define IDC_STATEMENTS          1040
#define IDC_BACKGROUNDS         1041
#define IDC_TOONLIST            1043
#define IDC_EDITTOONS           1044
#define IDC_TOONCOUNT           1045
#define IDC_TOONCOUNTLABEL      1046
#define IDC_PLAYTOON            1047
#define IDC_SIZECHOICE                1061

/* The program's own help: dialog, its text box, and the text */
#define IDD_HELP                2400
#define IDC_HELPTEXT            2401
#define IDR_HELPTEXT            2402

/* Frame editor: its menu and its controls */
#define IDR_FRAMEMENU           117
#define IDM_FILENEW             104
#define IDM_FILEOPEN            105
#define IDM_FILESAVEAS          106
#define IDM_FILECONFIGURE       108
#define IDM_FILEEXIT            109
#define IDM_FRAMENEW            110
#define IDM_FRAMEINSERT         111
#define IDM_FRAMEDELETE         112
#define IDM_FILESAVE            113
#define IDM_FRAMESAVE           114
#define IDM_PLAYSOUND           136
#define IDM_RECORDSOUND         137
#define IDM_SETVOLUME           138
#define IDC_FRAMESTORE          1012
#define IDC_FRAMEAPPEND         1015
#define IDC_FRAMENUMBER         1016
#define IDC_FRAMETEXT           1017
#define IDC_FRAMEX              1018
#define IDC_FRAMEY              1019
#define IDC_FRAMESECONDS        1020
#define IDC_FRAMEWINK           1052
#define IDC_TEXTMODE            1053
#define IDC_SOUNDMODE           1054
#define IDC_SOUNDLIST           1055
#define IDC_POSELIST            1056

/* Toon configure dialog */
#define IDC_CFGCAPTION          1023
#define IDC_CFGWIDTH            1024
#define IDC_CFGHEIGHT           1025
#define IDC_CFGHEIGHTLABEL      1028
#define IDC_CFGFRAMECOUNT       1029
#define IDC_CFGSPEED            1030
#define IDC_CFGVERSION          1031
#define IDC_CFGBACKGROUND       1035

/* Editor main window: the accelerator table "BUTTONS" and the File popup */
#define IDA_CONFIGURE           108   /* Ctrl+G */
#define IDA_FILEMENU            122   /* Alt+F */
#define IDA_PLAY                123   /* Alt+P */
#define IDA_CONTINUE            124   /* Alt+C */
#define IDA_SECONDS             125   /* Alt+S */
#define IDA_OPEN                126   /* Ctrl+O */
#define IDA_EDIT                127   /* Ctrl+E */
#define IDA_FRAMENUMBER         128   /* Alt+E */
#define IDA_FRAMEX              130   /* Alt+X */
#define IDA_FRAMEY              131   /* Alt+Y */
#define IDA_SAVE                134   /* Ctrl+S */
#define IDA_ACTION              135   /* Alt+W */
#define IDM_OPEN                1047
#define IDM_EDIT                1048
#define IDM_PLAY                1049
#define IDM_ABOUT               1050
#define IDM_EXIT                1051
#define IDM_EXPORTGIF           1052

/* About box */
#define IDC_ABOUTVERSION        1060

#endif
