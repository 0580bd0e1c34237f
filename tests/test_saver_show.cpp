#include <doctest.h>
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "host/host_entry.h"
#include "host/saver_window.h"
#include "show/roster.h"
#include "show/saver_show.h"
#include "show/settings.h"
#include "support/screen_watch.h"
#include "support/script.h"
#include "support/support.h"
#include "toon/toon_document.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <set>
#include <string>
#include <vector>

using testing::IniText;

static const char SECTION_LINE[] = "[Fizzy Pimbo Screen Saver]\r\n";
static const char PACES_REPORT[] = "Since starting here, I've walked a total of ";
static const int SCREEN_W = 1024;
static const int SCREEN_H = 768;
static const int TILE_COUNT = 10;

static std::string NoToons()
{
    return testing::TempDirectory("pimbo-no-toons");
}

static void PutIni(const std::string &lines)
{
    CHECK(testing::PutIni(lines));
}

static int CursorCount()
{
    int count = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return count - 1;
}

// ---------------------------------------------------------------------------
// The show in a window of this process, its timers driven by the test.

struct CycleStart {
    int backgroundNumber;
    HBITMAP background;
    int walking;
    std::string text;
};

static std::vector<CycleStart> cycleStarts;   // one per WM_ACTDONE and first tick
static int actDoneCount;

static void RecordCycleStart(HWND window)
{
    const Stage *stage = StageOf(window);
    cycleStarts.push_back({ show.backgroundNumber, stage->background, stage->act,
                            std::string(stage->randomFrame.text) });
}

static LRESULT CALLBACK TestStageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The test decides when the window goes; stray input must not close it.
    if (message == WM_CLOSE || message == WM_ACTIVATEAPP)
        return 0;
    LRESULT result = SaverShowProc(window, message, wParam, lParam, SaverHostDefaultProc);
    if (message == WM_ACTDONE) {
        ++actDoneCount;
        RecordCycleStart(window);
    }
    return result;
}

static const char TEST_CLASS[] = "PimboShowTestStage";

static void RegisterTestClass(void)
{
    WNDCLASSA cls;
    ZeroMemory(&cls, sizeof cls);
    if (GetClassInfoA(GetModuleHandleA(NULL), TEST_CLASS, &cls))
        return;
    cls.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = TestStageProc;
    cls.hInstance = GetModuleHandleA(NULL);
    cls.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    cls.lpszClassName = TEST_CLASS;
    RegisterClassA(&cls);
}

