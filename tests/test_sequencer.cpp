#include <doctest.h>
#include "editor/editor_controls.h"
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/settings.h"
#include "support/engine_stage.h"
#include "support/support.h"
#include "toon/toon_document.h"
#include <algorithm>
#include <functional>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>

using namespace testing;

// The generator as the show's other players know it: state x 214013 + 2531011,
// bits 16 to 30, a tenth of that, drawn again until it is in range.
struct Generator {
    uint32_t state;
    int Draw(int low, int high)
    {
        for (;;) {
            state = state * 214013u + 2531011u;
            int v = (int)((state >> 16) & 0x7FFF) / 10;
            if (v >= low && v <= high)
                return v;
        }
    }
};

struct RandomPlan {
    LONG x, y;
    int pose, wink, id;
};

static RandomPlan PlanRandomWalk(uint32_t seed, int width, int height, int statements, int last)
{
    Generator g = { seed };
    int hx = width / 2 - 100, hy = height / 2 - 100;
    int r = g.Draw(1, 100), ox = g.Draw(1, hx), oy = g.Draw(1, hy);
    RandomPlan plan;
    plan.x = r < 50 ? hx + ox : hx - ox;
    plan.y = r < 50 ? hy + oy : hy - oy;
    plan.pose = g.Draw(0, 15);
    plan.wink = g.Draw(0, 100) < 25;
    int e = g.Draw(1, 100);
    plan.id = 0;
    if (e < 5) {
        plan.id = -1;
    } else if (statements) {
        do
            plan.id = g.Draw(4, 197);
        while (plan.id == last);
    }
    return plan;
}

static uint32_t FindSeed(const std::function<bool(const RandomPlan &)> &wanted, int width,
                         int height, int statements)
{
    for (uint32_t seed = 1; seed < 100000; seed++)
        if (wanted(PlanRandomWalk(seed, width, height, statements, 0)))
            return seed;
    return 0;
}

static std::string Statement(int id)
{
    char text[STATEMENT_SIZE] = "";
    LoadStatement(GetModuleHandleA(NULL), id, text);
    return text;
}

static std::string PacesReport(LONG paces)
{
    return "Since starting here, I've walked a total of " + std::to_string(paces) + " Paces!!";
}

static bool BubbleInkAnywhere(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    for (COLORREF c : Capture(window, client))
        if (c == bubbleInk)
            return true;
    return false;
}

// Whether the walk under way ends at (x, y): its last entry falls short of
// the target by less than one pixel per step.
static bool WalksTo(LONG x, LONG y)
{
    const WalkStep &end = walkPath.steps[walkPath.stepCount];
    LONG slack = walkPath.stepCount;
    return walkPath.timerRunning && labs(end.x - x) < slack && labs(end.y - y) < slack;
}

static bool CellAt(HWND window, LONG x, LONG y, COLORREF colour)
{
    return ClientPixel(window, x, y) == colour && ClientPixel(window, x + 9, y + 9) == colour;
}

// Walks to the point under way and waits out the half second: he speaks.
static void ArriveAndSpeak(HWND window)
{
    CHECK(DriveWalk() > 0);
    SendMessageA(window, WM_TIMER, IDT_SPEECHDELAY, 0);
}

// ...and then the pause ends.
static void PlayThroughPause(HWND window)
{
    ArriveAndSpeak(window);
    SendMessageA(window, WM_TIMER, IDT_FRAMEPAUSE, 0);
}

TEST_CASE("RandomNumber")
{
    SUBCASE("seeded, it gives the generator's known sequence")
    {
        SeedRandomNumber(1);
        const int expected[] = { 4, 1846, 633, 2650, 1916 };   // 41, 18467, 6334, 26500, 19169
        for (int value : expected)
            CHECK(RandomNumber(0, 3276) == value);
    }
    SUBCASE("(4, 197) never gives 3 or 198, and reaches both ends")
    {
        SeedRandomNumber(12345);
        int low = 1000, high = -1000;
        for (int i = 0; i < 20000; i++) {
            int v = RandomNumber(4, 197);
            low = std::min(low, v);
            high = std::max(high, v);
        }
        CHECK(low == 4);
        CHECK(high == 197);
    }
    SUBCASE("a range it cannot reach returns at once and draws nothing")
    {
        SeedRandomNumber(99);
        int next = RandomNumber(4, 197);
        SeedRandomNumber(99);
        CHECK(RandomNumber(5, 1) == 5);
        CHECK(RandomNumber(1, 0) == 1);
        CHECK(RandomNumber(1, -40) == 1);
        CHECK(RandomNumber(4000, 5000) == 4000);
        CHECK(RandomNumber(-9, -2) == -2);
        CHECK(RandomNumber(4, 197) == next);
    }
}

