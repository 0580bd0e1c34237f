#include <doctest.h>
#include <math.h>
#include <string.h>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "show/roster.h"
#include "show/saver_show.h"
#include "show/settings.h"
#include "host/saver_window.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "toon/toon_document.h"
#include "support/checks.h"
#include "support/support.h"
#include "support/engine_stage.h"
#include "support/screen_watch.h"

namespace {

// Makes a fresh toon directory holding the given files and returns its
// path; the test works in it as its current directory.
std::string EnterDirectory(const char *name, const std::vector<std::string> &files)
{
    const std::string directory = testing::TempDirectory(name);
    SetCurrentDirectoryA(directory.c_str());
    lstrcpynA(settings.directory, directory.c_str(), sizeof settings.directory);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(found.cFileName);
            else
                DeleteFileA(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const std::string &file : files)
        testing::WriteFileBytes(file, "toon");
    return directory;
}

void StartRun()
{
    roster.currentToon[0] = '\0';
    SeedRandomNumber(12345);
}

std::vector<std::string> NextNames(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        CHECK(NextToonFile() == 1);
        names.push_back(roster.currentToon);
    }
    return names;
}

}  // namespace

TEST_CASE("an empty directory gives no toon")
{
    EnterDirectory("roster-empty", { "notes.txt", "toon.ptf.bak" });
    StartRun();
    CHECK(CountToonFiles() == 0);
    CHECK(roster.toonCount == 0);
    char picked[TOON_NAME_SIZE] = "unchanged";
    CHECK(PickToonFile(picked) == 0);
    CHECK(std::string(picked) == "unchanged");
    CHECK(NextToonFile() == 0);
    CHECK(roster.currentToon[0] == '\0');
}

