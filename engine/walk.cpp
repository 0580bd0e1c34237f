#include "engine/walk.h"

#include <limits.h>
#include <math.h>

#include "engine/messages.h"

#define CYCLE_LENGTH     8          // images in one walk cycle
#define PACES_PER_STEP   4
// Entries 0..N plus the pose must fit the table, N a whole number of cycles.
#define MAX_STRIDES      ((WALK_MAX_STEPS - 2) / CYCLE_LENGTH * CYCLE_LENGTH)

UINT WalkInterval(int speed)
{
    if (speed <= SLOWEST_SPEED)
        speed = SLOWEST_SPEED;
    if (speed >= FASTEST_SPEED)
        speed = FASTEST_SPEED;
    return (UINT)(210 - 20 * speed);
}

int PlanWalk(WalkPath *path, LONG x0, LONG y0, LONG x1, LONG y1, int stepLength, const HBITMAP *set,
             int pose)
{
    if (path->timerRunning)
        return 0;

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
        WalkStep &step = path->steps[i];
        step.x = (LONG)(x0 - i * sx);
        step.y = (LONG)(y0 - i * sy);
        step.image = set ? set[k] : NULL;
        k = k == first + CYCLE_LENGTH - 1 ? first + 1 : k + 1;
    }
    if (clamped) {
        path->steps[last].x = x1;
        path->steps[last].y = y1;
    }
    const HBITMAP turnFirst = set ? set[turn] : NULL;
    const HBITMAP turnSecond = set ? set[turn + 1] : NULL;
    path->steps[0].image = turnFirst;
    path->steps[1].image = turnSecond;
    path->steps[last - 1].image = turnFirst;
    path->steps[last].image = turnSecond;

    WalkStep &posed = path->steps[last + 1];
    posed.x = path->steps[last].x;
    posed.y = path->steps[last].y;
    posed.image = set ? set[SPRITE_POSE + pose] : NULL;

    path->stepCount = last + 1;
    path->stepIndex = 0;
    return last + 1;
}

int StartWalk(Stage *stage, LONG x0, LONG y0, LONG x1, LONG y1, int pose)
{
    if (!stage)
        return 0;
    if (pose <= 0)
        pose = 0;
    if (pose >= POSE_LAST)
        pose = POSE_LAST;
    const int count = PlanWalk(&stage->walk, x0, y0, x1, y1, STEP_LENGTH, stage->sprites, pose);
    if (count == 0)
        return 0;
    const LONG paces = count / PACES_PER_STEP;
    stage->pacesWalked = stage->pacesWalked > LONG_MAX - paces ? LONG_MAX : stage->pacesWalked + paces;
    stage->direction = (long long)x1 - x0 <= 0 ? 2 : 1;
    stage->walk.interval = WalkInterval(stage->speed);
    return ResumeWalkTimer(stage);
}

LONG TakeWalkedPaces(Stage *stage)
{
    if (!stage)
        return 0;
    const LONG paces = stage->pacesWalked;
    stage->pacesWalked = 0;
    return paces;
}

int StopWalkTimer(Stage *stage)
{
    if (stage && stage->walk.timerRunning) {
        KillStageTimer(stage, IDT_WALK);
        stage->walk.timerRunning = 0;
    }
    return 0;
}

int ResumeWalkTimer(Stage *stage)
{
    if (!stage || stage->walk.timerRunning)
        return 0;
    SetStageTimer(stage, IDT_WALK, stage->walk.interval);
    stage->walk.timerRunning = 1;
    return 1;
}

void PaintWalkStep(Stage *stage, SpritePlace *place, const WalkPath *path, int index)
{
    if (!place || index < 1 || index >= WALK_MAX_STEPS)
        return;
    HDC dc = BeginStageDrawing(stage);
    place->source = path->steps[index].image;
    PrepareSprite(dc, &stage->spriteSheet, place->source, place);
    EndStageDrawing(stage, dc, NULL);
    place->targetX = path->steps[index - 1].x;
    place->targetY = path->steps[index - 1].y;
    POINT next = { path->steps[index].x, path->steps[index].y };
    MoveSprite(stage, place, next);
    place->targetX = place->x;
    place->targetY = place->y;
}

void AdvanceWalk(Stage *stage)
{
    if (!stage || IsIconic(stage->window))
        return;
    WalkPath *path = &stage->walk;
    // A tick that was already queued when the walk was stopped is dropped.
    if (!path->timerRunning)
        return;
    path->stepIndex += 1;
    if (path->stepIndex > path->stepCount) {
        path->stepIndex = 0;
        path->timerRunning = 0;
        KillStageTimer(stage, IDT_WALK);
        SendMessageA(stage->window, WM_WALKDONE, 0, 0);
        return;
    }
    PaintWalkStep(stage, &stage->character, path, path->stepIndex);
}
