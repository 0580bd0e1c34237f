// ctest: two-monitors two-monitors-left
#include <doctest.h>
#include "engine/stage.h"
#include "host/host_entry.h"
#include "host/monitor_covers.h"
#include "host/saver_window.h"
#include "support/checks.h"
#include "support/password.h"
#include "support/script.h"
#include "support/support.h"

#include <algorithm>
#include <stdio.h>
#include <vector>

using testing::Do;
using testing::WaitFor;

namespace {

const DWORD CLOSE_MS = 5000;
const UINT RUNAWAY_MS = 30000;   // a saver that no move can end

std::vector<HWND> Covers()
{
    std::vector<HWND> covers;
    HWND cover = NULL;
    while ((cover = FindWindowExA(NULL, cover, COVER_CLASS_NAME, NULL)) != NULL)
        covers.push_back(cover);
    return covers;
}

// Pixels of a screen rectangle that are not black.
size_t Uncovered(const RECT &area)
{
    HDC screen = GetDC(NULL);
    std::vector<uint32_t> quads =
        testing::GrabQuads(screen, area.left, area.top, area.right - area.left, area.bottom - area.top);
    ReleaseDC(NULL, screen);
    if (quads.empty())
        return (size_t)-1;
    return (size_t)std::count_if(quads.begin(), quads.end(), [](uint32_t quad) { return quad != 0; });
}

HWND WhiteWindow(const RECT &rect, DWORD extendedStyle)
{
    return CreateWindowExA(extendedStyle, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_WHITERECT, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

void CALLBACK EndRunawaySaver(HWND, UINT, UINT_PTR, DWORD)
{
    PostMessageA(saverWindow, WM_CLOSE, 0, 0);
}

BOOL CALLBACK KeepSecondary(HMONITOR monitor, HDC, LPRECT area, LPARAM found)
{
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info) && !(info.dwFlags & MONITORINFOF_PRIMARY))
        *(RECT *)found = *area;
    return TRUE;
}

typedef int (WINAPI *MetricsProc)(int);
MetricsProc realMetrics;

// The second monitor gone, as the system tells it before its message does.
int WINAPI OneMonitorMetrics(int index)
{
    return index == SM_CMONITORS ? 1 : realMetrics(index);
}

HCURSOR CurrentCursor()
{
    CURSORINFO cursor;
    ZeroMemory(&cursor, sizeof cursor);
    cursor.cbSize = sizeof cursor;
    GetCursorInfo(&cursor);
    return cursor.hCursor;
}

}  // namespace