TEST_CASE("every matching entry counts, whatever its attributes")
{
    EnterDirectory("roster-count", { "a.ptf", "B.PTF", "c.Ptf", "d.txt" });
    SetFileAttributesA("c.Ptf", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA("folder.ptf", NULL);
    CHECK(CountToonFiles() == 4);
    SetFileAttributesA("c.Ptf", FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("one toon plays every time; of more, none follows itself and each comes up")
{
    struct Row { const char *directory; std::vector<std::string> files; int draws; };
    const Row rows[] = {
        { "roster-one", { "only.ptf" }, 5 },
        { "roster-two", { "a.ptf", "b.ptf" }, 40 },
        { "roster-three", { "a.ptf", "b.ptf", "c.ptf" }, 300 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.directory);
        EnterDirectory(row.directory, row.files);
        StartRun();
        CHECK(CountToonFiles() == (int)row.files.size());
        std::vector<std::string> names = NextNames(row.draws);
        std::map<std::string, int> seen;
        for (size_t i = 0; i < names.size(); ++i) {
            CAPTURE(i);
            ++seen[names[i]];
            if (i > 0 && row.files.size() > 1)
                CHECK(names[i] != names[i - 1]);
        }
        CHECK(seen.size() == row.files.size());
        for (const std::string &file : row.files)
            CHECK(seen[file] > row.draws / (2 * (int)row.files.size()));
    }
}

TEST_CASE("a listing that shrank after the count")
{
    EnterDirectory("roster-shrunk", { "a.ptf", "b.ptf", "c.ptf", "d.ptf", "e.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 5);

    SUBCASE("positions past the end give its last entry")
    {
        DeleteFileA("b.ptf");
        DeleteFileA("d.ptf");
        std::set<std::string> picked;
        for (int i = 0; i < 100; ++i) {
            char name[TOON_NAME_SIZE] = "";
            CHECK(PickToonFile(name) == 1);
            picked.insert(name);
        }
        CHECK(picked == std::set<std::string>{ "a.ptf", "c.ptf", "e.ptf" });
    }
    SUBCASE("one name left: the re-pick ends and plays it again")
    {
        for (const char *gone : { "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "a.ptf");
        CHECK(NextToonFile() == 1);
        CHECK(std::string(roster.currentToon) == "a.ptf");
    }
    SUBCASE("letter case counts: the same name in other case is another toon")
    {
        for (const char *gone : { "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "A.PTF");
        CHECK(NextToonFile() == 1);
        CHECK(std::string(roster.currentToon) == "a.ptf");
    }
    SUBCASE("no name left: nothing is set")
    {
        for (const char *gone : { "a.ptf", "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "c.ptf");
        CHECK(NextToonFile() == 0);
        CHECK(std::string(roster.currentToon) == "c.ptf");
    }
}

TEST_CASE("a count beyond one draw's reach still ends and picks")
{
    EnterDirectory("roster-huge", { "a.ptf", "b.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 2);
    roster.toonCount = 100000;   // as if the listing had shrunk by that much
    std::vector<std::string> names = NextNames(10);
    for (size_t i = 1; i < names.size(); ++i)
        CHECK(names[i] != names[i - 1]);
}

// ---------------------------------------------------------------------------
// The toon style through the show, in a window of this process whose
// timers the test drives.

namespace {

std::vector<std::string> playedToons;   // currentToon as each cycle began
std::vector<POINT> arrivals;            // the character's corner as each walk ended
std::vector<bool> arrivalClean;         // the screen was background and sprite only
int showActs;

// Whether the stage around the character shows the background and, inside
// the sprite's square only, something else: him.
bool OnlyCharacterOverBackground(HWND window)
{
    const int margin = 30;
    const Stage *stage = StageOf(window);
    const SpritePlace &character = stage->character;
    RECT client;
    GetClientRect(window, &client);
    RECT area = { character.x - margin, character.y - margin,
                  character.x + SPRITE_SIZE + margin, character.y + SPRITE_SIZE + margin };
    IntersectRect(&area, &area, &client);
    std::vector<COLORREF> screen = testing::Capture(window, area);

    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ old = SelectObject(memory, stage->background);
    int width = area.right - area.left, inside = 0, outside = 0;
    for (size_t i = 0; i < screen.size(); ++i) {
        int x = area.left + (int)(i % width), y = area.top + (int)(i / width);
        if (screen[i] == GetPixel(memory, x, y))
            continue;
        bool inSprite = x >= character.x && x < character.x + SPRITE_SIZE &&
                        y >= character.y && y < character.y + SPRITE_SIZE;
        ++(inSprite ? inside : outside);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return outside == 0 && inside > SPRITE_SIZE * SPRITE_SIZE / 10;
}

LRESULT CALLBACK ShowStageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The test decides when the window goes.
    if (message == WM_CLOSE || message == WM_ACTIVATEAPP)
        return 0;
    if (message == WM_WALKDONE) {
        const SpritePlace &character = StageOf(window)->character;
        arrivals.push_back({ character.x, character.y });
        arrivalClean.push_back(OnlyCharacterOverBackground(window));
    }
    LRESULT result = SaverShowProc(window, message, wParam, lParam, SaverHostDefaultProc);
    if (message == WM_ACTDONE) {
        ++showActs;
        playedToons.push_back(roster.currentToon);
    }
    return result;
}

void PutToonStyleIni(const std::string &directory)
{
    testing::RemoveIni();
    CHECK(testing::WriteFileBytes(testing::IniPath(), "[Fizzy Pimbo Screen Saver]\r\nWalking Style=1\r\n"
                                  "Backgrounds=0\r\nStatements=0\r\nDirectory=" + directory + "\r\n"));
}

// A toon file of the given frames: x, y pairs with short pauses and no
// text, on background 3.
std::string ToonOf(const std::vector<POINT> &points, uint32_t version = TOON_VERSION)
{
    return testing::ToonBytes(points, 1, 3, version);
}

HWND OpenShow(int width, int height)
{
    const char *cls = "PimboRosterShowStage";
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    if (!GetClassInfoA(GetModuleHandleA(NULL), cls, &wc)) {
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ShowStageProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = cls;
        RegisterClassA(&wc);
    }
    previewMode = 0;
    playedToons.clear();
    arrivals.clear();
    arrivalClean.clear();
    showActs = 0;
    HWND window = CreateWindowExA(0, cls, "", WS_POPUP | WS_VISIBLE, 0, 0, width, height, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    UpdateWindow(window);
    return window;
}


// The show ends its thread's loop as it goes; this thread carries on.
void CloseShow(HWND window)
{
    DestroyWindow(window);
    MSG quit;
    while (PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
        ;
}

// The first cycle at once, then the engine's ticks until cycles have ended.
void RunShow(HWND window, int cycles)
{
    SendMessageA(window, WM_TIMER, IDT_START, 0);
    UpdateWindow(window);   // the new background, as a pumped loop would paint it
    playedToons.push_back(roster.currentToon);
    for (int tick = 0; tick < 100000 && showActs < cycles; ++tick) {
        const Stage *stage = StageOf(window);
        if (stage->walk.timerRunning) {
            SendMessageA(window, WM_TIMER, IDT_WALK, 0);
        } else if (ToonRunning(stage)) {
            SendMessageA(window, WM_TIMER, IDT_SPEECHDELAY, 0);
            SendMessageA(window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        } else {
            break;
        }
    }
}

}  // namespace

TEST_CASE("in the toon style the character walks to each frame's point, scaled to the stage")
{
    const std::string directory = EnterDirectory("roster-show-points", {});
    const std::vector<POINT> points = { { 200, 560 }, { 520, 620 }, { 820, 500 } };
    CHECK(testing::WriteFileBytes(directory + "points.ptf", ToonOf(points)));
    PutToonStyleIni(directory);

    struct Row { int width, height; };
    for (const Row &row : { Row{ 1024, 768 }, Row{ 640, 480 } }) {
        CAPTURE(row.width);
        HWND window = OpenShow(row.width, row.height);
        CHECK_OR_RETURN(window != nullptr);
        RunShow(window, 1);
        CHECK(showActs == 1);
        CHECK(show.backgroundNumber == 3);
        CHECK_OR_RETURN(arrivals.size() == points.size() + 1);   // and the walk off
        std::vector<POINT> expected = testing::ExpectedArrivals(points, 1024, 768, row.width, row.height);
        for (size_t i = 0; i < points.size(); ++i) {
            CAPTURE(i);
            CHECK(arrivals[i].x == expected[i].x);
            CHECK(arrivals[i].y == expected[i].y);
            CHECK(arrivalClean[i]);
        }
        CHECK((arrivals.back().x < -SPRITE_SIZE || arrivals.back().x >= row.width));
        CloseShow(window);
    }
}

TEST_CASE("in the toon style two files alternate and three never repeat at once")
{
    struct Row { const char *directory; std::vector<std::string> files; int cycles; };
    const Row rows[] = {
        { "roster-show-two", { "left.ptf", "right.ptf" }, 8 },
        { "roster-show-three", { "one.ptf", "two.ptf", "three.ptf" }, 30 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.directory);
        const std::string directory = EnterDirectory(row.directory, {});
        for (size_t i = 0; i < row.files.size(); ++i)
            CHECK(testing::WriteFileBytes(directory + row.files[i], ToonOf({ { 300 + 200 * (LONG)i, 500 } })));
        PutToonStyleIni(directory);
        // The process works in another folder, which the show neither plays from nor moves.
        const std::string elsewhere = EnterDirectory("roster-show-elsewhere", { "decoy.ptf" });
        HWND window = OpenShow(1024, 768);
        CHECK_OR_RETURN(window != nullptr);
        CHECK(roster.toonCount == (int)row.files.size());
        RunShow(window, row.cycles);
        CHECK(showActs == row.cycles);
        std::set<std::string> seen;
        for (size_t i = 0; i < playedToons.size(); ++i) {
            CAPTURE(i);
            seen.insert(playedToons[i]);
            if (i > 0)
                CHECK(playedToons[i] != playedToons[i - 1]);
        }
        CHECK(seen == std::set<std::string>(row.files.begin(), row.files.end()));
        char current[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof current, current);
        CHECK(std::string(current) + "\\" == elsewhere);
        CloseShow(window);
    }
}

TEST_CASE("a toon that cannot be read is reported and leaves the show idle")
{
    // The toon is named by its full path.
    const std::string directory = testing::TempDirectory("roster-show-unreadable");
    struct Row { const char *name; std::string bytes; bool removed; std::string message; };
    const Row rows[] = {
        { "broken.ptf", ToonOf({ { 300, 500 } }, 0x20002), false, "Invalid ToonFile Version " + directory + "broken.ptf." },
        { "vanished.ptf", ToonOf({ { 300, 500 } }), true, "Error opening file" },
        { "empty.ptf", ToonOf({}), false, "No toon frames in " + directory + "empty.ptf." },
    };
    for (const Row &row : rows) {
        CAPTURE(row.name);
        EnterDirectory("roster-show-unreadable", {});
        CHECK(testing::WriteFileBytes(directory + row.name, row.bytes));
        PutToonStyleIni(directory);
        HWND window = OpenShow(1024, 768);
        CHECK_OR_RETURN(window != nullptr);
        CHECK(std::string(roster.currentToon) == row.name);
        if (row.removed)
            DeleteFileA((directory + row.name).c_str());
        testing::BoxCatcher boxes([](HWND, const testing::CaughtBox &) { return IDOK; });
        RunShow(window, 1);
        CHECK_OR_RETURN(boxes.Boxes().size() == 1u);
        CHECK(boxes.Boxes()[0].text == row.message);
        testing::Pump(300);
        CHECK(showActs == 0);
        CHECK(StageOf(window)->phase == PHASE_READY);
        CHECK_FALSE(StageOf(window)->walk.timerRunning);
        for (UINT_PTR id : { IDT_WALK, IDT_SPEECHDELAY, IDT_FRAMEPAUSE, IDT_START })
            CHECK_FALSE(KillTimer(window, id));
        CloseShow(window);
    }
}

// ---------------------------------------------------------------------------
// The same through the real program, full screen, watched on the screen.

TEST_CASE("the saver plays a toon file full screen: he stops at each frame's point")
{
    const std::string directory = EnterDirectory("roster-saver", {});
    const std::vector<POINT> points = { { 300, 560 }, { 700, 600 } };
    std::string bytes = ToonOf(points);
    for (size_t i = 0; i < points.size(); ++i)   // long enough to be seen
        bytes[TOON_HEADER_BYTES + i * TOON_FRAME_BYTES + 12] = 6;
    CHECK(testing::WriteFileBytes(directory + "watched.ptf", bytes));
    PutToonStyleIni(directory);
    const testing::Shot tile = testing::TileShot("bg03");   // the toon's background
    CHECK_OR_RETURN(tile.width > 0);
    const std::vector<POINT> expected = testing::ExpectedArrivals(points, 1024, 768, 1024, 768);
    const int band = 400;   // below the title

    PROCESS_INFORMATION saver = testing::StartScr("/s");
    const std::vector<bool> seen = testing::WatchArrivals(tile, band, expected, 60000);
    for (size_t i = 0; i < points.size(); ++i) {
        CAPTURE(i);
        CHECK(seen[i]);
    }

    testing::TapKey(VK_SPACE);
    CHECK(testing::FinishProcess(saver, 10000) == 0);
}
