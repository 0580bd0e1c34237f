#include <doctest.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>

#include "engine/bubbles.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "support/canvas.h"
#include "support/engine_stage.h"
#include "support/support.h"
#include "toon/toon_document.h"

using testing::EngineStage;
using testing::Pixels;

static const char *const spriteNames[SPRITE_COUNT] = {
    "PBL2R1", "PBL2R2", "PBL2R3", "PBL2R4", "PBL2R5", "PBL2R6", "PBL2R7", "PBL2R8",
    "PBR2L1", "PBR2L2", "PBR2L3", "PBR2L4", "PBR2L5", "PBR2L6", "PBR2L7", "PBR2L8",
    "PBLTN1", "PBLTN2", "PBRTN1", "PBRTN2",
    "POSE01", "POSE02", "POSE03", "POSE04", "POSE05", "POSE06", "POSE07", "POSE08",
    "POSE09", "POSE10", "POSE11", "POSE12", "POSE13", "POSE14", "POSE15", "POSE16",
};

static COLORREF Ground(int x, int y)
{
    return ((x / 16 + y / 16) % 2) ? RGB(30, 90, 150) : RGB(60, 140, 70);
}

// A character image: black (transparent) corners and diagonals, colours elsewhere.
static COLORREF Figure(int x, int y)
{
    if (x + y < 20 || (x * 3 + y) % 11 == 0)
        return RGB(0, 0, 0);
    return RGB(100 + x, 255 - y, (x * y) & 0xFF);
}

static COLORREF WithSprite(int x, int y, LONG left, LONG top, const testing::PixelFunction &image,
                           const testing::PixelFunction &ground)
{
    const int sx = x - left, sy = y - top;
    if (sx >= 0 && sy >= 0 && sx < SPRITE_SIZE && sy < SPRITE_SIZE) {
        COLORREF c = image(sx, sy);
        if (c != RGB(0, 0, 0))
            return c;
    }
    return ground(x, y);
}

// The test stage's own paint only shows the canvas: compose it here.
static void Repaint(HWND window)
{
    InvalidateRect(window, NULL, FALSE);
    PaintStage(StageOf(window));
}

// A module holding the 36 character images (each one solid colour on a
// black frame) and the two bubbles.
static HMODULE MakeArtModule()
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> art;
    for (int i = 0; i < SPRITE_COUNT; ++i)
        art.push_back({ spriteNames[i], testing::PackedDib(SPRITE_SIZE, SPRITE_SIZE, 4, { RGB(0, 0, 0), testing::SpriteColour(i) }, 2,
                                                           [](int x, int y) { return x > 2 && y > 2; }) });
    art.push_back({ "BUBLEFT", testing::PackedDib(160, 95, 4, { RGB(0, 0, 0), RGB(255, 255, 255) }, 2, [](int, int) { return 1; }) });
    art.push_back({ "BUBRIGHT", testing::PackedDib(160, 95, 4, { RGB(0, 0, 0), RGB(255, 255, 254) }, 2, [](int, int) { return 1; }) });
    return testing::MakeResourceModule(art);
}

