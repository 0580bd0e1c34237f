// The editor's 3D look: bevel lines, raised or sunken frames of a given
// depth, and a framed box filled with the caller's pen and brush.
// Rectangles are left, top, right, bottom with right and bottom exclusive.
#ifndef PIMBO_EDITOR_BEVEL_H
#define PIMBO_EDITOR_BEVEL_H

#include <windows.h>

// One ring: the first pen along the left and top edges, the second along
// the right and bottom edges. The DC's pen is put back afterwards.
void BevelLines(HDC dc, int left, int top, int right, int bottom, HPEN firstPen, HPEN secondPen);
// depth < 0 draws -depth raised rings, depth > 0 depth sunken rings, each
// inside the one before; 0 draws nothing.
void Frame3D(HDC dc, const RECT *rect, int depth);
// Frame3D, then the rest of the rectangle filled with the DC's pen and brush.
void FramedBox(HDC dc, const RECT *rect, int depth);

#endif
