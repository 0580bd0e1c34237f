#include "engine/stage.h"

#include <stdio.h>
#include <string.h>

#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/sequencer.h"
#include "engine/walk.h"

#define TITLE_RAISE         170      // the title sits this far above the middle
#define PREVIEW_TITLE_DROP  20
#define TITLE_DEPTH         2
#define TEXT_DEPTH          1
#define TITLE_COLOUR        RGB(0, 0, 255)
#define CAPTION_COLOUR      RGB(192, 192, 192)
#define LAST_TILE_NUMBER    10
#define PLAIN_TILE          "bg01"
#define STAGE_PROPERTY      "PimboStage"

static const char previewTitle[] = "Fizzy Pimbo's\rParade";

static const char *const turnNames[4] = { "pbltn1", "pbltn2", "pbrtn1", "pbrtn2" };

/* The record */

Stage *StageOf(HWND window)
{
    return window ? (Stage *)GetPropA(window, STAGE_PROPERTY) : NULL;
}

static int ScaleOf(const Stage *stage)
{
    return stage && stage->scale > 1 ? stage->scale : 1;
}

RECT StageClientRect(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    const int scale = ScaleOf(StageOf(window));
    client.right = (client.right + scale - 1) / scale;
    client.bottom = (client.bottom + scale - 1) / scale;
    return client;
}

static RECT ClientOf(HWND window)
{
    return StageClientRect(window);
}

Stage *CreateStage(HWND window, const StageOwner *owner, ToonDocument *toon)
{
    DestroyStage(window);
    // From the process heap, not operator new: that would pull the C++
    // runtime's threading support into the 32-bit build, which Windows 98 lacks.
    Stage *stage = (Stage *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Stage));
    if (!stage)
        return NULL;
    stage->owner = *owner;
    stage->toon = toon;
    stage->instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    const RECT client = ClientOf(window);
    stage->size = MakePackedSize(client.right, client.bottom);
    stage->scale = 1;
    stage->paintFlag = 1;
    stage->bubbleSide = BUBBLE_SIDE_RIGHT;
    stage->noBubble = 1;
    stage->direction = 1;
    stage->speed = 3;
    stage->lastPlayState = -1;
    if (!SetPropA(window, STAGE_PROPERTY, stage)) {
        HeapFree(GetProcessHeap(), 0, stage);
        return NULL;
    }
    return stage;
}

static void FreeCanvas(Stage *stage)
{
    if (stage->canvasDc) {
        SelectObject(stage->canvasDc, stage->canvasOld);
        DeleteDC(stage->canvasDc);
        stage->canvasDc = NULL;
    }
    DeleteBitmapHandle(&stage->canvas);
    stage->canvasWidth = stage->canvasHeight = 0;
}

void DestroyStage(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    // Whatever runs ends here: its timers, its clip, its speech.
    AbandonStagePlay(window);
    ReleaseCharacter(window);
    ReleaseHeldBitmap(&stage->expressions);
    DeleteBitmapHandle(&stage->background);
    FreeCanvas(stage);
    RemovePropA(window, STAGE_PROPERTY);
    HeapFree(GetProcessHeap(), 0, stage);
}

void SetStageScale(HWND window, int scale)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    stage->scale = scale < 1 ? 1 : scale > SCALE_LARGEST ? SCALE_LARGEST : scale;
    const RECT client = ClientOf(window);
    stage->size = MakePackedSize(client.right, client.bottom);
    stage->paintFlag = 1;
}

SIZE EditorStageWindowSize(DWORD size, int scale)
{
    const int borderX = 2 * GetSystemMetrics(SM_CXBORDER), borderY = 2 * GetSystemMetrics(SM_CYBORDER);
    const SIZE window = { (PackedWidth(size) - borderX) * scale + borderX,
                          (PackedHeight(size) - borderY) * scale + borderY };
    return window;
}

/* The clock */

