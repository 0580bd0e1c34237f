// Drawing primitives: transparent sprites through a mask (black is
// transparent), saving and restoring what lies under a sprite, tiling,
// palette bitmaps and embossed text.
#ifndef PIMBO_ENGINE_RASTER_H
#define PIMBO_ENGINE_RASTER_H

#include <windows.h>

// A bitmap kept selected in a memory DC of its own for as long as both
// live: drawing onto it or from it selects nothing.
struct HeldBitmap {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    LONG width;
    LONG height;
};

// The bitmap is the held one's from now on; one that cannot be held is
// deleted. 0 when nothing is held.
int HoldBitmap(HeldBitmap *held, HBITMAP bitmap);
void ReleaseHeldBitmap(HeldBitmap *held);

#define SHEET_CELLS_MAX   36      // a whole sprite set

// Images side by side in one held bitmap, each in a cell as wide as the
// widest, so that a sprite is copied out of it without selecting anything.
struct SpriteSheet {
    HeldBitmap cells;
    int count;
    LONG pitch;
    HBITMAP sources[SHEET_CELLS_MAX];   // the caller's, which each cell copies
    SIZE sizes[SHEET_CELLS_MAX];
};

int ComposeSpriteSheet(SpriteSheet *sheet, HDC like, const HBITMAP *images, int count);
void FreeSpriteSheet(SpriteSheet *sheet);

// A picture over a ground: its surfaces are made together when an image is
// first prepared in it and kept until the place is freed, so that drawing,
// saving and moving it make nothing.
struct SpritePlace {
    LONG targetX;      // where the owner wants the sprite next
    LONG targetY;
    LONG x;            // where the prepared image is shown
    LONG y;
    LONG width;        // of the prepared image; 0 when there is none
    LONG height;
    HBITMAP source;    // the owner's bitmap
    HeldBitmap image;      // the prepared copy
    HeldBitmap mask;       // white where the image is black, that is, clear
    HeldBitmap saved;      // the ground under the image shown
    HeldBitmap fresh;      // a move's work: the ground at the next place
    HeldBitmap composed;   // the image on its ground, put down in one copy
    LONG savedWidth;       // of what saved holds; 0 when it holds nothing
    LONG savedHeight;
};

// Takes the image from the sheet's cell when the sheet (which may be null)
// holds source, else from source through a DC of its own.
void PrepareSprite(HDC dc, const SpriteSheet *sheet, HBITMAP source, SpritePlace *place);
void StretchCopyToSprite(HDC dc, HBITMAP source, SpritePlace *place);
void FreeSpritePlace(SpritePlace *place);
int SpriteHasImage(const SpritePlace *place);
// Deletes the bitmap unless it is null, and nulls the handle.
void DeleteBitmapHandle(HBITMAP *bitmap);
void RestoreUnderSprite(HDC dc, const SpritePlace *place);
void DrawSpriteMasked(HDC dc, const SpritePlace *place);
void SaveUnderSprite(HDC dc, SpritePlace *place);
// The prepared image put down at the place's corner, moved there from
// (oldX, oldY): what the old picture covered and the new one does not gets
// its ground back, and what lies under the new one is saved.
void ShiftSprite(HDC dc, SpritePlace *place, LONG oldX, LONG oldY);
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
