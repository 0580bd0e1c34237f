// The toon editor's frame: started from the configuration dialog, with
// its main window, stage window, message loop and commands.
#ifndef PIMBO_EDITOR_EDITOR_APP_H
#define PIMBO_EDITOR_EDITOR_APP_H

#include <windows.h>

// The frame editor's handle is frameEditorDialog (editor_controls.h), which
// the engine reads too.
struct EditorFrame {
    HWND mainWindow;        // none while no editor runs
    HWND stageWindow;
    HWND owner;
    HINSTANCE instance;
    HACCEL accelerators;    // "BUTTONS"
    HMENU popupMenu;        // the File button's menu
    int classesReady;
    int loopsRunning;       // editor loops on this thread, nested ones too
    int closingForced;      // set while CloseToonEditor closes the window
};

extern EditorFrame editorFrame;

int RunToonEditor(HINSTANCE instance, HWND owner, const char *name, int showCommand);
void CloseToonEditor(void);
void CenterWindowOnScreen(HWND window);
int OpenToonFile(HWND window);
int OpenFrameEditor(HWND window);
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
