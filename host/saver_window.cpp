#include "host/saver_window.h"
#include "host/host_entry.h"
#include "host/monitor_covers.h"
#include "show/saver_show.h"
#include "engine/messages.h"
#include "resources/resource.h"

#include <imm.h>
#include <stdlib.h>
#include <string.h>

#define SAVER_TITLE          "Screen Saver"
#define PREVIEW_TITLE        "Preview"
#define SAVER_CLASS_STYLE    (CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW)
#define FULL_SCREEN_STYLE    (WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS)
#define PREVIEW_STYLE        (WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN)
#define CLOSE_DISTANCE       3      // pixels of mouse travel that are still a jitter
#define PENDING_TIMER_DROPS  2
#define HELP_SEND_TIMEOUT    2000   // ms
#define DRAIN_LIMIT          1000   // a window that never validates must not trap us
#define LAYOUT_SETTLE_MS     500    // the system may still be moving the mouse off a monitor gone

#define REBOOT_DEVICE        "\\\\.\\REBOOT"

typedef BOOL (WINAPI *PasswordVerifier)(HWND window);
typedef HIMC (WINAPI *AssociateContextProc)(HWND window, HIMC context);

HWND saverWindow;
int previewMode;
int verifying;
int closing;
POINT referencePoint;

static int layoutSettling;
static DWORD layoutChangedAt;

// The screen as the saver last followed it. The system moves the mouse off
// a monitor gone before it tells of the change, so a move that finds the
// screen changed is the system's, whichever comes first.
struct ScreenLayout {
    int left, top, width, height, monitors;
};
static ScreenLayout followedLayout;

static HMODULE passwordLibrary;
static PasswordVerifier verifier;

static HANDLE singleSaverLock;

static HMODULE inputMethodModule;
static AssociateContextProc associateContext;
static HIMC heldInputContext;

void ControlRebootDevice(DWORD code)
{
    HANDLE device = CreateFileA(REBOOT_DEVICE, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE)
        return;
    DWORD returned = 0;
    DeviceIoControl(device, code, NULL, 0, NULL, 0, &returned, NULL);
    CloseHandle(device);
}

void UnloadPasswordVerifier(void)
{
    if (!passwordLibrary)
        return;
    FreeLibrary(passwordLibrary);
    passwordLibrary = NULL;
    if (verifier) {
        verifier = NULL;
        ControlRebootDevice(REBOOT_GUARD_OFF);
    }
}

static int PasswordIsSet(HKEY desktop)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(desktop, "ScreenSaveUsePassword", NULL, NULL, (BYTE *)&value, &size) != ERROR_SUCCESS)
        return 0;
    return value != 0;
}

void LoadPasswordVerifier(void)
{
    if (passwordLibrary)
        UnloadPasswordVerifier();
    HKEY desktop;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop) != ERROR_SUCCESS)
        return;
    if (PasswordIsSet(desktop)) {
        passwordLibrary = LoadLibraryA("PASSWORD.CPL");
        if (passwordLibrary) {
            verifier = (PasswordVerifier)(void *)GetProcAddress(passwordLibrary, "VerifyScreenSavePwd");
            if (verifier)
                ControlRebootDevice(REBOOT_GUARD_ON);
            else
                UnloadPasswordVerifier();
        }
    }
    RegCloseKey(desktop);
}

static void HideCursor(void)
{
    SetCursor(NULL);
}

static void TakeReferencePoint(void)
{
    GetCursorPos(&referencePoint);
}

static void DetachInputContext(HWND window)
{
    // Only a process that already uses input methods has anything to detach.
    inputMethodModule = GetModuleHandleA("IMM32.DLL");
    if (!inputMethodModule)
        return;
    associateContext = (AssociateContextProc)(void *)GetProcAddress(inputMethodModule, "ImmAssociateContext");
    if (associateContext)
        heldInputContext = associateContext(window, NULL);
}

static void RestoreInputContext(HWND window)
{
    if (inputMethodModule && associateContext && heldInputContext) {
        associateContext(window, heldInputContext);
        heldInputContext = NULL;
    }
}