TEST_CASE("a random walk: in from a side, pose, wink, speech, pause, off the nearer side")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    // A winking walk with the paces report, so that there is always a text.
    uint32_t seed = FindSeed([](const RandomPlan &p) { return p.wink && p.id == -1; }, 800, 600, 1);
    CHECK(seed != 0);
    RandomPlan plan = PlanRandomWalk(seed, 800, 600, 1, 0);
    SeedRandomNumber(seed);
    settings.pacesWalked = 77;

    std::vector<int> restarted;
    stage.onActDone = [&] {
        int before = walkPath.timerRunning;
        StartRandomWalk(stage.window, 1);
        restarted.push_back(!before && walkPath.timerRunning);
    };

    CHECK(StartRandomWalk(stage.window, 1) == 1);
    CHECK(randomFrame.x == plan.x);
    CHECK(randomFrame.y == plan.y);
    CHECK(randomFrame.pose == plan.pose);
    CHECK(randomFrame.wink == 1);
    CHECK(randomFrame.pause == 5);
    CHECK(lastStatement == -1);
    CHECK(std::string(randomFrame.text) == PacesReport(77));
    LONG side = plan.x < 400 ? -150 : 850;
    CHECK(character.x == side);
    CHECK(character.y == plan.y);
    CHECK(randomWalkActive == 1);
    CHECK(WalksTo(plan.x, plan.y));

    // Walking in.
    CHECK(DriveWalk() > 0);
    CHECK(currentPosition.x == plan.x);
    CHECK(currentPosition.y == plan.y);
    CHECK(ClientPixel(stage.window, plan.x + 65, plan.y + 65) == SpriteColour(SPRITE_POSE + plan.pose));
    // Arrived: the first wink, and half a second before he speaks.
    LONG cx = character.x, cy = character.y;
    POINT eye = { cx + eyeOffsets[plan.pose].x, cy + eyeOffsets[plan.pose].y };
    CHECK(CellAt(stage.window, eye.x, eye.y, ExpressionColour(1, plan.pose)));
    CHECK(noBubble == 1);
    CHECK(TimerArmed(IDT_SPEECHDELAY));
    CHECK_FALSE(TimerArmed(IDT_FRAMEPAUSE));
    RECT client = { 0, 0, 800, 600 };
    std::vector<COLORREF> beforeSpeech = Capture(stage.window, client);

    // Speaking: the second wink, the bubble, the mouth, and the pause.
    SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
    CHECK(CellAt(stage.window, eye.x, eye.y, ExpressionColour(2, plan.pose)));
    CHECK(noBubble == 0);
    CHECK(talking == 1);
    CHECK(ClientPixel(stage.window, bubble.x + 6, bubble.y + 6) == bubbleInk);
    CHECK(TimerArmed(IDT_FRAMEPAUSE));
    RECT bubbleRect = { bubble.x, bubble.y, bubble.x + bubble.width, bubble.y + bubble.height };
    CAPTURE(bubbleRect.left);
    CAPTURE(bubbleRect.top);
    IntersectRect(&bubbleRect, &bubbleRect, &client);

    // The pause is over: bubble gone, mouth still, walking off the nearer side.
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    CHECK(noBubble == 1);
    CHECK(talking == 0);
    std::vector<COLORREF> afterSpeech = Capture(stage.window, client);
    bool bubbleGone = true;
    for (LONG y = bubbleRect.top; y < bubbleRect.bottom; y++)
        for (LONG x = bubbleRect.left; x < bubbleRect.right; x++)
            bubbleGone = bubbleGone && afterSpeech[y * 800 + x] == beforeSpeech[y * 800 + x];
    CHECK(bubbleGone);
    CHECK(walkingOff == 1);
    CHECK(randomFrame.x == side);
    CHECK(randomFrame.y == plan.y);
    CHECK(WalksTo(side, plan.y));

    // Off stage: the intro walk ends with two restarts, the first refused.
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 2);
    CHECK(restarted == std::vector<int>{ 0, 1 });
    CHECK(introWalkDone == 1);

    // A later cycle ends with one restart only.
    stage.onActDone = nullptr;
    PlayThroughPause(stage.window);
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 3);
    CHECK(randomWalkActive == 0);
    CHECK(walkingOff == 0);
    CloseEngineStage();
}

