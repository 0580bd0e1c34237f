// ctest: sound
#include <doctest.h>
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "support/engine_stage.h"
#include "support/support.h"
#include "toon/sound_clip.h"
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
    LoadStatement(GetModuleHandleA(NULL), id, 0, text);
    return text;
}

static std::string PacesReport(LONG paces)
{
    return "Since starting here, I've walked a total of " + std::to_string(paces) + " Paces!!";
}

// Whether any pixel of the window has a colour keep() wants.
static bool Anywhere(HWND window, const std::function<bool(COLORREF)> &keep)
{
    RECT client;
    GetClientRect(window, &client);
    return BoundingBox(window, client, keep).right != 0;
}

static bool BubbleInkAnywhere(HWND window)
{
    return Anywhere(window, [](COLORREF c) { return c == bubbleInk; });
}

static Stage &Played()
{
    return *TheEngineStage().stage;
}

// Whether the walk under way ends at (x, y): its last entry falls short of
// the target by less than one pixel per step.
static bool WalksTo(LONG x, LONG y)
{
    const WalkPath &walk = Played().walk;
    const WalkStep &end = walk.steps[walk.stepCount];
    LONG slack = walk.stepCount;
    return walk.timerRunning && labs(end.x - x) < slack && labs(end.y - y) < slack;
}

static void SpeakAfterDelay()
{
    CHECK(Played().phase == PHASE_WAITING);
    Advance(SPEECH_DELAY_MS);
    CHECK(Played().phase == PHASE_SPEAKING);
}

static void EndPause()
{
    CHECK(AdvanceUntil([] { return Played().phase != PHASE_SPEAKING; }, 0x7FFFFFFF));
}

// Walks to the point under way and waits out the half second: he speaks.
static void ArriveAndSpeak()
{
    CHECK(DriveWalk() > 0);
    SpeakAfterDelay();
}

// ...and then the pause ends.
static void PlayThroughPause()
{
    ArriveAndSpeak();
    EndPause();
}

