#include "support/bevel_model.h"

namespace testing {

// A ring's edges as two polylines without their end points draw them: the
// first pen takes the left column and the top row but its last pixel; the
// second the right column but its last pixel and the bottom row from two
// pixels in. The pixel just right of the bottom-left corner stays.
static int RingEdge(const RECT &r, int x, int y)
{
    if ((x == r.left && y >= r.top && y <= r.bottom - 1) || (y == r.top && x >= r.left && x <= r.right - 2))
        return 1;
    if ((x == r.right - 1 && y >= r.top && y <= r.bottom - 2) || (y == r.bottom - 1 && x >= r.left + 2 && x < r.right))
        return 2;
    return 0;
}

COLORREF BevelPixel(const RECT &rect, int depth, int x, int y, COLORREF otherwise, COLORREF pen, COLORREF brush)
{
    const int rings = depth < 0 ? -depth : depth;
    RECT ring = rect;
    for (int k = 0; k < rings && ring.right > ring.left && ring.bottom > ring.top; ++k) {
        if (int edge = RingEdge(ring, x, y))
            return (edge == 1) == (depth < 0) ? GetSysColor(COLOR_BTNHIGHLIGHT) : GetSysColor(COLOR_BTNSHADOW);
        InflateRect(&ring, -1, -1);
    }
    const POINT at = { x, y };
    if (pen == CLR_INVALID || !PtInRect(&ring, at))
        return otherwise;
    InflateRect(&ring, -1, -1);
    return PtInRect(&ring, at) ? brush : pen;
}

}  // namespace testing