TEST_CASE("the sprite set is loaded by name in table order, parked, and freed completely; missing images stay null")
{
    HMODULE module = MakeArtModule();
    CHECK(module != NULL);
    if (!module)
        return;
    HWND stage = testing::OpenEngineStage(400, 300).window;
    Stage &record = *StageOf(stage);
    // Once first, so that what the system makes on first use is not counted.
    LoadSpriteSet(&record, module);
    ReleaseCharacter(&record);
    const int before = testing::GdiHeadroom();

    CHECK(LoadSpriteSet(&record, module) == 1);
    for (int i = 0; i < SPRITE_COUNT; ++i) {
        CAPTURE(spriteNames[i]);
        const Pixels pixels = testing::ReadBitmap(record.sprites[i]);
        CHECK((pixels.width == SPRITE_SIZE && pixels.height == SPRITE_SIZE &&
               pixels.At(65, 65) == testing::SpriteColour(i)));
    }
    // The bubbles come with the set, the stored side's prepared.
    CHECK(record.bubbleRight != NULL);
    CHECK(record.bubble.source == record.bubbleLeft);
    CHECK(record.bubble.width == 160);
    CHECK(record.bubble.height == 95);
    CHECK(record.character.source == record.sprites[SPRITE_WALKRIGHT]);
    CHECK(record.character.x == -150);
    CHECK(record.character.y == 150);
    CHECK(record.character.width == SPRITE_SIZE);
    const int loaded = testing::GdiHeadroom();

    CHECK(LoadSpriteSet(&record, module) == 1);
    CHECK(testing::GdiHeadroom() == loaded);

    ReleaseCharacter(&record);
    CHECK(record.spritesLoaded == 0);
    CHECK(record.noBubble == 1);
    for (int i = 0; i < SPRITE_COUNT; ++i)
        CHECK(record.sprites[i] == NULL);
    CHECK(record.character.source == NULL);
    CHECK(record.character.image.bitmap == NULL);
    CHECK(record.character.saved.bitmap == NULL);
    CHECK(record.bubbleLeft == NULL);
    CHECK(record.bubbleRight == NULL);
    CHECK(record.bubble.image.bitmap == NULL);
    CHECK(testing::GdiHeadroom() == before);
    testing::FreeResourceModule(module);

    module = testing::MakeResourceModule({ { "POSE01", testing::PackedDib(130, 130, 4, { RGB(9, 9, 9) }, 1, [](int, int) { return 0; }) } });
    CHECK(LoadSpriteSet(&record, module) == 1);
    CHECK(record.sprites[SPRITE_POSE] != NULL);
    CHECK(record.sprites[SPRITE_WALKRIGHT] == NULL);
    CHECK(!SpriteHasImage(&record.character));
    testing::CloseEngineStage();
    testing::FreeResourceModule(module);
}

static int TileWidth(int number) { return number == 1 ? 40 : number == 7 ? 50 : 24; }
static int TileHeight(int number) { return number == 1 ? 30 : number == 7 ? 20 : 24; }
static COLORREF TileColour(int number, int x, int y)
{
    return RGB((number * 20 + x * 5) & 0xFF, (y * 9) & 0xFF, ((x + y) * 3 + number) & 0xFF);
}

static HMODULE MakeTileModule(std::vector<COLORREF> tables[11])
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> art;
    const int numbers[] = { 1, 7, 10 };
    for (int number : numbers) {
        const int w = TileWidth(number), h = TileHeight(number);
        std::vector<COLORREF> &table = tables[number];
        table.clear();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (table.size() < 256)
                    table.push_back(TileColour(number, x, y));
        const int colours = (int)table.size();
        const int bpp = number == 1 ? 4 : 8;
        const int used = number == 1 ? 16 : number == 7 ? 0 : 256;
        if (bpp == 4)
            table.resize(16);
        else
            table.resize(256);
        char name[8];
        snprintf(name, sizeof name, "BG%02d", number);
        const int span = bpp == 4 ? 16 : colours;
        art.push_back({ name, testing::PackedDib(w, h, bpp, table, (DWORD)used,
                                                 [=](int x, int y) { return (x + y * w) % span; }) });
    }
    return testing::MakeResourceModule(art);
}

