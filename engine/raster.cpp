#include "engine/raster.h"

#include <limits.h>


// A place's surfaces and a sheet's cells outlive the calls that use them;
// any other DC or bitmap made here is gone again before the call returns.

#define TRANSPARENT_COLOUR  RGB(0, 0, 0)
#define PALETTE_VERSION     0x300
#define MAX_PALETTE_COLOURS 256

void DeleteBitmapHandle(HBITMAP *bitmap)
{
    if (*bitmap) {
        DeleteObject(*bitmap);
        *bitmap = NULL;
    }
}

static LONG Smaller(LONG a, LONG b)
{
    return a < b ? a : b;
}

static LONG Larger(LONG a, LONG b)
{
    return a > b ? a : b;
}

/* Held bitmaps */

int HoldBitmap(HeldBitmap *held, HBITMAP bitmap)
{
    ReleaseHeldBitmap(held);
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return 0;
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ old = dc ? SelectObject(dc, bitmap) : NULL;
    if (!old) {
        if (dc)
            DeleteDC(dc);
        DeleteObject(bitmap);
        return 0;
    }
    held->dc = dc;
    held->bitmap = bitmap;
    held->old = old;
    held->width = info.bmWidth;
    held->height = info.bmHeight;
    return 1;
}

void ReleaseHeldBitmap(HeldBitmap *held)
{
    if (held->dc) {
        SelectObject(held->dc, held->old);
        DeleteDC(held->dc);
        held->dc = NULL;
        held->old = NULL;
    }
    DeleteBitmapHandle(&held->bitmap);
    held->width = held->height = 0;
}

/* Sprite sheets */

int ComposeSpriteSheet(SpriteSheet *sheet, HDC like, const HBITMAP *images, int count)
{
    FreeSpriteSheet(sheet);
    if (count > SHEET_CELLS_MAX)
        count = SHEET_CELLS_MAX;
    LONG pitch = 0;
    LONG height = 0;
    for (int i = 0; i < count; ++i) {
        BITMAP info;
        if (!images[i] || !GetObjectA(images[i], sizeof info, &info))
            continue;
        sheet->sources[i] = images[i];
        sheet->sizes[i].cx = info.bmWidth;
        sheet->sizes[i].cy = info.bmHeight;
        pitch = Larger(pitch, info.bmWidth);
        height = Larger(height, info.bmHeight);
    }
    // Nothing found in an empty sheet: each image is then taken on its own.
    if (pitch <= 0 || height <= 0 || pitch > INT_MAX / SHEET_CELLS_MAX ||
        !HoldBitmap(&sheet->cells, CreateCompatibleBitmap(like, pitch * count, height))) {
        FreeSpriteSheet(sheet);
        return 0;
    }
    HDC imageDc = CreateCompatibleDC(like);
    for (int i = 0; i < count; ++i) {
        if (!sheet->sources[i])
            continue;
        HGDIOBJ old = SelectObject(imageDc, sheet->sources[i]);
        BitBlt(sheet->cells.dc, i * pitch, 0, sheet->sizes[i].cx, sheet->sizes[i].cy, imageDc, 0, 0, SRCCOPY);
        SelectObject(imageDc, old);
    }
    DeleteDC(imageDc);
    sheet->count = count;
    sheet->pitch = pitch;
    return 1;
}

void FreeSpriteSheet(SpriteSheet *sheet)
{
    ReleaseHeldBitmap(&sheet->cells);
    ZeroMemory(sheet->sources, sizeof sheet->sources);
    ZeroMemory(sheet->sizes, sizeof sheet->sizes);
    sheet->count = 0;
    sheet->pitch = 0;
}

static int SheetCellOf(const SpriteSheet *sheet, HBITMAP image)
{
    for (int i = 0; sheet && image && i < sheet->count; ++i)
        if (sheet->sources[i] == image)
            return i;
    return -1;
}

/* Sprite places */

// Made together, at least width x height; what saved holds stays.
static int FitSpriteSurfaces(HDC like, SpritePlace *place, LONG width, LONG height)
{
    if (width <= 0 || height <= 0)
        return 0;
    if (place->image.dc && place->image.width >= width && place->image.height >= height)
        return 1;
    width = Larger(width, place->image.width);
    height = Larger(height, place->image.height);
    HeldBitmap image = {}, mask = {}, saved = {}, fresh = {}, composed = {};
    const int made = HoldBitmap(&image, CreateCompatibleBitmap(like, width, height)) &&
                     HoldBitmap(&mask, CreateBitmap(width, height, 1, 1, NULL)) &&
                     HoldBitmap(&saved, CreateCompatibleBitmap(like, width, height)) &&
                     HoldBitmap(&fresh, CreateCompatibleBitmap(like, width, height)) &&
                     HoldBitmap(&composed, CreateCompatibleBitmap(like, width, height));
    if (made && place->saved.dc)
        BitBlt(saved.dc, 0, 0, place->savedWidth, place->savedHeight, place->saved.dc, 0, 0, SRCCOPY);
    HeldBitmap *const olds[] = { &place->image, &place->mask, &place->saved, &place->fresh, &place->composed };
    HeldBitmap *const news[] = { &image, &mask, &saved, &fresh, &composed };
    for (int i = 0; i < 5; ++i) {
        HeldBitmap &dropped = made ? *olds[i] : *news[i];
        ReleaseHeldBitmap(&dropped);
        if (made)
            *olds[i] = *news[i];
    }
    if (!made)
        return 0;
    // The mask is the image's black, and a copy keeps black black.
    SetBkColor(place->image.dc, TRANSPARENT_COLOUR);
    SetStretchBltMode(place->image.dc, BLACKONWHITE);
    return 1;
}