TEST_CASE("a cycle holds on to no GDI object")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    uint32_t seed = FindSeed([](const RandomPlan &p) { return p.wink && p.id == -1; }, 800, 600, 1);
    int headroom = 0;
    for (int cycle = 0; cycle < 2; cycle++) {
        // The first cycle makes the images the bubble and the character keep.
        if (cycle == 1)
            headroom = GdiHeadroom();
        SeedRandomNumber(seed);
        introWalkDone = 1;
        CHECK(StartRandomWalk(stage.window, 1) == 1);
        PlayThroughPause(stage.window);
        CHECK(DriveWalk() > 0);
    }
    CHECK(stage.actDone == 2);
    CHECK(GdiHeadroom() == headroom);
    CloseEngineStage();
}

TEST_CASE("statements are drawn from 4 to 197, never the last one twice in a row")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    uint32_t seed = FindSeed([](const RandomPlan &p) { return p.id > 0; }, 800, 600, 1);
    CHECK(seed != 0);
    int first = PlanRandomWalk(seed, 800, 600, 1, 0).id;
    RandomPlan plan = PlanRandomWalk(seed, 800, 600, 1, first);
    CHECK(plan.id != first);
    lastStatement = first;
    SeedRandomNumber(seed);
    CHECK(StartRandomWalk(stage.window, 1) == 1);
    CHECK(lastStatement == plan.id);
    CHECK(randomFrame.x == plan.x);
    CHECK(randomFrame.y == plan.y);
    CHECK(std::string(randomFrame.text) == Statement(plan.id));
    CloseEngineStage();
}

TEST_CASE("random walks without statements")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    SUBCASE("the paces report still comes when the draw is below 5")
    {
        uint32_t seed = FindSeed([](const RandomPlan &p) { return p.id == -1; }, 800, 600, 0);
        CHECK(seed != 0);
        settings.pacesWalked = 4321;
        SeedRandomNumber(seed);
        StartRandomWalk(stage.window, 0);
        CHECK(lastStatement == -1);
        CHECK(std::string(randomFrame.text) == PacesReport(4321));
    }
    SUBCASE("otherwise he stands silent for the pause")
    {
        uint32_t seed = FindSeed([](const RandomPlan &p) { return p.id == 0 && !p.wink; }, 800, 600, 0);
        CHECK(seed != 0);
        SeedRandomNumber(seed);
        StartRandomWalk(stage.window, 0);
        CHECK(lastStatement == 0);
        CHECK(randomFrame.text[0] == '\0');
        CHECK(DriveWalk() > 0);
        RECT client = { 0, 0, 800, 600 };
        std::vector<COLORREF> arrived = Capture(stage.window, client);
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        CHECK(Capture(stage.window, client) == arrived);
        CHECK(talking == 0);
        CHECK(TimerArmed(IDT_FRAMEPAUSE));
    }
    CloseEngineStage();
}

TEST_CASE("a stage too small for the random target still gets a walk at once")
{
    for (int size : { 150, 201, 202 }) {
        CAPTURE(size);
        EngineStage &stage = OpenEngineStage(size, size);
        SeedRandomNumber(5);
        CHECK(StartRandomWalk(stage.window, 1) == 1);
        CHECK(walkPath.timerRunning);
        int h = size / 2 - 100;
        CHECK(std::abs(randomFrame.x - h) <= std::max(1, h));
        CHECK(std::abs(randomFrame.y - h) <= std::max(1, h));
        CloseEngineStage();
    }
}

