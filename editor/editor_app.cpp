#include "editor/editor_app.h"
#include "show/toon_player.h"
#include "toon/toon_file.h"

// The editor's frame; its windows come with the editor itself.
struct EditorFrame {
    HWND mainWindow;
    HWND owner;
};

static EditorFrame editorFrame;

int RunToonEditor(HINSTANCE instance, HWND owner, const char *name, int showCommand)
{
    (void)showCommand;
    if (name && name[0])
        return RunToonPlayer(instance, NULL, IsToonFileName(name) ? name : "");
    editorFrame.owner = owner;
    // No editor window exists yet to start.
    return 0;
}

void CloseToonEditor(void)
{
    if (editorFrame.mainWindow)
        SendMessageA(editorFrame.mainWindow, WM_CLOSE, 0, 0);
}

void CenterWindowOnScreen(HWND window)
{
    RECT box;
    if (!GetWindowRect(window, &box))
        return;
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    MoveWindow(window, x, y, width, height, FALSE);
}