int SpriteHasImage(const SpritePlace *place)
{
    return place->width > 0 && place->height > 0 && place->image.dc != NULL;
}

static int HasSavedGround(const SpritePlace *place)
{
    return place->savedWidth > 0 && place->savedHeight > 0;
}

// The image and its mask from width x height pixels of the DC at (left, 0).
static void CopyToSprite(HDC like, HDC sourceDc, LONG left, LONG width, LONG height, SpritePlace *place)
{
    place->x = place->targetX;
    place->y = place->targetY;
    // A missing source leaves no image, as does no room for one.
    if (!FitSpriteSurfaces(like, place, width, height)) {
        place->width = place->height = 0;
        return;
    }
    place->width = width;
    place->height = height;
    StretchBlt(place->image.dc, 0, 0, width, height, sourceDc, left, 0, width, height, SRCCOPY);
    BitBlt(place->mask.dc, 0, 0, width, height, place->image.dc, 0, 0, SRCCOPY);
}

void PrepareSprite(HDC dc, const SpriteSheet *sheet, HBITMAP source, SpritePlace *place)
{
    const int cell = SheetCellOf(sheet, source);
    if (cell >= 0) {
        CopyToSprite(dc, sheet->cells.dc, cell * sheet->pitch, sheet->sizes[cell].cx, sheet->sizes[cell].cy, place);
        return;
    }
    BITMAP info;
    ZeroMemory(&info, sizeof info);
    if (!source || !GetObjectA(source, sizeof info, &info))
        ZeroMemory(&info, sizeof info);
    HDC sourceDc = CreateCompatibleDC(dc);
    HGDIOBJ old = source ? SelectObject(sourceDc, source) : NULL;
    CopyToSprite(dc, sourceDc, 0, info.bmWidth, info.bmHeight, place);
    if (old)
        SelectObject(sourceDc, old);
    DeleteDC(sourceDc);
}

void StretchCopyToSprite(HDC dc, HBITMAP source, SpritePlace *place)
{
    PrepareSprite(dc, NULL, source, place);
}

void FreeSpritePlace(SpritePlace *place)
{
    DeleteBitmapHandle(&place->source);
    ReleaseHeldBitmap(&place->composed);
    ReleaseHeldBitmap(&place->fresh);
    ReleaseHeldBitmap(&place->saved);
    ReleaseHeldBitmap(&place->mask);
    ReleaseHeldBitmap(&place->image);
    place->savedWidth = place->savedHeight = 0;
}

void SaveUnderSprite(HDC dc, SpritePlace *place)
{
    place->savedWidth = place->savedHeight = 0;
    if (!FitSpriteSurfaces(dc, place, place->width, place->height))
        return;
    BitBlt(place->saved.dc, 0, 0, place->width, place->height, dc, place->x, place->y, SRCCOPY);
    place->savedWidth = place->width;
    place->savedHeight = place->height;
}

void RestoreUnderSprite(HDC dc, const SpritePlace *place)
{
    if (!HasSavedGround(place))
        return;
    BitBlt(dc, place->x, place->y, Smaller(place->width, place->savedWidth),
           Smaller(place->height, place->savedHeight), place->saved.dc, 0, 0, SRCCOPY);
}

void DrawSpriteMasked(HDC dc, const SpritePlace *place)
{
    if (!SpriteHasImage(place))
        return;
    const int width = place->width;
    const int height = place->height;
    HDC work = place->composed.dc;
    BitBlt(work, 0, 0, width, height, dc, place->x, place->y, SRCCOPY);
    BitBlt(work, 0, 0, width, height, place->mask.dc, 0, 0, SRCAND);
    BitBlt(work, 0, 0, width, height, place->image.dc, 0, 0, SRCPAINT);
    BitBlt(dc, place->x, place->y, width, height, work, 0, 0, SRCCOPY);
}