static bool NoTimerArmed()
{
    for (const ClockTimer &timer : TheEngineStage().clock.timers)
        if (timer.armed)
            return false;
    return true;
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
    Stage &played = *stage.stage;
    // A winking walk with the paces report, so that there is always a text.
    uint32_t seed = FindSeed([](const RandomPlan &p) { return p.wink && p.id == -1; }, 800, 600, 1);
    CHECK(seed != 0);
    RandomPlan plan = PlanRandomWalk(seed, 800, 600, 1, 0);
    SeedRandomNumber(seed);
    stage.paces = 77;

    std::vector<int> restarted;
    stage.onActDone = [&] {
        int before = played.walk.timerRunning;
        StartRandomWalk(stage.stage, 1);
        restarted.push_back(!before && played.walk.timerRunning);
    };

    CHECK(StartRandomWalk(stage.stage, 1) == 1);
    const ToonFrame &frame = played.randomFrame;
    CHECK(frame.x == plan.x);
    CHECK(frame.y == plan.y);
    CHECK(frame.pose == plan.pose);
    CHECK(frame.wink == 1);
    CHECK(frame.pause == 5);
    CHECK(played.lastStatement == -1);
    CHECK(std::string(frame.text) == PacesReport(77));
    LONG side = plan.x < 400 ? -150 : 850;
    CHECK(played.character.x == side);
    CHECK(played.character.y == plan.y);
    CHECK(ActRunning(&played));
    CHECK(WalksTo(plan.x, plan.y));

    // Walking in.
    CHECK(DriveWalk() > 0);
    CHECK(played.position.x == plan.x);
    CHECK(played.position.y == plan.y);
    CHECK(ClientPixel(stage.window, plan.x + 65, plan.y + 65) == SpriteColour(SPRITE_POSE + plan.pose));
    // Arrived: the first wink, and half a second before he speaks.
    POINT eye = { played.character.x + eyeOffsets[plan.pose].x, played.character.y + eyeOffsets[plan.pose].y };
    CHECK(CellShown(stage.window, eye, ExpressionColour(1, plan.pose)));
    CHECK(played.noBubble == 1);
    CHECK_FALSE(TimerArmed(IDT_FRAMEPAUSE));
    RECT client = { 0, 0, 800, 600 };
    std::vector<COLORREF> beforeSpeech = Capture(stage.window, client);

    // Speaking: the second wink, the bubble, the mouth, and the pause.
    SpeakAfterDelay();
    CHECK(CellShown(stage.window, eye, ExpressionColour(2, plan.pose)));
    CHECK(played.noBubble == 0);
    CHECK(played.talking == 1);
    const SpritePlace &bubble = played.bubble;
    CHECK(ClientPixel(stage.window, bubble.x + 6, bubble.y + 6) == bubbleInk);
    RECT bubbleRect = { bubble.x, bubble.y, bubble.x + bubble.width, bubble.y + bubble.height };
    IntersectRect(&bubbleRect, &bubbleRect, &client);

    // Five seconds on: bubble gone, mouth still, walking off the nearer side.
    Advance(4999);
    CHECK(played.phase == PHASE_SPEAKING);
    Advance(1);
    CHECK(played.noBubble == 1);
    CHECK(played.talking == 0);
    std::vector<COLORREF> afterSpeech = Capture(stage.window, client);
    bool bubbleGone = true;
    for (LONG y = bubbleRect.top; y < bubbleRect.bottom; y++)
        for (LONG x = bubbleRect.left; x < bubbleRect.right; x++)
            bubbleGone = bubbleGone && afterSpeech[y * 800 + x] == beforeSpeech[y * 800 + x];
    CHECK(bubbleGone);
    CHECK(played.phase == PHASE_WALKING_OFF);
    CHECK(frame.x == side);
    CHECK(frame.y == plan.y);
    CHECK(WalksTo(side, plan.y));

    // Off stage: the intro walk ends with two restarts, the first refused.
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 2);
    CHECK(restarted == std::vector<int>{ 0, 1 });
    CHECK(played.introWalkDone == 1);

    // A later cycle ends with one restart only.
    stage.onActDone = nullptr;
    PlayThroughPause();
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 3);
    CHECK_FALSE(ActRunning(&played));
    CHECK(played.phase == PHASE_READY);

    // The cycles so far made the images the bubble and the character keep:
    // one more holds on to no GDI object.
    const int headroom = GdiHeadroom();
    SeedRandomNumber(seed);
    CHECK(StartRandomWalk(stage.stage, 1) == 1);
    PlayThroughPause();
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 4);
    CHECK(GdiHeadroom() == headroom);
    CloseEngineStage();
}

TEST_CASE("a random walk says a statement from 4 to 197 (never the last one twice), the paces report, or nothing")
{
    struct Row { int statements; bool (*wanted)(const RandomPlan &); } rows[] = {
        { 1, [](const RandomPlan &p) { return p.id > 0; } },
        { 0, [](const RandomPlan &p) { return p.id == -1; } },
        { 0, [](const RandomPlan &p) { return p.id == 0 && !p.wink; } },
    };
    for (const Row &row : rows) {
        EngineStage &stage = OpenEngineStage(800, 600);
        Stage &played = *stage.stage;
        uint32_t seed = FindSeed(row.wanted, 800, 600, row.statements);
        CHECK(seed != 0);
        // The last statement is the one the seed draws first: it must be drawn again.
        const int last = PlanRandomWalk(seed, 800, 600, row.statements, 0).id;
        const RandomPlan plan = PlanRandomWalk(seed, 800, 600, row.statements, last);
        CAPTURE(plan.id);
        played.lastStatement = last;
        stage.paces = 4321;
        SeedRandomNumber(seed);
        CHECK(StartRandomWalk(stage.stage, row.statements) == 1);
        CHECK(played.lastStatement == plan.id);
        CHECK(played.randomFrame.x == plan.x);
        CHECK(played.randomFrame.y == plan.y);
        CHECK(std::string(played.randomFrame.text) == (plan.id == -1 ? PacesReport(4321) : Statement(plan.id)));
        if (plan.id == 0) {
            // He stands silent for the pause.
            CHECK(DriveWalk() > 0);
            RECT client = { 0, 0, 800, 600 };
            std::vector<COLORREF> arrived = Capture(stage.window, client);
            SpeakAfterDelay();
            CHECK(Capture(stage.window, client) == arrived);
            CHECK(played.talking == 0);
            CHECK(TimerArmed(IDT_FRAMEPAUSE));
        }
        CloseEngineStage();
    }
}

