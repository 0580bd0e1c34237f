#include <doctest.h>

#include "editor/bevel.h"
#include "support/bevel_model.h"
#include "support/canvas.h"

static COLORREF Ground(int x, int y)
{
    return RGB(20 + (x * 3) % 90, 150, 40 + (y * 7) % 80);
}

TEST_CASE("frames are rings of highlight and shadow inside one another; a framed box fills inside them")
{
    HWND canvas = testing::CreateCanvas(120, 80);
    HDC dc = GetDC(canvas);
    const COLORREF penColour = RGB(200, 10, 10), brushColour = RGB(10, 10, 200);
    HPEN pen = CreatePen(PS_SOLID, 1, penColour);
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    struct Row { RECT rect; int depth; bool box; } rows[] = {
        { { 8, 23, 100, 60 }, 0, false },
        { { 8, 23, 100, 60 }, 2, false },     // a sunken well, the second ring on (9, 24, 99, 59)
        { { 3, 4, 50, 30 }, -2, false },      // raised
        { { 10, 40, 16, 46 }, -100, false },  // more rings than fit: three, then it stops
        { { 0, 0, 10, 10 }, -1, true },       // one raised ring, the box on (1, 1, 9, 9)
        { { 12, 3, 50, 30 }, 2, true },
        { { 20, 32, 40, 38 }, 0, true },
    };
    for (const Row &row : rows) {
        CAPTURE(row.depth);
        testing::PaintClient(canvas, Ground);
        if (row.box)
            FramedBox(dc, &row.rect, row.depth);
        else
            Frame3D(dc, &row.rect, row.depth);
        CHECK(GetCurrentObject(dc, OBJ_PEN) == pen);
        CHECK(GetCurrentObject(dc, OBJ_BRUSH) == brush);
        CHECK(testing::Differences(testing::ReadClient(canvas), [&](int x, int y) {
            return testing::BevelPixel(row.rect, row.depth, x, y, Ground(x, y), row.box ? penColour : CLR_INVALID,
                                       brushColour);
        }).empty());
    }

    // The corners of the sunken well spelled out, independently of the model.
    testing::PaintClient(canvas, Ground);
    const RECT well = { 8, 23, 100, 60 };
    Frame3D(dc, &well, 2);
    testing::Pixels drawn = testing::ReadClient(canvas);
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
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
    ReleaseDC(canvas, dc);
    DestroyWindow(canvas);
}
