// The toon editor's frame: started from the configuration dialog, with
// its main window, stage window, keys and commands.
#ifndef PIMBO_EDITOR_EDITOR_APP_H
#define PIMBO_EDITOR_EDITOR_APP_H

#include <windows.h>
#include "toon/toon_document.h"

// One editor runs in a process at a time; its frame editor's handle is
// frameEditorDialog (editor_controls.h).
struct EditorFrame {
    HWND mainWindow;        // none while no editor runs
    HWND stageWindow;
    struct Stage *stage;    // the stage window's record while it lives
    HWND owner;
    HINSTANCE instance;
    HACCEL accelerators;    // "BUTTONS"
    HHOOK keyFilter;        // routes the editor's keys while its window lives
    int routingKey;         // set while the filter hands a key on
    HMENU popupMenu;        // the File button's menu
    int classesReady;
    DWORD stageSize;        // packed: the stage's size, from the screen's
    int backgroundNumber;   // the stage's tile: 0 plain "bg01", else the toon's
    ToonDocument toon;      // the toon being edited and played
};

extern EditorFrame editorFrame;

// Opens the editor's windows and returns 1; they run in the caller's message
// loop, which must hand each message to the thread's message filters
// (MSGF_DIALOGBOX) as a modal dialog's does. An editor already open is
// brought forward instead (0).
int RunToonEditor(HINSTANCE instance, HWND owner, int showCommand);
// Closes the editor as its close button does, asking about unsaved frames
// first; 0 when the editor stays (the user chose Cancel, or the frame
// editor has a box up, which is then brought forward).
int CloseToonEditor(void);
int OpenToonFile(HWND window);
// Where the toon's own files go and come from, with a trailing backslash:
// the folder of the toon being edited, the toon directory for a new one.
int EditedToonFolder(char *folder, DWORD size);
int OpenFrameEditor(HWND window);
// The speed and background of the toon just read take effect on the stage.
void TakeEditorToonHeader(void);
// The toon on the stage was replaced or edited: playback goes back to
// its first frame.
void ResetEditorPlayback(void);
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