// The old ground comes back with the part of the new picture that falls
// inside it, so that the window never shows the sprite twice or not at all.
void ShiftSprite(HDC dc, SpritePlace *place, LONG oldX, LONG oldY)
{
    if (!SpriteHasImage(place))
        return;
    const LONG width = place->width;
    const LONG height = place->height;
    // As the coordinates wrap: the steps of a walk can be anything a file holds.
    const LONG dx = (LONG)((ULONG)oldX - (ULONG)place->x);
    const LONG dy = (LONG)((ULONG)oldY - (ULONG)place->y);
    const int hadGround = HasSavedGround(place);
    const LONG keptWidth = Smaller(width, place->savedWidth);
    const LONG keptHeight = Smaller(height, place->savedHeight);
    HDC image = place->image.dc;
    HDC mask = place->mask.dc;
    HDC saved = place->saved.dc;
    HDC fresh = place->fresh.dc;
    HDC composed = place->composed.dc;

    BitBlt(fresh, 0, 0, width, height, dc, place->x, place->y, SRCCOPY);
    if (hadGround) {
        BitBlt(fresh, dx, dy, keptWidth, keptHeight, saved, 0, 0, SRCCOPY);
        BitBlt(saved, -dx, -dy, width, height, mask, 0, 0, SRCAND);
        BitBlt(saved, -dx, -dy, width, height, image, 0, 0, SRCPAINT);
    }
    BitBlt(composed, 0, 0, width, height, fresh, 0, 0, SRCCOPY);
    BitBlt(composed, 0, 0, width, height, mask, 0, 0, SRCAND);
    BitBlt(composed, 0, 0, width, height, image, 0, 0, SRCPAINT);
    BitBlt(dc, place->x, place->y, width, height, composed, 0, 0, SRCCOPY);
    if (hadGround)
        BitBlt(dc, oldX, oldY, keptWidth, keptHeight, saved, 0, 0, SRCCOPY);

    // The ground just taken is what lies under the image now.
    const HeldBitmap taken = place->fresh;
    place->fresh = place->saved;
    place->saved = taken;
    place->savedWidth = width;
    place->savedHeight = height;
}

int PointInSpritePlace(const SpritePlace *place, LONG x, LONG y)
{
    RECT shown = { place->x, place->y, OffsetCoordinate(place->x, place->width),
                   OffsetCoordinate(place->y, place->height) };
    POINT point = { x, y };
    return PtInRect(&shown, point) ? 1 : 0;
}

LONG OffsetCoordinate(LONG value, LONG offset)
{
    const long long sum = (long long)value + offset;
    if (sum > LONG_MAX)
        return LONG_MAX;
    if (sum < LONG_MIN)
        return LONG_MIN;
    return (LONG)sum;
}

void DrawBitmapTransparentAt(HDC dc, HBITMAP bitmap, int x, int y)
{
    SpritePlace place;
    ZeroMemory(&place, sizeof place);
    place.targetX = x;
    place.targetY = y;
    StretchCopyToSprite(dc, bitmap, &place);
    DrawSpriteMasked(dc, &place);
    FreeSpritePlace(&place);
}

void BlitBitmapToRect(HDC dc, int left, int top, int right, int bottom, HBITMAP bitmap)
{
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    SetMapMode(memoryDc, GetMapMode(dc));
    POINT size = { right - left, bottom - top };
    DPtoLP(dc, &size, 1);
    POINT origin = { 0, 0 };
    DPtoLP(memoryDc, &origin, 1);
    BitBlt(dc, left, top, size.x, size.y, memoryDc, origin.x, origin.y, SRCCOPY);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
}

void TileBitmap(HDC dc, int left, int top, int right, int bottom, HBITMAP bitmap)
{
    BITMAP info;
    ZeroMemory(&info, sizeof info);
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return;
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    SetMapMode(memoryDc, GetMapMode(dc));
    POINT tile = { info.bmWidth, info.bmHeight };
    DPtoLP(dc, &tile, 1);
    POINT origin = { 0, 0 };
    DPtoLP(memoryDc, &origin, 1);
    POINT position = { 0, 0 };
    DPtoLP(memoryDc, &position, 1);
    const LONG widthLimit = right - left;
    const LONG heightLimit = bottom - top;

    // Tiles that do not advance (an empty bitmap, a mapping mode whose axes
    // run backwards) would never reach the limits.
    if (tile.x > 0 && tile.y > 0) {
        while (position.y < heightLimit) {
            while (position.x < widthLimit) {
                BitBlt(dc, position.x, position.y, tile.x, tile.y, memoryDc, origin.x, origin.y,
                       SRCCOPY);
                position.x += tile.x;
            }
            position.x = 0;
            position.y += tile.y;
        }
    }
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
}

