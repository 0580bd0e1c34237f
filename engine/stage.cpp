#include "engine/stage.h"

#include <stdio.h>

#include "engine/bubbles.h"
#include "engine/hooks.h"
#include "toon/toon_document.h"
#include "toon/hooks.h"

DWORD stageSize;
HBITMAP stageBackground;
HBITMAP spriteSet[SPRITE_COUNT];
int spritesLoaded;
SpritePlace character;
int titleShown;

#define TITLE_RAISE         170      // the title sits this far above the middle
#define PREVIEW_TITLE_DROP  20
#define TITLE_DEPTH         2
#define TEXT_DEPTH          1
#define TITLE_COLOUR        RGB(0, 0, 255)
#define CAPTION_COLOUR      RGB(192, 192, 192)
#define LAST_TILE_NUMBER    10
#define PLAIN_TILE          "bg01"

static const char previewTitle[] = "Fizzy Pimbo's\rParade";

static DWORD CurrentStageSize(void)
{
    return stageSize;
}

// A new toon is laid out on the stage it is made on.
static int InstallStageHooks(void)
{
    toonHooks.stageSize = CurrentStageSize;
    return 1;
}

static const int stageHooksInstalled = InstallStageHooks();

static const char *const turnNames[4] = { "pbltn1", "pbltn2", "pbrtn1", "pbrtn2" };

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
    FreeSpriteSet();
    for (int i = 0; i < SPRITE_COUNT; ++i) {
        char name[16];
        SpriteName(i, name, sizeof name);
        spriteSet[i] = LoadBitmapA(instance, name);
    }
    LoadBubbles(window, instance);
    spritesLoaded = ParkCharacter(window);
    return spritesLoaded;
}

void FreeSpriteSet(void)
{
    FreeBubbles();
    noBubble = 1;
    for (int i = 0; i < SPRITE_COUNT; ++i)
        DeleteBitmapHandle(&spriteSet[i]);
    spritesLoaded = 0;
}

void ReleaseCharacter(void)
{
    FreeSpriteSet();
    // The source was sprite set entry 0, already deleted above.
    character.source = NULL;
    FreeSpritePlace(&character);
}

int ParkCharacter(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    character.source = spriteSet[SPRITE_WALKRIGHT];
    RestoreUnderSprite(dc, &character);
    character.targetX = SIDE_LEFT_X;
    character.targetY = (client.bottom - client.top) / 2;
    StretchCopyToSprite(dc, character.source, &character);
    ReleaseDC(window, dc);
    return 1;
}

HBITMAP LoadBackgroundTile(HINSTANCE instance, HDC dc, int number)
{
    ClearStageForPalette(dc);
    if (number > LAST_TILE_NUMBER)
        number = LAST_TILE_NUMBER;
    char name[16];
    snprintf(name, sizeof name, "bg%02d", number);
    return LoadPaletteBitmap(instance, dc, name);
}

HBITMAP BuildStageBackground(HINSTANCE instance, HWND window)
{
    HDC dc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(dc);

    // Realizing the tile's palette wants the stage in front.
    // Asked before: when the stage is in another top-level window, SetFocus
    // activates it first and then reports the stage itself as the previous.
    HWND focus = GetFocus();
    SetFocus(window);
    StageLook look;
    engineHooks.readStageLook(&look);
    HBITMAP tile = look.backgroundNumber != 0
        ? LoadBackgroundTile(instance, dc, look.backgroundNumber)
        : LoadBitmapA(instance, PLAIN_TILE);
    // Nobody had the focus: leave it with the stage rather than with no
    // window at all, where keystrokes would go unseen.
    if (focus && focus != window)
        SetFocus(focus);

    const int width = PackedWidth(stageSize);
    const int height = PackedHeight(stageSize);
    // A zero size would give the shared stock bitmap, not one of our own.
    HBITMAP stage = width > 0 && height > 0 ? CreateCompatibleBitmap(dc, width, height) : NULL;
    if (stage) {
        HGDIOBJ old = SelectObject(memoryDc, stage);
        TileBitmap(memoryDc, 0, 0, width, height, tile);
        SelectObject(memoryDc, old);
    }
    DeleteDC(memoryDc);
    ReleaseDC(window, dc);

    if (stage) {
        DeleteBitmapHandle(&tile);
        return stage;
    }
    // No room for a stage-size bitmap: the plain first tile has to do.
    if (look.backgroundNumber != 0) {
        DeleteBitmapHandle(&tile);
        tile = LoadBitmapA(instance, PLAIN_TILE);
    }
    return tile;
}

