#include <doctest.h>
#include <limits.h>
#include <string.h>

#include "engine/raster.h"
#include "engine/stage.h"
#include "support/canvas.h"
#include "support/engine_stage.h"
#include "support/support.h"

using testing::Pixels;

static COLORREF Background(int x, int y)
{
    return RGB((x * 7) & 0xFF, (y * 5) & 0xFF, 90 + ((x + y) & 0x3F));
}

// Black diagonals for transparency, and colours that are nearly black.
static COLORREF SpritePixel(int x, int y)
{
    static const COLORREF colours[] = { RGB(1, 0, 0), RGB(0, 0, 1), RGB(255, 255, 255),
                                        RGB(200, 30, 40), RGB(0, 1, 0), RGB(20, 220, 90) };
    if ((x + y) % 3 == 0)
        return RGB(0, 0, 0);
    return colours[(x / 4 + y) % 6];
}

static COLORREF Composite(int x, int y, const SpritePlace &place)
{
    const int sx = x - place.x, sy = y - place.y;
    if (sx >= 0 && sy >= 0 && sx < place.width && sy < place.height) {
        COLORREF sprite = SpritePixel(sx, sy);
        if (sprite != RGB(0, 0, 0))
            return sprite;
    }
    return Background(x, y);
}

TEST_CASE("a masked sprite shows the background through its black pixels only, and is erased exactly")
{
    HWND canvas = testing::CreateCanvas(300, 200);
    HBITMAP bitmap = testing::MakeBitmap(40, 30, SpritePixel);
    struct Row { LONG x, y; } rows[] = { { 50, 60 }, { -10, -7 }, { 280, 185 } };
    for (const Row &row : rows) {
        CAPTURE(row.x);
        CAPTURE(row.y);
        testing::PaintClient(canvas, Background);
        SpritePlace place;
        ZeroMemory(&place, sizeof place);
        place.targetX = row.x;
        place.targetY = row.y;
        place.source = bitmap;
        HDC dc = GetDC(canvas);
        StretchCopyToSprite(dc, bitmap, &place);
        CHECK(place.x == row.x);
        CHECK(place.y == row.y);
        CHECK(place.width == 40);
        CHECK(place.height == 30);
        SaveUnderSprite(dc, &place);
        DrawSpriteMasked(dc, &place);
        Pixels drawn = testing::ReadClient(canvas);
        CHECK(testing::Differences(drawn, [&](int x, int y) { return Composite(x, y, place); }).empty());

        RestoreUnderSprite(dc, &place);
        Pixels erased = testing::ReadClient(canvas);
        CHECK(testing::Differences(erased, Background).empty());
        ReleaseDC(canvas, dc);

        // The source is the caller's here: freeing the place must spare it.
        place.source = NULL;
        FreeSpritePlace(&place);
        CHECK(place.image.bitmap == NULL);
        CHECK(place.saved.bitmap == NULL);
        BITMAP info;
        CHECK(GetObjectA(bitmap, sizeof info, &info) != 0);
    }
    DeleteObject(bitmap);
    DestroyWindow(canvas);
}

