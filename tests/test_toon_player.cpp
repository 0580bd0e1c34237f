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
#include "editor/editor_app.h"
#include "resources/resource.h"
#include "support/frame_editor_driver.h"
#include "support/script.h"
#include "support/support.h"

#include <algorithm>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

using testing::Do;
using testing::WaitFor;

namespace {

// The player plays in its caller's loop, here one that runs until its
// window is gone. The test acts in steps on a thread timer, which that loop
// dispatches.
std::vector<std::function<void()>> steps;
size_t nextStep;
bool ranOut;

HWND Player() { return FindWindowA("SaverWndClass", NULL); }

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (nextStep < steps.size()) {
        steps[nextStep++]();
        return;
    }
    // Out of steps with the player still open: close it so the test ends.
    if (Player()) {
        ranOut = true;
        PostMessageA(Player(), WM_CLOSE, 0, 0);
    }
}

struct PlayerRun {
    int result;
    DWORD milliseconds;
    bool closedByItself;   // gone before the steps ran out
};

PlayerRun RunPlayerWithSteps(const char *name, std::vector<std::function<void()>> script, UINT interval)
{
    steps = std::move(script);
    nextStep = 0;
    ranOut = false;
    UINT_PTR timer = SetTimer(NULL, 0, interval, StepTimer);
    DWORD start = GetTickCount();
    int result = RunToonPlayer(GetModuleHandleA(NULL), NULL, name);
    testing::PumpUntil([] { return Player() == NULL; }, 120000);
    DWORD elapsed = GetTickCount() - start;
    KillTimer(NULL, timer);
    return PlayerRun{ result, elapsed, !ranOut };
}

bool CursorShowing()
{
    CURSORINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    return (info.flags & CURSOR_SHOWING) != 0;
}

void SendKey(WORD key) { testing::TapKey(key); }

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

