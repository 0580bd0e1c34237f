// Animated GIF files: GIF89a with one global colour table, looping for ever.
// Frames come in as 8-bit palette indices (top row first) or as a bitmap
// (the stage's DIB section, say), each with the time it stands. After the
// first frame only the rectangle that changed is written; a frame equal to
// the one before only lengthens that one's delay. Delays are summed in milliseconds and rounded
// on the running total, so the file's hundredths keep to the real time.
// No frame stands less than 2 hundredths (browsers slow those to 10): a
// picture that would is left out, its time going to the next one.
//
// Colours of a bitmap that are not in the palette (antialiased text edges,
// blends) take the nearest palette colour by RGB distance; exact colours
// always keep their own index (the first one, where the palette repeats).
//
// The file is written beside its target and only takes the target's name
// once complete: a failed or abandoned write leaves an older file whole.
#ifndef PIMBO_TOON_GIF_FILE_H
#define PIMBO_TOON_GIF_FILE_H

#include <windows.h>

#define GIF_MAX_SIDE     4096
#define GIF_MAX_COLOURS  256

struct GifColourSlot;
struct GifCodeSlot;

struct GifWriter {
    HANDLE file;
    char target[MAX_PATH];
    char temporary[MAX_PATH];
    int width;
    int height;
    int tableBits;              // the colour table holds 1 << tableBits entries
    RGBQUAD palette[GIF_MAX_COLOURS];
    int colours;
    BYTE *shown;                // the picture as the written frames compose it
    BYTE *pending;              // the latest picture, written once its time is known
    BYTE *mapped;               // a bitmap's pixels as indices
    DWORD *band;                // rows of a bitmap as read
    DWORD *seen;                // the colours last mapped, made on first use
    HDC readingDc;              // for reading bitmaps, made on first use
    int seenValid;
    int hasPending;
    int framesWritten;
    LONGLONG pendingMs;         // how long the pending picture stands so far
    LONGLONG elapsedMs;         // time up to the pending picture
    LONGLONG writtenHundredths; // sum of the delays written
    int failed;
    BYTE *out;                  // buffered file output
    DWORD outUsed;
    GifCodeSlot *codes;         // the LZW string table
    GifColourSlot *colourSlots; // bitmap colours already mapped
    int colourSlotsUsed;
};

// Creates the temporary file and writes the screen, the colour table (count
// colours, padded to a power of two) and the loop extension. width and
// height 1..GIF_MAX_SIDE, count 1..GIF_MAX_COLOURS. 1 on success; on 0 there
// is nothing to free.
int GifBegin(GifWriter *writer, const char *path, int width, int height,
             const RGBQUAD *palette, int count);
// Adds a picture of width * height indices that stands for durationMs.
// Indices past the palette read as 0. 1 on success.
int GifAddFrame(GifWriter *writer, const BYTE *pixels, int durationMs);
// The same for a bitmap of the writer's size, which must not be selected
// into a device context.
int GifAddBitmap(GifWriter *writer, HBITMAP bitmap, int durationMs);
// Writes what is pending, closes the file and puts it in the target's
// place. 1 when the target is the new file; on 0 any older one is whole.
// Either way the writer is freed.
int GifFinish(GifWriter *writer);
// Drops the temporary file and frees the writer.
void GifAbandon(GifWriter *writer);

#endif