TEST_CASE("a stage too small for the random target still gets a walk at once")
{
    for (int size : { 150, 201, 202 }) {
        CAPTURE(size);
        EngineStage &stage = OpenEngineStage(size, size);
        SeedRandomNumber(5);
        CHECK(StartRandomWalk(stage.stage, 1) == 1);
        CHECK(stage.stage->walk.timerRunning);
        int h = size / 2 - 100;
        CHECK(std::abs(stage.stage->randomFrame.x - h) <= std::max(1, h));
        CHECK(std::abs(stage.stage->randomFrame.y - h) <= std::max(1, h));
        CloseEngineStage();
    }
}

TEST_CASE("the preview visit and the paces walk happen only before the intro walk is done")
{
    SUBCASE("preview: in to (10, 0), a wink, three silent seconds, out to the left")
    {
        EngineStage &stage = OpenEngineStage(152, 112);
        Stage &played = *stage.stage;
        const ToonFrame &frame = played.randomFrame;
        CHECK(StartPreviewVisit(stage.stage) == 1);
        CHECK(frame.x == 10);
        CHECK(frame.y == 0);
        CHECK(frame.pose == 6);
        CHECK(frame.wink == 1);
        CHECK(frame.pause == 3);
        CHECK(frame.text[0] == '\0');
        CHECK(played.character.x == -150);
        CHECK(DriveWalk() > 0);
        CHECK(CellShown(stage.window, { played.character.x + 57, played.character.y + 17 }, ExpressionColour(1, 6)));
        SpeakAfterDelay();
        CHECK(played.talking == 0);
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        Advance(3000);
        CHECK(frame.x == -150);
        CHECK(DriveWalk() > 0);
        CHECK(stage.actDone == 2);
        CHECK(StartPreviewVisit(stage.stage) == 0);
        CloseEngineStage();
    }
    SUBCASE("paces: to the middle, saying how far he has walked")
    {
        EngineStage &stage = OpenEngineStage(800, 600);
        Stage &played = *stage.stage;
        const ToonFrame &frame = played.randomFrame;
        // Not while he walks, nor once a toon has started.
        CHECK(StartWalk(stage.stage, 0, 0, 200, 200, 0) != 0);
        CHECK(StartPacesWalk(stage.stage) == 0);
        CHECK(DriveWalk() > 0);
        SetStageToon({ { 300, 300, 0, 1, 0, "" } }, 0);
        CHECK(StartToonPlayback(stage.stage) == 1);
        CHECK(StartPacesWalk(stage.stage) == 0);
        CHECK_FALSE(ActRunning(&played));
        ResetPlayback(stage.stage);
        // The report: what the owner stored and what this stage walked since.
        stage.paces = 1234;
        const LONG walkedBefore = played.pacesWalked;
        CHECK(walkedBefore > 0);
        CHECK(StartPacesWalk(stage.stage) == 1);
        CHECK(frame.x == 300);
        CHECK(frame.y == 300);
        CHECK(frame.pose == 6);
        CHECK(frame.wink == 1);
        CHECK(frame.pause == 7);
        CHECK(std::string(frame.text) == PacesReport(1234 + walkedBefore));
        CHECK(DriveWalk() > 0);
        // Said on arrival, the count takes in the walk there.
        CHECK(played.pacesWalked > walkedBefore);
        CHECK(std::string(frame.text) == PacesReport(1234 + played.pacesWalked));
        SpeakAfterDelay();
        CHECK(ClientPixel(stage.window, played.bubble.x + 6, played.bubble.y + 6) == bubbleInk);
        EndPause();
        CHECK(DriveWalk() > 0);
        CHECK(stage.actDone == 2);
        CHECK(StartPacesWalk(stage.stage) == 0);
        CloseEngineStage();
    }
}

