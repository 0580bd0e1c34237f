#include <doctest.h>

#include "editor/bevel.h"
#include "support/bevel_model.h"
#include "support/canvas.h"
#include "support/support.h"

using testing::Pixels;

static COLORREF Ground(int x, int y)
{
    return RGB(20 + (x * 3) % 90, 150, 40 + (y * 7) % 80);
}

static bool Inside(const RECT &r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

TEST_CASE("frames of each depth are rings of highlight and shadow inside one another, and nothing else changes")
{
    HWND canvas = testing::CreateCanvas(120, 80);
    HDC dc = GetDC(canvas);
    HPEN callerPen = CreatePen(PS_SOLID, 1, RGB(255, 0, 255));
    HGDIOBJ oldPen = SelectObject(dc, callerPen);
    struct Row { RECT rect; int depth; } rows[] = {
        { { 8, 23, 100, 60 }, 0 },
        { { 8, 23, 100, 60 }, 2 },     // sunken well, second ring on (9, 24, 99, 59)
        { { 3, 4, 50, 30 }, -2 },      // raised
        { { 60, 5, 110, 9 }, 1 },
        { { 10, 40, 16, 46 }, -100 },  // more rings than fit: three, then it stops
    };
    for (const Row &row : rows) {
        CAPTURE(row.depth);
        testing::PaintClient(canvas, Ground);
        Frame3D(dc, &row.rect, row.depth);
        CHECK(GetCurrentObject(dc, OBJ_PEN) == callerPen);
        Pixels drawn = testing::ReadClient(canvas);
        CHECK(testing::Differences(drawn, [&](int x, int y) {
            return testing::FramePixel(row.rect, row.depth, x, y, Ground(x, y));
        }).empty());
    }

    // The spelled-out corners of the sunken well: shadow at top left, light
    // at bottom right, the pixel beside the bottom-left corner untouched.
    testing::PaintClient(canvas, Ground);
    RECT well = { 8, 23, 100, 60 };
    Frame3D(dc, &well, 2);
    Pixels drawn = testing::ReadClient(canvas);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), dark = GetSysColor(COLOR_BTNSHADOW);
    CHECK(drawn.At(8, 23) == dark);
    CHECK(drawn.At(98, 23) == dark);
    CHECK(drawn.At(99, 23) == light);
    CHECK(drawn.At(99, 59) == light);
    CHECK(drawn.At(8, 59) == dark);
    CHECK(drawn.At(9, 59) == Ground(9, 59));
    CHECK(drawn.At(9, 24) == dark);
    CHECK(drawn.At(98, 58) == light);
    CHECK(drawn.At(10, 25) == Ground(10, 25));

    SelectObject(dc, oldPen);
    DeleteObject(callerPen);
    ReleaseDC(canvas, dc);
    DestroyWindow(canvas);
}

TEST_CASE("a framed box fills inside its rings with the caller's pen and brush, and frames leak nothing")
{
    HWND canvas = testing::CreateCanvas(60, 40);
    HDC dc = GetDC(canvas);
    const COLORREF penColour = RGB(200, 10, 10), brushColour = RGB(10, 10, 200);
    HPEN pen = CreatePen(PS_SOLID, 1, penColour);
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    struct Row { RECT rect; int depth; } rows[] = {
        { { 0, 0, 10, 10 }, -1 },   // one raised ring, box (1, 1, 9, 9)
        { { 12, 3, 50, 30 }, 2 },
        { { 20, 32, 40, 38 }, 0 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.depth);
        testing::PaintClient(canvas, Ground);
        FramedBox(dc, &row.rect, row.depth);
        const int rings = row.depth < 0 ? -row.depth : row.depth;
        RECT box = row.rect;
        InflateRect(&box, -rings, -rings);
        RECT fill = box;
        InflateRect(&fill, -1, -1);
        Pixels drawn = testing::ReadClient(canvas);
        CHECK(testing::Differences(drawn, [&](int x, int y) {
            if (Inside(fill, x, y))
                return brushColour;
            if (Inside(box, x, y))
                return penColour;
            return testing::FramePixel(row.rect, row.depth, x, y, Ground(x, y));
        }).empty());
        CHECK(GetCurrentObject(dc, OBJ_PEN) == pen);
        CHECK(GetCurrentObject(dc, OBJ_BRUSH) == brush);
    }

    const int before = testing::GdiHeadroom();
    RECT r = { 2, 2, 50, 30 };
    for (int i = 0; i < 3000; ++i) {
        Frame3D(dc, &r, i % 2 ? 2 : -2);
        FramedBox(dc, &r, -1);
    }
    CHECK(testing::GdiHeadroom() == before);

    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
    ReleaseDC(canvas, dc);
    DestroyWindow(canvas);
}