HBITMAP LoadPaletteBitmap(HINSTANCE instance, HDC dc, const char *name)
{
    HRSRC found = FindResourceA(instance, name, (LPCSTR)RT_BITMAP);
    if (!found)
        return NULL;
    HGLOBAL loaded = LoadResource(instance, found);
    const BYTE *start = loaded ? (const BYTE *)LockResource(loaded) : NULL;
    const DWORD resourceSize = SizeofResource(instance, found);
    if (!start || resourceSize < sizeof(BITMAPINFOHEADER))
        return NULL;
    const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)start;
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biSize > resourceSize)
        return NULL;

    DWORD colours = header->biClrUsed;
    if (colours == 0) {
        switch (header->biBitCount) {
        case 1: colours = 2; break;
        case 4: colours = 16; break;
        case 8: colours = 256; break;
        default: colours = 0; break;
        }
    }
    // Deeper bitmaps carry no palette of their own; their channel masks, if
    // any, sit where a colour table would.
    DWORD bitsOffset = header->biSize + 4 * colours;
    if (header->biCompression == BI_BITFIELDS && header->biSize == sizeof(BITMAPINFOHEADER))
        bitsOffset += 3 * sizeof(DWORD);
    if (colours > MAX_PALETTE_COLOURS || bitsOffset >= resourceSize)
        return NULL;
    if (header->biCompression == BI_RGB || header->biCompression == BI_BITFIELDS) {
        const long long height = header->biHeight;
        const unsigned long long rows = (unsigned long long)(height < 0 ? -height : height);
        const unsigned long long stride =
            ((unsigned long long)(DWORD)header->biWidth * header->biBitCount + 31) / 32 * 4;
        if (rows > 0 && stride > (resourceSize - bitsOffset) / rows)
            return NULL;
    }

    // The colour table follows whatever header the bitmap carries.
    const RGBQUAD *table = (const RGBQUAD *)(start + header->biSize);
    HPALETTE palette = NULL;
    HGLOBAL paletteBlock = NULL;
    if (colours > 0) {
        paletteBlock = GlobalAlloc(GMEM_FIXED,
                                   sizeof(LOGPALETTE) + colours * sizeof(PALETTEENTRY));
        LOGPALETTE *logical = paletteBlock ? (LOGPALETTE *)GlobalLock(paletteBlock) : NULL;
        if (logical) {
            logical->palVersion = PALETTE_VERSION;
            logical->palNumEntries = (WORD)colours;
            for (DWORD i = 0; i < colours; ++i) {
                logical->palPalEntry[i].peRed = table[i].rgbRed;
                logical->palPalEntry[i].peGreen = table[i].rgbGreen;
                logical->palPalEntry[i].peBlue = table[i].rgbBlue;
                logical->palPalEntry[i].peFlags = 0;
            }
            palette = CreatePalette(logical);
        }
    }
    HPALETTE previous = NULL;
    if (palette) {
        previous = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }

    HBITMAP bitmap = CreateDIBitmap(dc, header, CBM_INIT, start + bitsOffset,
                                    (const BITMAPINFO *)header, DIB_RGB_COLORS);

    if (palette) {
        SelectPalette(dc, previous, FALSE);
        RealizePalette(dc);
    }
    if (paletteBlock) {
        GlobalUnlock(paletteBlock);
        GlobalFree(paletteBlock);
    }
    if (palette)
        DeleteObject(palette);
    FreeResource(loaded);
    return bitmap;
}

int EmbossedText(HDC dc, COLORREF colour, const char *text, const RECT *rect, int depth)
{
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const int passes = depth < 0 ? -depth : depth;
    COLORREF first = GetSysColor(COLOR_BTNSHADOW);
    COLORREF second = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (depth > 0) {
        COLORREF swap = first;
        first = second;
        second = swap;
    }
    int result = 0;
    const COLORREF oldColour = SetTextColor(dc, first);
    for (int k = 1; k <= passes; ++k) {
        RECT moved = *rect;
        moved.left -= k;
        moved.top -= k;
        result = DrawTextA(dc, text, -1, &moved, DT_CENTER);
    }
    SetTextColor(dc, second);
    for (int k = 1; k <= passes; ++k) {
        RECT moved = *rect;
        moved.left += k;
        moved.top += k;
        result = DrawTextA(dc, text, -1, &moved, DT_CENTER);
    }
    SetTextColor(dc, oldColour);

    SetTextColor(dc, colour);
    RECT plain = *rect;
    result = DrawTextA(dc, text, -1, &plain, DT_CENTER);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    return result;
}

HFONT CreateSerifFont(int height, int weight)
{
    return CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, "MS Serif");
}

void BlitScaled(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int scale)
{
    if (scale <= 1) {
        BitBlt(dc, x, y, width, height, source, sourceX, sourceY, SRCCOPY);
        return;
    }
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, x, y, width * scale, height * scale, source, sourceX, sourceY, width, height, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
}