TEST_CASE("the stage background tiles the numbered background from the top left corner, greys and leaks nothing")
{
    std::vector<COLORREF> tables[11];
    HMODULE module = MakeTileModule(tables);
    CHECK(module != NULL);
    if (!module)
        return;
    EngineStage &engine = testing::OpenEngineStage(300, 200);

    SUBCASE("on a bitmap of the stage size or, with no room for one, the plain first tile alone")
    {
        struct Row { int backgroundNumber, tile; } rows[] = { { 0, 1 }, { 7, 7 }, { 10, 10 }, { 25, 10 } };
        for (const Row &row : rows) {
            CAPTURE(row.backgroundNumber);
            engine.look.backgroundNumber = row.backgroundNumber;
            const int w = TileWidth(row.tile), h = TileHeight(row.tile);
            const int span = row.tile == 1 ? 16 : (int)std::min<size_t>(256, (size_t)w * h);
            const std::vector<COLORREF> &table = tables[row.tile];
            engine.stage->size = MakePackedSize(300, 200);
            HBITMAP built = BuildStageBackground(module, engine.stage);
            Pixels pixels = testing::ReadBitmap(built);
            CHECK(pixels.width == 300);
            CHECK(pixels.height == 200);
            CHECK(testing::Differences(pixels, [&](int x, int y) {
                      return table[((x % w) + (y % h) * w) % span];
                  }).empty());
            DeleteObject(built);

            engine.stage->size = MakePackedSize(0xFFFF, 0xFFFF);
            built = BuildStageBackground(module, engine.stage);
            pixels = testing::ReadBitmap(built);
            CHECK(pixels.width == TileWidth(1));
            CHECK(pixels.height == TileHeight(1));
            CHECK(testing::Differences(pixels, [&](int x, int y) {
                      return tables[1][(x + y * TileWidth(1)) % 16];
                  }).empty());
            DeleteObject(built);
        }
    }
    SUBCASE("a rebuild gives the focus back, greys nothing for the plain tile, and leaks nothing")
    {
        HWND stage = engine.window;
        HWND other = testing::CreateCanvas(50, 50);
        engine.look.saverShow = 1;
        engine.look.randomBackgrounds = 1;
        engine.stage->titleShown = 1;
        engine.look.backgroundNumber = 7;
        SetFocus(other);
        DeleteObject(BuildStageBackground(module, engine.stage));
        CHECK(GetFocus() == other);

        testing::PaintClient(stage, Ground);
        engine.look.backgroundNumber = 0;
        DeleteObject(BuildStageBackground(module, engine.stage));
        CHECK(testing::ClientPixel(stage, 150, 100) == Ground(150, 100));

        // A missing tile gives an untiled stage, not a failure.
        engine.look.backgroundNumber = 5;
        HBITMAP untiled = BuildStageBackground(module, engine.stage);
        CHECK(untiled != NULL);
        DeleteObject(untiled);

        engine.look.saverShow = 0;
        engine.stage->titleShown = 0;
        const int numbers[] = { 0, 7, 10, 3 };
        engine.stage->size = MakePackedSize(1024, 768);
        HBITMAP background = NULL;
        const int before = testing::GdiHeadroom();
        for (int i = 0; i < 100; ++i) {
            engine.look.backgroundNumber = numbers[i % 4];
            if (background)
                DeleteObject(background);
            background = BuildStageBackground(module, engine.stage);
        }
        DeleteObject(background);
        CHECK(testing::GdiHeadroom() == before + 0);
        DestroyWindow(other);
    }
    testing::CloseEngineStage();
    testing::FreeResourceModule(module);
}

// How the tiles draw is shown above on tiles of every kind the program's
// have; here, that each of the program's is its file.
TEST_CASE("the program's backgrounds hold the bitmaps of their files")
{
    HINSTANCE self = GetModuleHandleA(NULL);
    for (int number = 1; number <= 10; ++number) {
        char name[16];
        snprintf(name, sizeof name, "bg%02d", number);
        CAPTURE(name);
        HRSRC found = FindResourceA(self, name, (LPCSTR)RT_BITMAP);
        CHECK(found != NULL);
        if (!found)
            continue;
        const std::string held((const char *)LockResource(LoadResource(self, found)), SizeofResource(self, found));
        const std::string file = testing::ReadFileBytes(testing::SourcePath(std::string("resources/") + name + ".bmp"));
        CHECK((file.size() > sizeof(BITMAPFILEHEADER) &&
               file.compare(sizeof(BITMAPFILEHEADER), std::string::npos, held) == 0));
    }
}

