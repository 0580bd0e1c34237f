#include <doctest.h>
#include <limits.h>
#include <stdint.h>

#include "engine/messages.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "show/settings.h"
#include "support/canvas.h"
#include "support/support.h"

using testing::Pixels;

// Stand-in handles: PlanWalk only files them, so their values name the image.
static HBITMAP fakeSet[SPRITE_COUNT];
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
    SpritePlace place;
    CHECK(PlanWalk(-150, 300, 300, 200, 20, &place, fakeSet, 3) == 25);
    CHECK(walkPath.stepCount == 25);
    CHECK(walkPath.stepIndex == 0);
    CHECK(walkPath.place == &place);
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
    SpritePlace place;
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
        const int count = PlanWalk(row.x0, row.y0, row.x1, row.y1, 20, &place, fakeSet, 0);
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
        CHECK(PlanWalk(0, 0, 30, 0, 0, &place, fakeSet, 0) == 33);
        CHECK(PlanWalk(0, 0, 30, 0, -5, &place, fakeSet, 0) == 33);
    }
}

TEST_CASE("walks too long for the table are bounded and still end at their target")
{
    MakeFakeSet();
    SpritePlace place;
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
        const int count = PlanWalk(row.x0, row.y0, row.x1, row.y1, 20, &place, fakeSet, 5);
        CHECK(count == 249);
        CHECK(walkPath.stepCount == count);
        CHECK(walkPath.place == &place);
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
        CHECK(PlanWalk(0, 0, 4979, 0, 20, &place, fakeSet, 0) == 249);
        CHECK(walkPath.steps[248].x == 4960);
    }
}

static int ticks;
static int walksDone;

static LRESULT CALLBACK WalkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ValidateRect(window, NULL);
        return 0;
    case WM_TIMER:
        if (wParam == IDT_WALK) {
            ++ticks;
            AdvanceWalk(window);
        }
        return 0;
    case WM_WALKDONE:
        ++walksDone;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static COLORREF Ground(int x, int y)
{
    return ((x / 20 + y / 20) % 2) ? RGB(200, 180, 40) : RGB(40, 60, 200);
}

static COLORREF ImageColour(int index)
{
    return RGB(10 + index * 6, 255 - index * 6, 128);
}

// Each image a solid colour of its own with a black (transparent) border.
static COLORREF ImagePixel(int index, int x, int y)
{
    return x < 5 || y < 5 || x >= 125 || y >= 125 ? RGB(0, 0, 0) : ImageColour(index);
}

static int SpriteIndexOf(HBITMAP image)
{
    for (int i = 0; i < SPRITE_COUNT; ++i)
        if (spriteSet[i] == image)
            return i;
    return -1;
}

struct WalkStage {
    HWND window;
    WalkStage()
    {
        window = testing::CreateCanvas(600, 400, WalkProc);
        for (int i = 0; i < SPRITE_COUNT; ++i)
            spriteSet[i] = testing::MakeBitmap(SPRITE_SIZE, SPRITE_SIZE, [i](int x, int y) { return ImagePixel(i, x, y); });
        spritesLoaded = 1;
        testing::PaintClient(window, Ground);
        ticks = 0;
        walksDone = 0;
    }
    void Place(LONG x, LONG y)
    {
        character.source = spriteSet[SPRITE_WALKRIGHT];
        character.targetX = x;
        character.targetY = y;
        HDC dc = GetDC(window);
        StretchCopyToSprite(dc, character.source, &character);
        SaveUnderSprite(dc, &character);
        DrawSpriteMasked(dc, &character);
        ReleaseDC(window, dc);
    }
    bool Shows(int image, LONG x, LONG y)
    {
        Pixels pixels = testing::ReadClient(window);
        return testing::Differences(pixels, [&](int px, int py) {
                   const int sx = px - x, sy = py - y;
                   if (sx >= 0 && sy >= 0 && sx < SPRITE_SIZE && sy < SPRITE_SIZE && ImagePixel(image, sx, sy) != RGB(0, 0, 0))
                       return ImagePixel(image, sx, sy);
                   return Ground(px, py);
               }, 1).empty();
    }
    ~WalkStage()
    {
        StopWalkTimer(window);
        ReleaseCharacter();
        DestroyWindow(window);
    }
};

