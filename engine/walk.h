// The walk planner: a walk cut into steps with their images, drawn one
// step per tick of the walk timer.
#ifndef PIMBO_ENGINE_WALK_H
#define PIMBO_ENGINE_WALK_H

#include <windows.h>
#include "engine/raster.h"

#define WALK_MAX_STEPS  255
#define STEP_LENGTH     20
#define SLOWEST_SPEED   1
#define FASTEST_SPEED   5

struct WalkStep {
    LONG x;
    LONG y;
    HBITMAP image;
};

struct WalkPath {
    WalkStep steps[WALK_MAX_STEPS];
    int stepCount;          // index of the last entry
    int stepIndex;          // the step drawn last
    UINT doneMessage;
    UINT interval;
    SpritePlace *place;
    int timerRunning;
};

extern WalkPath walkPath;
extern POINT currentPosition;
extern int walkDirection;       // 1 right, 2 left or vertical
extern int frameSpeed;          // SLOWEST_SPEED..FASTEST_SPEED

int PlanWalk(LONG x0, LONG y0, LONG x1, LONG y1, int stepLength, SpritePlace *place,
             const HBITMAP *set, int pose);
int StartWalk(HWND window, LONG x0, LONG y0, LONG x1, LONG y1, int pose);
int StartWalkTimer(HWND window, UINT message, int speed);
int StopWalkTimer(HWND window);
void ResumeWalkTimer(HWND window);
void AdvanceWalk(HWND window);
void PaintWalkStep(HWND window, SpritePlace *place, const WalkPath *path, int index);

#endif
