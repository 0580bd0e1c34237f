#include "engine/walk.h"

#include <limits.h>
#include <math.h>

#include "engine/messages.h"
#include "engine/hooks.h"
#include "engine/stage.h"

WalkPath walkPath;
POINT currentPosition;
int walkDirection = 1;
int frameSpeed = 3;

#define CYCLE_LENGTH     8          // images in one walk cycle
#define PACES_PER_STEP   4
// Entries 0..N plus the pose must fit the table, N a whole number of cycles.
#define MAX_STRIDES      ((WALK_MAX_STEPS - 2) / CYCLE_LENGTH * CYCLE_LENGTH)

static UINT WalkInterval(int speed)
{
    if (speed <= SLOWEST_SPEED)
        speed = SLOWEST_SPEED;
    if (speed >= FASTEST_SPEED)
        speed = FASTEST_SPEED;
    return (UINT)(210 - 20 * speed);
}

int PlanWalk(LONG x0, LONG y0, LONG x1, LONG y1, int stepLength, SpritePlace *place,
             const HBITMAP *set, int pose)
{
    if (walkPath.timerRunning)
        return 0;
    walkPath.place = place;

    // In 64 bits: toon coordinates can be anything a file holds.
    const long long dx = (long long)x0 - x1;
    const long long dy = (long long)y0 - y1;
    double dist = sqrt((double)dx * (double)dx + (double)dy * (double)dy);
    if (dist < 1.0)
        dist = 1.0;
    const long long length = stepLength <= 1 ? 1 : stepLength;
    const long long n = (long long)dist / length;
    long long strides = n > 0 ? (n + CYCLE_LENGTH - 1) / CYCLE_LENGTH * CYCLE_LENGTH : 0;
    if (strides <= 1)
        strides = 1;
    // Too far for the table: longer steps, and the last one lands on the
    // target itself so the walk still ends where it was asked to.
    const bool clamped = strides > MAX_STRIDES;
    if (clamped)
        strides = MAX_STRIDES;
    const int last = (int)strides;
    const long long sx = dx / last;
    const long long sy = dy / last;

    const int first = dx < 0 ? SPRITE_WALKRIGHT : SPRITE_WALKLEFT;
    const int turn = dx < 0 ? SPRITE_TURNRIGHT : SPRITE_TURNLEFT;
    if (pose < 0)
        pose = 0;
    if (pose > POSE_LAST)
        pose = POSE_LAST;

    int k = first;
    for (int i = 0; i <= last; ++i) {
        WalkStep &step = walkPath.steps[i];
        step.x = (LONG)(x0 - i * sx);
        step.y = (LONG)(y0 - i * sy);
        step.image = set ? set[k] : NULL;
        k = k == first + CYCLE_LENGTH - 1 ? first + 1 : k + 1;
    }
    if (clamped) {
        walkPath.steps[last].x = x1;
        walkPath.steps[last].y = y1;
    }
    const HBITMAP turnFirst = set ? set[turn] : NULL;
    const HBITMAP turnSecond = set ? set[turn + 1] : NULL;
    walkPath.steps[0].image = turnFirst;
    walkPath.steps[1].image = turnSecond;
    walkPath.steps[last - 1].image = turnFirst;
    walkPath.steps[last].image = turnSecond;

    WalkStep &posed = walkPath.steps[last + 1];
    posed.x = walkPath.steps[last].x;
    posed.y = walkPath.steps[last].y;
    posed.image = set ? set[SPRITE_POSE + pose] : NULL;

    walkPath.stepCount = last + 1;
    walkPath.stepIndex = 0;
    return last + 1;
}

int StartWalk(HWND window, LONG x0, LONG y0, LONG x1, LONG y1, int pose)
{
    if (pose <= 0)
        pose = 0;
    if (pose >= POSE_LAST)
        pose = POSE_LAST;
    const int count = PlanWalk(x0, y0, x1, y1, STEP_LENGTH, &character, spriteSet, pose);
    if (count == 0)
        return 0;
    walkDirection = 1;
    const LONG paces = count / PACES_PER_STEP;
    LONG *walked = engineHooks.pacesWalked;
    *walked = *walked > LONG_MAX - paces ? LONG_MAX : *walked + paces;
    if ((long long)x1 - x0 <= 0)
        walkDirection = 2;
    return StartWalkTimer(window, WM_WALKDONE, frameSpeed);
}

int StartWalkTimer(HWND window, UINT message, int speed)
{
    if (walkPath.timerRunning)
        return 0;
    walkPath.doneMessage = message;
    walkPath.interval = WalkInterval(speed);
    walkPath.timerRunning = SetTimer(window, IDT_WALK, walkPath.interval, NULL) != 0;
    return walkPath.timerRunning;
}

int StopWalkTimer(HWND window)
{
    if (walkPath.timerRunning) {
        KillTimer(window, IDT_WALK);
        walkPath.timerRunning = 0;
    }
    return 0;
}

void ResumeWalkTimer(HWND window)
{
    if (walkPath.timerRunning)
        return;
    walkPath.timerRunning = SetTimer(window, IDT_WALK, walkPath.interval, NULL) != 0;
}

void AdvanceWalk(HWND window)
{
    if (IsIconic(window))
        return;
    // A tick that was already queued when the walk was stopped ends it.
    if (!walkPath.timerRunning)
        walkPath.stepIndex = walkPath.stepCount;
    walkPath.stepIndex += 1;
    if (walkPath.stepIndex > walkPath.stepCount) {
        walkPath.stepIndex = 0;
        walkPath.timerRunning = 0;
        KillTimer(window, IDT_WALK);
        SendMessageA(window, walkPath.doneMessage, 0, 0);
        return;
    }
    PaintWalkStep(window, walkPath.place, &walkPath, walkPath.stepIndex);
}

void PaintWalkStep(HWND window, SpritePlace *place, const WalkPath *path, int index)
{
    if (!place || index < 1 || index >= WALK_MAX_STEPS)
        return;
    HDC dc = GetDC(window);
    place->source = path->steps[index].image;
    StretchCopyToSprite(dc, place->source, place);
    ReleaseDC(window, dc);
    place->targetX = path->steps[index - 1].x;
    place->targetY = path->steps[index - 1].y;
    POINT next = { path->steps[index].x, path->steps[index].y };
    MoveSprite(window, place, next);
    place->targetX = place->x;
    place->targetY = place->y;
}
