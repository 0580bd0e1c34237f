#include <doctest.h>
#include <limits.h>
#include <stdint.h>

#include "engine/messages.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "support/engine_stage.h"
#include "support/support.h"

using namespace testing;

// Stand-in handles: PlanWalk only files them, so their values name the image.
static HBITMAP fakeSet[SPRITE_COUNT];
static WalkPath walkPath;
static void MakeFakeSet()
{
    for (int i = 0; i < SPRITE_COUNT; ++i)
        fakeSet[i] = (HBITMAP)(uintptr_t)(0x1000 + i);
}
static int ImageIndex(int entry)
{
    return (int)((uintptr_t)walkPath.steps[entry].image - 0x1000);
}

TEST_CASE("the worked example: 24 strides of (18, -4), turns at both ends, the pose at (282, 204)")
{
    MakeFakeSet();
    CHECK(PlanWalk(&walkPath, -150, 300, 300, 200, 20, fakeSet, 3) == 25);
    CHECK(walkPath.stepCount == 25);
    CHECK(walkPath.stepIndex == 0);
    for (int i = 0; i <= 24; ++i) {
        CAPTURE(i);
        CHECK(walkPath.steps[i].x == -150 + 18 * i);
        CHECK(walkPath.steps[i].y == 300 - 4 * i);
    }
    CHECK(walkPath.steps[25].x == 282);
    CHECK(walkPath.steps[25].y == 204);
    // pbltn2, pbl2r3..8, (pbl2r2..8) twice, pbl2r2, pbltn1, pbltn2, pose 4.
    const int expected[] = { 17, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7, 1, 16, 17, 23 };
    for (int i = 1; i <= 25; ++i) {
        CAPTURE(i);
        CHECK(ImageIndex(i) == expected[i - 1]);
    }
}

TEST_CASE("short walks, and which images each direction uses")
{
    MakeFakeSet();
    struct Row { LONG x0, y0, x1, y1; int count; int right; } rows[] = {
        { 100, 100, 100, 100, 2, 0 },     // in place
        { 100, 100, 119, 100, 2, 1 },     // 19 pixels
        { 100, 100, 120, 100, 9, 1 },     // 20 pixels
        { 100, 100, 100, 80, 9, 0 },      // straight up
        { 100, 100, 100, 400, 17, 0 },    // straight down
        { 500, 100, 40, 300, 33, 0 },     // left
        { -150, 384, 800, 10, 57, 1 },    // right and up
    };
    for (const Row &row : rows) {
        CAPTURE(row.x0);
        CAPTURE(row.x1);
        CAPTURE(row.y1);
        const int count = PlanWalk(&walkPath, row.x0, row.y0, row.x1, row.y1, 20, fakeSet, 0);
        CHECK(count == row.count);
        const int cycle = row.right ? SPRITE_WALKRIGHT : SPRITE_WALKLEFT;
        const int turn = row.right ? SPRITE_TURNRIGHT : SPRITE_TURNLEFT;
        CHECK(ImageIndex(0) == turn);
        CHECK(ImageIndex(1) == turn + 1);
        CHECK(ImageIndex(count - 2) == turn);
        CHECK(ImageIndex(count - 1) == turn + 1);
        CHECK(ImageIndex(count) == SPRITE_POSE);
        for (int i = 2; i < count - 2; ++i) {
            CAPTURE(i);
            CHECK(ImageIndex(i) >= cycle + 1);
            CHECK(ImageIndex(i) <= cycle + 7);
        }
        CHECK(walkPath.steps[count].x == walkPath.steps[count - 1].x);
        CHECK(walkPath.steps[count].y == walkPath.steps[count - 1].y);
    }
    SUBCASE("a step length of 1 or less counts as 1")
    {
        CHECK(PlanWalk(&walkPath, 0, 0, 30, 0, 0, fakeSet, 0) == 33);
        CHECK(PlanWalk(&walkPath, 0, 0, 30, 0, -5, fakeSet, 0) == 33);
    }
}