TEST_CASE("on two monitors the show stays on the primary, the other is covered, and a move there ends it all")
{
    CHECK_OR_RETURN(GetSystemMetrics(SM_CMONITORS) == 2);
    const RECT primary = { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    RECT second = { 0, 0, 0, 0 };
    EnumDisplayMonitors(NULL, NULL, KeepSecondary, (LPARAM)&second);
    CHECK_OR_RETURN(!IsRectEmpty(&second));
    // The password prompt straddles the two monitors.
    const LONG border = second.left < 0 ? 0 : primary.right;
    const RECT prompt = { border - 100, 200, border + 100, 300 };
    const POINT onPrimary = { primary.right / 2, primary.bottom / 2 };
    // A password is set; the stand-in prompt refuses first, then accepts.
    char place[64];
    snprintf(place, sizeof place, "%ld,%ld,%ld,%ld", prompt.left, prompt.top, prompt.right - prompt.left,
             prompt.bottom - prompt.top);
    const DWORD on = 1;
    testing::PasswordScene password(&on, true, "01", "20000", NULL, place);

    // A document left open on the second monitor.
    const RECT document = { second.left + 100, second.top + 100, second.left + 400, second.top + 300 };
    HWND marker = WhiteWindow(document, 0);
    CHECK(testing::PumpUntil([&] { return Uncovered(document) == 300u * 200u; }, 5000));

    // The mouse rests on the second monitor as the saver starts.
    const POINT rest = { second.left + 600, second.top + 400 };
    SetCursorPos(rest.x, rest.y);
    hostInstance = GetModuleHandleA(NULL);
    DWORD jitterAt = 0, movedAt = 0, changedAt = 0;
    int result = -1;
    HWND cover = NULL, box = NULL;
    testing::RunScript({
        WaitFor("the saver and one cover", [&] {
            std::vector<HWND> covers = Covers();
            cover = covers.size() == 1 ? covers[0] : NULL;
            return saverWindow && IsWindowVisible(saverWindow) && cover;
        }),
        WaitFor("the second monitor black", [&] { return Uncovered(second) == 0; }),
        Do("the show on the primary, the cover on the second", [&] {
            RECT shown, covered;
            GetWindowRect(saverWindow, &shown);
            GetWindowRect(cover, &covered);
            CHECK(EqualRect(&shown, &primary));
            CHECK(StageOf(saverWindow)->size == MakePackedSize(primary.right, primary.bottom));
            CHECK(EqualRect(&covered, &second));
            CHECK(GetForegroundWindow() == saverWindow);
            // The show follows its window's size.
            SetWindowPos(saverWindow, NULL, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
            CHECK(StageOf(saverWindow)->size == MakePackedSize(640, 480));
            // The mouse, moved by the system off a monitor gone before and
            // after the news of the change, ends nothing.
            realMetrics = (MetricsProc)testing::PatchImport("user32.dll", "GetSystemMetrics", (void *)OneMonitorMetrics);
            SetCursorPos(onPrimary.x, onPrimary.y);
            changedAt = GetTickCount();
        }),
        WaitFor("the system's move to have arrived", [&] { return GetTickCount() - changedAt > 300; }),
        Do("the news: the layout is covered anew, never twice, and the show fills the primary again", [&] {
            testing::PatchImport("user32.dll", "GetSystemMetrics", (void *)realMetrics);
            CHECK_FALSE(verifying);
            CHECK_FALSE(closing);
            SendMessageA(saverWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(primary.right, primary.bottom));
            changedAt = GetTickCount();
            SetCursorPos(onPrimary.x + 50, onPrimary.y);
            CHECK(Covers().size() == 1u);
            CHECK(!IsWindow(cover));
            RECT shown;
            GetWindowRect(saverWindow, &shown);
            CHECK(EqualRect(&shown, &primary));
            CHECK(StageOf(saverWindow)->size == MakePackedSize(primary.right, primary.bottom));
        }),
        WaitFor("the new cover black", [&] { return Uncovered(second) == 0; }),
        WaitFor("the moves to have arrived", [&] { return GetTickCount() - changedAt > 1500; }),
        Do("a click asks for the password", [&] {
            CHECK(IsWindow(saverWindow));
            CHECK(!closing);
            CHECK(!verifying);
            PostMessageA(saverWindow, WM_CLOSE, 0, 0);
        }),
        WaitFor("the prompt over both monitors", [&] {
            box = FindWindowA("Static", "Password");
            return box && Uncovered(prompt) == 200u * 100u;
        }),
        Do("a layout change under the prompt", [&] {
            SendMessageA(saverWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(primary.right, primary.bottom));
            changedAt = GetTickCount();
            CHECK(Covers().size() == 1u);
            CHECK(WindowFromPoint(POINT{ border + (second.left < 0 ? -50 : 50), 250 }) == box);
            SetCursorPos(border, 250);
        }),
        WaitFor("the prompt still on top", [&] { return Uncovered(prompt) == 200u * 100u; }),
        WaitFor("the pointer over the prompt", [&] { return CurrentCursor() != NULL; }),
        Do("the pointer onto the cover", [&] { SetCursorPos(rest.x, rest.y); }),
        WaitFor("the pointer hidden there", [&] { return CurrentCursor() == NULL; }, 3000),
        Do("the prompt closed: a refusal", [&] {
            SetEnvironmentVariableA("PIMBO_PASSWORD_PROMPT", "0");
            DestroyWindow(box);
        }),
        // The script's timer may still fire inside the prompt's own loop.
        WaitFor("the refusal back and the layout settled",
                [&] { return !verifying && GetTickCount() - changedAt > 1500; }),
        Do("a jitter of 3 pixels on the second monitor", [&] {
            CHECK(IsWindow(saverWindow));
            SetCursorPos(rest.x + 2, rest.y + 1);
            jitterAt = GetTickCount();
        }),
        WaitFor("the jitter to have arrived", [&] { return GetTickCount() - jitterAt > 700; }),
        Do("a move of 4 pixels there", [&] {
            CHECK(IsWindow(saverWindow));
            SetCursorPos(rest.x + 2, rest.y + 2);
            movedAt = GetTickCount();
        }),
    }, [&] {
        UINT_PTR guard = SetTimer(NULL, 0, RUNAWAY_MS, EndRunawaySaver);
        result = RunSaverWindow(NULL);
        KillTimer(NULL, guard);
    }, [] { PostMessageA(saverWindow, WM_CLOSE, 0, 0); });

    CHECK(result == 0);
    CHECK(GetTickCount() - movedAt < CLOSE_MS);
    CHECK(Covers().empty());
    CHECK(testing::PumpUntil([&] { return Uncovered(document) == 300u * 200u; }, 5000));

    // A primary monitor grown past the show's window is covered around it:
    // the show's white stands, the rest of the primary is black.
    const RECT shown = { 0, 0, 640, 480 }, beyond = { 640, 0, primary.right, primary.bottom };
    HWND show = WhiteWindow(shown, WS_EX_TOPMOST);
    CoverOtherMonitors(show);
    CHECK(Covers().size() == 2u);
    CHECK(testing::PumpUntil([&] { return Uncovered(shown) == 640u * 480u && Uncovered(beyond) == 0; }, 5000));
    RemoveCovers();
    CHECK(Covers().empty());
    DestroyWindow(show);
    DestroyWindow(marker);
}