void SetStageTimer(HWND window, UINT_PTR id, UINT milliseconds)
{
    Stage *stage = StageOf(window);
    if (stage && stage->owner.clock)
        ArmClockTimer(stage->owner.clock, id, milliseconds);
    else
        SetTimer(window, id, milliseconds, NULL);
}

void KillStageTimer(HWND window, UINT_PTR id)
{
    Stage *stage = StageOf(window);
    if (stage && stage->owner.clock)
        DisarmClockTimer(stage->owner.clock, id);
    else
        KillTimer(window, id);
}

/* The canvas */

// The canvas follows the client area; what it held stays where it was.
static HDC StageCanvas(HWND window, Stage *stage)
{
    const RECT client = ClientOf(window);
    if (stage->canvasDc && client.right == stage->canvasWidth && client.bottom == stage->canvasHeight)
        return stage->canvasDc;
    if (client.right <= 0 || client.bottom <= 0)
        return stage->canvasDc;
    HDC screen = GetDC(NULL);
    HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HDC canvasDc = canvas ? CreateCompatibleDC(screen) : NULL;
    ReleaseDC(NULL, screen);
    if (!canvasDc) {
        DeleteBitmapHandle(&canvas);
        return stage->canvasDc;
    }
    HGDIOBJ old = SelectObject(canvasDc, canvas);
    if (stage->canvasDc)
        BitBlt(canvasDc, 0, 0, stage->canvasWidth, stage->canvasHeight, stage->canvasDc, 0, 0, SRCCOPY);
    FreeCanvas(stage);
    stage->canvas = canvas;
    stage->canvasDc = canvasDc;
    stage->canvasOld = old;
    stage->canvasWidth = client.right;
    stage->canvasHeight = client.bottom;
    return canvasDc;
}

HDC BeginDrawingOnStage(HWND window, Stage *stage)
{
    HDC canvas = stage ? StageCanvas(window, stage) : NULL;
    return canvas ? canvas : GetDC(window);
}

HDC BeginStageDrawing(HWND window)
{
    return BeginDrawingOnStage(window, StageOf(window));
}

// A part of the canvas to the window's DC, at the stage's scale.
static void BlitCanvas(HDC dc, const Stage *stage, const RECT &part)
{
    const int scale = ScaleOf(stage);
    BlitScaled(dc, part.left * scale, part.top * scale, part.right - part.left, part.bottom - part.top,
               stage->canvasDc, part.left, part.top, scale);
}

static void CopyCanvasToWindow(HWND window, const Stage *stage, const RECT *area)
{
    if (stage->owner.offScreen || !IsWindowVisible(window))
        return;
    RECT part = { 0, 0, stage->canvasWidth, stage->canvasHeight };
    if (area && !IntersectRect(&part, &part, area))
        return;
    HDC dc = GetDC(window);
    BlitCanvas(dc, stage, part);
    ReleaseDC(window, dc);
}

void EndDrawingOnStage(HWND window, Stage *stage, HDC dc, const RECT *changed)
{
    if (!stage || dc != stage->canvasDc)
        ReleaseDC(window, dc);
    else if (changed)
        CopyCanvasToWindow(window, stage, changed);
}

void EndStageDrawing(HWND window, HDC dc, const RECT *changed)
{
    EndDrawingOnStage(window, StageOf(window), dc, changed);
}

void ShowStageCanvas(HWND window)
{
    Stage *stage = StageOf(window);
    if (stage && stage->canvasDc)
        CopyCanvasToWindow(window, stage, NULL);
}

static RECT PlaceRect(const SpritePlace *place)
{
    RECT rect = { place->x, place->y, OffsetCoordinate(place->x, place->width),
                  OffsetCoordinate(place->y, place->height) };
    return rect;
}

/* The sprite set */

// "pbl2r1".."pbl2r8", "pbr2l1".."pbr2l8", the four turns, "pose01".."pose16".
static void SpriteName(int index, char *name, size_t size)
{
    if (index < SPRITE_WALKLEFT)
        snprintf(name, size, "pbl2r%d", index - SPRITE_WALKRIGHT + 1);
    else if (index < SPRITE_TURNRIGHT)
        snprintf(name, size, "pbr2l%d", index - SPRITE_WALKLEFT + 1);
    else if (index < SPRITE_POSE)
        snprintf(name, size, "%s", turnNames[index - SPRITE_TURNRIGHT]);
    else
        snprintf(name, size, "pose%02d", index - SPRITE_POSE + 1);
}