TEST_CASE("walks too long for the table are bounded and still end at their target")
{
    MakeFakeSet();
    struct Row { LONG x0, y0, x1, y1; } rows[] = {
        { 0, 0, 4980, 0 },
        { -150, 300, 100000, -50000 },
        { LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX },
        { LONG_MAX, 0, LONG_MIN, 7 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.x0);
        CAPTURE(row.x1);
        walkPath.stepCount = -1;
        const int count = PlanWalk(&walkPath, row.x0, row.y0, row.x1, row.y1, 20, fakeSet, 5);
        CHECK(count == 249);
        CHECK(walkPath.steps[0].x == row.x0);
        CHECK(walkPath.steps[count - 1].x == row.x1);
        CHECK(walkPath.steps[count - 1].y == row.y1);
        CHECK(walkPath.steps[count].x == row.x1);
        CHECK(walkPath.steps[count].y == row.y1);
        CHECK(ImageIndex(count) == SPRITE_POSE + 5);
        // Every step heads for the target.
        int backwards = 0;
        for (int i = 1; i < count; ++i) {
            const long long before = (long long)row.x1 - walkPath.steps[i - 1].x;
            const long long after = (long long)row.x1 - walkPath.steps[i].x;
            backwards += (before < 0 ? -before : before) < (after < 0 ? -after : after);
        }
        CHECK(backwards == 0);
    }
    SUBCASE("a walk that fits keeps its truncated strides")
    {
        CHECK(PlanWalk(&walkPath, 0, 0, 4979, 0, 20, fakeSet, 0) == 249);
        CHECK(walkPath.steps[248].x == 4960);
    }
}

// Pimbo standing on the stage at (x, y).
static EngineStage &WalkStage(LONG x, LONG y)
{
    EngineStage &stage = OpenEngineStage(600, 400);
    SpritePlace &character = stage.stage->character;
    character.targetX = x;
    character.targetY = y;
    HDC dc = BeginStageDrawing(stage.stage);
    StretchCopyToSprite(dc, character.source, &character);
    SaveUnderSprite(dc, &character);
    DrawSpriteMasked(dc, &character);
    EndStageDrawing(stage.stage, dc, NULL);
    ShowStageCanvas(stage.stage);
    return stage;
}

static int SpriteIndexOf(HBITMAP image)
{
    for (int i = 0; i < SPRITE_COUNT; ++i)
        if (TheEngineStage().stage->sprites[i] == image)
            return i;
    return -1;
}

// Only the sprite set entry at (x, y) on the pattern, seen on the window.
static bool Shows(int image, LONG x, LONG y)
{
    const RECT all = { 0, 0, 600, 400 };
    std::vector<COLORREF> pixels = Capture(TheEngineStage().window, all);
    for (int py = 0; py < 400; ++py)
        for (int px = 0; px < 600; ++px) {
            const int sx = px - x, sy = py - y;
            const bool inside = sx >= 10 && sy >= 10 && sx < SPRITE_SIZE - 10 && sy < SPRITE_SIZE - 10;
            if (pixels[(size_t)py * 600 + px] != (inside ? SpriteColour(image) : PatternColour(px, py)))
                return false;
        }
    return true;
}

TEST_CASE("a walk of m steps takes m + 1 ticks, ends on its pose and reports once")
{
    EngineStage &stage = WalkStage(-150, 100);
    const WalkPath &walk = stage.stage->walk;
    stage.stage->speed = 5;
    stage.stage->pacesWalked = 10;
    CHECK(StartWalk(stage.stage, -150, 100, 300, 100, 4) != 0);
    CHECK(walk.stepCount == 25);
    CHECK(stage.stage->pacesWalked == 16);
    CHECK(stage.stage->direction == 1);
    CHECK(walk.interval == 110);

    // Nothing new is planned while the walk runs, nor its pace changed.
    stage.stage->speed = 3;
    CHECK(StartWalk(stage.stage, 0, 0, 500, 0, 0) == 0);
    CHECK(walk.stepCount == 25);
    CHECK(walk.interval == 110);
    CHECK(TakeWalkedPaces(stage.stage) == 16);
    CHECK(TakeWalkedPaces(stage.stage) == 0);

    CHECK(DriveWalk() == 26);
    CHECK(stage.clock.now == 26 * 110);
    Advance(400);
    CHECK(stage.walkDone == 1);
    CHECK(!TimerArmed(IDT_WALK));
    CHECK(walk.timerRunning == 0);
    CHECK(walk.stepIndex == 0);
    CHECK(stage.stage->character.x == walk.steps[25].x);
    CHECK(stage.stage->character.y == 100);
    CHECK(Shows(SPRITE_POSE + 4, stage.stage->character.x, stage.stage->character.y));
    CloseEngineStage();
}