TEST_CASE("sprite places release what they hold")
{
    HWND canvas = testing::CreateCanvas(200, 150);
    HDC dc = GetDC(canvas);

    SUBCASE("a place with nothing in it frees nothing")
    {
        SpritePlace empty;
        ZeroMemory(&empty, sizeof empty);
        FreeSpritePlace(&empty);
        CHECK(empty.source == NULL);
    }
    SUBCASE("a place owns source, image and saved once freed")
    {
        SpritePlace place;
        ZeroMemory(&place, sizeof place);
        place.source = testing::MakeBitmap(20, 20, SpritePixel);
        StretchCopyToSprite(dc, place.source, &place);
        SaveUnderSprite(dc, &place);
        HGDIOBJ held[3] = { place.source, place.image.bitmap, place.saved.bitmap };
        FreeSpritePlace(&place);
        for (HGDIOBJ object : held)
            CHECK(GetObjectType(object) == 0);
        CHECK(place.source == NULL);
    }
    SUBCASE("a missing source gives an empty place that draws nothing")
    {
        SpritePlace place;
        ZeroMemory(&place, sizeof place);
        place.targetX = 5;
        StretchCopyToSprite(dc, NULL, &place);
        CHECK(place.width == 0);
        CHECK(place.image.bitmap == NULL);
        testing::PaintClient(canvas, Background);
        SaveUnderSprite(dc, &place);
        DrawSpriteMasked(dc, &place);
        RestoreUnderSprite(dc, &place);
        CHECK(testing::Differences(testing::ReadClient(canvas), Background).empty());
    }
    SUBCASE("preparing, saving and drawing over and over leaks nothing")
    {
        HBITMAP bitmap = testing::MakeBitmap(30, 30, SpritePixel);
        SpritePlace place;
        ZeroMemory(&place, sizeof place);
        StretchCopyToSprite(dc, bitmap, &place);
        SaveUnderSprite(dc, &place);
        const int before = testing::GdiHeadroom();
        for (int i = 0; i < 200; ++i) {
            StretchCopyToSprite(dc, bitmap, &place);
            SaveUnderSprite(dc, &place);
            DrawSpriteMasked(dc, &place);
            RestoreUnderSprite(dc, &place);
            DrawBitmapTransparentAt(dc, bitmap, i % 50, 10);
        }
        CHECK(testing::GdiHeadroom() == before);
        place.source = NULL;
        FreeSpritePlace(&place);
        DeleteObject(bitmap);
    }
    ReleaseDC(canvas, dc);
    DestroyWindow(canvas);
}

TEST_CASE("a point on the left or top edge is inside, on the right or bottom edge outside")
{
    SpritePlace place;
    ZeroMemory(&place, sizeof place);
    place.x = -20;
    place.y = 10;
    place.width = 130;
    place.height = 130;
    struct Row { LONG x, y; int inside; } rows[] = {
        { -20, 10, 1 }, { 109, 139, 1 }, { 110, 50, 0 }, { 50, 140, 0 },
        { -21, 50, 0 }, { 50, 9, 0 }, { 45, 75, 1 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.x);
        CAPTURE(row.y);
        CHECK((PointInSpritePlace(&place, row.x, row.y) != 0) == (row.inside != 0));
    }
    SUBCASE("a place at the far end of the coordinates still holds its points")
    {
        place.x = LONG_MAX - 10;
        place.y = LONG_MAX - 100;
        CHECK(PointInSpritePlace(&place, LONG_MAX - 5, LONG_MAX - 50) != 0);
        CHECK(PointInSpritePlace(&place, LONG_MAX - 11, LONG_MAX - 50) == 0);
    }
}

TEST_CASE("a bitmap drawn transparently at a point stays the caller's")
{
    HWND canvas = testing::CreateCanvas(200, 150);
    testing::PaintClient(canvas, Background);
    HBITMAP bitmap = testing::MakeBitmap(40, 30, SpritePixel);
    HDC dc = GetDC(canvas);
    DrawBitmapTransparentAt(dc, bitmap, 70, 80);
    ReleaseDC(canvas, dc);
    SpritePlace shown;
    ZeroMemory(&shown, sizeof shown);
    shown.x = 70;
    shown.y = 80;
    shown.width = 40;
    shown.height = 30;
    CHECK(testing::Differences(testing::ReadClient(canvas),
                               [&](int x, int y) { return Composite(x, y, shown); }).empty());
    BITMAP info;
    CHECK(GetObjectA(bitmap, sizeof info, &info) != 0);
    DeleteObject(bitmap);
    DestroyWindow(canvas);
}

static COLORREF TilePixel(int x, int y)
{
    return RGB(x * 8, y * 12, 200 - x - y);
}

// Draws into a 32-bit memory bitmap filled with a marker colour first.
struct MemoryCanvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    MemoryCanvas(int width, int height)
    {
        dc = CreateCompatibleDC(NULL);
        bitmap = testing::MakeBitmap(width, height, [](int, int) { return RGB(1, 2, 3); });
        old = SelectObject(dc, bitmap);
    }
    ~MemoryCanvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Pixels Read()
    {
        SelectObject(dc, old);
        Pixels pixels = testing::ReadBitmap(bitmap);
        SelectObject(dc, bitmap);
        return pixels;
    }
};

