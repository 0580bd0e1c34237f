// A stage window for the engine's tests: its procedure routes the engine's
// timers and messages as the show's does and counts WM_ACTDONE, and it
// paints a fixed pattern so that pixels can be compared.
#ifndef PIMBO_TESTS_ENGINE_STAGE_H
#define PIMBO_TESTS_ENGINE_STAGE_H

#include <windows.h>
#include <functional>
#include <vector>

#include "engine/clock.h"
#include "engine/stage.h"
#include "toon/toon_document.h"

namespace testing {

// Colours of the synthetic artwork, so that a pixel tells what is shown.
COLORREF PatternColour(int x, int y);
COLORREF SpriteColour(int index);          // sprite set entry 0..35
COLORREF ExpressionColour(int kind, int pose);
extern const COLORREF bubbleInk;           // the inside of the synthetic bubbles

// Fills the stage's sprite set, bubbles and expressions strip with
// synthetic bitmaps: opaque blocks of the colours above in a black frame
// (sprites: 10 pixels, bubbles: 4), the strip's cells in their grid.
void LoadSyntheticArt(HWND window);

// The stage's owner in the engine's tests: it records what the stage tells
// it, and the stage's timers run on its stepped clock.
struct EngineStage {
    HWND window = NULL;
    Stage *stage = NULL;
    int actDone = 0;
    int walkDone = 0;
    std::function<void()> onActDone;     // runs inside WM_ACTDONE
    std::vector<int> playStates;         // PLAY_STATE_* in the order told
    int locks = 0;
    int unlocks = 0;
    int busy = 0;                        // the busy cursor as last told
    int picking = 0;                     // answers whether clicks pick points
    std::vector<POINT> picked;
    StageLook look = {};                 // what the stage paints
    LONG paces = 0;                      // stored, as the owner answers
    char toonDirectory[MAX_PATH] = "";   // where clips not beside the toon are found
    SteppedClock clock = {};
    ToonDocument toon = {};
};

// The owner record whose callbacks record what they are told into context;
// its timers run on context's clock.
StageOwner EngineStageOwner(EngineStage &context);

// A visible popup at (0, 0) with the given client size, its canvas painted
// with the pattern. One at a time.
EngineStage &OpenEngineStage(int width, int height);
void CloseEngineStage();
// The open one.
EngineStage &TheEngineStage();

// Moves the stepped clock on by the milliseconds, firing what falls due.
void Advance(DWORD milliseconds);
// Steps the clock until the walk sends WM_WALKDONE; returns the walk ticks
// it took, or -1 if it had not ended after limit ticks.
int DriveWalk(int limit = 400);
// Steps the clock until done() or the milliseconds have passed; returns done().
bool AdvanceUntil(const std::function<bool()> &done, DWORD milliseconds);

// Whether the stage's timer is armed on the clock.
bool TimerArmed(UINT_PTR id);
// The stage's toon holds these frames, made on a stage of the given size.
void SetStageToon(const std::vector<ToonFrame> &frames, DWORD windowSize);

// The client area's pixels in the rectangle, row by row.
std::vector<COLORREF> Capture(HWND window, const RECT &rect);
// Bounding box of the pixels in rect for which keep(colour) holds; empty
// (all zero) when none does.
RECT BoundingBox(HWND window, const RECT &rect, const std::function<bool(COLORREF)> &keep);
// Whether an expression cell of the colour shows at corner, and nothing of it beside.
bool CellShown(HWND window, POINT corner, COLORREF colour);

}  // namespace testing

#endif