struct Walk {
    const char *name;
    LONG startX, startY;
    LONG stepX, stepY;
    int steps;
};

// The ground on the stage's canvas and its window alike.
static void PaintGround(Stage *stage)
{
    HDC dc = BeginStageDrawing(stage);
    testing::PaintClient(stage->window, Ground);
    HDC window = GetDC(stage->window);
    BitBlt(dc, 0, 0, stage->canvasWidth, stage->canvasHeight, window, 0, 0, SRCCOPY);
    ReleaseDC(stage->window, window);
    EndStageDrawing(stage, dc, NULL);
}

// The figure shown at (x, y) through a place of its own, with what lay under it saved.
static SpritePlace ShowFigure(Stage *stage, HBITMAP figure, LONG x, LONG y)
{
    SpritePlace place;
    ZeroMemory(&place, sizeof place);
    place.targetX = x;
    place.targetY = y;
    HDC dc = BeginStageDrawing(stage);
    StretchCopyToSprite(dc, figure, &place);
    SaveUnderSprite(dc, &place);
    DrawSpriteMasked(dc, &place);
    EndStageDrawing(stage, dc, NULL);
    ShowStageCanvas(stage);
    return place;
}

// Erases the figure and frees its place; whether only the ground is left.
static bool EraseFigure(Stage *stage, SpritePlace &place)
{
    HDC dc = BeginStageDrawing(stage);
    RestoreUnderSprite(dc, &place);
    EndStageDrawing(stage, dc, NULL);
    ShowStageCanvas(stage);
    place.source = NULL;   // the caller's bitmap
    FreeSpritePlace(&place);
    return testing::Differences(testing::ReadClient(stage->window), Ground).empty();
}

TEST_CASE("a moving sprite leaves no trace and is never doubled")
{
    const int width = 420, height = 320;
    HWND window = testing::CreateCanvas(width, height);
    const StageOwner owner = {};
    Stage *stage = CreateStage(window, &owner, NULL);
    HBITMAP figure = testing::MakeBitmap(SPRITE_SIZE, SPRITE_SIZE, Figure);
    const Walk walks[] = {
        { "right, overlapping", 10, 100, 18, -4, 12 },
        { "left, overlapping", 300, 60, -18, 4, 12 },
        { "vertical", 150, 0, 0, 20, 9 },
        { "tiny steps", 100, 100, 1, 2, 10 },
        { "steps larger than the sprite", 0, 0, 150, 140, 2 },
        { "back and far", 280, 180, -140, -135, 2 },
        { "in place", 120, 90, 0, 0, 3 },
        { "in from outside the left edge", -150, 120, 20, 0, 10 },
    };
    for (const Walk &walk : walks) {
        CAPTURE(walk.name);
        PaintGround(stage);
        SpritePlace place = ShowFigure(stage, figure, walk.startX, walk.startY);

        int faults = 0;
        for (int i = 1; i <= walk.steps; ++i) {
            POINT next = { walk.startX + i * walk.stepX, walk.startY + i * walk.stepY };
            // A wrong target shows at the next step, a wrong place at once.
            MoveSprite(stage, &place, next);
            Pixels pixels = testing::ReadClient(window);
            if (!testing::Differences(pixels, [&](int x, int y) { return WithSprite(x, y, next.x, next.y, Figure, Ground); }, 1).empty())
                ++faults;
        }
        CHECK(faults == 0);
        CHECK(EraseFigure(stage, place));
    }

    SUBCASE("the shown position follows the steps where it differs from them")
    {
        PaintGround(stage);
        SpritePlace place = ShowFigure(stage, figure, 50, 40);
        place.targetX = 1000;
        place.targetY = 1000;
        MoveSprite(stage, &place, POINT{ 1030, 990 });
        CHECK(place.x == 80);
        CHECK(place.y == 30);
        CHECK(testing::Differences(testing::ReadClient(window), [&](int x, int y) { return WithSprite(x, y, 80, 30, Figure, Ground); }).empty());
        place.source = NULL;
        FreeSpritePlace(&place);
    }
    SUBCASE("steps whose image is missing show nothing and leave nothing behind")
    {
        PaintGround(stage);
        SpritePlace place = ShowFigure(stage, figure, 20, 50);
        // As a walk draws them: the missing images move by less than the
        // sprite's size, so a picture left behind would show.
        static WalkPath path;
        const HBITMAP images[] = { figure, NULL, figure, NULL, NULL, figure, figure };
        const int count = (int)(sizeof images / sizeof images[0]);
        path.steps[0] = WalkStep{ 20, 50, figure };
        for (int i = 1; i <= count; ++i)
            path.steps[i] = WalkStep{ 20 + 35 * i, 50 + 5 * i, images[i - 1] };
        const int before = testing::GdiHeadroom();
        for (int i = 1; i <= count; ++i) {
            CAPTURE(i);
            PaintWalkStep(stage, &place, &path, i);
            const WalkStep &step = path.steps[i];
            CHECK(place.x == step.x);
            CHECK(place.y == step.y);
            Pixels pixels = testing::ReadClient(window);
            if (step.image)
                CHECK(testing::Differences(pixels, [&](int x, int y) { return WithSprite(x, y, step.x, step.y, Figure, Ground); }).empty());
            else
                CHECK(testing::Differences(pixels, Ground).empty());
        }
        CHECK(EraseFigure(stage, place));
        CHECK(testing::GdiHeadroom() >= before);
    }
    DeleteObject(figure);
    DestroyStage(stage);
    DestroyWindow(window);
}

