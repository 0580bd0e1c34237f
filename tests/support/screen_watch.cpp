#include "support/screen_watch.h"

#include <math.h>

#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "support/support.h"

namespace testing {

Shot GrabShot(HDC source, int left, int top, int width, int height)
{
    Shot image;
    std::vector<uint32_t> quads = testing::GrabQuads(source, left, top, width, height);
    if (quads.empty())
        return image;
    image.width = width;
    image.height = height;
    image.rgb.assign(quads.begin(), quads.end());
    return image;
}

Shot TileShot(const char *name)
{
    Shot tile;
    HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), name, IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION);
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return tile;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    tile = GrabShot(memory, 0, 0, info.bmWidth, info.bmHeight);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    DeleteObject(bitmap);
    return tile;
}

bool Near(DWORD a, DWORD b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 255) - (int)((b >> shift) & 255);
        if (d < -6 || d > 6)
            return false;
    }
    return true;
}

// Bounding box of what lies on the tiled background in the band of the
// screen from top down; empty when nothing sprite-sized does.
static RECT ForeignBox(const Shot &tile, int top)
{
    HDC screen = GetDC(NULL);
    Shot shot = GrabShot(screen, 0, top, 1024, 768 - top);
    ReleaseDC(NULL, screen);
    RECT box = { 0, 0, 0, 0 };
    int count = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            if (Near(shot.At(x, y), tile.At(x % tile.width, (y + top) % tile.height)))
                continue;
            int sy = y + top;
            if (count++ == 0)
                box = { x, sy, x + 1, sy + 1 };
            box.left = x < box.left ? x : box.left;
            box.top = sy < box.top ? sy : box.top;
            box.right = x + 1 > box.right ? x + 1 : box.right;
            box.bottom = sy + 1 > box.bottom ? sy + 1 : box.bottom;
        }
    return count > SPRITE_SIZE * 10 ? box : RECT{ 0, 0, 0, 0 };
}

static bool SpriteInside(const RECT &box, POINT corner)
{
    return box.right > box.left && box.left >= corner.x && box.top >= corner.y &&
           box.right <= corner.x + SPRITE_SIZE && box.bottom <= corner.y + SPRITE_SIZE;
}

std::vector<bool> WatchArrivals(const Shot &tile, int top, const std::vector<POINT> &corners, DWORD timeoutMs)
{
    std::vector<bool> seen(corners.size(), false);
    PumpUntil([&] {
        RECT box = ForeignBox(tile, top);
        for (size_t i = 0; i < corners.size(); ++i)
            seen[i] = seen[i] || SpriteInside(box, corners[i]);
        return seen.empty() || seen.back();
    }, timeoutMs);
    return seen;
}

std::vector<POINT> ExpectedArrivals(const std::vector<POINT> &points, int toonWidth, int toonHeight,
                                    int width, int height)
{
    POINT shown = { width / 2 > points[0].x ? SIDE_LEFT_X : width + SIDE_RIGHT_GAP, points[0].y };
    POINT from = shown;
    std::vector<POINT> arrivals;
    for (const POINT &point : points) {
        POINT target = { (point.x - SPRITE_SIZE / 2) * width / toonWidth,
                         (point.y - SPRITE_SIZE / 2) * height / toonHeight };
        LONG dx = from.x - target.x, dy = from.y - target.y;
        double length = sqrt((double)dx * dx + (double)dy * dy);
        int steps = (int)(length < 1.0 ? 1.0 : length) / STEP_LENGTH;
        steps = steps > 0 ? (steps + 7) / 8 * 8 : 1;
        shown.x -= steps * (dx / steps);
        shown.y -= steps * (dy / steps);
        arrivals.push_back(shown);
        from = shown;   // each walk starts where the last one ended
    }
    return arrivals;
}

}  // namespace testing