static LRESULT ForwardToParent(HWND window, UINT message, LPARAM lParam)
{
    HWND parent = GetParent(window);
    if (!parent || !IsWindow(parent))
        return 1;
    // Help carries a pointer, which only a sent message takes across to the
    // parent's process; posting it fails. A hung parent must not hang us.
    if (message == WM_HELP)
        SendMessageTimeoutA(parent, message, (WPARAM)parent, lParam, SMTO_ABORTIFHUNG, HELP_SEND_TIMEOUT, NULL);
    else
        PostMessageA(parent, message, (WPARAM)parent, lParam);
    return 1;
}

int IsSwallowedCommand(WPARAM command)
{
    return command == SC_SCREENSAVE || command == SC_NEXTWINDOW || command == SC_PREVWINDOW;
}

static void ReadScreenLayout(ScreenLayout *layout)
{
    layout->left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    layout->top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    layout->width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    layout->height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    layout->monitors = GetSystemMetrics(SM_CMONITORS);
}

// The mouse counts from where a change of the layout leaves it.
static void SettleLayout(void)
{
    TakeReferencePoint();
    ReadScreenLayout(&followedLayout);
    layoutChangedAt = GetTickCount();
    layoutSettling = 1;
}

static int LayoutChanged(void)
{
    ScreenLayout now;
    ReadScreenLayout(&now);
    return memcmp(&now, &followedLayout, sizeof now) != 0;
}

static int MovedTooFar(void)
{
    if (LayoutChanged())
        SettleLayout();
    if (layoutSettling && GetTickCount() - layoutChangedAt < LAYOUT_SETTLE_MS) {
        TakeReferencePoint();
        return 0;
    }
    layoutSettling = 0;
    POINT now;
    if (!GetCursorPos(&now))
        return 0;
    long distance = labs((long)now.x - referencePoint.x) + labs((long)now.y - referencePoint.y);
    return distance > CLOSE_DISTANCE;
}

int InputEndsSaver(UINT message, WPARAM wParam)
{
    if (previewMode || verifying || closing)
        return 0;
    switch (message) {
    case WM_ACTIVATEAPP:
        return !wParam;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return 1;
    case WM_MOUSEMOVE:
        return MovedTooFar();
    }
    return 0;
}

// Monitors came, went or changed: the show fills the primary again, the
// rest is covered anew, and the mouse counts from where the change left it.
static void FollowLayout(HWND window)
{
    SetWindowPos(window, NULL, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    CoverOtherMonitors(window);
    SettleLayout();
}

static void RequestClose(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
}

static LRESULT HandleClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (VerifyBeforeClose(window))
        return DefWindowProcA(window, message, wParam, lParam);
    TakeReferencePoint();
    return 0;
}

LRESULT CALLBACK SaverHostWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        DetachInputContext(window);
        TakeReferencePoint();
        ReadScreenLayout(&followedLayout);
        if (!previewMode)
            HideCursor();
        break;
    case WM_DESTROY:
        RemoveCovers();
        RestoreInputContext(window);
        PostQuitMessage(0);
        break;
    case WM_DISPLAYCHANGE:
        if (!previewMode && !closing)
            FollowLayout(window);
        break;
    case WM_SETTEXT:
        return 0;
    case WM_PAINT:
        if (closing)
            return DefWindowProcA(window, message, wParam, lParam);
        if (!previewMode)
            HideCursor();
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (previewMode)
            return ForwardToParent(window, message, lParam);
        break;
    case WM_SYSCOMMAND:
        if (!previewMode && IsSwallowedCommand(wParam))
            return 0;
        break;
    case WM_TIMER:
        if (closing)
            return 0;
        Sleep(0);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (closing)
            return DefWindowProcA(window, message, wParam, lParam);
        break;
    }
    return SaverShowProc(window, message, wParam, lParam, SaverHostDefaultProc);
}