static COLORREF Scenery(int x, int y)
{
    return RGB(40 + (x / 25 % 2) * 20, 90, 60 + (y / 25 % 2) * 20);
}

static int CountColour(const Pixels &pixels, COLORREF colour, int top, int bottom)
{
    int count = 0;
    for (int y = top; y < bottom && y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            count += pixels.At(x, y) == colour;
    return count;
}

TEST_CASE("the stage paint: background, title once per show, caption, preview title, capture request")
{
    const int width = 500, height = 400;
    EngineStage &engine = testing::OpenEngineStage(width, height);
    HWND stage = engine.window;
    Stage &record = *engine.stage;
    record.background = testing::MakeBitmap(width, height, Scenery);
    StageLook &look = engine.look;
    look.titleFont = CreateFontA(-32, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "MS Serif");
    look.textFont = CreateFontA(-20, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "MS Serif");
    look.titleText = "Fizzy Pimbo Screen Saver";
    lstrcpynA(engine.toon.caption, "A caption", TOON_CAPTION_SIZE);
    const COLORREF blue = RGB(0, 0, 255), grey = RGB(192, 192, 192);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    const int titleTop = height / 2 - 170;
    record.spritesLoaded = 0;

    SUBCASE("the title once, raised, then the caption while a show runs")
    {
        look.saverShow = 1;
        record.titleShown = 0;
        Repaint(stage);
        CHECK(record.titleShown == 1);
        Pixels first = testing::ReadClient(stage);
        CHECK(CountColour(first, blue, titleTop, titleTop + 40) > 50);
        CHECK(CountColour(first, blue, 0, titleTop) == 0);
        CHECK(CountColour(first, highlight, titleTop - 2, titleTop + 40) > 0);
        CHECK(CountColour(first, shadow, titleTop, titleTop + 42) > 0);
        CHECK(CountColour(first, grey, 0, height) == 0);

        Repaint(stage);
        Pixels second = testing::ReadClient(stage);
        CHECK(CountColour(second, blue, 0, height) == 0);
        CHECK(CountColour(second, grey, 0, 25) > 20);
        CHECK(CountColour(second, grey, 25, height) == 0);

        look.saverShow = 0;
        Repaint(stage);
        CHECK(testing::Differences(testing::ReadClient(stage), Scenery).empty());
    }
    SUBCASE("the preview shows its two-line title instead")
    {
        look.preview = 1;
        look.saverShow = 1;
        record.titleShown = 0;
        Repaint(stage);
        CHECK(record.titleShown == 0);
        Pixels pixels = testing::ReadClient(stage);
        // Two bands of blue rows with a gap between them, below the drop.
        int bands = 0, inBand = 0, firstRow = -1;
        for (int y = 0; y < height; ++y) {
            const int blueRow = CountColour(pixels, blue, y, y + 1) > 0;
            if (blueRow && firstRow < 0)
                firstRow = y;
            if (blueRow && !inBand)
                ++bands;
            inBand = blueRow;
        }
        CHECK(bands == 2);
        CHECK(firstRow >= 20);
        CHECK(CountColour(pixels, grey, 0, height) == 0);
        look.preview = 0;
    }
    SUBCASE("the capture request takes a fresh saved image; without it the old one stays")
    {
        look.saverShow = 0;
        record.titleShown = 1;
        HBITMAP figure = testing::MakeBitmap(SPRITE_SIZE, SPRITE_SIZE, Figure);
        record.character.source = NULL;
        FreeSpritePlace(&record.character);
        record.character.targetX = 120;
        record.character.targetY = 150;
        record.character.source = figure;
        HDC dc = GetDC(stage);
        StretchCopyToSprite(dc, figure, &record.character);
        ReleaseDC(stage, dc);
        record.spritesLoaded = 1;

        record.paintFlag = 1;
        Repaint(stage);
        CHECK(record.paintFlag == 0);
        CHECK(record.character.savedWidth == SPRITE_SIZE);
        CHECK(testing::Differences(testing::ReadBitmap(record.character.saved.bitmap), [](int x, int y) { return Scenery(x + 120, y + 150); }).empty());
        CHECK(testing::Differences(testing::ReadClient(stage), [](int x, int y) { return WithSprite(x, y, 120, 150, Figure, Scenery); }).empty());

        // The old saved image is put back first; the character stays whole.
        Repaint(stage);
        CHECK(testing::Differences(testing::ReadClient(stage), [](int x, int y) { return WithSprite(x, y, 120, 150, Figure, Scenery); }).empty());

        // Parking erases him from where he stood.
        DeleteBitmapHandle(&record.sprites[SPRITE_WALKRIGHT]);
        ParkCharacter(&record);
        CHECK(testing::Differences(testing::ReadClient(stage), Scenery).empty());

        record.spritesLoaded = 0;
        record.character.source = NULL;
        FreeSpritePlace(&record.character);
        DeleteObject(figure);
    }
    DeleteObject(look.titleFont);
    DeleteObject(look.textFont);
    testing::CloseEngineStage();
}

TEST_CASE("the editor's stage moves to its place and keeps the character prepared")
{
    HWND parent = testing::CreateCanvas(600, 500);
    HWND stage = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, NULL, NULL, NULL);
    const StageOwner owner = {};
    Stage &record = *CreateStage(stage, &owner, NULL);
    record.size = MakePackedSize(400, 300);
    HBITMAP figure = testing::MakeBitmap(SPRITE_SIZE, SPRITE_SIZE, Figure);
    record.character.source = figure;
    record.character.targetX = 33;
    record.character.targetY = 44;
    record.spritesLoaded = 1;
    CHECK(ResizeEditorStage(&record) == 0);
    RECT rect;
    GetWindowRect(stage, &rect);
    MapWindowPoints(NULL, parent, (POINT *)&rect, 2);
    const RECT place = { 10, 25, 410, 325 };
    CHECK(EqualRect(&rect, &place));
    CHECK(record.character.x == 33);
    CHECK(record.character.y == 44);
    CHECK(SpriteHasImage(&record.character));
    record.spritesLoaded = 0;
    record.character.source = NULL;
    FreeSpritePlace(&record.character);
    DeleteObject(figure);
    DestroyStage(&record);
    DestroyWindow(parent);
}