std::string IniValue(const char *key)
{
    char value[256] = "";
    GetPrivateProfileStringA(INI_SECTION, key, "<missing>", value, sizeof value, INI_FILE);
    return value;
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
        { "a key", [] { SendKey('Q'); } },
        { "a system key", [] { SendKey(VK_MENU); } },
        { "a left click", [] { SendMouse(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); } },
    };
    // Started again in the same process for every row.
    for (const Row &row : rows) {
        CAPTURE(row.how);
        bool stillOpen = false;
        PlayerRun run = RunPlayerWithSteps("", {
            [&] {
                HWND player = Player();
                CHECK(player);
                if (!player)
                    return;
                RECT box;
                GetWindowRect(player, &box);
                CHECK(box.left == 0);
                CHECK(box.top == 0);
                CHECK(box.right == GetSystemMetrics(SM_CXSCREEN));
                CHECK(box.bottom == GetSystemMetrics(SM_CYSCREEN));
                CHECK((GetWindowLongA(player, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_VISIBLE)) == (WS_POPUP | WS_VISIBLE));
                CHECK(GetForegroundWindow() == player);
                CHECK_FALSE(CursorShowing());
                MoveMouse(300, 200);
                SendMouse(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
                SendMouse(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
            },
            [&] {
                stillOpen = Player() != NULL;
                row.close();
            },
        }, 300);
        CHECK(stillOpen);
        CHECK(run.closedByItself);
        CHECK(run.result == 1);
        CHECK(Player() == NULL);
        CHECK(CursorShowing());
    }
}

TEST_CASE("the player stores the paces walked when it closes")
{
    UseDirectory(ToonDirectory());
    WritePrivateProfileStringA(INI_SECTION, "Paces Walked", NULL, INI_FILE);
    RunPlayerWithSteps("", { [] { CHECK(IniValue("Paces Walked") == "<missing>"); },
                             [] { SendKey(VK_ESCAPE); } }, 200);
    CHECK(IniValue("Paces Walked") == "0");
}

TEST_CASE("with no toon the player shows one random walk and closes by itself")
{
    UseDirectory(ToonDirectory());
    // Generous: the walk in, the pause of up to 20 s and the walk off.
    std::vector<std::function<void()>> wait(90, [] {});
    wait[0] = [] { CHECK(std::string(roster.currentToon).empty()); };
    PlayerRun run = RunPlayerWithSteps("", wait, 500);
    CHECK(run.closedByItself);
    CHECK(run.result == 1);
    // It began after the start delay, so it lasted longer than that.
    CHECK(run.milliseconds > 2000);
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
    std::vector<std::function<void()>> steps(400, [] {});
    steps[0] = [] {
        // Watched before the cycle starts, two seconds after the window.
        HWND player = Player();
        CHECK(player);
        if (player)
            playerProc = (WNDPROC)SetWindowLongPtrA(player, GWLP_WNDPROC, (LONG_PTR)WatchPlayer);
    };
    PlayerRun run = RunPlayerWithSteps("Thrice.PTF", steps, 100);
    CHECK(run.closedByItself);
    CHECK(run.result == 1);
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

    struct Row { const char *how; WPARAM command; bool editorOpen; };
    const Row rows[] = {
        { "P&lay Toon File", MAKEWPARAM(IDC_PLAYTOON, BN_CLICKED), false },
        { "double click", MAKEWPARAM(IDC_TOONLIST, LBN_DBLCLK), false },
        { "with the editor open and frames unsaved", MAKEWPARAM(IDC_PLAYTOON, BN_CLICKED), true },
    };
    const ToonFrame unsaved[2] = { { 100, 200, 3, 1, 0, "kept" }, { 400, 300, 5, 1, 0, "" } };
    for (const Row &row : rows) {
        CAPTURE(row.how);
        std::string played = "<no player>", folder;
        bool editorKept = !row.editorOpen;
        // The save question only (Yes, No, Cancel): the dialog is a box of the same class.
        int questions = 0;
        testing::BoxCatcher boxes([&](HWND, const testing::CaughtBox &box) {
            const bool question = std::count(box.buttons.begin(), box.buttons.end(), IDNO) == 1;
            questions += question;
            return question ? IDNO : 0;
        });
        HWND dialog = NULL;
        std::vector<testing::ScriptStep> steps = {
            WaitFor("the dialog", [&] { return (dialog = testing::ConfigDialog()) != NULL; }),
            Do("the toon chosen", [&] {
                SendDlgItemMessageA(dialog, IDC_TOONLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)"chosen.ptf");
                // Chosen on screen, not yet written.
                SendMessageA(GetDlgItem(dialog, IDC_PLAYTOONS), BM_CLICK, 0, 0);
                if (row.editorOpen) {
                    testing::Command(dialog, IDC_EDITTOONS);
                    AllocToonFrames(&editorFrame.toon, 2);
                    editorFrame.toon.frameCount = 2;
                    for (int i = 0; i < 2; ++i)
                        PutToonFrame(&editorFrame.toon, i, &unsaved[i]);
                    SetToonModified(&editorFrame.toon, editorFrame.mainWindow, 1);
                }
                SendMessageA(dialog, WM_COMMAND, row.command, (LPARAM)GetDlgItem(dialog, IDC_TOONLIST));
            }),
            WaitFor("the player", [] { return Player() != NULL; }),
            Do("a key in it", [&] {
                played = roster.currentToon;
                folder = show.toonFolder;
                // The player read the INI file; the dialog's own choice stands.
                CHECK(settings.pendingStyle == 1);
                SendKey('X');
            }),
            WaitFor("the player gone", [] { return Player() == NULL; }),
            Do("the dialog back, the editor kept; Cancel", [&] {
                ToonFrame first = {};
                editorKept = editorKept || (IsWindow(editorFrame.mainWindow) && editorFrame.toon.frameCount == 2 &&
                                            editorFrame.toon.modified && GetToonFrame(&editorFrame.toon, 0, &first) &&
                                            strcmp(first.text, "kept") == 0);
                CHECK(questions == 0);
                CHECK(CloseToonEditor() == 1);
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
        CHECK(editorKept);
        CHECK(editorFrame.mainWindow == NULL);
    }
    SetCurrentDirectoryA(started);
}
