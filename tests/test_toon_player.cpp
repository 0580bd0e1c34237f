#include <doctest.h>
#include "show/toon_player.h"
#include "show/config_dialog.h"
#include "show/roster.h"
#include "show/saver_show.h"
#include "show/settings.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "toon/toon_document.h"
#include "resources/resource.h"
#include "support/frame_editor_driver.h"
#include "support/script.h"
#include "support/support.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

using testing::Do;
using testing::IniValue;
using testing::WaitFor;

namespace {

HWND Player() { return FindWindowA("SaverWndClass", NULL); }

// The player plays in its caller's loop, here one that runs until its
// window is gone, with the steps going on inside it (and a last look at
// the end); a script that waits in vain closes the player.
int RunPlayer(const char *name, std::vector<testing::ScriptStep> steps)
{
    int result = 0;
    testing::RunScript(std::move(steps), [&] {
        result = RunToonPlayer(GetModuleHandleA(NULL), NULL, name);
        testing::PumpUntil([] { return Player() == NULL; }, 120000);
        testing::Pump(100);
    }, [] { PostMessageA(Player(), WM_CLOSE, 0, 0); });
    return result;
}

bool CursorShowing()
{
    CURSORINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    return (info.flags & CURSOR_SHOWING) != 0;
}

void SendMouse(DWORD down, DWORD up)
{
    INPUT input[2];
    ZeroMemory(input, sizeof input);
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = down;
    input[1].mi.dwFlags = up;
    SendInput(2, input, sizeof input[0]);
}

void MoveMouse(int x, int y)
{
    SetCursorPos(x, y);
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    input.mi.dx = 25;
    input.mi.dy = 25;
    SendInput(1, &input, sizeof input);
}

std::string ToonDirectory()
{
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    std::string directory = std::string(path) + "PlayerToons\\";
    CreateDirectoryA(directory.c_str(), NULL);
    return directory;
}

void WriteToon(const std::string &path, const std::vector<POINT> &points, int pause)
{
    CHECK(testing::WriteFileBytes(path, testing::ToonBytes(points, pause)));
}

void UseDirectory(const std::string &directory)
{
    testing::RemoveIni();
    WritePrivateProfileStringA(INI_SECTION, "Directory", directory.c_str(), INI_FILE);
    WritePrivateProfileStringA(INI_SECTION, "Paces Walked", "1000", INI_FILE);
}

}  // namespace

TEST_CASE("the player is a full-screen window that keys and left clicks close, and nothing else")
{
    UseDirectory(ToonDirectory());
    SetCursorPos(500, 400);
    CHECK(CursorShowing());

    struct Row { const char *how; std::function<void()> close; };
    const Row rows[] = {
        { "a key", [] { testing::TapKey('Q'); } },
        { "a system key", [] { testing::TapKey(VK_MENU); } },
        { "a left click", [] { SendMouse(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); } },
    };
    // Started again in the same process for every row.
    for (const Row &row : rows) {
        CAPTURE(row.how);
        bool stillOpen = false;
        const int result = RunPlayer("", {
            WaitFor("the player in front", [] { return Player() && GetForegroundWindow() == Player(); }),
            Do("full screen, no cursor; right and middle clicks", [] {
                RECT box;
                GetWindowRect(Player(), &box);
                CHECK(box.left == 0);
                CHECK(box.top == 0);
                CHECK(box.right == GetSystemMetrics(SM_CXSCREEN));
                CHECK(box.bottom == GetSystemMetrics(SM_CYSCREEN));
                CHECK((GetWindowLongA(Player(), GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_VISIBLE)) == (WS_POPUP | WS_VISIBLE));
                CHECK_FALSE(CursorShowing());
                MoveMouse(300, 200);
                SendMouse(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
                SendMouse(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
            }),
            Do(row.how, [&] {
                stillOpen = Player() != NULL;
                row.close();
            }),
            WaitFor("the player gone", [] { return Player() == NULL; }),
        });
        CHECK(stillOpen);
        CHECK(result == 1);
        CHECK(Player() == NULL);
        CHECK(CursorShowing());
    }
}

TEST_CASE("the player stores the paces walked when it closes")
{
    UseDirectory(ToonDirectory());
    WritePrivateProfileStringA(INI_SECTION, "Paces Walked", NULL, INI_FILE);
    RunPlayer("", {
        WaitFor("the player", [] { return Player() != NULL; }),
        Do("Esc", [] {
            CHECK(IniValue("Paces Walked") == "<missing>");
            testing::TapKey(VK_ESCAPE);
        }),
    });
    CHECK(IniValue("Paces Walked") == "0");
}

TEST_CASE("with no toon the player shows one random walk and closes by itself")
{
    UseDirectory(ToonDirectory());
    const DWORD start = GetTickCount();
    CHECK(RunPlayer("", {
        WaitFor("the player", [] { return Player() != NULL; }),
        Do("no toon", [] { CHECK(std::string(roster.currentToon).empty()); }),
        // Generous: the walk in, the pause of up to 20 s and the walk off.
        WaitFor("the player closing by itself", [] { return Player() == NULL; }, 45000),
    }) == 1);
    // It began after the start delay, so it lasted longer than that.
    CHECK(GetTickCount() - start > 2000);
    CHECK(atoi(IniValue("Paces Walked").c_str()) > 1000);
}

namespace {

// What the player's window was told while a toon played, as it arrived.
struct PlayerEvent {
    UINT message;
    int walkingToFrame;
    int frame;          // the frame he walks to or stands at
    int nextFrame;
    LONG x, y;          // where the character stands
    DWORD time;
};
std::vector<PlayerEvent> playerEvents;
WNDPROC playerProc;

LRESULT CALLBACK WatchPlayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WALKDONE || message == WM_ACTDONE || message == WM_DESTROY)
    {
        const Stage *stage = StageOf(window);
        playerEvents.push_back({ message, stage->phase == PHASE_WALKING, stage->frameShown, stage->nextFrameIndex,
                                 stage->character.x, stage->character.y, GetTickCount() });
    }
    return CallWindowProcA(playerProc, window, message, wParam, lParam);
}

}  // namespace