TEST_CASE("toon playback walks the frames in order, speaks at each and walks off")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    Stage &played = *stage.stage;
    const std::vector<ToonFrame> frames = {
        { 200, 150, 2, 2, 1, "one" },
        { 600, 300, 9, 3, 0, "two\rlines" },
        { 300, 450, 15, 1, 0, "three" },
    };
    SetStageToon(frames, 0);

    CHECK(StartToonPlayback(stage.stage) == 1);
    CHECK(played.character.x == -150);
    CHECK(played.character.y == 150);
    CHECK(stage.playStates == std::vector<int>{ PLAY_STATE_PLAYING });
    CHECK(stage.locks == 1);
    for (int k = 0; k < 3; k++) {
        CAPTURE(k);
        const ToonFrame &f = frames[k];
        CHECK(played.position.x == f.x - 65);
        CHECK(played.position.y == f.y - 65);
        CHECK(played.frameShown == k);
        CHECK(played.nextFrameIndex == k + 1);
        CHECK(played.noBubble == 1);
        CHECK(played.walk.timerRunning);
        CHECK(DriveWalk() > 0);
        CHECK(ClientPixel(stage.window, f.x, f.y) == SpriteColour(SPRITE_POSE + f.pose));
        SpeakAfterDelay();
        CHECK(ClientPixel(stage.window, played.bubble.x + 6, played.bubble.y + 6) == bubbleInk);
        CHECK(played.talking == 1);
        CHECK(StartRandomWalk(stage.stage, 1) == 0);
        Advance(f.pause * 1000);
        CHECK(played.talking == 0);
    }
    // The last target lies left of the middle: off to the left, under Stop
    // until he is out of sight.
    CHECK_FALSE(BubbleInkAnywhere(stage.window));
    CHECK(played.nextFrameIndex == 0);
    CHECK(played.phase == PHASE_WALKING_OFF);
    CHECK(WalksTo(-150, frames[2].y - 65));
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);
    CHECK(stage.playStates == std::vector<int>{ PLAY_STATE_PLAYING, PLAY_STATE_READY });
    CHECK(stage.unlocks == 1);
    CHECK(StartRandomWalk(stage.stage, 1) == 1);
    CloseEngineStage();
}

static bool CharacterAnywhere(HWND window)
{
    return Anywhere(window, [](COLORREF c) {
        for (int i = 0; i < SPRITE_COUNT; i++)
            if (c == SpriteColour(i))
                return true;
        return false;
    });
}

TEST_CASE("a toon made on another screen plays scaled to the stage; random walks after it keep the stage's own coordinates")
{
    EngineStage &stage = OpenEngineStage(1024, 768);
    Stage &played = *stage.stage;
    // Made on a 2048 x 1536 screen: its own points are halved here.
    SetStageToon({ { 600, 400, 0, 1, 0, "" }, { 1500, 1000, 0, 1, 0, "" } }, MakePackedSize(2048, 1536));
    StartToonPlayback(stage.stage);
    CHECK(played.position.x == (600 - 65) / 2);
    CHECK(played.position.y == (400 - 65) / 2);
    PlayThroughPause();
    CHECK(played.position.x == (1500 - 65) / 2);
    CHECK(played.position.y == (1000 - 65) / 2);
    PlayThroughPause();
    // 717 is right of the middle: off to the right.
    CHECK(WalksTo(1074, (1000 - 65) / 2));
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);

    // Random walks on either half go to their target and end off the screen.
    for (bool rightHalf : { false, true }) {
        CAPTURE(rightHalf);
        uint32_t seed = FindSeed([&](const RandomPlan &p) { return (p.x >= 512) == rightHalf; }, 1024, 768, 1);
        CHECK(seed != 0);
        RandomPlan plan = PlanRandomWalk(seed, 1024, 768, 1, 0);
        SeedRandomNumber(seed);
        int acts = stage.actDone;
        CHECK(StartRandomWalk(stage.stage, 1) == 1);
        LONG side = rightHalf ? 1074 : -150;
        CHECK(played.character.x == side);
        CHECK(WalksTo(plan.x, plan.y));
        PlayThroughPause();
        CHECK(WalksTo(side, plan.y));
        CHECK(DriveWalk() > 0);
        CHECK_FALSE(CharacterAnywhere(stage.window));
        CHECK(stage.actDone > acts);
    }
    // The toon itself still plays scaled.
    StartToonPlayback(stage.stage);
    CHECK(played.position.x == (600 - 65) / 2);
    CloseEngineStage();
}

