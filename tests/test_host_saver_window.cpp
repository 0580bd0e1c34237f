#include <doctest.h>
#include "host/host_entry.h"
#include "host/saver_window.h"
#include "engine/messages.h"
#include "support/checks.h"
#include "support/password.h"
#include "support/support.h"

#include <stdio.h>
#include <vector>

using namespace testing;


namespace {

const DWORD START_TIMEOUT = 15000;
const DWORD CLOSE_TIMEOUT = 5000;
const DWORD SETTLE = 700;   // long enough for input to have reached the saver

struct RunningSaver {
    PROCESS_INFORMATION process;
    HWND window;
};

HWND FindFullScreenSaver()
{
    HWND window = FindWindowA(SAVER_CLASS_NAME, "Screen Saver");
    return window && IsWindowVisible(window) ? window : NULL;
}

BOOL CALLBACK CountSaverWindow(HWND window, LPARAM count)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, SAVER_CLASS_NAME) == 0)
        ++*(int *)count;
    return TRUE;
}

int CountSaverWindows()
{
    int count = 0;
    EnumWindows(CountSaverWindow, (LPARAM)&count);
    return count;
}

// Starts the full-screen saver with the cursor at (x, y) and waits until
// its window is up and in front.
RunningSaver StartFullScreen(int x = 300, int y = 300)
{
    SetCursorPos(x, y);
    RunningSaver saver = { StartScr("/s"), NULL };
    PumpUntil([&] {
        saver.window = FindFullScreenSaver();
        return saver.window && GetForegroundWindow() == saver.window;
    }, START_TIMEOUT);
    if (!saver.window)
        FinishProcess(saver.process, 0);
    Pump(200);
    return saver;
}

bool StillRunning(RunningSaver &saver, DWORD milliseconds)
{
    Pump(milliseconds);
    return WaitForSingleObject(saver.process.hProcess, 0) == WAIT_TIMEOUT && IsWindow(saver.window);
}

void SendMouse(DWORD flags)
{
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

}  // namespace

