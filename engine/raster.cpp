#include "engine/raster.h"

#include <limits.h>


// Every temporary DC and bitmap made here is gone again before the
// primitive returns; only a place's image and saved outlive a call.

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

void StretchCopyToSprite(HDC dc, HBITMAP source, SpritePlace *place)
{
    HDC copyDc = CreateCompatibleDC(dc);
    HDC sourceDc = CreateCompatibleDC(dc);
    BITMAP info;
    ZeroMemory(&info, sizeof info);
    if (!source || !GetObjectA(source, sizeof info, &info))
        ZeroMemory(&info, sizeof info);

    place->x = place->targetX;
    place->y = place->targetY;
    place->width = info.bmWidth;
    place->height = info.bmHeight;
    DeleteBitmapHandle(&place->image);

    // A missing source leaves no image: a zero-sized compatible bitmap
    // would be the shared stock bitmap, which nobody may delete.
    if (info.bmWidth > 0 && info.bmHeight > 0) {
        HBITMAP copy = CreateCompatibleBitmap(dc, info.bmWidth, info.bmHeight);
        if (copy) {
            HGDIOBJ oldCopy = SelectObject(copyDc, copy);
            HGDIOBJ oldSource = SelectObject(sourceDc, source);
            SetStretchBltMode(copyDc, BLACKONWHITE);
            StretchBlt(copyDc, 0, 0, info.bmWidth, info.bmHeight,
                       sourceDc, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
            SelectObject(sourceDc, oldSource);
            SelectObject(copyDc, oldCopy);
            place->image = copy;
        }
    }
    DeleteDC(sourceDc);
    DeleteDC(copyDc);
}

void FreeSpritePlace(SpritePlace *place)
{
    DeleteBitmapHandle(&place->source);
    DeleteBitmapHandle(&place->image);
    DeleteBitmapHandle(&place->saved);
}

void SaveUnderSprite(HDC dc, SpritePlace *place)
{
    HDC memoryDc = CreateCompatibleDC(dc);
    DeleteBitmapHandle(&place->saved);
    if (place->width > 0 && place->height > 0) {
        HBITMAP saved = CreateCompatibleBitmap(dc, place->width, place->height);
        if (saved) {
            HGDIOBJ old = SelectObject(memoryDc, saved);
            BitBlt(memoryDc, 0, 0, place->width, place->height, dc, place->x, place->y, SRCCOPY);
            SelectObject(memoryDc, old);
            place->saved = saved;
        }
    }
    DeleteDC(memoryDc);
}

void RestoreUnderSprite(HDC dc, const SpritePlace *place)
{
    if (!place->saved)
        return;
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, place->saved);
    BitBlt(dc, place->x, place->y, place->width, place->height, memoryDc, 0, 0, SRCCOPY);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
}

void DrawSpriteMasked(HDC dc, const SpritePlace *place)
{
    if (!place->image || place->width <= 0 || place->height <= 0)
        return;
    const int width = place->width;
    const int height = place->height;
    HDC imageDc = CreateCompatibleDC(dc);
    HDC maskDc = CreateCompatibleDC(dc);
    HDC workDc = CreateCompatibleDC(dc);
    COLORREF oldBack = SetBkColor(imageDc, TRANSPARENT_COLOUR);

    HBITMAP composing = CreateCompatibleBitmap(dc, width, height);
    // A fresh memory DC holds a 1 x 1 monochrome bitmap, so this is a mask.
    HBITMAP mask = CreateCompatibleBitmap(maskDc, width, height);

    if (composing && mask) {
        HGDIOBJ oldImage = SelectObject(imageDc, place->image);
        HGDIOBJ oldWork = SelectObject(workDc, composing);
        HGDIOBJ oldMask = SelectObject(maskDc, mask);

        BitBlt(maskDc, 0, 0, width, height, imageDc, 0, 0, SRCCOPY);
        BitBlt(workDc, 0, 0, width, height, dc, place->x, place->y, SRCCOPY);
        BitBlt(workDc, 0, 0, width, height, maskDc, 0, 0, SRCAND);
        BitBlt(workDc, 0, 0, width, height, imageDc, 0, 0, SRCPAINT);
        BitBlt(dc, place->x, place->y, width, height, workDc, 0, 0, SRCCOPY);

        SelectObject(maskDc, oldMask);
        SelectObject(workDc, oldWork);
        SelectObject(imageDc, oldImage);
    }
    SetBkColor(imageDc, oldBack);
    DeleteBitmapHandle(&mask);
    DeleteBitmapHandle(&composing);
    DeleteDC(workDc);
    DeleteDC(maskDc);
    DeleteDC(imageDc);
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
    place.source = bitmap;
    StretchCopyToSprite(dc, bitmap, &place);
    SaveUnderSprite(dc, &place);
    DrawSpriteMasked(dc, &place);
    DeleteBitmapHandle(&place.image);
    DeleteBitmapHandle(&place.saved);
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
