// ctest: two-monitors
#include <doctest.h>
#include "engine/stage.h"
#include "host/host_entry.h"
#include "host/monitor_covers.h"
#include "host/saver_window.h"
#include "support/checks.h"
#include "support/script.h"
#include "support/support.h"

#include <algorithm>
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

}  // namespace

TEST_CASE("on two monitors the show stays on the primary, the other is covered, and a move there ends it all")
{
    CHECK_OR_RETURN(GetSystemMetrics(SM_CMONITORS) == 2);
    const RECT primary = { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    MONITORINFO info;
    info.cbSize = sizeof info;
    CHECK_OR_RETURN(GetMonitorInfoA(MonitorFromPoint(POINT{ primary.right, 0 }, MONITOR_DEFAULTTONULL), &info));
    const RECT second = info.rcMonitor;

    // A document left open on the second monitor.
    const RECT document = { second.left + 100, second.top + 100, second.left + 400, second.top + 300 };
    HWND marker = WhiteWindow(document, 0);
    CHECK(testing::PumpUntil([&] { return Uncovered(document) == 300u * 200u; }, 5000));

    // The mouse rests on the second monitor as the saver starts.
    const POINT rest = { second.left + 600, second.top + 400 };
    SetCursorPos(rest.x, rest.y);
    hostInstance = GetModuleHandleA(NULL);
    DWORD jitterAt = 0, movedAt = 0;
    int result = -1;
    HWND cover = NULL;
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
            // A changed layout is covered anew, never twice.
            SendMessageA(saverWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(primary.right, primary.bottom));
            CHECK(Covers().size() == 1u);
            CHECK(!IsWindow(cover));
        }),
        WaitFor("the new cover black", [&] { return Uncovered(second) == 0; }),
        Do("a jitter of 3 pixels on the second monitor", [&] {
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
