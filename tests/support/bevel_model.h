// What the editor's bevel drawing should put on screen, pixel by pixel.
#ifndef PIMBO_TESTS_BEVEL_MODEL_H
#define PIMBO_TESTS_BEVEL_MODEL_H

#include <windows.h>

namespace testing {

// The colour that a frame of the given depth (negative raised, positive
// sunken) puts at (x, y); with a pen colour, that of a framed box filled
// with the brush colour; `otherwise` where neither draws.
COLORREF BevelPixel(const RECT &rect, int depth, int x, int y, COLORREF otherwise,
                    COLORREF pen = CLR_INVALID, COLORREF brush = CLR_INVALID);

}  // namespace testing

#endif