LRESULT SaverHostDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOSTVERIFY)
        return verifier ? verifier(window) : 1;
    if (previewMode || closing)
        return DefWindowProcA(window, message, wParam, lParam);
    if (verifying) {
        if (message == WM_CLOSE)
            return HandleClose(window, message, wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }

    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam)
            HideCursor();
        break;
    case WM_SETCURSOR:
        HideCursor();
        return 1;
    case WM_CLOSE:
        return HandleClose(window, message, wParam, lParam);
    }
    if (InputEndsSaver(message, wParam))
        RequestClose(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

// The prompt's own input may leave messages for us; they are handled here,
// while close requests are still refused.
static void DrainPendingMessages(HWND window)
{
    MSG msg;
    for (int taken = 0; taken < DRAIN_LIMIT && PeekMessageA(&msg, window, 0, 0, PM_REMOVE | PM_NOYIELD); ++taken) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage((int)msg.wParam);
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int VerifyBeforeClose(HWND window)
{
    if (verifying || closing)
        return 0;
    if (!verifier) {
        closing = 1;
        return 1;
    }
    verifying = 1;
    MSG msg;
    for (int i = 0; i < PENDING_TIMER_DROPS; ++i)
        PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    closing = SendMessageA(window, WM_HOSTVERIFY, 0, 0) ? 1 : 0;
    DrainPendingMessages(window);
    verifying = 0;
    if (!closing)
        HideCursor();
    return closing;
}

static void ReleaseSingleSaverLock(void)
{
    if (singleSaverLock)
        CloseHandle(singleSaverLock);
    singleSaverLock = NULL;
}

static void FillSaverClass(WNDCLASSA *saverClass)
{
    ZeroMemory(saverClass, sizeof *saverClass);
    saverClass->style = SAVER_CLASS_STYLE;
    saverClass->lpfnWndProc = SaverHostWndProc;
    saverClass->hInstance = hostInstance;
    saverClass->hIcon = LoadIconA(hostInstance, MAKEINTRESOURCEA(IDI_PIMBO));
    saverClass->hCursor = NULL;
    saverClass->hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    saverClass->lpszClassName = SAVER_CLASS_NAME;
}

int RunSaverWindow(HWND parent)
{
    WNDCLASSA saverClass;
    FillSaverClass(&saverClass);

    int width, height;
    DWORD style, extendedStyle;
    const char *title;
    if (parent) {
        RECT client = { 0, 0, 0, 0 };
        GetClientRect(parent, &client);
        width = client.right;
        height = client.bottom;
        style = PREVIEW_STYLE;
        extendedStyle = 0;
        title = PREVIEW_TITLE;
        previewMode = 1;
    } else {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        style = FULL_SCREEN_STYLE;
        extendedStyle = WS_EX_TOPMOST;
        title = SAVER_TITLE;
        // Two starts at once would both miss the other's window; the lock
        // tells the later one.
        singleSaverLock = CreateMutexA(NULL, FALSE, SINGLE_SAVER_LOCK);
        const int lockTaken = singleSaverLock && GetLastError() == ERROR_ALREADY_EXISTS;
        HWND running = FindWindowA(SAVER_CLASS_NAME, SAVER_TITLE);
        if (lockTaken || (running && IsWindow(running))) {
            if (running)
                SetForegroundWindow(running);
            ReleaseSingleSaverLock();
            return 0;
        }
        LoadPasswordVerifier();
    }

    // A handle left from an earlier run must not pass for this run's window.
    saverWindow = NULL;
    show.preview = previewMode;
    if (RegisterClassA(&saverClass))
        saverWindow = CreateWindowExA(extendedStyle, SAVER_CLASS_NAME, title, style, 0, 0, width, height,
                                      parent, NULL, hostInstance, NULL);

    // Without a window there is nothing to run; say so rather than report success.
    int result = -1;
    if (saverWindow) {
        if (!parent) {
            CoverOtherMonitors(saverWindow);
            SetForegroundWindow(saverWindow);
        }
        MSG msg;
        msg.wParam = 0;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        result = (int)msg.wParam;
    }
    UnloadPasswordVerifier();
    ReleaseSingleSaverLock();
    return result;
}