TEST_CASE("the preview visit and the paces walk happen only before the intro walk is done")
{
    SUBCASE("preview: in to (10, 0), a wink, three silent seconds, out to the left")
    {
        EngineStage &stage = OpenEngineStage(152, 112);
        CHECK(StartPreviewVisit(stage.window) == 1);
        CHECK(randomFrame.x == 10);
        CHECK(randomFrame.y == 0);
        CHECK(randomFrame.pose == 6);
        CHECK(randomFrame.wink == 1);
        CHECK(randomFrame.pause == 3);
        CHECK(randomFrame.text[0] == '\0');
        CHECK(character.x == -150);
        CHECK(DriveWalk() > 0);
        CHECK(CellAt(stage.window, character.x + 57, character.y + 17, ExpressionColour(1, 6)));
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        CHECK(talking == 0);
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        CHECK(TimerArmed(IDT_FRAMEPAUSE));
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        CHECK(randomFrame.x == -150);
        CHECK(DriveWalk() > 0);
        CHECK(stage.actDone == 2);
        CHECK(StartPreviewVisit(stage.window) == 0);
        CloseEngineStage();
    }
    SUBCASE("paces: to the middle, saying how far he has walked")
    {
        EngineStage &stage = OpenEngineStage(800, 600);
        // Not while he walks, nor once a toon has started.
        CHECK(StartWalk(stage.window, 0, 0, 200, 200, 0) != 0);
        CHECK(StartPacesWalk(stage.window) == 0);
        CHECK(DriveWalk() > 0);
        toonStarted = 1;
        CHECK(StartPacesWalk(stage.window) == 0);
        CHECK(randomWalkActive == 0);
        toonStarted = 0;
        stage.actDone = 0;
        settings.pacesWalked = 1234;
        CHECK(StartPacesWalk(stage.window) == 1);
        CHECK(randomFrame.x == 300);
        CHECK(randomFrame.y == 300);
        CHECK(randomFrame.pose == 6);
        CHECK(randomFrame.wink == 1);
        CHECK(randomFrame.pause == 7);
        CHECK(std::string(randomFrame.text) == PacesReport(1234));
        CHECK(DriveWalk() > 0);
        // Said on arrival, the count takes in the walk there.
        CHECK(settings.pacesWalked > 1234);
        CHECK(std::string(randomFrame.text) == PacesReport(settings.pacesWalked));
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        CHECK(noBubble == 0);
        CHECK(ClientPixel(stage.window, bubble.x + 6, bubble.y + 6) == bubbleInk);
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        CHECK(DriveWalk() > 0);
        CHECK(stage.actDone == 2);
        CHECK(StartPacesWalk(stage.window) == 0);
        CloseEngineStage();
    }
}

static void LoadToon(const std::vector<ToonFrame> &frames, DWORD windowSize)
{
    CHECK(AllocToonFrames((int)frames.size()));
    toon.frameCount = (int32_t)frames.size();
    toon.currentFrame = 0;
    toon.header.windowSize = windowSize;
    for (size_t i = 0; i < frames.size(); i++)
        CHECK(PutToonFrame((int)i, &frames[i]));
}

static ToonFrame Frame(int32_t x, int32_t y, int32_t pose, int32_t pause, int32_t wink, const char *text)
{
    ToonFrame frame;
    ZeroMemory(&frame, sizeof frame);
    frame.x = x;
    frame.y = y;
    frame.pose = pose;
    frame.pause = pause;
    frame.wink = wink;
    strncpy(frame.text, text, sizeof frame.text - 1);
    return frame;
}

TEST_CASE("toon playback walks the frames in order, speaks at each and walks off")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    const std::vector<ToonFrame> frames = {
        Frame(200, 150, 2, 2, 1, "one"),
        Frame(600, 300, 9, 3, 0, "two\rlines"),
        Frame(300, 450, 15, 1, 0, "three"),
    };
    LoadToon(frames, 0);

    StartToonPlayback(stage.window);
    CHECK(character.x == -150);
    CHECK(character.y == 150);
    CHECK(toonStarted == 1);
    for (int k = 0; k < 3; k++) {
        CAPTURE(k);
        const ToonFrame &f = frames[k];
        CHECK(currentPosition.x == f.x - 65);
        CHECK(currentPosition.y == f.y - 65);
        CHECK(toon.currentFrame == k);
        CHECK(nextFrameIndex == k + 1);
        CHECK(noBubble == 1);
        CHECK(walkPath.timerRunning);
        CHECK(DriveWalk() > 0);
        CHECK(ClientPixel(stage.window, f.x, f.y) == SpriteColour(SPRITE_POSE + f.pose));
        CHECK(TimerArmed(IDT_SPEECHDELAY));
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        CHECK(noBubble == 0);
        CHECK(ClientPixel(stage.window, bubble.x + 6, bubble.y + 6) == bubbleInk);
        CHECK(talking == 1);
        CHECK(TimerArmed(IDT_FRAMEPAUSE));
        CHECK(StartRandomWalk(stage.window, 1) == 0);
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        CHECK(talking == 0);
    }
    // The last target lies left of the middle: off to the left.
    CHECK(noBubble == 1);
    CHECK_FALSE(BubbleInkAnywhere(stage.window));
    CHECK(nextFrameIndex == 0);
    CHECK(toonStarted == 0);
    CHECK(playIdle == 1);
    CHECK(walkPath.timerRunning);
    CHECK(WalksTo(-150, frames[2].y - 65));
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);
    CHECK(StartRandomWalk(stage.window, 1) == 1);
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("toon points are scaled from the toon's window to the stage")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(600, 400, 0, 1, 0, ""), Frame(1500, 400, 0, 1, 0, "") }, MakePackedSize(1600, 1200));
    StartToonPlayback(stage.window);
    CHECK(currentPosition.x == (600 - 65) / 2);
    CHECK(currentPosition.y == (400 - 65) / 2);
    PlayThroughPause(stage.window);
    CHECK(currentPosition.x == (1500 - 65) / 2);
    PlayThroughPause(stage.window);
    // 717 is right of the middle: off to the right.
    CHECK(WalksTo(850, (400 - 65) / 2));
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);
    CloseEngineStage();
    FreeToonFrames();
}

