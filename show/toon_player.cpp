#include "show/toon_player.h"
#include "show/saver_show.h"
#include "show/roster.h"
#include "engine/messages.h"
#include "engine/stage.h"
#include "engine/sequencer.h"
#include "resources/resource.h"

#include <string.h>

#define PLAYER_CLASS "SaverWndClass"

// Set before the class is registered: the mark that it exists.
static HINSTANCE playerInstance;
static HWND playerWindow;

static int RegisterPlayerClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = PlayerWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PIMBO));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    windowClass.lpszClassName = PLAYER_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

// The folder part of a path and the length of that part; the name follows.
static size_t FolderLength(const char *path)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; ++i)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            length = i + 1;
    return length;
}

int RunToonPlayer(HINSTANCE instance, HWND owner, const char *path)
{
    if (!path)
        path = "";
    // Cut, either part would name another file.
    const size_t folder = FolderLength(path);
    if (playerWindow || folder >= sizeof show.toonFolder || strlen(path + folder) >= sizeof roster.currentToon)
        return 0;
    if (!playerInstance) {
        playerInstance = instance;
        if (!RegisterPlayerClass(instance))
            return 0;
    }
    show.preview = 0;
    playerWindow = CreateWindowExA(0, PLAYER_CLASS, NULL, WS_POPUP, 0, 0,
                                   GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                   owner, NULL, instance, NULL);
    if (!playerWindow)
        return 0;
    ShowWindow(playerWindow, SW_SHOWNORMAL);
    UpdateWindow(playerWindow);
    // The show looks for its toon in this folder instead of the toon directory.
    memcpy(show.toonFolder, path, folder);
    show.toonFolder[folder] = '\0';
    lstrcpynA(roster.currentToon, path + folder, sizeof roster.currentToon);
    return 1;
}

LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT routed;
    if (RouteStageMessage(window, message, wParam, lParam, &routed))
        return routed;
    switch (message) {
    case WM_CREATE:
        ShowStart(window, ((CREATESTRUCTA *)lParam)->hInstance);
        return 0;
    case WM_DESTROY:
        ShowStop(window);
        playerWindow = NULL;
        return 0;
    case WM_SIZE:
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
        return 0;
    case WM_ACTIVATE:
        StageGroundChanged(StageOf(window));
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_ACTDONE:
        SendMessageA(window, WM_CLOSE, 0, 0);
        return 1;
    case WM_TIMER:
        OnShowTimer(window, (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE), (UINT_PTR)wParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
