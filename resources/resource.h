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

/* The program's own help: dialog, its text box, and the text */
#define IDD_HELP                2400
#define IDC_HELPTEXT            2401
#define IDR_HELPTEXT            2402

/* Editor menu commands */
#define IDM_FRAMENEW            110
#define IDM_FRAMEINSERT         111
#define IDM_FRAMEDELETE         112
#define IDM_FILESAVE            113
#define IDM_FRAMESAVE           114

#endif