TEST_CASE("tiles start at (0, 0) whatever left and top are")
{
    HBITMAP tile = testing::MakeBitmap(30, 20, TilePixel);
    MemoryCanvas canvas(100, 70);

    SUBCASE("left and top only shorten the area")
    {
        TileBitmap(canvas.dc, 10, 10, 100, 70, tile);
        Pixels pixels = canvas.Read();
        CHECK(testing::Differences(pixels, [](int x, int y) {
                  return x < 90 && y < 60 ? TilePixel(x % 30, y % 20) : RGB(1, 2, 3);
              }).empty());
    }
    SUBCASE("the last tiles are cut at the edge")
    {
        TileBitmap(canvas.dc, 0, 0, 100, 70, tile);
        CHECK(testing::Differences(canvas.Read(), [](int x, int y) {
                  return TilePixel(x % 30, y % 20);
              }).empty());
    }
    SUBCASE("tiles that cannot advance draw nothing and return")
    {
        TileBitmap(canvas.dc, 0, 0, 100, 70, NULL);
        SetMapMode(canvas.dc, MM_LOMETRIC);
        TileBitmap(canvas.dc, 0, 0, 100, 70, tile);
        SetMapMode(canvas.dc, MM_TEXT);
        CHECK(testing::Differences(canvas.Read(), [](int, int) { return RGB(1, 2, 3); }).empty());
    }
    DeleteObject(tile);
}

TEST_CASE("a bitmap copied into a rectangle is cut off, not scaled")
{
    HBITMAP bitmap = testing::MakeBitmap(50, 50, TilePixel);
    MemoryCanvas canvas(80, 80);
    BlitBitmapToRect(canvas.dc, 10, 15, 30, 55, bitmap);
    CHECK(testing::Differences(canvas.Read(), [](int x, int y) {
              return x >= 10 && x < 30 && y >= 15 && y < 55 ? TilePixel(x - 10, y - 15) : RGB(1, 2, 3);
          }).empty());
    DeleteObject(bitmap);
}

static std::vector<COLORREF> Palette(int count)
{
    std::vector<COLORREF> table;
    for (int i = 0; i < count; ++i)
        table.push_back(RGB((i * 37) & 0xFF, (255 - i * 11) & 0xFF, (i * 5 + 60) & 0xFF));
    return table;
}

TEST_CASE("background resources are loaded through their own colour table")
{
    struct Row { const char *name; int bpp; DWORD clrUsed; int colours; } rows[] = {
        { "bg4full", 4, 0, 16 },
        { "bg4five", 4, 5, 5 },
        { "bg8full", 8, 0, 256 },
        { "bg8count", 8, 256, 256 },
        { "bg8forty", 8, 40, 40 },
    };
    const int width = 37, height = 23;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> resources;
    for (const Row &row : rows) {
        const int colours = row.colours;
        resources.push_back({ row.name, testing::PackedDib(width, height, row.bpp, Palette(colours), row.clrUsed,
                                                           [=](int x, int y) { return (x * 3 + y * 7) % colours; }) });
    }
    std::vector<uint8_t> cut = resources[2].second;
    cut.resize(cut.size() - 200);
    resources.push_back({ "bgcut", cut });
    HMODULE module = testing::MakeResourceModule(resources);
    CHECK(module != NULL);
    if (!module)
        return;

    HWND canvas = testing::CreateCanvas(100, 100);
    HDC dc = GetDC(canvas);
    for (const Row &row : rows) {
        CAPTURE(row.name);
        HBITMAP bitmap = LoadPaletteBitmap(module, dc, row.name);
        CHECK(bitmap != NULL);
        if (!bitmap)
            continue;
        Pixels pixels = testing::ReadBitmap(bitmap);
        CHECK(pixels.width == width);
        CHECK(pixels.height == height);
        const std::vector<COLORREF> table = Palette(row.colours);
        const int colours = row.colours;
        CHECK(testing::Differences(pixels, [&](int x, int y) { return table[(x * 3 + y * 7) % colours]; }).empty());
        DeleteObject(bitmap);
    }
    CHECK(LoadPaletteBitmap(module, dc, "bg99") == NULL);
    CHECK(LoadPaletteBitmap(module, dc, "bgcut") == NULL);

    const int before = testing::GdiHeadroom();
    for (int i = 0; i < 50; ++i)
        DeleteObject(LoadPaletteBitmap(module, dc, "bg8full"));
    CHECK(testing::GdiHeadroom() == before);
    CHECK(GetCurrentObject(dc, OBJ_PAL) == GetStockObject(DEFAULT_PALETTE));

    ReleaseDC(canvas, dc);
    DestroyWindow(canvas);
    testing::FreeResourceModule(module);
}

