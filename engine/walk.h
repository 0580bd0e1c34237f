// The walk planner: a walk cut into steps with their images, drawn one
// step per tick of the walk timer.
#ifndef PIMBO_ENGINE_WALK_H
#define PIMBO_ENGINE_WALK_H

#include <windows.h>
#include "engine/stage.h"

#define STEP_LENGTH     20
#define SLOWEST_SPEED   1
#define FASTEST_SPEED   5

// Plans into path; 0 while the path's walk is running.
int PlanWalk(WalkPath *path, LONG x0, LONG y0, LONG x1, LONG y1, int stepLength, const HBITMAP *set,
             int pose);
int StartWalk(Stage *stage, LONG x0, LONG y0, LONG x1, LONG y1, int pose);
int StopWalkTimer(Stage *stage);
// The paces the stage has walked since it was last asked; it counts afresh.
LONG TakeWalkedPaces(Stage *stage);
int ResumeWalkTimer(Stage *stage);
void AdvanceWalk(Stage *stage);
void PaintWalkStep(Stage *stage, SpritePlace *place, const WalkPath *path, int index);
// Milliseconds between steps at a toon's speed.
UINT WalkInterval(int speed);

#endif