TEST_CASE("the full-screen saver covers the screen, keeps its title, runs once and outlasts small moves")
{
    RunningSaver saver = StartFullScreen(300, 300);
    CHECK_OR_RETURN(saver.window != NULL);

    RECT rect;
    GetWindowRect(saver.window, &rect);
    CHECK(rect.left == 0);
    CHECK(rect.top == 0);
    CHECK(rect.right == GetSystemMetrics(SM_CXSCREEN));
    CHECK(rect.bottom == GetSystemMetrics(SM_CYSCREEN));
    CHECK((GetWindowLongA(saver.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    const LONG fullScreen = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    CHECK((GetWindowLongA(saver.window, GWL_STYLE) & fullScreen) == fullScreen);
    CHECK((GetWindowLongA(saver.window, GWL_STYLE) & WS_CHILD) == 0);

    SendMessageA(saver.window, WM_SETTEXT, 0, (LPARAM) "Something else");
    char title[64] = "";
    GetWindowTextA(saver.window, title, sizeof title);
    CHECK(std::string(title) == "Screen Saver");

    // A second full-screen start leaves the first in front and ends with 0.
    CHECK(RunProcess("\"" + ScrPath() + "\" /s", 20000) == 0);
    CHECK(CountSaverWindows() == 1);
    CHECK(GetForegroundWindow() == saver.window);

    // Button releases alone, a double click and mouse jitter keep it; a larger move ends it.
    SendMouse(MOUSEEVENTF_LEFTUP);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    CHECK(StillRunning(saver, SETTLE));
    PostMessageA(saver.window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(300, 300));
    CHECK(StillRunning(saver, SETTLE));
    SetCursorPos(302, 301);
    CHECK(StillRunning(saver, SETTLE));
    SetCursorPos(298, 299);
    CHECK(StillRunning(saver, SETTLE));
    SetCursorPos(302, 302);
    CHECK(FinishProcess(saver.process, CLOSE_TIMEOUT) == 0);
}

TEST_CASE("a full-screen start while another saver is starting, its window not yet made, ends at once with 0")
{
    HANDLE starting = CreateMutexA(NULL, TRUE, SINGLE_SAVER_LOCK);
    CHECK_OR_RETURN(starting != NULL);
    CHECK(RunProcess("\"" + ScrPath() + "\" /s", 20000) == 0);
    CloseHandle(starting);
}

// A plain top-level window of the given size.
static HWND PlainWindow(const char *className, WNDPROC procedure, int width, int height)
{
    return MakeTestWindow(procedure, className, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                          RECT{ 100, 100, 100 + width, 100 + height });
}

// The preview's parent: the display settings' little screen.
static std::vector<MSG> parentMessages;
static HELPINFO parentHelp;

static LRESULT CALLBACK PreviewParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CONTEXTMENU || message == WM_HELP) {
        MSG msg = { window, message, wParam, lParam, 0, { 0, 0 } };
        parentMessages.push_back(msg);
        if (message == WM_HELP && lParam)
            parentHelp = *(const HELPINFO *)lParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int CountParentMessages(UINT message, WPARAM wParam)
{
    int count = 0;
    for (const MSG &msg : parentMessages)
        if (msg.message == message && msg.wParam == wParam)
            ++count;
    return count;
}

TEST_CASE("the preview fills its parent, ignores input, hands menus and help up and ends with the parent")
{
    HWND parent = PlainWindow("HostTestPreviewParent", PreviewParentProc, 240, 180);
    CHECK_OR_RETURN(parent != NULL);
    SetForegroundWindow(parent);
    char tail[64];
    snprintf(tail, sizeof tail, "/p %lu", (unsigned long)(UINT_PTR)parent);
    PROCESS_INFORMATION process = StartScr(tail);
    CHECK_OR_RETURN(process.hProcess != NULL);
    HWND child = NULL;
    PumpUntil([&] { return (child = FindWindowExA(parent, NULL, SAVER_CLASS_NAME, NULL)) != NULL; }, START_TIMEOUT);
    if (!child)
        FinishProcess(process, 0);
    CHECK_OR_RETURN(child != NULL);
    Pump(200);

    RECT parentClient, childRect;
    GetClientRect(parent, &parentClient);
    GetWindowRect(child, &childRect);
    MapWindowPoints(NULL, parent, (POINT *)&childRect, 2);
    CHECK(childRect.left == 0);
    CHECK(childRect.top == 0);
    CHECK(childRect.right == parentClient.right);
    CHECK(childRect.bottom == parentClient.bottom);
    char title[64] = "";
    GetWindowTextA(child, title, sizeof title);
    CHECK(std::string(title) == "Preview");
    CHECK((GetWindowLongA(child, GWL_STYLE) & WS_CHILD) != 0);
    CHECK((GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0);

    // Keys, clicks and movement over the preview change nothing.
    POINT centre = { parentClient.right / 2, parentClient.bottom / 2 };
    ClientToScreen(parent, &centre);
    SetCursorPos(centre.x, centre.y);
    SetCursorPos(centre.x + 40, centre.y + 30);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    SendMouse(MOUSEEVENTF_MIDDLEDOWN);
    SendMouse(MOUSEEVENTF_MIDDLEUP);
    PostMessageA(child, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(child, WM_SYSKEYDOWN, VK_MENU, 0);
    Pump(SETTLE);
    CHECK(WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT);
    CHECK(IsWindow(child));

    // A right click asks for a context menu, which goes to the parent.
    parentMessages.clear();
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    PumpUntil([] { return !parentMessages.empty(); }, CLOSE_TIMEOUT);
    CHECK(CountParentMessages(WM_CONTEXTMENU, (WPARAM)parent) == 1);
    CHECK(IsWindow(child));

    parentMessages.clear();
    SendMessageA(child, WM_CONTEXTMENU, (WPARAM)child, MAKELPARAM(12, 34));
    HELPINFO help;
    ZeroMemory(&help, sizeof help);
    help.cbSize = sizeof help;
    help.iContextType = HELPINFO_WINDOW;
    help.hItemHandle = child;
    SendMessageA(child, WM_HELP, 0, (LPARAM)&help);
    PumpUntil([] { return parentMessages.size() >= 2; }, CLOSE_TIMEOUT);
    CHECK(CountParentMessages(WM_CONTEXTMENU, (WPARAM)parent) == 1);
    CHECK(CountParentMessages(WM_HELP, (WPARAM)parent) == 1);
    CHECK(parentHelp.cbSize == sizeof(HELPINFO));
    CHECK(parentHelp.iContextType == HELPINFO_WINDOW);
    for (const MSG &msg : parentMessages)
        if (msg.message == WM_CONTEXTMENU)
            CHECK(msg.lParam == MAKELPARAM(12, 34));

    DestroyWindow(parent);
    PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, CLOSE_TIMEOUT);
    CHECK(FinishProcess(process, CLOSE_TIMEOUT) == 0);
}

// In-process: the window procedure driven directly, with the platform
// default replaced by a recorder so we can see what reaches it.
static std::vector<UINT> platformDefaults;
static std::vector<WPARAM> platformCommands;
typedef LRESULT (WINAPI *DefWindowProcType)(HWND, UINT, WPARAM, LPARAM);
static DefWindowProcType realDefWindowProc;

static LRESULT WINAPI RecordingDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    platformDefaults.push_back(message);
    // System commands are only recorded: the real ones would act on the desktop.
    if (message == WM_SYSCOMMAND) {
        platformCommands.push_back(wParam);
        return 0;
    }
    return realDefWindowProc(window, message, wParam, lParam);
}

static int Reached(UINT message)
{
    int count = 0;
    for (UINT m : platformDefaults)
        if (m == message)
            ++count;
    return count;
}

static bool CloseRequested(HWND window)
{
    MSG msg;
    bool found = false;
    while (PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        found = true;
    return found;
}

struct HostWindowFixture {
    HWND parent = NULL;
    HWND window = NULL;

    explicit HostWindowFixture(bool preview)
    {
        hostInstance = GetModuleHandleA(NULL);
        previewMode = preview ? 1 : 0;
        verifying = 0;
        closing = 0;
        WNDCLASSA windowClass;
        ZeroMemory(&windowClass, sizeof windowClass);
        windowClass.lpfnWndProc = SaverHostWndProc;
        windowClass.hInstance = hostInstance;
        windowClass.lpszClassName = "HostTestSaver";
        RegisterClassA(&windowClass);
        if (preview)
            parent = PlainWindow("HostTestInProcessParent", DefWindowProcA, 200, 150);
        window = CreateWindowExA(0, "HostTestSaver", "", preview ? WS_CHILD : WS_POPUP, 0, 0, 100, 80, parent,
                                 NULL, hostInstance, NULL);
        CHECK(window != NULL);
        realDefWindowProc = (DefWindowProcType)PatchImport("user32.dll", "DefWindowProcA",
                                                            (void *)RecordingDefWindowProc);
        CHECK(realDefWindowProc != NULL);
        platformDefaults.clear();
        platformCommands.clear();
    }
    ~HostWindowFixture()
    {
        PatchImport("user32.dll", "DefWindowProcA", (void *)realDefWindowProc);
        closing = 1;   // no verifier is asked while we take the window down
        if (IsWindow(window))
            DestroyWindow(window);
        if (parent)
            DestroyWindow(parent);
        MSG msg;
        while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        previewMode = verifying = closing = 0;
    }
};

TEST_CASE("full screen swallows the system's saver and window-switch commands; preview passes them on")
{
    const WPARAM swallowed[] = { SC_SCREENSAVE, SC_NEXTWINDOW, SC_PREVWINDOW };
    SUBCASE("full screen")
    {
        HostWindowFixture fixture(false);
        for (WPARAM command : swallowed)
            CHECK(SendMessageA(fixture.window, WM_SYSCOMMAND, command, 0) == 0);
        CHECK(platformCommands.empty());
        // Only those exact values: anything else goes on to the platform.
        SendMessageA(fixture.window, WM_SYSCOMMAND, SC_NEXTWINDOW + 2, 0);
        SendMessageA(fixture.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        CHECK(platformCommands == std::vector<WPARAM>{ SC_NEXTWINDOW + 2, SC_CLOSE });
    }
    SUBCASE("preview")
    {
        HostWindowFixture fixture(true);
        for (WPARAM command : swallowed)
            SendMessageA(fixture.window, WM_SYSCOMMAND, command, 0);
        CHECK(platformCommands == std::vector<WPARAM>(std::begin(swallowed), std::end(swallowed)));
    }
}

TEST_CASE("input requests a close only while the saver is watching, and with no password it is accepted")
{
    HostWindowFixture fixture(false);
    GetCursorPos(&referencePoint);
    const UINT presses[] = { WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN };

    SUBCASE("watching")
    {
        for (UINT message : presses) {
            CAPTURE(message);
            SendMessageA(fixture.window, message, 0, 0);
            CHECK(CloseRequested(fixture.window));
        }
        CHECK(SendMessageA(fixture.window, WM_SETCURSOR, (WPARAM)fixture.window, HTCLIENT) == 1);
        SendMessageA(fixture.window, WM_ACTIVATEAPP, TRUE, 0);
        CHECK_FALSE(CloseRequested(fixture.window));
        SendMessageA(fixture.window, WM_ACTIVATEAPP, FALSE, 0);
        CHECK(CloseRequested(fixture.window));
        // Without a password the close is accepted at once.
        SendMessageA(fixture.window, WM_CLOSE, 0, 0);
        CHECK(closing == 1);
        CHECK_FALSE(IsWindow(fixture.window));
        MSG msg;
        CHECK(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        CHECK(msg.wParam == 0);
    }
    SUBCASE("while the password is asked for")
    {
        verifying = 1;
        referencePoint.x -= 50;
        for (UINT message : presses)
            SendMessageA(fixture.window, message, 0, 0);
        SendMessageA(fixture.window, WM_MOUSEMOVE, 0, 0);
        SendMessageA(fixture.window, WM_ACTIVATEAPP, FALSE, 0);
        CHECK_FALSE(CloseRequested(fixture.window));
        // A close that arrives now is refused and moves the reference to the cursor.
        CHECK(SendMessageA(fixture.window, WM_CLOSE, 0, 0) == 0);
        CHECK(IsWindow(fixture.window));
        POINT cursor;
        GetCursorPos(&cursor);
        CHECK(referencePoint.x == cursor.x);
        CHECK(referencePoint.y == cursor.y);
        CHECK(Reached(WM_CLOSE) == 0);
    }
    SUBCASE("after a close was accepted")
    {
        closing = 1;
        platformDefaults.clear();
        for (UINT message : presses)
            SendMessageA(fixture.window, message, 0, 0);
        CHECK_FALSE(CloseRequested(fixture.window));
        for (UINT message : presses)
            CHECK(Reached(message) == 1);
        // Timer ticks stop here: neither the show nor the platform sees them.
        CHECK(SendMessageA(fixture.window, WM_TIMER, 11, 0) == 0);
        CHECK(Reached(WM_TIMER) == 0);
    }
}

// The password path: a stand-in PASSWORD.CPL answers as told and logs its calls.
TEST_CASE("a refused password keeps the saver and measures from the refusal; an accepted one closes it")
{
    const DWORD on = 1;
    PasswordScene scene(&on, true, "01", "1500", "600,400");
    RunningSaver saver = StartFullScreen(200, 200);
    CHECK_OR_RETURN(saver.window != NULL);

    TapKey(VK_SPACE);
    CHECK(PumpUntil([&] { return scene.Calls() == 1; }, CLOSE_TIMEOUT));
    // While the prompt is open, another close request and more keys are refused.
    PostMessageA(saver.window, WM_CLOSE, 0, 0);
    TapKey(VK_SPACE);
    CHECK(PumpUntil([&] { return scene.Answers() == 1; }, CLOSE_TIMEOUT));
    CHECK(StillRunning(saver, SETTLE));
    CHECK(scene.Calls() == 1);
    CHECK(scene.Lines("call 1 WindowsScreenSaverClass|Screen Saver") == 1);

    CURSORINFO cursor;
    ZeroMemory(&cursor, sizeof cursor);
    cursor.cbSize = sizeof cursor;
    CHECK(GetCursorInfo(&cursor));
    CHECK(cursor.hCursor == NULL);

    // Movement now counts from where the prompt left the mouse.
    SetCursorPos(602, 401);
    CHECK(StillRunning(saver, SETTLE));
    CHECK(scene.Calls() == 1);
    SetCursorPos(602, 402);
    CHECK(FinishProcess(saver.process, CLOSE_TIMEOUT) == 0);
    CHECK(scene.Calls() == 2);
    CHECK(scene.Answers() == 2);
}

TEST_CASE("keys, button presses and another application close the saver; no password is asked without one set")
{
    const DWORD off = 0, on = 1;
    struct Row { const char *what; WORD key; DWORD down, up; const DWORD *usePassword; bool reachable; };
    const Row rows[] = {
        { "a key, password value 0", VK_SPACE, 0, 0, &off, true },
        { "a system key, no password value", VK_MENU, 0, 0, NULL, true },
        { "the left button, no library", 0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, &on, false },
        { "the right button", 0, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, &off, true },
        { "the middle button", 0, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, &off, true },
        { "another application active", 0, 0, 0, &off, true },
    };
    // Each run ends before the first cycle; the paces are stored all the same, and nothing else.
    RemoveIni();
    for (const Row &row : rows) {
        CAPTURE(row.what);
        PasswordScene scene(row.usePassword, row.reachable, "0", "0");
        RunningSaver saver = StartFullScreen();
        CHECK_OR_RETURN(saver.window != NULL);
        HWND other = NULL;
        if (row.key) {
            TapKey(row.key);
        } else if (row.down) {
            SendMouse(row.down);
            SendMouse(row.up);
        } else {
            other = PlainWindow("HostTestOther", DefWindowProcA, 300, 200);
            SetForegroundWindow(other);
        }
        PumpUntil([&] { return WaitForSingleObject(saver.process.hProcess, 0) == WAIT_OBJECT_0; }, CLOSE_TIMEOUT);
        CHECK(FinishProcess(saver.process, CLOSE_TIMEOUT) == 0);
        CHECK(scene.Calls() == 0);
        CHECK(IniText() == "[Fizzy Pimbo Screen Saver]\r\nPaces Walked=0\r\n");
        if (other)
            DestroyWindow(other);
    }
}

TEST_CASE("the reboot device hears 1 when a password starts guarding and 2 once when it stops")
{
    const DWORD off = 0, on = 1;
    PasswordScene scene(&on, false, "0", "0");
    FakeDevice("\\\\.\\REBOOT");
    const std::string doubles = BinaryPath("doubles");

    SUBCASE("a verifier taken up and released")
    {
        SetDllDirectoryA(doubles.c_str());
        LoadPasswordVerifier();
        CHECK(FakeDeviceCodes() == std::vector<DWORD>{ 1 });
        // The verifier answers for the window it is given.
        CHECK(SaverHostDefaultProc(NULL, WM_HOSTVERIFY, 0, 0) == 0);
        CHECK(scene.Calls() == 1);
        LoadPasswordVerifier();
        CHECK(FakeDeviceCodes() == std::vector<DWORD>{ 1, 2, 1 });
        UnloadPasswordVerifier();
        UnloadPasswordVerifier();
        CHECK(FakeDeviceCodes() == std::vector<DWORD>{ 1, 2, 1, 2 });
        CHECK(SaverHostDefaultProc(NULL, WM_HOSTVERIFY, 0, 0) == 1);
    }
    SUBCASE("no password or no library: the device is left alone")
    {
        SetUsePassword(&off);
        SetDllDirectoryA(doubles.c_str());
        LoadPasswordVerifier();
        SetUsePassword(NULL);
        LoadPasswordVerifier();
        SetUsePassword(&on);
        SetDllDirectoryA(NULL);
        LoadPasswordVerifier();
        UnloadPasswordVerifier();
        CHECK(FakeDeviceCodes().empty());
        CHECK(SaverHostDefaultProc(NULL, WM_HOSTVERIFY, 0, 0) == 1);
        CHECK(scene.Calls() == 0);
    }
    SetDllDirectoryA(NULL);
    RemoveFakeDevice();
}

static void CALLBACK QuitRunawayLoop(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(7);
}

TEST_CASE("a run whose window cannot be created runs no message loop, even after an earlier run")
{
    hostInstance = GetModuleHandleA(NULL);
    // The class is taken already, so this run's registration fails.
    WNDCLASSA taken;
    ZeroMemory(&taken, sizeof taken);
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = hostInstance;
    taken.lpszClassName = SAVER_CLASS_NAME;
    ATOM registered = RegisterClassA(&taken);
    CHECK_OR_RETURN(registered != 0);
    // What an earlier run leaves behind: the handle of its window, now gone.
    HWND earlier = CreateWindowExA(0, SAVER_CLASS_NAME, "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, hostInstance, NULL);
    DestroyWindow(earlier);
    saverWindow = earlier;
    HWND parent = PlainWindow("HostTestLateParent", DefWindowProcA, 160, 120);

    UINT_PTR guard = SetTimer(NULL, 0, 1000, QuitRunawayLoop);
    CHECK(RunSaverWindow(parent) == -1);
    KillTimer(NULL, guard);

    MSG msg;
    while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    previewMode = 0;
    DestroyWindow(parent);
    UnregisterClassA(SAVER_CLASS_NAME, hostInstance);
}