static void CopyStageBackground(HDC dc)
{
    if (!stageBackground)
        return;
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, stageBackground);
    BitBlt(dc, 0, 0, PackedWidth(stageSize), PackedHeight(stageSize), memoryDc, 0, 0, SRCCOPY);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
}

int PaintStage(HWND window, int *paintFlag)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const int state = SaveDC(dc);
    if (spritesLoaded)
        RestoreUnderSprite(dc, &character);
    CopyStageBackground(dc);
    StageLook look;
    engineHooks.readStageLook(&look);
    if (look.preview)
        PaintPreviewTitle(dc, window);
    else
        PaintStageTexts(dc, window);
    if (spritesLoaded) {
        if (*paintFlag) {
            SaveUnderSprite(dc, &character);
            *paintFlag = 0;
        }
        DrawSpriteMasked(dc, &character);
    }
    RestoreDC(dc, state);
    EndPaint(window, &paint);
    return 0;
}

void PaintStageTexts(HDC dc, HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    StageLook look;
    engineHooks.readStageLook(&look);
    const int oldMode = SetMapMode(dc, MM_TEXT);
    if (!titleShown) {
        HGDIOBJ oldFont = SelectObject(dc, look.titleFont);
        RECT title = client;
        title.top = (client.bottom - client.top) / 2 - TITLE_RAISE;
        EmbossedText(dc, TITLE_COLOUR, look.titleText, &title, TITLE_DEPTH);
        titleShown = 1;
        SelectObject(dc, oldFont);
    } else if (look.saverShow) {
        HGDIOBJ oldFont = SelectObject(dc, look.textFont);
        EmbossedText(dc, CAPTION_COLOUR, toon.caption, &client, TEXT_DEPTH);
        SelectObject(dc, oldFont);
    }
    SetMapMode(dc, oldMode);
}

void PaintPreviewTitle(HDC dc, HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    client.top += PREVIEW_TITLE_DROP;
    StageLook look;
    engineHooks.readStageLook(&look);
    const int oldMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldFont = SelectObject(dc, look.textFont);
    EmbossedText(dc, TITLE_COLOUR, previewTitle, &client, TEXT_DEPTH);
    SelectObject(dc, oldFont);
    SetMapMode(dc, oldMode);
}

// Puts back what lay under the picture shown at (x, y), in the size it was
// saved in, and forgets it: nothing of the place is on screen afterwards.
static void EraseShownSprite(HWND window, SpritePlace *place, LONG x, LONG y)
{
    BITMAP info;
    if (place->saved && GetObjectA(place->saved, sizeof info, &info)) {
        SpritePlace shown = *place;
        shown.x = x;
        shown.y = y;
        shown.width = info.bmWidth;
        shown.height = info.bmHeight;
        HDC dc = GetDC(window);
        RestoreUnderSprite(dc, &shown);
        ReleaseDC(window, dc);
    }
    DeleteBitmapHandle(&place->saved);
}