TEST_CASE("frames from a file are played safely")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    Stage &played = *stage.stage;
    SetStageToon({ { 200, 200, 0, 0, 1, "" }, { 500, 300, 0, 0, 0, "" } }, 0);
    // As a file can hold them: any pose, any pause, a text without its terminator.
    ToonFrame raw[2] = { { 200, 200, 40, 0, 1, "" }, { 500, 300, -3, -7, 0, "" } };
    memset(raw[0].text, 'A', sizeof raw[0].text);
    char *block = (char *)GlobalLock(stage.toon.frames);
    CHECK(block != NULL);
    if (block) {
        memcpy(block, raw, sizeof raw);
        GlobalUnlock(stage.toon.frames);
    }

    StartToonPlayback(stage.stage);
    const ToonFrame &frame = played.toonFrame;
    CHECK(frame.pose == 15);
    CHECK(strnlen(frame.text, sizeof frame.text) == sizeof frame.text - 1);
    CHECK(DriveWalk() > 0);
    CHECK(ClientPixel(stage.window, 200, 200) == SpriteColour(SPRITE_POSE + 15));
    CHECK(CellShown(stage.window, { played.character.x + 54, played.character.y + 18 }, ExpressionColour(1, 15)));
    SpeakAfterDelay();
    CHECK(played.noBubble == 0);
    CHECK(played.talking == 1);
    CHECK(played.talkTickLimit == 70 / 4);
    // A pause of 0 seconds is held for one, and one of -7 too.
    for (int pose : { 15, 0 }) {
        CAPTURE(pose);
        CHECK(frame.pose == pose);
        Advance(999);
        CHECK(played.phase == PHASE_SPEAKING);
        Advance(1);
        CHECK(played.phase != PHASE_SPEAKING);
        if (pose == 15) {
            CHECK(DriveWalk() > 0);
            CHECK(ClientPixel(stage.window, 500, 300) == SpriteColour(SPRITE_POSE + 0));
            SpeakAfterDelay();
        }
    }
    CHECK(DriveWalk() > 0);
    CHECK(stage.actDone == 1);
    CloseEngineStage();
}

TEST_CASE("frames at the far ends of the coordinates are walked to in their own direction, the bubble above his mouth")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    SetStageToon({ { INT32_MIN + 10, 300, 0, 1, 0, "" }, { INT32_MAX - 10, INT32_MIN + 10, 0, 1, 1, "Far away" } }, 0);
    StartToonPlayback(stage.stage);
    CHECK(stage.stage->direction == 2);
    CHECK(stage.stage->position.x == INT32_MIN);
    PlayThroughPause();
    CHECK(stage.stage->direction == 1);
    CHECK(stage.stage->position.x == INT32_MAX - 10 - 65);
    ArriveAndSpeak();
    CHECK(stage.stage->character.y <= INT32_MIN + 10);
    CHECK(stage.stage->noBubble == 0);
    CHECK(stage.stage->bubble.y <= stage.stage->character.y + 35);
    CloseEngineStage();
}

TEST_CASE("playback interrupted while he speaks a clip that cannot play, saying so instead")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    Stage &played = *stage.stage;
    SetStageToon({ { 600, 200, 1, 2, 0, "PBF:nowhere.wav" }, { 200, 300, 2, 2, 0, "second" } }, 0);
    StartToonPlayback(stage.stage);
    ArriveAndSpeak();
    CHECK(played.clip.device == 0);
    CHECK(played.noBubble == 0);
    CHECK(played.talking == 1);
    SUBCASE("a frame that cannot be read stops playback quietly, ready")
    {
        FreeToonFrames(&stage.toon);
        EndPause();
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        CHECK(played.talking == 0);
        CHECK(NoTimerArmed());
        CHECK(stage.actDone == 0);
        CHECK(stage.playStates.back() == PLAY_STATE_READY);
        CHECK(stage.unlocks == 1);
    }
    SUBCASE("a reset stands the character beside frame 0")
    {
        ResetPlayback(stage.stage);
        CHECK_FALSE(BubbleInkAnywhere(stage.window));
        CHECK(played.character.x == 850);
        CHECK(played.character.y == 200);
        CHECK(played.nextFrameIndex == 0);
    }
    SUBCASE("the stage window going away stops it all, telling nobody")
    {
        AbandonStagePlay(stage.stage);
        CHECK(played.talking == 0);
        CHECK(NoTimerArmed());
        CHECK(stage.playStates.back() == PLAY_STATE_PLAYING);
    }
    CloseEngineStage();
}