TEST_CASE("walking in, across and off the stage makes no GDI object, selects no bitmap and leaves no trace")
{
    EngineStage &stage = WalkStage(-150, 100);
    stage.stage->speed = 5;
    const SpritePlace &character = stage.stage->character;
    int steps = 0;
    {
        testing::GdiCallCounter calls;
        for (LONG to : { 400, -150, 400, 800 }) {
            CHECK(StartWalk(stage.stage, character.x, 100, to, 100, 0) != 0);
            steps += DriveWalk();
        }
        CHECK(calls.made == 0);
        CHECK(calls.bitmapsSelected == 0);
    }
    CHECK(steps > 100);
    CHECK(character.x >= 600);
    CHECK(Shows(SPRITE_POSE, character.x, 100));
    {
        // A walk wholly beside the stage draws nothing on it.
        testing::GdiCallCounter beside(stage.stage->canvasDc);
        CHECK(StartWalk(stage.stage, character.x, 100, 900, 100, 0) != 0);
        CHECK(DriveWalk() > 1);
        CHECK(beside.blitsOnWatched == 0);
    }
    CloseEngineStage();
}

TEST_CASE("a stopped walk waits and then continues where it stopped; so does a minimised one")
{
    EngineStage &stage = WalkStage(500, 50);
    const WalkPath &walk = stage.stage->walk;
    stage.stage->speed = 5;
    CHECK(StartWalk(stage.stage, 500, 50, 100, 250, 40) != 0);
    CHECK(stage.stage->direction == 2);
    const int count = walk.stepCount;

    SUBCASE("stop and resume")
    {
        CHECK(AdvanceUntil([&] { return walk.stepIndex >= 6; }, 5000));
        CHECK(StopWalkTimer(stage.stage) == 0);
        const int index = walk.stepIndex;
        CHECK(!TimerArmed(IDT_WALK));
        Advance(500);
        CHECK(walk.stepIndex == index);
        CHECK(Shows(SpriteIndexOf(walk.steps[index].image), walk.steps[index].x, walk.steps[index].y));
        CHECK(ResumeWalkTimer(stage.stage) == 1);
        CHECK(walk.timerRunning != 0);
    }
    SUBCASE("minimise and restore")
    {
        CHECK(AdvanceUntil([&] { return walk.stepIndex >= 4; }, 5000));
        ShowWindow(stage.window, SW_MINIMIZE);
        CHECK(IsIconic(stage.window));
        const int index = walk.stepIndex;
        Advance(600);
        CHECK(TimerArmed(IDT_WALK));
        CHECK(walk.stepIndex == index);
        ShowWindow(stage.window, SW_RESTORE);
        SetWindowPos(stage.window, HWND_TOPMOST, 0, 0, 600, 400, 0);
    }
    CHECK(DriveWalk() > 0);
    CHECK(stage.walkDone == 1);
    CHECK(walk.stepIndex == 0);
    CHECK(stage.stage->character.x == walk.steps[count].x);
    CHECK(stage.stage->character.y == walk.steps[count].y);
    CHECK(SpriteIndexOf(walk.steps[count].image) == SPRITE_POSE + 15);
    CloseEngineStage();
}

TEST_CASE("the walk timer: speed limits, a tick after a stop is dropped")
{
    EngineStage &stage = WalkStage(0, 0);
    const WalkPath &walk = stage.stage->walk;
    // Each walk is stopped before the next: a stop that left the timer running would refuse it.
    struct Row { int speed; UINT interval; } rows[] = { { -4, 190 }, { 0, 190 }, { 1, 190 }, { 3, 150 }, { 5, 110 }, { 9, 110 } };
    for (const Row &row : rows) {
        CAPTURE(row.speed);
        stage.stage->speed = row.speed;
        CHECK(StartWalk(stage.stage, 0, 0, 100, 0, 0) != 0);
        CHECK(walk.interval == row.interval);
        StopWalkTimer(stage.stage);
    }

    stage.stage->speed = 5;
    CHECK(StartWalk(stage.stage, 0, 0, 100, 0, 0) == 1);
    AdvanceWalk(stage.stage);
    AdvanceWalk(stage.stage);
    CHECK(walk.stepIndex == 2);
    StopWalkTimer(stage.stage);
    AdvanceWalk(stage.stage);
    CHECK(stage.walkDone == 0);
    CHECK(walk.stepIndex == 2);
    CloseEngineStage();
}