// Another stage of the test stage's class beside the first, with its own
// owner (told, when given, through a record of its own), clock and toon, at
// a scale; its canvas starts as the first one's pattern.
static Stage *OpenOtherStage(int x, int offScreen, SteppedClock *clock, ToonDocument *toon, int scale = 1,
                             EngineStage *told = NULL)
{
    EngineStage &first = testing::TheEngineStage();
    HWND window = CreateWindowExA(0, "PimboTestEngineStage", "other stage", WS_POPUP, x, 0, 400 * scale,
                                  300 * scale, NULL, NULL, GetModuleHandleA(NULL), NULL);
    StageOwner owner = {};
    if (told)
        owner = testing::EngineStageOwner(*told);
    owner.clock = clock;
    owner.offScreen = offScreen;
    Stage *stage = CreateStage(window, &owner, toon);
    SetStageScale(stage, scale);
    HDC canvas = BeginStageDrawing(stage);
    BitBlt(canvas, 0, 0, 400, 300, first.stage->canvasDc, 0, 0, SRCCOPY);
    EndStageDrawing(stage, canvas, NULL);
    if (!offScreen)
        ShowWindow(window, SW_SHOWNA);
    testing::LoadSyntheticArt(window);
    ShowStageCanvas(stage);
    return stage;
}

