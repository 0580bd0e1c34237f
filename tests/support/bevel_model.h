// What a frame of bevel rings should look like, pixel by pixel, for tests
// that check frames drawn by the editor.
#ifndef PIMBO_TESTS_BEVEL_MODEL_H
#define PIMBO_TESTS_BEVEL_MODEL_H

#include <windows.h>

namespace testing {

// The colour that a frame of the given depth (negative raised, positive
// sunken) puts at (x, y), or `otherwise` where its rings leave the pixel.
COLORREF FramePixel(const RECT &rect, int depth, int x, int y, COLORREF otherwise);

}  // namespace testing

#endif
