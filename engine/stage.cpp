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

RECT StageClientRect(const Stage *stage)
{
    RECT client = { 0, 0, 0, 0 };
    if (!stage)
        return client;
    GetClientRect(stage->window, &client);
    const int scale = ScaleOf(stage);
    client.right = (client.right + scale - 1) / scale;
    client.bottom = (client.bottom + scale - 1) / scale;
    return client;
}

Stage *CreateStage(HWND window, const StageOwner *owner, ToonDocument *toon)
{
    DestroyStage(StageOf(window));
    // From the process heap, not operator new: that would pull the C++
    // runtime's threading support into the 32-bit build, which Windows 98 lacks.
    Stage *stage = (Stage *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Stage));
    if (!stage)
        return NULL;
    stage->window = window;
    stage->owner = *owner;
    stage->toon = toon;
    stage->instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    const RECT client = StageClientRect(stage);
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

void DestroyStage(Stage *stage)
{
    if (!stage)
        return;
    // Whatever runs ends here: its timers, its clip, its speech.
    AbandonStagePlay(stage);
    ReleaseCharacter(stage);
    ReleaseHeldBitmap(&stage->expressions);
    DeleteBitmapHandle(&stage->background);
    FreeCanvas(stage);
    RemovePropA(stage->window, STAGE_PROPERTY);
    HeapFree(GetProcessHeap(), 0, stage);
}

void SetStageScale(Stage *stage, int scale)
{
    if (!stage)
        return;
    stage->scale = scale < 1 ? 1 : scale > SCALE_LARGEST ? SCALE_LARGEST : scale;
    const RECT client = StageClientRect(stage);
    stage->size = MakePackedSize(client.right, client.bottom);
    stage->paintFlag = 1;
}

void SetStageSize(Stage *stage, DWORD size)
{
    if (stage)
        stage->size = size;
}

void SetStageSpeed(Stage *stage, int speed)
{
    if (stage)
        stage->speed = speed;
}

void StageGroundChanged(Stage *stage)
{
    if (stage)
        stage->paintFlag = 1;
}

void PassStageTitle(Stage *stage)
{
    if (stage)
        stage->titleShown = 1;
}

SIZE EditorStageWindowSize(DWORD size, int scale)
{
    const int borderX = 2 * GetSystemMetrics(SM_CXBORDER), borderY = 2 * GetSystemMetrics(SM_CYBORDER);
    const SIZE window = { (PackedWidth(size) - borderX) * scale + borderX,
                          (PackedHeight(size) - borderY) * scale + borderY };
    return window;
}

/* The clock */

void SetStageTimer(Stage *stage, UINT_PTR id, UINT milliseconds)
{
    if (stage->owner.clock)
        ArmClockTimer(stage->owner.clock, id, milliseconds);
    else
        SetTimer(stage->window, id, milliseconds, NULL);
}

void KillStageTimer(Stage *stage, UINT_PTR id)
{
    if (stage->owner.clock)
        DisarmClockTimer(stage->owner.clock, id);
    else
        KillTimer(stage->window, id);
}

/* The canvas */