static bool CharacterAnywhere(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    for (COLORREF c : Capture(window, client))
        for (int i = 0; i < SPRITE_COUNT; i++)
            if (c == SpriteColour(i))
                return true;
    return false;
}

TEST_CASE("after a toon made on another screen, random walks keep the stage's own coordinates")
{
    EngineStage &stage = OpenEngineStage(1024, 768);
    // Made on a 2048 x 1536 screen: its own points are halved here.
    LoadToon({ Frame(1500, 1000, 0, 1, 0, "") }, MakePackedSize(2048, 1536));
    StartToonPlayback(stage.window);
    CHECK(currentPosition.x == (1500 - 65) / 2);
    CHECK(currentPosition.y == (1000 - 65) / 2);
    PlayThroughPause(stage.window);
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);

    SUBCASE("random walks on either half go to their target and end off the screen")
    {
        for (bool rightHalf : { false, true }) {
            CAPTURE(rightHalf);
            uint32_t seed = FindSeed([&](const RandomPlan &p) { return (p.x >= 512) == rightHalf; }, 1024, 768, 1);
            CHECK(seed != 0);
            RandomPlan plan = PlanRandomWalk(seed, 1024, 768, 1, 0);
            SeedRandomNumber(seed);
            int acts = stage.actDone;
            CHECK(StartRandomWalk(stage.window, 1) == 1);
            LONG side = rightHalf ? 1074 : -150;
            CHECK(character.x == side);
            CHECK(WalksTo(plan.x, plan.y));
            CHECK(DriveWalk() > 0);
            CHECK(currentPosition.x == plan.x);
            CHECK(currentPosition.y == plan.y);
            CHECK(ClientPixel(stage.window, plan.x + 65, plan.y + 65) == SpriteColour(SPRITE_POSE + plan.pose));
            SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
            SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
            CHECK(WalksTo(side, plan.y));
            CHECK(DriveWalk() > 0);
            CHECK(character.x == side);
            CHECK_FALSE(CharacterAnywhere(stage.window));
            CHECK(randomWalkActive == 0);
            CHECK(stage.actDone > acts);
        }
    }
    SUBCASE("the paces walk goes to the middle and off again")
    {
        CHECK(StartPacesWalk(stage.window) == 1);
        CHECK(WalksTo(412, 384));
        CHECK(DriveWalk() > 0);
        CHECK(ClientPixel(stage.window, 412 + 65, 384 + 65) == SpriteColour(SPRITE_POSE + 6));
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        CHECK(WalksTo(-150, 384));
        CHECK(DriveWalk() > 0);
        CHECK_FALSE(CharacterAnywhere(stage.window));
        CHECK(stage.actDone == 3);
    }
    // The toon itself still plays scaled.
    StartToonPlayback(stage.window);
    CHECK(currentPosition.x == (1500 - 65) / 2);
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("frames from a file are played safely")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(200, 200, 0, 0, 1, ""), Frame(500, 300, 0, 0, 0, "") }, 0);
    // As a file can hold them: any pose, any pause, a text without its terminator.
    ToonFrame raw[2] = { Frame(200, 200, 40, 0, 1, ""), Frame(500, 300, -3, -7, 0, "") };
    memset(raw[0].text, 'A', sizeof raw[0].text);
    char *block = (char *)GlobalLock(toon.frames);
    CHECK(block != NULL);
    if (block) {
        memcpy(block, raw, sizeof raw);
        GlobalUnlock(toon.frames);
    }

    StartToonPlayback(stage.window);
    CHECK(currentToonFrame.pose == 15);
    CHECK(strnlen(currentToonFrame.text, sizeof currentToonFrame.text) == sizeof currentToonFrame.text - 1);
    CHECK(DriveWalk() > 0);
    CHECK(ClientPixel(stage.window, 200, 200) == SpriteColour(SPRITE_POSE + 15));
    CHECK(CellAt(stage.window, character.x + 54, character.y + 18, ExpressionColour(1, 15)));
    // A pause of 0 seconds is held for one.
    CHECK(TimerArmed(IDT_SPEECHDELAY));
    SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
    CHECK(noBubble == 0);
    CHECK(talking == 1);
    CHECK(talkTickLimit == 70 / 4);
    CHECK(TimerArmed(IDT_FRAMEPAUSE));
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);

    CHECK(currentToonFrame.pose == 0);
    CHECK(DriveWalk() > 0);
    CHECK(ClientPixel(stage.window, 500, 300) == SpriteColour(SPRITE_POSE + 0));
    CHECK(TimerArmed(IDT_SPEECHDELAY));    // a pause of -7 seconds too
    SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
    CHECK(TimerArmed(IDT_FRAMEPAUSE));
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("a frame at the far end of the coordinates is walked to in its own direction")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(INT32_MIN + 10, 300, 0, 1, 0, "") , Frame(INT32_MAX - 10, 300, 0, 1, 0, "") }, 0);
    StartToonPlayback(stage.window);
    CHECK(walkDirection == 2);
    CHECK(currentPosition.x == INT32_MIN);
    CHECK(DriveWalk() > 0);
    ArriveAndSpeak(stage.window);
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    CHECK(walkDirection == 1);
    CHECK(currentPosition.x == INT32_MAX - 10 - 65);
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("a frame at the far end of the coordinates speaks with the bubble above his mouth")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(300, INT32_MIN + 10, 0, 1, 1, "Far away") }, 0);
    StartToonPlayback(stage.window);
    ArriveAndSpeak(stage.window);
    CHECK(character.y <= INT32_MIN + 10);
    CHECK(noBubble == 0);
    CHECK(bubble.y <= character.y + 35);
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("playback interrupted while he speaks")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(600, 200, 1, 2, 0, "first"), Frame(200, 300, 2, 2, 0, "second") }, 0);
    StartToonPlayback(stage.window);
    ArriveAndSpeak(stage.window);
    CHECK(noBubble == 0);
    SUBCASE("a frame that cannot be read stops playback quietly")
    {
        FreeToonFrames();
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
        CHECK(noBubble == 1);
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        CHECK(talking == 0);
        CHECK_FALSE(walkPath.timerRunning);
        CHECK(stage.actDone == 0);
    }
    SUBCASE("a reset stands the character beside frame 0")
    {
        ResetPlayback(stage.window);
        CHECK(noBubble == 1);
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        CHECK(character.x == 850);
        CHECK(character.y == 200);
        CHECK(nextFrameIndex == 0);
        CHECK(toonStarted == 0);
        CHECK(walkingToFrame == 0);
    }
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("Stop within half a second of arrival: the stage stays, then the same frame again")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    // Frame 1 stands where frame 0's bubble was.
    LoadToon({ Frame(200, 200, 1, 2, 0, "first"), Frame(295, 170, 2, 2, 0, "second") }, 0);
    StartToonPlayback(stage.window);
    PlayThroughPause(stage.window);
    CHECK(DriveWalk() > 0);
    RECT client = { 0, 0, 800, 600 };
    std::vector<COLORREF> arrived = Capture(stage.window, client);
    // What the editor's Stop does while he stands at a frame.
    nextFrameIndex--;
    FramePause(stage.window, NULL, 0);
    CHECK(Capture(stage.window, client) == arrived);
    // The delay still fires and he speaks; the pause's end walks to frame 1 again.
    SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
    CHECK(talking == 1);
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    CHECK(toon.currentFrame == 1);
    CHECK(nextFrameIndex == 2);
    CHECK(WalksTo(295 - 65, 170 - 65));
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("a stage closed mid-cycle leaves nothing behind for the next one")
{
    LoadToon({ Frame(300, 300, 1, 2, 0, "a line long enough to keep the mouth moving") }, 0);
    EngineStage &first = OpenEngineStage(800, 600);
    StartToonPlayback(first.window);
    CHECK(DriveWalk() > 0);
    // Arrived: the speech is pending when the window goes away.
    AbandonCycle(first.window);
    CloseEngineStage();

    // The next show resets its cycle as the show does and plays again.
    EngineStage &next = OpenEngineStage(800, 600);
    nextFrameIndex = 0;
    ResetPlayback(next.window);
    StartToonPlayback(next.window);
    CHECK(DriveWalk() > 0);
    CHECK(noBubble == 1);
    CHECK(TimerArmed(IDT_SPEECHDELAY));
    SendMessageA(next.window, WM_TIMER, IDT_SPEECHDELAY, 0);
    CHECK(talking == 1);
    // Closed while he talks: the mouth stops with the window.
    AbandonCycle(next.window);
    CHECK(talking == 0);
    CHECK_FALSE(TimerArmed(IDT_EXPRESSION));
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("a clip that cannot play is said in the bubble instead")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    LoadToon({ Frame(300, 300, 1, 2, 0, "PBF:nowhere.wav") }, 0);
    StartToonPlayback(stage.window);
    ArriveAndSpeak(stage.window);
    CHECK(noBubble == 0);
    CHECK(talking == 1);
    RECT area = { bubble.x, bubble.y, bubble.x + bubble.width, bubble.y + bubble.height + 2 };
    std::vector<COLORREF> said = Capture(stage.window, area);
    HideBubble(stage.window);
    // No wave device in this test: the complaint stands in for the clip.
    ShowBubble(stage.window, "I can't speak until you get a sound system!");
    CHECK(Capture(stage.window, area) == said);
    SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    CHECK_FALSE(BubbleInkAnywhere(stage.window));
    CloseEngineStage();
    FreeToonFrames();
}

