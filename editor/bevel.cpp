#include "editor/bevel.h"

void BevelLines(HDC dc, int left, int top, int right, int bottom, HPEN firstPen, HPEN secondPen)
{
    HGDIOBJ oldPen = SelectObject(dc, firstPen);
    MoveToEx(dc, left, bottom - 1, NULL);
    LineTo(dc, left, top);
    LineTo(dc, right - 1, top);
    SelectObject(dc, oldPen);

    oldPen = SelectObject(dc, secondPen);
    MoveToEx(dc, right - 1, top, NULL);
    LineTo(dc, right - 1, bottom - 1);
    LineTo(dc, left + 1, bottom - 1);
    SelectObject(dc, oldPen);
}

void Frame3D(HDC dc, const RECT *rect, int depth)
{
    if (depth == 0)
        return;
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HPEN dark = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    const int raised = depth < 0;
    RECT ring = *rect;
    // Rings stop where the rectangle runs out, so any depth is bounded.
    for (int k = 0; k != depth && ring.right > ring.left && ring.bottom > ring.top;
         k += raised ? -1 : 1) {
        BevelLines(dc, ring.left, ring.top, ring.right, ring.bottom, raised ? light : dark,
                   raised ? dark : light);
        InflateRect(&ring, -1, -1);
    }
    DeleteObject(light);
    DeleteObject(dark);
}

void FramedBox(HDC dc, const RECT *rect, int depth)
{
    Frame3D(dc, rect, depth);
    RECT inside = *rect;
    const int rings = depth < 0 ? -depth : depth;
    InflateRect(&inside, -rings, -rings);
    Rectangle(dc, inside.left, inside.top, inside.right, inside.bottom);
}