static void CloseOtherStage(Stage *stage)
{
    HWND window = stage->window;
    DestroyStage(stage);
    DestroyWindow(window);
}

static std::vector<uint32_t> WindowQuads(HWND window)
{
    HDC dc = GetDC(window);
    std::vector<uint32_t> quads = testing::GrabQuads(dc, 0, 0, 400, 300);
    ReleaseDC(window, dc);
    return quads;
}

// Every tenth picture of a window, in order.
typedef std::vector<std::vector<uint32_t>> Film;

TEST_CASE("stages side by side play apart, and a stage off the screen draws what one on it shows")
{
    EngineStage &first = testing::OpenEngineStage(400, 300);
    testing::SetStageToon({ { 150, 150, 2, 1, 0, "one" } }, 0);
    SteppedClock clock = {};
    ToonDocument toon = {};

    SUBCASE("two windows, each with its own record and surfaces, draw in turn what each draws alone")
    {
        AllocToonFrames(&toon, 1);
        toon.frameCount = 1;
        const ToonFrame frame = { 250, 100, 9, 1, 0, "two words" };
        PutToonFrame(&toon, 0, &frame);
        EngineStage secondOwner;
        Stage &second = *OpenOtherStage(450, 0, &clock, &toon, 1, &secondOwner);
        HWND other = second.window;
        // Every tenth picture of each, the clocks stepped in turn with the
        // same draws whether one stage plays or both.
        auto play = [&](bool firstPlays, bool secondPlays) {
            std::pair<Film, Film> shots;
            first.stage->lastMouthKind = second.lastMouthKind = 0;
            CHECK((!firstPlays || StartToonPlayback(first.stage) == 1));
            CHECK((!secondPlays || StartToonPlayback(&second) == 1));
            for (DWORD step = 1; step <= 600; ++step) {
                SeedRandomNumber(step);
                testing::Advance(20);
                SeedRandomNumber(step);
                AdvanceSteppedClock(&clock, other, 20);
                if (step % 10 == 0) {
                    shots.first.push_back(WindowQuads(first.window));
                    shots.second.push_back(WindowQuads(other));
                }
            }
            CHECK(first.stage->phase == PHASE_READY);
            CHECK(second.phase == PHASE_READY);
            return shots;
        };
        const auto firstAlone = play(true, false);
        const int firstLocks = first.locks;
        const auto secondAlone = play(false, true);
        // Each owner is told of its own stage only, through its own context.
        CHECK(first.locks == firstLocks);
        CHECK(secondOwner.locks == 1);
        CHECK(secondOwner.unlocks == 1);
        CHECK(secondOwner.playStates == std::vector<int>{ PLAY_STATE_PLAYING, PLAY_STATE_READY });
        const auto both = play(true, true);
        CHECK(both.first == firstAlone.first);
        CHECK(both.second == secondAlone.second);
        // Each alone left the other as it stood, and both played something.
        const auto still = [](const Film &film) { return std::count(film.begin(), film.end(), film.front()); };
        CHECK(still(firstAlone.second) == 60);
        CHECK(still(secondAlone.first) == 60);
        CHECK(still(both.first) < 40);
        CHECK(still(both.second) < 40);
        CloseOtherStage(&second);
    }
    SUBCASE("an off-screen stage on the same clock steps gets the on-screen stage's picture on its canvas")
    {
        Stage *hiddenStage = OpenOtherStage(0, 1, &clock, &first.toon);
        HWND hidden = hiddenStage->window;
        CHECK(!IsWindowVisible(hidden));
        const std::vector<uint32_t> pattern = WindowQuads(first.window);
        CHECK(StartToonPlayback(first.stage) == 1);
        CHECK(StartToonPlayback(hiddenStage) == 1);
        int compared = 0, differing = 0, shown = 0;
        for (DWORD step = 1; step <= 800 && first.stage->phase != PHASE_READY; ++step) {
            SeedRandomNumber(step);
            testing::Advance(20);
            SeedRandomNumber(step);
            AdvanceSteppedClock(&clock, hidden, 20);
            if (step % 10)
                continue;
            const std::vector<uint32_t> canvas = testing::GrabQuads(hiddenStage->canvasDc, 0, 0, 400, 300);
            const std::vector<uint32_t> onScreen = WindowQuads(first.window);
            ++compared;
            differing += canvas != onScreen;
            shown += canvas != pattern;
        }
        CHECK(first.stage->phase == PHASE_READY);
        CHECK(hiddenStage->phase == PHASE_READY);
        CHECK(compared > 10);
        CHECK(differing == 0);
        CHECK(shown > compared / 2);
        CloseOtherStage(hiddenStage);
    }
    SUBCASE("a stage at twice the scale shows the same picture, each pixel a 2 x 2 square")
    {
        // Points made on a stage of half the size: they land where the stage's own size says.
        testing::SetStageToon({ { 75, 75, 2, 1, 0, "one" }, { 160, 40, 5, 1, 0, "two" } },
                              MakePackedSize(200, 150));
        Stage *doubledStage = OpenOtherStage(0, 0, &clock, &first.toon, 2);
        HWND doubled = doubledStage->window;
        CHECK(doubledStage->size == MakePackedSize(400, 300));
        CHECK(StartToonPlayback(first.stage) == 1);
        CHECK(StartToonPlayback(doubledStage) == 1);
        std::vector<int> phases;
        int differing = 0;
        for (DWORD step = 1; step <= 1200 && first.stage->phase != PHASE_READY; ++step) {
            SeedRandomNumber(step);
            testing::Advance(20);
            SeedRandomNumber(step);
            AdvanceSteppedClock(&clock, doubled, 20);
            // Each phase as it begins: the walks, the wait, the speech with its bubble.
            if (!phases.empty() && phases.back() == first.stage->phase)
                continue;
            phases.push_back(first.stage->phase);
            const std::vector<uint32_t> one = testing::GrabQuads(first.stage->canvasDc, 0, 0, 400, 300);
            HDC dc = GetDC(doubled);
            const std::vector<uint32_t> two = testing::GrabQuads(dc, 0, 0, 800, 600);
            ReleaseDC(doubled, dc);
            for (size_t i = 0; i < two.size() && one.size() == 400 * 300; ++i)
                differing += two[i] != one[(i / 800 / 2) * 400 + i % 800 / 2];
        }
        CHECK(phases.size() >= 6);
        CHECK(differing == 0);
        CHECK(doubledStage->position.x == first.stage->position.x);
        CloseOtherStage(doubledStage);
    }
    FreeToonFrames(&toon);
    testing::CloseEngineStage();
}
