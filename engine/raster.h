// Drawing primitives: transparent sprites through a mask (black is
// transparent), saving and restoring what lies under a sprite, tiling,
// palette bitmaps and embossed text.
#ifndef PIMBO_ENGINE_RASTER_H
#define PIMBO_ENGINE_RASTER_H

#include <windows.h>

struct SpritePlace {
    LONG targetX;      // where the owner wants the sprite next
    LONG targetY;
    LONG x;            // where the prepared image is shown
    LONG y;
    LONG width;
    LONG height;
    HBITMAP source;    // the owner's bitmap
    HBITMAP image;     // prepared copy, owned
    HBITMAP saved;     // screen under the sprite, owned
};

void StretchCopyToSprite(HDC dc, HBITMAP source, SpritePlace *place);
void FreeSpritePlace(SpritePlace *place);
// Deletes the bitmap unless it is null, and nulls the handle.
void DeleteBitmapHandle(HBITMAP *bitmap);
void RestoreUnderSprite(HDC dc, const SpritePlace *place);
void DrawSpriteMasked(HDC dc, const SpritePlace *place);
void SaveUnderSprite(HDC dc, SpritePlace *place);
int PointInSpritePlace(const SpritePlace *place, LONG x, LONG y);
// value + offset held within 32 bits: a toon can put the character at the
// very ends of the coordinates, where a plain sum would overflow.
LONG OffsetCoordinate(LONG value, LONG offset);
void DrawBitmapTransparentAt(HDC dc, HBITMAP bitmap, int x, int y);
void BlitBitmapToRect(HDC dc, int left, int top, int right, int bottom, HBITMAP bitmap);
void TileBitmap(HDC dc, int left, int top, int right, int bottom, HBITMAP bitmap);
HBITMAP LoadPaletteBitmap(HINSTANCE instance, HDC dc, const char *name);
int EmbossedText(HDC dc, COLORREF colour, const char *text, const RECT *rect, int depth);
// "MS Serif" with characters (not cells) height pixels high.
HFONT CreateSerifFont(int height, int weight);
// width x height pixels of source from (sourceX, sourceY) to (x, y) of dc,
// each one a square of scale x scale: whole multiples only, so that the art
// stays as sharp as one to one.
void BlitScaled(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int scale);

#endif