TEST_CASE("a toon plays once, every frame in order, and the player closes after the last")
{
    std::string directory = ToonDirectory();
    UseDirectory(directory);
    const std::vector<POINT> points = { { 300, 300 }, { 600, 350 }, { 200, 500 } };
    WriteToon(directory + "Thrice.PTF", points, 1);
    playerEvents.clear();
    playerProc = NULL;
    CHECK(RunPlayer("Thrice.PTF", {
        // Watched before the cycle starts, two seconds after the window.
        WaitFor("the player", [] { return Player() != NULL; }),
        Do("watch it", [] { playerProc = (WNDPROC)SetWindowLongPtrA(Player(), GWLP_WNDPROC, (LONG_PTR)WatchPlayer); }),
        WaitFor("the player closing by itself", [] { return Player() == NULL; }, 40000),
    }) == 1);
    CHECK(std::string(roster.currentToon) == "Thrice.PTF");
    CHECK(atoi(IniValue("Paces Walked").c_str()) > 1000);

    // Three arrivals, at the frames' points in order, a pause apart.
    std::vector<PlayerEvent> arrivals;
    for (const PlayerEvent &event : playerEvents)
        if (event.message == WM_WALKDONE && event.walkingToFrame)
            arrivals.push_back(event);
    CHECK(arrivals.size() == points.size());
    if (arrivals.size() != points.size())
        return;
    for (size_t k = 0; k < arrivals.size(); ++k) {
        CAPTURE(k);
        CHECK(arrivals[k].frame == (int)k);
        CHECK(arrivals[k].nextFrame == (int)k + 1);
        // A walk ends short of its point by less than a pixel a step.
        CHECK(labs(arrivals[k].x - (points[k].x - 65)) < 40);
        CHECK(labs(arrivals[k].y - (points[k].y - 65)) < 40);
        // Half a second before he speaks, then the second's pause.
        if (k > 0)
            CHECK(arrivals[k].time - arrivals[k - 1].time >= 1400);
    }
    // Then the walk off to the nearer side, the cycle's end, and the window goes.
    CHECK(playerEvents.size() == points.size() + 3);
    if (playerEvents.size() != points.size() + 3)
        return;
    const PlayerEvent *end = &playerEvents[points.size()];
    CHECK(end[0].message == WM_WALKDONE);
    CHECK(end[0].walkingToFrame == 0);
    CHECK(end[0].nextFrame == 0);
    CHECK(end[0].x + 130 <= 0);
    CHECK(end[1].message == WM_ACTDONE);
    CHECK(end[2].message == WM_DESTROY);
    CHECK(end[0].time - arrivals.back().time >= 1400);
    CHECK(Player() == NULL);
}

TEST_CASE("the dialog plays the selected toon file, and a double-clicked one, by its full path")
{
    std::string directory = ToonDirectory();
    UseDirectory(directory);
    WriteToon(directory + "chosen.ptf", { { 300, 300 } }, 5);
    WritePrivateProfileStringA(INI_SECTION, "Walking Style", "0", INI_FILE);
    // The process works in a folder of its own, which nothing moves.
    char started[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof started, started);
    const std::string elsewhere = testing::TempDirectory("PlayerElsewhere");
    SetCurrentDirectoryA(elsewhere.c_str());

    struct Row { const char *how; WPARAM command; };
    const Row rows[] = {
        { "P&lay Toon File", MAKEWPARAM(IDC_PLAYTOON, BN_CLICKED) },
        { "double click", MAKEWPARAM(IDC_TOONLIST, LBN_DBLCLK) },
    };
    for (const Row &row : rows) {
        CAPTURE(row.how);
        std::string played = "<no player>", folder;
        HWND dialog = NULL;
        std::vector<testing::ScriptStep> steps = {
            WaitFor("the dialog", [&] { return (dialog = testing::ConfigDialog()) != NULL; }),
            Do("the toon chosen", [&] {
                SendDlgItemMessageA(dialog, IDC_TOONLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)"chosen.ptf");
                // Chosen on screen, not yet written.
                SendMessageA(GetDlgItem(dialog, IDC_PLAYTOONS), BM_CLICK, 0, 0);
                SendMessageA(dialog, WM_COMMAND, row.command, (LPARAM)GetDlgItem(dialog, IDC_TOONLIST));
            }),
            WaitFor("the player", [] { return Player() != NULL; }),
            Do("a key in it", [&] {
                played = roster.currentToon;
                folder = show.toonFolder;
                // The player read the INI file; the dialog's own choice stands.
                CHECK(settings.pendingStyle == 1);
                testing::TapKey('X');
            }),
            WaitFor("the player gone", [] { return Player() == NULL; }),
            Do("the dialog back; Cancel", [&] {
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            }),
        };
        INT_PTR result = -1;
        testing::RunScript(steps, [&] {
            result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
        }, testing::EndEverything);
        CHECK(result == 1);
        CHECK(played == "chosen.ptf");
        CHECK(folder == directory);
        char current[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof current, current);
        CHECK(std::string(current) + "\\" == elsewhere);
    }
    SetCurrentDirectoryA(started);
}