// The canvas follows the client area; what it held stays where it was.
static HDC StageCanvas(Stage *stage)
{
    const RECT client = StageClientRect(stage);
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

HDC BeginStageDrawing(Stage *stage)
{
    HDC canvas = StageCanvas(stage);
    return canvas ? canvas : GetDC(stage->window);
}

// A part of the canvas to the window's DC, at the stage's scale.
static void BlitCanvas(HDC dc, const Stage *stage, const RECT &part)
{
    const int scale = ScaleOf(stage);
    BlitScaled(dc, part.left * scale, part.top * scale, part.right - part.left, part.bottom - part.top,
               stage->canvasDc, part.left, part.top, scale);
}

static void CopyCanvasToWindow(const Stage *stage, const RECT *area)
{
    if (stage->owner.offScreen || !IsWindowVisible(stage->window))
        return;
    RECT part = { 0, 0, stage->canvasWidth, stage->canvasHeight };
    if (area && !IntersectRect(&part, &part, area))
        return;
    HDC dc = GetDC(stage->window);
    BlitCanvas(dc, stage, part);
    ReleaseDC(stage->window, dc);
}

void EndStageDrawing(Stage *stage, HDC dc, const RECT *changed)
{
    if (dc != stage->canvasDc)
        ReleaseDC(stage->window, dc);
    else if (changed)
        CopyCanvasToWindow(stage, changed);
}

void ShowStageCanvas(Stage *stage)
{
    if (stage && stage->canvasDc)
        CopyCanvasToWindow(stage, NULL);
}

HBITMAP LendStageCanvas(Stage *stage)
{
    if (!stage->canvasDc)
        return NULL;
    SelectObject(stage->canvasDc, stage->canvasOld);
    return stage->canvas;
}

void ReturnStageCanvas(Stage *stage)
{
    if (stage->canvasDc)
        SelectObject(stage->canvasDc, stage->canvas);
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

int LoadSpriteSet(Stage *stage, HINSTANCE instance)
{
    if (!stage)
        return 0;
    FreeSpriteSet(stage);
    for (int i = 0; i < SPRITE_COUNT; ++i) {
        char name[16];
        SpriteName(i, name, sizeof name);
        stage->sprites[i] = LoadBitmapA(instance, name);
    }
    HDC dc = BeginStageDrawing(stage);
    ComposeSpriteSheet(&stage->spriteSheet, dc, stage->sprites, SPRITE_COUNT);
    EndStageDrawing(stage, dc, NULL);
    if (!stage->expressions.dc)
        HoldBitmap(&stage->expressions, LoadBitmapA(instance, "expresns"));
    LoadBubbles(stage, instance);
    stage->spritesLoaded = ParkCharacter(stage);
    return stage->spritesLoaded;
}

void FreeSpriteSet(Stage *stage)
{
    if (!stage)
        return;
    FreeBubbles(stage);
    stage->noBubble = 1;
    FreeSpriteSheet(&stage->spriteSheet);
    for (int i = 0; i < SPRITE_COUNT; ++i)
        DeleteBitmapHandle(&stage->sprites[i]);
    stage->spritesLoaded = 0;
}

void ReleaseCharacter(Stage *stage)
{
    if (!stage)
        return;
    FreeSpriteSet(stage);
    // The source was sprite set entry 0, already deleted above.
    stage->character.source = NULL;
    FreeSpritePlace(&stage->character);
}

int ParkCharacter(Stage *stage)
{
    if (!stage)
        return 0;
    const RECT client = StageClientRect(stage);
    SpritePlace &character = stage->character;
    HDC dc = BeginStageDrawing(stage);
    character.source = stage->sprites[SPRITE_WALKRIGHT];
    RestoreUnderSprite(dc, &character);
    const RECT wiped = PlaceRect(&character);
    character.targetX = SIDE_LEFT_X;
    character.targetY = (client.bottom - client.top) / 2;
    PrepareSprite(dc, &stage->spriteSheet, character.source, &character);
    EndStageDrawing(stage, dc, &wiped);
    return 1;
}

/* The background and the texts */

void ReadStageLook(Stage *stage, StageLook *look)
{
    memset(look, 0, sizeof *look);
    look->titleText = "";
    if (stage && stage->owner.readLook)
        stage->owner.readLook(stage->owner.context, look);
}

// Before a tile's palette is realized on a 256-colour display, a saver
// that changes backgrounds greys the stage so no old picture flashes in
// the new colours.
static void ClearStageForPalette(const Stage *stage, HDC dc, const StageLook &look)
{
    if (!look.saverShow || !look.randomBackgrounds || !stage->titleShown)
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

HBITMAP BuildStageBackground(HINSTANCE instance, Stage *stage)
{
    if (!stage)
        return NULL;
    HDC dc = GetDC(stage->window);
    HDC memoryDc = CreateCompatibleDC(dc);

    StageLook look;
    ReadStageLook(stage, &look);
    HBITMAP tile = NULL;
    if (look.backgroundNumber != 0) {
        // Realizing the tile's palette wants the stage in front. Asked
        // before: when the stage is in another top-level window, SetFocus
        // activates it first and then reports the stage itself as the previous.
        const int onScreen = !stage->owner.offScreen;
        HWND focus = onScreen ? GetFocus() : NULL;
        if (onScreen)
            SetFocus(stage->window);
        ClearStageForPalette(stage, dc, look);
        tile = LoadBackgroundTile(instance, dc, look.backgroundNumber);
        // Nobody had the focus: leave it with the stage rather than with no
        // window at all, where keystrokes would go unseen.
        if (focus && focus != stage->window)
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
    ReleaseDC(stage->window, dc);

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

void RebuildStageBackground(Stage *stage)
{
    if (!stage)
        return;
    DeleteBitmapHandle(&stage->background);
    stage->background = BuildStageBackground(stage->instance, stage);
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

static void PaintStageTexts(HDC dc, Stage *stage, const StageLook &look)
{
    RECT client = StageClientRect(stage);
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

static void PaintPreviewTitle(HDC dc, const Stage *stage, const StageLook &look)
{
    RECT client = StageClientRect(stage);
    client.top += PREVIEW_TITLE_DROP;
    const int oldMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldFont = SelectObject(dc, look.textFont);
    EmbossedText(dc, TITLE_COLOUR, previewTitle, &client, TEXT_DEPTH);
    SelectObject(dc, oldFont);
    SetMapMode(dc, oldMode);
}

// The whole picture made again: the background, the texts and Pimbo.
static void ComposeStage(Stage *stage, HDC dc)
{
    const int state = SaveDC(dc);
    if (stage->spritesLoaded)
        RestoreUnderSprite(dc, &stage->character);
    CopyStageBackground(dc, stage);
    StageLook look;
    ReadStageLook(stage, &look);
    if (look.preview)
        PaintPreviewTitle(dc, stage, look);
    else
        PaintStageTexts(dc, stage, look);
    if (stage->spritesLoaded) {
        if (stage->paintFlag) {
            SaveUnderSprite(dc, &stage->character);
            stage->paintFlag = 0;
        }
        DrawSpriteMasked(dc, &stage->character);
    }
    RestoreDC(dc, state);
}

int PaintStage(Stage *stage)
{
    PAINTSTRUCT paint;
    HDC windowDc = BeginPaint(stage->window, &paint);
    HDC canvas = StageCanvas(stage);
    if (canvas) {
        ComposeStage(stage, canvas);
        const RECT all = { 0, 0, stage->canvasWidth, stage->canvasHeight };
        BlitCanvas(windowDc, stage, all);
    } else {
        ComposeStage(stage, windowDc);
    }
    EndPaint(stage->window, &paint);
    return 0;
}

void RepaintStage(Stage *stage)
{
    if (!stage)
        return;
    if (!stage->owner.offScreen) {
        InvalidateRect(stage->window, NULL, FALSE);
        return;
    }
    HDC canvas = StageCanvas(stage);
    if (canvas)
        ComposeStage(stage, canvas);
}

/* Moving a sprite */

// Puts back what lay under the picture shown at (x, y), in the size it was
// saved in, and forgets it: nothing of the place is on screen afterwards.
static void EraseShownSprite(Stage *stage, SpritePlace *place, LONG x, LONG y)
{
    if (place->savedWidth > 0 && place->savedHeight > 0) {
        SpritePlace shown = *place;
        shown.x = x;
        shown.y = y;
        shown.width = place->savedWidth;
        shown.height = place->savedHeight;
        HDC dc = BeginStageDrawing(stage);
        RestoreUnderSprite(dc, &shown);
        const RECT wiped = PlaceRect(&shown);
        EndStageDrawing(stage, dc, &wiped);
    }
    place->savedWidth = place->savedHeight = 0;
}

// The new image is put down before the old one is wiped, and the wipe
// carries the part of the new image that falls inside the old rectangle.
void MoveSprite(Stage *stage, SpritePlace *place, POINT next)
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
        EraseShownSprite(stage, place, oldX, oldY);
        return;
    }
    // One copy to the window for both places: the old and the new overlap
    // on every step of a walk.
    RECT changed = PlaceRect(place);
    const RECT before = { oldX, oldY, OffsetCoordinate(oldX, place->width), OffsetCoordinate(oldY, place->height) };
    UnionRect(&changed, &changed, &before);
    HDC dc = BeginStageDrawing(stage);
    // Wholly beside the canvas, walking in or off, a step shows nothing; the
    // ground it would save lies beside the canvas too.
    const RECT canvas = { 0, 0, stage->canvasWidth, stage->canvasHeight };
    RECT shown;
    if (dc == stage->canvasDc && !IntersectRect(&shown, &canvas, &changed)) {
        EndStageDrawing(stage, dc, NULL);
        return;
    }
    ShiftSprite(dc, place, oldX, oldY);
    EndStageDrawing(stage, dc, &changed);
}

int ResizeEditorStage(Stage *stage)
{
    if (!stage)
        return 0;
    stage->paintFlag = 1;
    const int scale = ScaleOf(stage);
    const SIZE shown = EditorStageWindowSize(stage->size, scale);
    MoveWindow(stage->window, EDITOR_STAGE_X * scale, EDITOR_STAGE_Y * scale, shown.cx, shown.cy, TRUE);
    if (stage->spritesLoaded) {
        HDC dc = BeginStageDrawing(stage);
        PrepareSprite(dc, &stage->spriteSheet, stage->character.source, &stage->character);
        EndStageDrawing(stage, dc, NULL);
    }
    return 0;
}