TEST_CASE("clicks on the editor's stage")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    character.x = character.targetX = 100;
    character.y = character.targetY = 100;
    currentPosition = { 100, 100 };
    SUBCASE("walk to the click without a pause")
    {
        OnStageClick(stage.window, MAKELPARAM(400, 300));
        CHECK(walkPath.timerRunning);
        CHECK(WalksTo(335, 235));
        CHECK(DriveWalk() > 0);
        CHECK_FALSE(TimerArmed(IDT_SPEECHDELAY));
        CHECK(stage.actDone == 1);
        CHECK(currentPosition.x == 100);
    }
    SUBCASE("ignored on the character and while a toon plays")
    {
        OnStageClick(stage.window, MAKELPARAM(150, 150));
        CHECK_FALSE(walkPath.timerRunning);
        nextFrameIndex = 1;
        OnStageClick(stage.window, MAKELPARAM(400, 300));
        CHECK_FALSE(walkPath.timerRunning);
    }
    SUBCASE("with the frame editor open the click sets the frame's target")
    {
        frameEditorDialog = stage.window;
        nextFrameIndex = 1;
        OnStageClick(stage.window, MAKELPARAM((WORD)-20, 450));
        CHECK(editFrame.x == -20);
        CHECK(editFrame.y == 450);
        CHECK_FALSE(walkPath.timerRunning);
        nextFrameIndex = 0;
        CHECK(StartRandomWalk(stage.window, 1) == 0);
        frameEditorDialog = NULL;
    }
    CloseEngineStage();
}

TEST_CASE("playback progress")
{
    struct Row { int frames, next, span, filled; };
    const Row rows[] = { { 4, 2, 100, 50 }, { 3, 1, 100, 33 }, { 3, 3, 90, 90 }, { 0, 0, 100, 0 },
                         { 0, 1, 100, 100 }, { 7, 5, 2000000000, 1428571428 } };
    for (const Row &row : rows) {
        toon.frameCount = row.frames;
        nextFrameIndex = row.next;
        CHECK(PlaybackProgress(row.span) == row.filled);
    }
    toon.frameCount = 0;
    nextFrameIndex = 0;
}
