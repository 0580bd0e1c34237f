// A stage window for the engine's tests: its procedure routes the engine's
// timers and messages as the show's does and counts WM_ACTDONE, and it
// paints a fixed pattern so that pixels can be compared.
#ifndef PIMBO_TESTS_ENGINE_STAGE_H
#define PIMBO_TESTS_ENGINE_STAGE_H

#include <windows.h>
#include <functional>
#include <vector>

namespace testing {

// Colours of the synthetic artwork, so that a pixel tells what is shown.
COLORREF PatternColour(int x, int y);
COLORREF SpriteColour(int index);          // sprite set entry 0..35
COLORREF ExpressionColour(int kind, int pose);
extern const COLORREF bubbleInk;           // the inside of the synthetic bubbles

// Fills the sprite set, the bubbles and the expressions strip with
// synthetic bitmaps: opaque blocks of the colours above in a black frame
// (sprites: 10 pixels, bubbles: 4), the strip's cells in their grid.
void LoadSyntheticArt(HWND window);
void FreeSyntheticArt();

struct EngineStage {
    HWND window = NULL;
    int actDone = 0;
    int walkDone = 0;
    std::function<void()> onActDone;     // runs inside WM_ACTDONE
};

// A visible popup at (0, 0) with the given client size, painted with the
// pattern. One at a time.
EngineStage &OpenEngineStage(int width, int height);
void CloseEngineStage();

// Sends walk ticks until the walk sends WM_WALKDONE; returns the ticks it
// took, or -1 if it had not ended after limit ticks.
int DriveWalk(int limit = 400);

// Whether the timer is armed; it is killed by asking.
bool TimerArmed(UINT_PTR id);

// The client area's pixels in the rectangle, row by row.
std::vector<COLORREF> Capture(HWND window, const RECT &rect);
// Bounding box of the pixels in rect for which keep(colour) holds; empty
// (all zero) when none does.
RECT BoundingBox(HWND window, const RECT &rect, const std::function<bool(COLORREF)> &keep);

}  // namespace testing

#endif