int LoadSpriteSet(HWND window, HINSTANCE instance)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return 0;
    FreeSpriteSet(window);
    for (int i = 0; i < SPRITE_COUNT; ++i) {
        char name[16];
        SpriteName(i, name, sizeof name);
        stage->sprites[i] = LoadBitmapA(instance, name);
    }
    HDC dc = BeginDrawingOnStage(window, stage);
    ComposeSpriteSheet(&stage->spriteSheet, dc, stage->sprites, SPRITE_COUNT);
    EndDrawingOnStage(window, stage, dc, NULL);
    if (!stage->expressions.dc)
        HoldBitmap(&stage->expressions, LoadBitmapA(instance, "expresns"));
    LoadBubbles(window, instance);
    stage->spritesLoaded = ParkCharacter(window);
    return stage->spritesLoaded;
}

void FreeSpriteSet(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    FreeBubbles(window);
    stage->noBubble = 1;
    FreeSpriteSheet(&stage->spriteSheet);
    for (int i = 0; i < SPRITE_COUNT; ++i)
        DeleteBitmapHandle(&stage->sprites[i]);
    stage->spritesLoaded = 0;
}

void ReleaseCharacter(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    FreeSpriteSet(window);
    // The source was sprite set entry 0, already deleted above.
    stage->character.source = NULL;
    FreeSpritePlace(&stage->character);
}

int ParkCharacter(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return 0;
    const RECT client = ClientOf(window);
    SpritePlace &character = stage->character;
    HDC dc = BeginStageDrawing(window);
    character.source = stage->sprites[SPRITE_WALKRIGHT];
    RestoreUnderSprite(dc, &character);
    const RECT wiped = PlaceRect(&character);
    character.targetX = SIDE_LEFT_X;
    character.targetY = (client.bottom - client.top) / 2;
    PrepareSprite(dc, &stage->spriteSheet, character.source, &character);
    EndStageDrawing(window, dc, &wiped);
    return 1;
}

/* The background and the texts */

void ReadStageLook(HWND window, StageLook *look)
{
    memset(look, 0, sizeof *look);
    look->titleText = "";
    Stage *stage = StageOf(window);
    if (stage && stage->owner.readLook)
        stage->owner.readLook(window, look);
}