TEST_CASE("a walk of m steps takes m + 1 ticks, ends on its pose and reports once")
{
    WalkStage stage;
    stage.Place(-150, 100);
    frameSpeed = 5;
    settings.pacesWalked = 10;
    CHECK(StartWalk(stage.window, -150, 100, 300, 100, 4) != 0);
    CHECK(walkPath.stepCount == 25);
    CHECK(settings.pacesWalked == 16);
    CHECK(walkDirection == 1);
    CHECK(walkPath.interval == 110);
    CHECK(walkPath.doneMessage == WM_WALKDONE);

    // Nothing new is planned while the walk runs.
    CHECK(StartWalk(stage.window, 0, 0, 500, 0, 0) == 0);
    CHECK(walkPath.stepCount == 25);
    CHECK(settings.pacesWalked == 16);

    CHECK(testing::PumpUntil([] { return walksDone > 0; }, 10000));
    CHECK(ticks == 26);
    testing::Pump(400);
    CHECK(walksDone == 1);
    CHECK(ticks == 26);
    CHECK(walkPath.timerRunning == 0);
    CHECK(walkPath.stepIndex == 0);
    CHECK(character.x == walkPath.steps[25].x);
    CHECK(character.y == 100);
    CHECK(stage.Shows(SPRITE_POSE + 4, character.x, character.y));
}

TEST_CASE("a stopped walk waits and then continues where it stopped; so does a minimised one")
{
    WalkStage stage;
    stage.Place(500, 50);
    frameSpeed = 5;
    CHECK(StartWalk(stage.window, 500, 50, 100, 250, 40) != 0);
    CHECK(walkDirection == 2);
    const int count = walkPath.stepCount;

    SUBCASE("stop and resume")
    {
        CHECK(testing::PumpUntil([] { return walkPath.stepIndex >= 6; }, 5000));
        CHECK(StopWalkTimer(stage.window) == 0);
        const int index = walkPath.stepIndex;
        const int ticksThen = ticks;
        testing::Pump(500);
        CHECK(walkPath.stepIndex == index);
        CHECK(ticks == ticksThen);
        CHECK(stage.Shows(SpriteIndexOf(walkPath.steps[index].image), walkPath.steps[index].x, walkPath.steps[index].y));
        ResumeWalkTimer(stage.window);
        CHECK(walkPath.timerRunning != 0);
    }
    SUBCASE("minimise and restore")
    {
        CHECK(testing::PumpUntil([] { return walkPath.stepIndex >= 4; }, 5000));
        ShowWindow(stage.window, SW_MINIMIZE);
        CHECK(IsIconic(stage.window));
        const int index = walkPath.stepIndex;
        const int ticksThen = ticks;
        testing::Pump(600);
        CHECK(ticks > ticksThen);
        CHECK(walkPath.stepIndex == index);
        ShowWindow(stage.window, SW_RESTORE);
        SetWindowPos(stage.window, HWND_TOPMOST, 0, 0, 600, 400, 0);
    }
    CHECK(testing::PumpUntil([] { return walksDone > 0; }, 10000));
    CHECK(walksDone == 1);
    CHECK(walkPath.stepIndex == 0);
    CHECK(character.x == walkPath.steps[count].x);
    CHECK(character.y == walkPath.steps[count].y);
    CHECK(SpriteIndexOf(walkPath.steps[count].image) == SPRITE_POSE + 15);
}

TEST_CASE("the walk timer: speed limits, refusal while running, a tick after a stop ends the walk")
{
    WalkStage stage;
    struct Row { int speed; UINT interval; } rows[] = { { -4, 190 }, { 0, 190 }, { 1, 190 }, { 3, 150 }, { 5, 110 }, { 9, 110 } };
    for (const Row &row : rows) {
        CAPTURE(row.speed);
        CHECK(StartWalkTimer(stage.window, WM_APP, row.speed) != 0);
        CHECK(walkPath.interval == row.interval);
        CHECK(StartWalkTimer(stage.window, WM_APP, 3) == 0);
        CHECK(walkPath.interval == row.interval);
        StopWalkTimer(stage.window);
        CHECK(walkPath.timerRunning == 0);
    }

    stage.Place(0, 0);
    MakeFakeSet();
    CHECK(PlanWalk(0, 0, 100, 0, 20, &character, spriteSet, 0) == 9);
    CHECK(StartWalkTimer(stage.window, WM_WALKDONE, 5) != 0);
    CHECK(PlanWalk(0, 0, 400, 0, 20, &character, fakeSet, 0) == 0);
    CHECK(walkPath.stepCount == 9);
    CHECK(walkPath.steps[1].image == spriteSet[SPRITE_TURNRIGHT + 1]);
    AdvanceWalk(stage.window);
    AdvanceWalk(stage.window);
    CHECK(walkPath.stepIndex == 2);
    StopWalkTimer(stage.window);
    AdvanceWalk(stage.window);
    CHECK(walksDone == 1);
    CHECK(walkPath.stepIndex == 0);
}