TEST_CASE("clicks on the editor's stage")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    Stage &played = *stage.stage;
    played.character.x = played.character.targetX = 100;
    played.character.y = played.character.targetY = 100;
    played.position = { 100, 100 };
    SUBCASE("walk to the click without a pause, the buttons left alone")
    {
        OnStageClick(stage.stage, MAKELPARAM(400, 300));
        CHECK(WalksTo(335, 235));
        CHECK(DriveWalk() > 0);
        CHECK(NoTimerArmed());
        CHECK(stage.actDone == 1);
        CHECK(stage.locks == 0);
        CHECK(played.position.x == 100);
    }
    SUBCASE("ignored on the character and while a toon plays")
    {
        OnStageClick(stage.stage, MAKELPARAM(150, 150));
        CHECK_FALSE(played.walk.timerRunning);
        played.nextFrameIndex = 1;
        OnStageClick(stage.stage, MAKELPARAM(400, 300));
        CHECK_FALSE(played.walk.timerRunning);
    }
    SUBCASE("in the second before the entrance a click takes the stage; a tick queued before finds it taken")
    {
        ScheduleEntrance(stage.stage, 1000);
        OnStageClick(stage.stage, MAKELPARAM(400, 300));
        CHECK(played.phase == PHASE_CLICK_WALK);
        CHECK_FALSE(TimerArmed(IDT_ENTRANCE));
        CHECK(DriveWalk() > 0);
        ScheduleEntrance(stage.stage, 1000);
        CancelEntrance(stage.stage);
        SendMessageA(stage.window, WM_TIMER, IDT_ENTRANCE, 0);
        CHECK(played.phase == PHASE_READY);
        CHECK(NoTimerArmed());
    }
    SUBCASE("while the owner picks points the click is the frame's target")
    {
        stage.picking = 1;
        played.nextFrameIndex = 1;
        OnStageClick(stage.stage, MAKELPARAM((WORD)-20, 450));
        CHECK(stage.picked.size() == 1);
        CHECK(stage.picked[0].x == -20);
        CHECK(stage.picked[0].y == 450);
        CHECK_FALSE(played.walk.timerRunning);
        played.nextFrameIndex = 0;
        CHECK(StartRandomWalk(stage.stage, 1) == 0);
    }
    CloseEngineStage();
}

// Toon A speaks its first line through a clip; the toons that replace it
// on Open and New stand their first frame elsewhere.
static const std::vector<ToonFrame> toonA = { { 200, 200, 1, 2, 0, "PBF:pimbo-hello.wav" },
                                              { 600, 300, 2, 1, 0, "second" } };
static const std::vector<ToonFrame> toonB = { { 500, 450, 3, 1, 0, "bee one" },
                                              { 100, 100, 4, 1, 0, "bee two" } };
static const std::vector<ToonFrame> toonC = { { 350, 120, 5, 1, 0, "sea" } };
static const std::vector<ToonFrame> newToon = { { 0, 0, 0, 0, 0, "" } };

enum Reset { RESET_STOP, RESET_STOP_PLAY, RESET_CLOSE_FRAME_EDITOR, RESET_OPEN_MAIN,
             RESET_OPEN_FRAME_EDITOR, RESET_NEW };

static void StartToon()
{
    CHECK(TogglePlayback(TheEngineStage().stage) == 1);
}

static void ArriveAtFirstFrame()
{
    StartToon();
    CHECK(DriveWalk() > 0);
}

static void SpeakAtFirstFrame()
{
    ArriveAtFirstFrame();
    SpeakAfterDelay();
    CHECK(Played().clip.device != 0);
}