// Before a tile's palette is realized on a 256-colour display, a saver
// that changes backgrounds greys the stage so no old picture flashes in
// the new colours.
static void ClearStageForPalette(HWND window, HDC dc)
{
    Stage *stage = StageOf(window);
    StageLook look;
    ReadStageLook(window, &look);
    if (!stage || !look.saverShow || !look.randomBackgrounds || !stage->titleShown)
        return;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(dc, 0, 0, PackedWidth(stage->size), PackedHeight(stage->size));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

HBITMAP LoadBackgroundTile(HINSTANCE instance, HDC dc, int number)
{
    if (number > LAST_TILE_NUMBER)
        number = LAST_TILE_NUMBER;
    char name[16];
    snprintf(name, sizeof name, "bg%02d", number);
    return LoadPaletteBitmap(instance, dc, name);
}

HBITMAP BuildStageBackground(HINSTANCE instance, HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return NULL;
    HDC dc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(dc);

    StageLook look;
    ReadStageLook(window, &look);
    HBITMAP tile = NULL;
    if (look.backgroundNumber != 0) {
        // Realizing the tile's palette wants the stage in front. Asked
        // before: when the stage is in another top-level window, SetFocus
        // activates it first and then reports the stage itself as the previous.
        const int onScreen = !stage->owner.offScreen;
        HWND focus = onScreen ? GetFocus() : NULL;
        if (onScreen)
            SetFocus(window);
        ClearStageForPalette(window, dc);
        tile = LoadBackgroundTile(instance, dc, look.backgroundNumber);
        // Nobody had the focus: leave it with the stage rather than with no
        // window at all, where keystrokes would go unseen.
        if (focus && focus != window)
            SetFocus(focus);
    } else {
        tile = LoadBitmapA(instance, PLAIN_TILE);
    }

    const int width = PackedWidth(stage->size);
    const int height = PackedHeight(stage->size);
    // A zero size would give the shared stock bitmap, not one of our own.
    HBITMAP picture = width > 0 && height > 0 ? CreateCompatibleBitmap(dc, width, height) : NULL;
    if (picture) {
        HGDIOBJ old = SelectObject(memoryDc, picture);
        TileBitmap(memoryDc, 0, 0, width, height, tile);
        SelectObject(memoryDc, old);
    }
    DeleteDC(memoryDc);
    ReleaseDC(window, dc);

    if (picture) {
        DeleteBitmapHandle(&tile);
        return picture;
    }
    // No room for a stage-size bitmap: the plain first tile has to do.
    if (look.backgroundNumber != 0) {
        DeleteBitmapHandle(&tile);
        tile = LoadBitmapA(instance, PLAIN_TILE);
    }
    return tile;
}

void RebuildStageBackground(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    DeleteBitmapHandle(&stage->background);
    stage->background = BuildStageBackground(stage->instance, window);
}

static void CopyStageBackground(HDC dc, const Stage *stage)
{
    if (!stage->background)
        return;
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, stage->background);
    BitBlt(dc, 0, 0, PackedWidth(stage->size), PackedHeight(stage->size), memoryDc, 0, 0, SRCCOPY);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
}

static void PaintStageTexts(HDC dc, HWND window, Stage *stage, const StageLook &look)
{
    RECT client = ClientOf(window);
    const int oldMode = SetMapMode(dc, MM_TEXT);
    if (!stage->titleShown) {
        HGDIOBJ oldFont = SelectObject(dc, look.titleFont);
        RECT title = client;
        title.top = (client.bottom - client.top) / 2 - TITLE_RAISE;
        EmbossedText(dc, TITLE_COLOUR, look.titleText, &title, TITLE_DEPTH);
        stage->titleShown = 1;
        SelectObject(dc, oldFont);
    } else if (look.saverShow && stage->toon) {
        HGDIOBJ oldFont = SelectObject(dc, look.textFont);
        EmbossedText(dc, CAPTION_COLOUR, stage->toon->caption, &client, TEXT_DEPTH);
        SelectObject(dc, oldFont);
    }
    SetMapMode(dc, oldMode);
}

static void PaintPreviewTitle(HDC dc, HWND window, const StageLook &look)
{
    RECT client = ClientOf(window);
    client.top += PREVIEW_TITLE_DROP;
    const int oldMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldFont = SelectObject(dc, look.textFont);
    EmbossedText(dc, TITLE_COLOUR, previewTitle, &client, TEXT_DEPTH);
    SelectObject(dc, oldFont);
    SetMapMode(dc, oldMode);
}

// The whole picture made again: the background, the texts and Pimbo.
static void ComposeStage(HWND window, Stage *stage, HDC dc)
{
    const int state = SaveDC(dc);
    if (stage->spritesLoaded)
        RestoreUnderSprite(dc, &stage->character);
    CopyStageBackground(dc, stage);
    StageLook look;
    ReadStageLook(window, &look);
    if (look.preview)
        PaintPreviewTitle(dc, window, look);
    else
        PaintStageTexts(dc, window, stage, look);
    if (stage->spritesLoaded) {
        if (stage->paintFlag) {
            SaveUnderSprite(dc, &stage->character);
            stage->paintFlag = 0;
        }
        DrawSpriteMasked(dc, &stage->character);
    }
    RestoreDC(dc, state);
}