TEST_CASE("the stage turns light grey between backgrounds only while a show runs and its title was shown")
{
    testing::EngineStage &stage = testing::OpenEngineStage(240, 160);
    struct Row { int running, backgrounds, title, clears; } rows[] = {
        { 1, 1, 1, 1 }, { 0, 1, 1, 0 }, { 1, 0, 1, 0 }, { 1, 1, 0, 0 }, { 0, 0, 0, 0 },
    };
    stage.look.backgroundNumber = 7;
    for (const Row &row : rows) {
        CAPTURE(row.running);
        CAPTURE(row.backgrounds);
        CAPTURE(row.title);
        testing::PaintClient(stage.window, Background);
        stage.look.saverShow = row.running;
        stage.look.randomBackgrounds = row.backgrounds;
        stage.stage->titleShown = row.title;
        DeleteObject(BuildStageBackground(GetModuleHandleA(NULL), stage.stage));
        Pixels pixels = testing::ReadClient(stage.window);
        if (row.clears) {
            CHECK(testing::Differences(pixels, [](int x, int y) {
                      bool edge = x == 0 || y == 0 || x == 239 || y == 159;
                      return edge ? RGB(0, 0, 0) : RGB(192, 192, 192);
                  }).empty());
        } else {
            CHECK(testing::Differences(pixels, Background).empty());
        }
    }
    testing::CloseEngineStage();
}

// Rows (top to bottom) in which each colour appears.
static void ColourRows(const Pixels &pixels, COLORREF colour, int *first, int *last, int *count)
{
    *first = -1;
    *last = -1;
    *count = 0;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            if (pixels.At(x, y) == colour) {
                if (*first < 0)
                    *first = y;
                *last = y;
                ++*count;
            }
}

TEST_CASE("embossed text: raised, engraved or plain")
{
    const COLORREF ground = RGB(0, 128, 0);
    const COLORREF ink = RGB(255, 0, 0);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    CHECK(highlight != shadow);
    HWND canvas = testing::CreateCanvas(300, 120);
    HFONT font = CreateFontA(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "MS Serif");
    RECT rect = { 0, 20, 300, 120 };

    struct Row { int depth; int edges; } rows[] = { { 0, 0 }, { 2, 1 }, { -1, -1 } };
    for (const Row &row : rows) {
        CAPTURE(row.depth);
        testing::PaintClient(canvas, [&](int, int) { return ground; });
        HDC dc = GetDC(canvas);
        HGDIOBJ old = SelectObject(dc, font);
        const COLORREF before = GetTextColor(dc);
        const int result = EmbossedText(dc, ink, "Embossed", &rect, row.depth);
        CHECK(result > 0);
        CHECK(GetBkMode(dc) == OPAQUE);
        CHECK(GetTextColor(dc) == before);
        SelectObject(dc, old);
        ReleaseDC(canvas, dc);

        Pixels pixels = testing::ReadClient(canvas);
        int inkFirst, inkLast, inkCount, hiFirst, hiLast, hiCount, shFirst, shLast, shCount;
        ColourRows(pixels, ink, &inkFirst, &inkLast, &inkCount);
        ColourRows(pixels, highlight, &hiFirst, &hiLast, &hiCount);
        ColourRows(pixels, shadow, &shFirst, &shLast, &shCount);
        CHECK(inkCount > 0);
        CHECK(inkFirst >= rect.top);
        if (row.edges == 0) {
            CHECK(hiCount == 0);
            CHECK(shCount == 0);
        } else {
            CHECK(hiCount > 0);
            CHECK(shCount > 0);
            // Raised: light above, dark below; engraved the other way round.
            const int lightAbove = hiFirst < shFirst && hiLast < shLast;
            const int darkAbove = shFirst < hiFirst && shLast < hiLast;
            CHECK((row.edges > 0 ? lightAbove : darkAbove));
            CHECK((row.edges > 0 ? hiFirst : shFirst) == inkFirst - (row.depth > 0 ? row.depth : -row.depth));
        }
    }
    DeleteObject(font);
    DestroyWindow(canvas);
}