static HWND OpenShowWindow(int width, int height)
{
    RegisterTestClass();
    cycleStarts.clear();
    actDoneCount = 0;
    return CreateWindowExA(0, TEST_CLASS, "", WS_POPUP | WS_VISIBLE, 0, 0, width, height, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

// Sends the engine's ticks straight away instead of waiting for the timers.
static void DriveCycles(HWND window, int cycles)
{
    for (int tick = 0; tick < 20000 && actDoneCount < cycles && IsWindow(window); ++tick) {
        const Stage *stage = StageOf(window);
        if (stage->walk.timerRunning) {
            SendMessageA(window, WM_TIMER, IDT_WALK, 0);
        } else if (stage->phase != PHASE_READY) {
            SendMessageA(window, WM_TIMER, IDT_SPEECHDELAY, 0);
            SendMessageA(window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        } else {
            break;
        }
    }
}

static void BeginFirstCycle(HWND window)
{
    SendMessageA(window, WM_TIMER, IDT_START, 0);
    RecordCycleStart(window);
}

// The cycles that really started a walk, in order.
static std::vector<CycleStart> WalkingCycles(void)
{
    std::vector<CycleStart> walking;
    for (const CycleStart &start : cycleStarts)
        if (start.walking)
            walking.push_back(start);
    return walking;
}

TEST_CASE("two seconds after the window is made random walks begin, each on a new background")
{
    previewMode = 0;
    PutIni("Walking Style=0\r\nStatements=1\r\nBackgrounds=1\r\nDirectory=" + NoToons() + "\r\n");
    DWORD created = GetTickCount();
    HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
    CHECK(show.running == 1);
    CHECK(PackedWidth(StageOf(window)->size) == SCREEN_W);
    CHECK(PackedHeight(StageOf(window)->size) == SCREEN_H);
    CHECK(testing::PumpUntil([&] { return StageOf(window)->act != 0; }, 4000));
    DWORD elapsed = GetTickCount() - created;
    CHECK(elapsed >= 1990);
    CHECK(elapsed < 3000);
    RecordCycleStart(window);
    DriveCycles(window, 40);
    std::vector<CycleStart> walks = WalkingCycles();
    CHECK(walks.size() >= 30);
    std::set<int> numbers;
    int statements = 0;
    for (size_t i = 0; i < walks.size(); ++i) {
        CAPTURE(i);
        CHECK(walks[i].backgroundNumber >= 1);
        CHECK(walks[i].backgroundNumber <= TILE_COUNT);
        if (i > 0)
            CHECK(walks[i].backgroundNumber != walks[i - 1].backgroundNumber);
        numbers.insert(walks[i].backgroundNumber);
        if (!walks[i].text.empty() && walks[i].text.rfind(PACES_REPORT, 0) != 0)
            ++statements;
    }
    // Ten tiles over thirty walks: a fixed or stuck choice shows up here.
    CHECK(numbers.size() >= 6);
    CHECK(statements > 0);
    CHECK(show.backgroundCount == TILE_COUNT);
    DestroyWindow(window);
    CHECK(show.running == 0);
}

TEST_CASE("settings that narrow the random walk")
{
    previewMode = 0;
    SUBCASE("backgrounds and statements off: the first background throughout, silence or the paces report")
    {
        PutIni("Walking Style=0\r\nStatements=0\r\nBackgrounds=0\r\nDirectory=" + NoToons() + "\r\n");
        HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
        HBITMAP first = StageOf(window)->background;
        CHECK(first != NULL);
        BeginFirstCycle(window);
        DriveCycles(window, 60);
        CHECK(WalkingCycles().size() >= 50);
        for (const CycleStart &start : cycleStarts) {
            CAPTURE(start.text);
            CHECK(start.backgroundNumber == 0);
            CHECK(start.background == first);
            CHECK((!start.walking || start.text.empty() || start.text.rfind(PACES_REPORT, 0) == 0));
        }
        DestroyWindow(window);
    }
    SUBCASE("toon style with no toon file: random walks, the file keeps the style")
    {
        const std::string lines = "Walking Style=1\r\nStatements=1\r\nBackgrounds=0\r\n"
                                  "Directory=" + NoToons() + "\r\nPaces Walked=5\r\n";
        PutIni(lines);
        HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
        CHECK(settings.walkingStyle == 0);
        CHECK(settings.backgrounds == 1);
        CHECK(roster.currentToon[0] == '\0');
        BeginFirstCycle(window);
        DriveCycles(window, 8);
        std::vector<CycleStart> walks = WalkingCycles();
        CHECK(walks.size() >= 6);
        for (size_t i = 1; i < walks.size(); ++i) {
            CHECK(walks[i].backgroundNumber >= 1);
            CHECK(walks[i].backgroundNumber != walks[i - 1].backgroundNumber);
        }
        DestroyWindow(window);
        std::string text = IniText();
        CHECK(text.find("Walking Style=1\r\n") != std::string::npos);
        CHECK(text.find("Backgrounds=0\r\n") != std::string::npos);
    }
}

TEST_CASE("toon style with exactly one toon file plays it again and again, though another program reads it")
{
    previewMode = 0;
    const std::string directory = testing::TempDirectory("pimbo-one-toon");
    const std::string path = directory + "greeting.ptf";
    CHECK(CopyFileA(testing::SourcePath("toons/greeting.ptf").c_str(), path.c_str(), FALSE));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    CHECK(holder != INVALID_HANDLE_VALUE);
    PutIni("Walking Style=1\r\nBackgrounds=0\r\nDirectory=" + directory + "\r\n");
    testing::BoxCatcher boxes([](HWND, const testing::CaughtBox &) { return IDOK; });
    FreeToonFrames(&show.toon);
    show.toon.frameCount = 0;
    HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
    CHECK(std::string(roster.currentToon) == "greeting.ptf");
    CHECK(settings.walkingStyle == 1);
    CHECK(settings.backgrounds == 1);
    BeginFirstCycle(window);
    CHECK(show.toon.frameCount == 4);
    DriveCycles(window, 3);
    CHECK(actDoneCount == 3);
    for (const CycleStart &start : cycleStarts)
        CHECK(start.backgroundNumber == 2);   // from the toon's header
    CHECK(std::string(roster.currentToon) == "greeting.ptf");
    CHECK(ToonRunning(StageOf(window)));
    CHECK(boxes.Boxes().empty());
    DestroyWindow(window);
    CloseHandle(holder);
}

TEST_CASE("stopping the show frees what starting it made and stores only the paces")
{
    previewMode = 0;
    const std::string lines = "Walking Style=0\r\nOther=keep\r\nBackgrounds=0\r\nDirectory=" +
                              NoToons() + "\r\n";
    PutIni(lines);
    int cursor = CursorCount();

    SUBCASE("a window closed before any cycle still writes Paces Walked")
    {
        HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
        testing::Pump(200);
        HDC dc = GetDC(window);
        COLORREF before = GetPixel(dc, 3, 3);
        CHECK(SendMessageA(window, WM_ERASEBKGND, (WPARAM)dc, 0) == 1);
        CHECK(GetPixel(dc, 3, 3) == before);
        CHECK(before != RGB(255, 255, 255));
        ReleaseDC(window, dc);
        DestroyWindow(window);
        CHECK(IniText() == SECTION_LINE + lines + "Paces Walked=0\r\n");
    }
    SUBCASE("walks add to the paces that are written, and so does another stage's store meanwhile")
    {
        HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
        BeginFirstCycle(window);
        DriveCycles(window, 2);
        StorePacesWalked(7);
        LONG paces = StageOf(window)->pacesWalked + 7;
        CHECK(paces > 7);
        DestroyWindow(window);
        char expected[64];
        snprintf(expected, sizeof expected, "Paces Walked=%ld\r\n", (long)paces);
        CHECK(IniText() == SECTION_LINE + lines + expected);
    }
    SUBCASE("fifty start-stop runs leave no GDI object behind")
    {
        // One run first: the platform keeps some objects of its own on first use.
        DestroyWindow(OpenShowWindow(SCREEN_W, SCREEN_H));
        int headroom = testing::GdiHeadroom();
        for (int run = 0; run < 50; ++run) {
            HWND window = OpenShowWindow(SCREEN_W, SCREEN_H);
            if (run % 10 == 0) {
                BeginFirstCycle(window);
                DriveCycles(window, 1);
            }
            DestroyWindow(window);
        }
        CHECK(testing::GdiHeadroom() == headroom);
        CHECK(show.titleFont == NULL);
        CHECK(show.textFont == NULL);
    }
    CHECK(CursorCount() == cursor);
    testing::Pump(50);
}

// ---------------------------------------------------------------------------
// The real program on the screen.

using testing::Shot;

// The background tiles as this program's resources hold them.
static std::vector<Shot> tiles;

static void LoadTiles(void)
{
    if (!tiles.empty())
        return;
    tiles.resize(TILE_COUNT + 1);
    for (int n = 1; n <= TILE_COUNT; ++n) {
        char name[8];
        snprintf(name, sizeof name, "bg%02d", n);
        tiles[n] = testing::TileShot(name);
    }
}

struct Look {
    DWORD at;          // ms since the saver window appeared
    int tile;          // the background tile that fits best, 0 when none does
    int foreign;       // sampled pixels the tile does not explain
    int blue;          // pure blue pixels in the title band, not from the tile
};

static const int GRID = 6;

// Which tile the image shows, and how much lies on top of it.
static Look LookAt(const Shot &image, const RECT &titleBand)
{
    LoadTiles();
    Look look = { 0, 0, 0, 0 };
    int best = -1;
    for (int n = 1; n <= TILE_COUNT; ++n) {
        const Shot &tile = tiles[n];
        if (tile.width == 0)
            continue;
        int fit = 0;
        for (int y = 0; y < image.height; y += GRID)
            for (int x = 0; x < image.width; x += GRID)
                fit += testing::Near(image.At(x, y), tile.At(x % tile.width, y % tile.height));
        if (fit > best) {
            best = fit;
            look.tile = n;
        }
    }
    int samples = ((image.height + GRID - 1) / GRID) * ((image.width + GRID - 1) / GRID);
    if (look.tile == 0 || best * 10 < samples * 7) {
        look.tile = 0;
        return look;
    }
    look.foreign = samples - best;
    const Shot &tile = tiles[look.tile];
    for (int y = titleBand.top; y < titleBand.bottom && y < image.height; ++y)
        for (int x = titleBand.left; x < titleBand.right && x < image.width; ++x)
            if (image.At(x, y) == 0x0000FF && tile.At(x % tile.width, y % tile.height) != 0x0000FF)
                ++look.blue;
    return look;
}

// One stretch of looks with something on the stage: a cycle's walk.
struct Visit {
    DWORD from;
    DWORD to;
    std::vector<int> tiles;
    int MainTile() const
    {
        int counts[TILE_COUNT + 1] = { 0 };
        for (int tile : tiles)
            ++counts[tile];
        int best = 1;
        for (int n = 1; n <= TILE_COUNT; ++n)
            if (counts[n] > counts[best])
                best = n;
        return best;
    }
};

static const int PRESENT = 25;   // foreign samples that mean the character is on stage

struct SaverWatch {
    std::vector<Look> looks;
    std::vector<Visit> visits;   // complete ones, after the title has gone
    DWORD titleGone = 0;
};

// Watches the full-screen saver until `cycles` walks have come and gone, or
// with `lastMayRun`, until the last of them is well under way.
static SaverWatch WatchSaver(int cycles, bool lastMayRun, DWORD timeoutMs)
{
    SaverWatch watch;
    const bool up = testing::PumpUntil([] { return FindWindowA(SAVER_CLASS_NAME, "Screen Saver") != NULL; }, 20000);
    CHECK(up);
    if (!up)
        return watch;
    DWORD start = GetTickCount();
    const RECT band = { 0, SCREEN_H / 2 - 170, SCREEN_W, SCREEN_H / 2 - 170 + 50 };
    Visit current = { 0, 0, {} };
    bool inVisit = false;
    while (GetTickCount() - start < timeoutMs) {
        HDC dc = GetDC(NULL);
        Look look = LookAt(testing::GrabShot(dc, 0, 0, SCREEN_W, SCREEN_H), band);
        ReleaseDC(NULL, dc);
        look.at = GetTickCount() - start;
        if (look.blue == 0 && look.at > 1000 && !watch.titleGone)
            watch.titleGone = look.at;
        if (watch.titleGone && look.at > watch.titleGone + 300) {
            bool present = look.foreign > PRESENT;
            if (present && !inVisit)
                current = { look.at, look.at, {} };
            if (present) {
                current.to = look.at;
                current.tiles.push_back(look.tile);
            }
            if (!present && inVisit)
                watch.visits.push_back(current);
            inVisit = present;
        }
        watch.looks.push_back(look);
        if ((int)watch.visits.size() >= cycles)
            break;
        if (lastMayRun && (int)watch.visits.size() == cycles - 1 && inVisit && current.tiles.size() >= 5) {
            watch.visits.push_back(current);
            break;
        }
        testing::Pump(60);
    }
    return watch;
}

// The toon style with no toon file falls back to random walks: the first
// keeps the opening background, every later one gets a new one.
TEST_CASE("the saver full screen: title, random walks on new backgrounds, a key ends it")
{
    const std::string lines = "Walking Style=1\r\nStatements=0\r\nBackgrounds=0\r\nDirectory=" +
                              NoToons() + "\r\n";
    PutIni(lines + "Paces Walked=100\r\n");
    PROCESS_INFORMATION saver = testing::StartScr("/s");
    SaverWatch watch = WatchSaver(3, true, 90000);
    int titled = 0;
    for (const Look &look : watch.looks) {
        CAPTURE(look.at);
        if (look.at >= 1000 && look.at <= 1850) {
            CHECK(look.tile == 1);
            CHECK(look.blue > 100);
            ++titled;
        }
        if (look.at >= 3000)
            CHECK(look.blue == 0);
    }
    CHECK(titled >= 3);
    CHECK(watch.titleGone > 1850);
    CHECK(watch.titleGone < 3000);
    CHECK(watch.visits.size() == 3);
    if (watch.visits.size() == 3) {
        CHECK(watch.visits[0].MainTile() == 1);
        CHECK(watch.visits[2].MainTile() != watch.visits[1].MainTile());
    }
    testing::TapKey(VK_SPACE);
    CHECK(testing::FinishProcess(saver, 10000) == 0);
    std::string text = IniText();
    CHECK(text.rfind(SECTION_LINE + lines + "Paces Walked=", 0) == 0);
    long paces = strtol(text.c_str() + text.rfind('=') + 1, NULL, 10);
    CHECK(paces > 100);
}

TEST_CASE("the saver full screen with backgrounds off keeps the first background")
{
    PutIni("Walking Style=0\r\nStatements=1\r\nBackgrounds=0\r\nDirectory=" +
           NoToons() + "\r\n");
    PROCESS_INFORMATION saver = testing::StartScr("/s");
    SaverWatch watch = WatchSaver(2, true, 70000);
    CHECK(watch.visits.size() == 2);
    for (const Look &look : watch.looks) {
        CAPTURE(look.at);
        if (look.at >= 700)
            CHECK(look.tile == 1);
    }
    testing::TapKey(VK_SPACE);
    CHECK(testing::FinishProcess(saver, 10000) == 0);
}

// The preview runs through the host's own entry, in this process: a child
// window of another process is not drawn on this display, so its pixels
// could not be read back.
TEST_CASE("the preview: a two-line title, one visit, the cursor left alone, then idle")
{
    PutIni("Walking Style=0\r\nDirectory=" + NoToons() + "\r\n");
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                  200, 150, 152, 112, NULL, NULL, GetModuleHandleA(NULL), NULL);
    const DWORD start = GetTickCount(), watchMs = 13000;
    const int cursor = CursorCount();
    bool cursorChanged = false, wasWalking = false;
    Shot quiet;
    std::vector<std::pair<DWORD, bool>> presence;   // whether he is on the stage
    std::vector<ToonFrame> visits;                  // the frame of each walk in
    hostInstance = GetModuleHandleA(NULL);
    int result = -1;
    testing::RunScript({
        testing::WaitFor("the watch to end", [&] {
            DWORD now = GetTickCount() - start;
            HWND child = FindWindowExA(parent, NULL, SAVER_CLASS_NAME, NULL);
            if (!child || now >= watchMs)
                return true;
            cursorChanged |= CursorCount() != cursor;
            const Stage *stage = StageOf(child);
            if (stage && stage->act && !wasWalking && stage->phase != PHASE_WALKING_OFF)
                visits.push_back(stage->randomFrame);
            wasWalking = stage && stage->act;
            HDC dc = GetDC(child);
            Shot shot = testing::GrabShot(dc, 0, 0, 152, 112);
            ReleaseDC(child, dc);
            if (now > 1000 && quiet.width == 0) {
                quiet = shot;
            } else if (quiet.width != 0) {
                int changed = 0;
                for (size_t i = 0; i < shot.rgb.size(); i += 3)
                    changed += !testing::Near(shot.rgb[i], quiet.rgb[i]);
                presence.push_back({ now, changed > 200 });
            }
            return false;
        }, watchMs + 5000),
        testing::Do("the parent closed", [&] { DestroyWindow(parent); }),
    }, [&] { result = RunSaverWindow(parent); }, [&] { DestroyWindow(parent); });
    CHECK(result == 0);
    previewMode = 0;
    show.preview = 0;
    testing::Pump(100);   // the show's own quit message

    CHECK(!cursorChanged);
    CHECK(visits.size() == 1);
    if (visits.size() == 1) {
        const ToonFrame &visit = visits[0];
        CHECK(visit.x == 10);
        CHECK(visit.y == 0);
        CHECK(visit.pose == 6);
        CHECK(visit.wink == 1);
        CHECK(visit.pause == 3);
        CHECK(visit.text[0] == '\0');
    }
    const RECT upper = { 0, 20, 152, 42 };
    const RECT lower = { 0, 42, 152, 70 };
    CHECK(LookAt(quiet, upper).tile == 1);
    CHECK(LookAt(quiet, upper).blue > 20);
    CHECK(LookAt(quiet, lower).blue > 20);

    int arrivals = 0;
    DWORD firstSeen = 0, lastSeen = 0;
    for (size_t i = 0; i < presence.size(); ++i) {
        if (!presence[i].second)
            continue;
        if (i == 0 || !presence[i - 1].second)
            ++arrivals;
        if (!firstSeen)
            firstSeen = presence[i].first;
        lastSeen = presence[i].first;
    }
    CHECK(arrivals == 1);
    CHECK(firstSeen >= 2000);
    CHECK(lastSeen - firstSeen >= 3000);          // he stood for three seconds
    CHECK(lastSeen + 2000 < watchMs);             // and then nothing more happened
}