int PaintStage(HWND window)
{
    PAINTSTRUCT paint;
    HDC windowDc = BeginPaint(window, &paint);
    Stage *stage = StageOf(window);
    HDC canvas = stage ? StageCanvas(window, stage) : NULL;
    if (canvas) {
        ComposeStage(window, stage, canvas);
        const RECT all = { 0, 0, stage->canvasWidth, stage->canvasHeight };
        BlitCanvas(windowDc, stage, all);
    } else if (stage) {
        ComposeStage(window, stage, windowDc);
    }
    EndPaint(window, &paint);
    return 0;
}

void RepaintStage(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || !stage->owner.offScreen) {
        InvalidateRect(window, NULL, FALSE);
        return;
    }
    HDC canvas = StageCanvas(window, stage);
    if (canvas)
        ComposeStage(window, stage, canvas);
}

/* Moving a sprite */

// Puts back what lay under the picture shown at (x, y), in the size it was
// saved in, and forgets it: nothing of the place is on screen afterwards.
static void EraseShownSprite(HWND window, Stage *stage, SpritePlace *place, LONG x, LONG y)
{
    if (place->savedWidth > 0 && place->savedHeight > 0) {
        SpritePlace shown = *place;
        shown.x = x;
        shown.y = y;
        shown.width = place->savedWidth;
        shown.height = place->savedHeight;
        HDC dc = BeginDrawingOnStage(window, stage);
        RestoreUnderSprite(dc, &shown);
        const RECT wiped = PlaceRect(&shown);
        EndDrawingOnStage(window, stage, dc, &wiped);
    }
    place->savedWidth = place->savedHeight = 0;
}

// The new image is put down before the old one is wiped, and the wipe
// carries the part of the new image that falls inside the old rectangle.
void MoveStageSprite(HWND window, Stage *stage, SpritePlace *place, POINT next)
{
    const LONG dx = place->targetX - next.x;
    const LONG dy = place->targetY - next.y;
    const LONG oldX = place->x;
    const LONG oldY = place->y;
    place->targetX = next.x;
    place->targetY = next.y;
    place->x = oldX - dx;
    place->y = oldY - dy;
    // With no image to show here, the old picture must go now: left alone it
    // would stay on screen, and its saved background would later be put
    // down at this new place.
    if (!SpriteHasImage(place)) {
        EraseShownSprite(window, stage, place, oldX, oldY);
        return;
    }
    // One copy to the window for both places: the old and the new overlap
    // on every step of a walk.
    RECT changed = PlaceRect(place);
    const RECT before = { oldX, oldY, OffsetCoordinate(oldX, place->width), OffsetCoordinate(oldY, place->height) };
    UnionRect(&changed, &changed, &before);
    HDC dc = BeginDrawingOnStage(window, stage);
    // Wholly beside the canvas, walking in or off, a step shows nothing; the
    // ground it would save lies beside the canvas too.
    const RECT canvas = { 0, 0, stage ? stage->canvasWidth : 0, stage ? stage->canvasHeight : 0 };
    RECT shown;
    if (stage && dc == stage->canvasDc && !IntersectRect(&shown, &canvas, &changed)) {
        EndDrawingOnStage(window, stage, dc, NULL);
        return;
    }
    ShiftSprite(dc, place, oldX, oldY);
    EndDrawingOnStage(window, stage, dc, &changed);
}

void MoveSprite(HWND window, SpritePlace *place, POINT next)
{
    MoveStageSprite(window, StageOf(window), place, next);
}

int ResizeEditorStage(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return 0;
    stage->paintFlag = 1;
    const int scale = ScaleOf(stage);
    const SIZE shown = EditorStageWindowSize(stage->size, scale);
    MoveWindow(window, EDITOR_STAGE_X * scale, EDITOR_STAGE_Y * scale, shown.cx, shown.cy, TRUE);
    if (stage->spritesLoaded) {
        HDC dc = BeginDrawingOnStage(window, stage);
        PrepareSprite(dc, &stage->spriteSheet, stage->character.source, &stage->character);
        EndDrawingOnStage(window, stage, dc, NULL);
    }
    return 0;
}