TEST_CASE("every reset in every phase leaves the stage still, and Play starts at frame 1")
{
    // The clip is found beside its toon, wherever the process looks.
    SetCurrentDirectoryA(TempDirectory("pimbo-elsewhere").c_str());
    struct PhaseRow {
        const char *name;
        int phase;
        void (*reach)();
    };
    const PhaseRow phases[] = {
        { "walking to a frame", PHASE_WALKING, [] { StartToon(); Advance(300); } },
        { "waiting to speak", PHASE_WAITING, ArriveAtFirstFrame },
        { "speaking a clip", PHASE_SPEAKING, SpeakAtFirstFrame },
        { "walking off", PHASE_WALKING_OFF, [] { SpeakAtFirstFrame(); EndPause(); PlayThroughPause(); } },
        { "walking to a click", PHASE_CLICK_WALK,
          [] { OnStageClick(TheEngineStage().stage, MAKELPARAM(400, 500)); } },
        { "stopped mid-walk", PHASE_STOPPED_WALK, [] { StartToon(); Advance(300); StartToon(); } },
        { "stopped at a frame", PHASE_STOPPED_FRAME, [] { SpeakAtFirstFrame(); StartToon(); } },
    };
    const char *resets[] = { "Stop", "Stop, then Play at once", "closing the frame editor",
                             "Open in the main window", "Open in the frame editor", "New" };
    const std::vector<ToonFrame> *documents[] = { &toonA, &toonA, &toonA, &toonB, &toonC, &newToon };
    const RECT client = { 0, 0, 800, 600 };
    for (const PhaseRow &row : phases) {
        for (int reset = RESET_STOP; reset <= RESET_NEW; reset++) {
            const std::string phase = row.name, by = resets[reset];
            CAPTURE(phase);
            CAPTURE(by);
            EngineStage &stage = OpenEngineStage(800, 600);
            Stage &played = *stage.stage;
            SetStageToon(toonA, 0);
            lstrcpynA(stage.toon.fileName, SourcePath("toons/a.ptf").c_str(), sizeof stage.toon.fileName);
            row.reach();
            CHECK(played.phase == row.phase);
            int told = PLAY_STATE_READY;
            if (reset > RESET_STOP_PLAY) {
                if (reset != RESET_CLOSE_FRAME_EDITOR)
                    SetStageToon(*documents[reset], 0);
                ResetPlayback(stage.stage);
            } else if (row.phase == PHASE_WALKING_OFF || row.phase == PHASE_CLICK_WALK) {
                // Neither walk can be stopped; Play during either is refused,
                // and the walk's end is no arrival at frame 1.
                CHECK(TogglePlayback(stage.stage) == 0);
                CHECK(played.phase == row.phase);
                CHECK(played.nextFrameIndex == 0);
                CHECK(DriveWalk() > 0);
                CHECK(played.phase == PHASE_READY);
            } else {
                // Already stopped: the button offers Continue.
                if (row.phase != PHASE_STOPPED_WALK && row.phase != PHASE_STOPPED_FRAME)
                    CHECK(TogglePlayback(stage.stage) == 1);
                told = PLAY_STATE_PAUSED;
            }
            CHECK(PlayStateOf(&played) == told);
            CHECK((stage.playStates.empty() ? PLAY_STATE_READY : stage.playStates.back()) == told);
            if (told == PLAY_STATE_READY)
                CHECK(stage.locks == stage.unlocks);
            // A stopped walk keeps its path for Continue (Play below), but no timer.
            CHECK(NoTimerArmed());
            CHECK_FALSE(played.walk.timerRunning);
            CHECK(played.clip.device == 0);
            if (reset != RESET_STOP_PLAY) {
                std::vector<COLORREF> still = Capture(stage.window, client);
                Advance(toonA[0].pause * 1000 + 1000);
                CHECK(Capture(stage.window, client) == still);
            }

            // Play walks to frame 1 and speaks its line there, not before.
            const ToonFrame &first = (*documents[reset])[0];
            CHECK(TogglePlayback(stage.stage) == 1);
            CHECK(played.phase == PHASE_WALKING);
            CHECK(played.nextFrameIndex == 1);
            CHECK(WalksTo(first.x - 65, first.y - 65));
            CHECK(stage.playStates.back() == PLAY_STATE_PLAYING);
            CHECK(DriveWalk() > 0);
            CHECK(played.noBubble == 1);
            SpeakAfterDelay();
            CHECK(played.frameShown == 0);
            CHECK(std::string(played.pendingText) == first.text);
            CloseEngineStage();
        }
    }
}
