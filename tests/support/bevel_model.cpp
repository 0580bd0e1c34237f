#include "support/bevel_model.h"

namespace testing {

// A ring's light-or-dark edges as drawn by two polylines without their end
// points: the first pen takes the left column and the top row but its last
// pixel; the second the right column but its last pixel and the bottom row
// from two pixels in. The pixel just right of the bottom-left corner stays.
static int RingEdge(const RECT &r, int x, int y)
{
    if (x == r.left && y >= r.top && y <= r.bottom - 1)
        return 1;
    if (y == r.top && x >= r.left && x <= r.right - 2)
        return 1;
    if (x == r.right - 1 && y >= r.top && y <= r.bottom - 2)
        return 2;
    if (y == r.bottom - 1 && x >= r.left + 2 && x <= r.right - 1)
        return 2;
    return 0;
}

COLORREF FramePixel(const RECT &rect, int depth, int x, int y, COLORREF otherwise)
{
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
    const int rings = depth < 0 ? -depth : depth;
    for (int k = 0; k < rings; ++k) {
        RECT ring = { rect.left + k, rect.top + k, rect.right - k, rect.bottom - k };
        if (ring.right <= ring.left || ring.bottom <= ring.top)
            break;
        const int edge = RingEdge(ring, x, y);
        if (edge)
            return (edge == 1) == (depth < 0) ? light : dark;
    }
    return otherwise;
}

}  // namespace testing