// The eight steps keep the sprite on screen at all times: the new image is
// put down before the old one is wiped, and the wipe itself carries the part
// of the new image that falls inside the old rectangle.
void MoveSprite(HWND window, SpritePlace *place, POINT next)
{
    const LONG dx = place->targetX - next.x;
    const LONG dy = place->targetY - next.y;
    const LONG oldX = place->x;
    const LONG oldY = place->y;
    place->targetX = next.x;
    place->targetY = next.y;
    place->x = oldX - dx;
    place->y = oldY - dy;
    const int width = place->width;
    const int height = place->height;
    // With no image to show here, the old picture must go now: left alone it
    // would stay on screen, and its saved background would later be put
    // down at this new place.
    if (!place->image || width <= 0 || height <= 0) {
        EraseShownSprite(window, place, oldX, oldY);
        return;
    }

    HDC dc = GetDC(window);
    HDC imageDc = CreateCompatibleDC(dc);
    HDC maskDc = CreateCompatibleDC(dc);
    HDC freshDc = CreateCompatibleDC(dc);
    HDC oldSavedDc = CreateCompatibleDC(dc);
    HDC composedDc = CreateCompatibleDC(dc);
    HBITMAP mask = CreateCompatibleBitmap(maskDc, width, height);
    HBITMAP fresh = CreateCompatibleBitmap(dc, width, height);
    HBITMAP composed = CreateCompatibleBitmap(dc, width, height);
    HBITMAP oldSaved = place->saved;

    if (mask && fresh && composed) {
        const COLORREF oldBack = SetBkColor(imageDc, RGB(0, 0, 0));
        HGDIOBJ oldImageSel = SelectObject(imageDc, place->image);
        HGDIOBJ oldMaskSel = SelectObject(maskDc, mask);
        HGDIOBJ oldFreshSel = SelectObject(freshDc, fresh);
        HGDIOBJ oldComposedSel = SelectObject(composedDc, composed);
        HGDIOBJ oldSavedSel = oldSaved ? SelectObject(oldSavedDc, oldSaved) : NULL;

        BitBlt(maskDc, 0, 0, width, height, imageDc, 0, 0, SRCCOPY);
        BitBlt(freshDc, 0, 0, width, height, dc, place->x, place->y, SRCCOPY);
        if (oldSaved) {
            BitBlt(freshDc, dx, dy, width, height, oldSavedDc, 0, 0, SRCCOPY);
            BitBlt(oldSavedDc, -dx, -dy, width, height, maskDc, 0, 0, SRCAND);
            BitBlt(oldSavedDc, -dx, -dy, width, height, imageDc, 0, 0, SRCPAINT);
        }
        BitBlt(composedDc, 0, 0, width, height, freshDc, 0, 0, SRCCOPY);
        BitBlt(composedDc, 0, 0, width, height, maskDc, 0, 0, SRCAND);
        BitBlt(composedDc, 0, 0, width, height, imageDc, 0, 0, SRCPAINT);
        BitBlt(dc, place->x, place->y, width, height, composedDc, 0, 0, SRCCOPY);
        if (oldSaved)
            BitBlt(dc, oldX, oldY, width, height, oldSavedDc, 0, 0, SRCCOPY);

        if (oldSaved)
            SelectObject(oldSavedDc, oldSavedSel);
        SelectObject(composedDc, oldComposedSel);
        SelectObject(freshDc, oldFreshSel);
        SelectObject(maskDc, oldMaskSel);
        SelectObject(imageDc, oldImageSel);
        SetBkColor(imageDc, oldBack);

        place->saved = fresh;
        fresh = NULL;
        DeleteBitmapHandle(&oldSaved);
    }
    DeleteBitmapHandle(&composed);
    DeleteBitmapHandle(&fresh);
    DeleteBitmapHandle(&mask);
    DeleteDC(composedDc);
    DeleteDC(oldSavedDc);
    DeleteDC(freshDc);
    DeleteDC(maskDc);
    DeleteDC(imageDc);
    ReleaseDC(window, dc);
}

int ResizeEditorStage(HWND window)
{
    MoveWindow(window, EDITOR_STAGE_X, EDITOR_STAGE_Y, PackedWidth(stageSize),
               PackedHeight(stageSize), TRUE);
    if (spritesLoaded) {
        HDC dc = GetDC(window);
        StretchCopyToSprite(dc, character.source, &character);
        ReleaseDC(window, dc);
    }
    return 0;
}
