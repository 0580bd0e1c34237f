#include "toon/gif_file.h"

#include <string.h>

#include "toon/toon_file.h"

#define GIF_OUT_BYTES       65536
#define GIF_BLOCK_BYTES     255
#define GIF_MAX_CODE_BITS   12
#define GIF_MAX_CODES       (1 << GIF_MAX_CODE_BITS)
// A prime a little over twice the table, so probes stay short.
#define GIF_CODE_SLOTS      9973
#define GIF_COLOUR_SLOTS    4096
#define GIF_BAND_ROWS       32
#define GIF_MAX_DELAY       65535
#define GIF_MIN_DELAY       2           // browsers show anything shorter as a tenth of a second
#define GIF_NO_COLOUR       0xFFFFFFFFu
#define GIF_NO_CODE         0xFFFF
#define GIF_EXTENSION       0x21
#define GIF_GRAPHIC_CONTROL 0xF9
#define GIF_APPLICATION     0xFF
#define GIF_IMAGE           0x2C
#define GIF_TRAILER         0x3B
#define GIF_DISPOSE_KEEP    (1 << 2)
#define GIF_HAS_TABLE       0x80
#define GIF_COLOUR_DEPTH    (7 << 4)    // 8 bits a primary

struct GifCodeSlot {
    DWORD key;          // prefix code << 8 | next index
    WORD code;          // GIF_NO_CODE when free
};

struct GifColourSlot {
    DWORD rgb;          // 0xRRGGBB, GIF_NO_COLOUR when free
    BYTE index;
};

// Everything the encoder holds but the record itself; the buffers are only
// freed here, so a half-made writer frees like a whole one.
static void FreeGifWriter(GifWriter *writer)
{
    HANDLE heap = GetProcessHeap();
    void *blocks[] = { writer->shown, writer->pending, writer->mapped, writer->band, writer->seen,
                       writer->out, writer->codes, writer->colourSlots };
    for (void *block : blocks)
        if (block)
            HeapFree(heap, 0, block);
    writer->shown = writer->pending = writer->mapped = writer->out = NULL;
    writer->band = writer->seen = NULL;
    writer->codes = NULL;
    writer->colourSlots = NULL;
    if (writer->readingDc)
        DeleteDC(writer->readingDc);
    writer->readingDc = NULL;
    if (writer->file != INVALID_HANDLE_VALUE && writer->file)
        CloseHandle(writer->file);
    writer->file = INVALID_HANDLE_VALUE;
}

static void *AllocateGifBlock(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

static void FlushGifOutput(GifWriter *writer)
{
    DWORD put = 0;
    if (writer->outUsed && !writer->failed &&
        (!WriteFile(writer->file, writer->out, writer->outUsed, &put, NULL) || put != writer->outUsed))
        writer->failed = 1;
    writer->outUsed = 0;
}

static void PutGifBytes(GifWriter *writer, const void *bytes, DWORD count)
{
    const BYTE *from = (const BYTE *)bytes;
    while (count > 0) {
        if (writer->outUsed == GIF_OUT_BYTES)
            FlushGifOutput(writer);
        DWORD room = GIF_OUT_BYTES - writer->outUsed;
        DWORD now = count < room ? count : room;
        memcpy(writer->out + writer->outUsed, from, now);
        writer->outUsed += now;
        from += now;
        count -= now;
    }
}

static void PutGifByte(GifWriter *writer, BYTE value)
{
    PutGifBytes(writer, &value, 1);
}

static void PutGifWord(GifWriter *writer, int value)
{
    BYTE bytes[2] = { (BYTE)(value & 0xFF), (BYTE)((value >> 8) & 0xFF) };
    PutGifBytes(writer, bytes, 2);
}

// Codes packed low bit first into sub-blocks of at most 255 bytes.
struct CodePacker {
    GifWriter *writer;
    DWORD bits;
    int bitCount;
    BYTE block[GIF_BLOCK_BYTES];
    int blockUsed;
};

static void PackByte(CodePacker *packer, BYTE value)
{
    packer->block[packer->blockUsed++] = value;
    if (packer->blockUsed == GIF_BLOCK_BYTES) {
        PutGifByte(packer->writer, GIF_BLOCK_BYTES);
        PutGifBytes(packer->writer, packer->block, GIF_BLOCK_BYTES);
        packer->blockUsed = 0;
    }
}

static void PackCode(CodePacker *packer, int code, int width)
{
    packer->bits |= (DWORD)code << packer->bitCount;
    packer->bitCount += width;
    while (packer->bitCount >= 8) {
        PackByte(packer, (BYTE)(packer->bits & 0xFF));
        packer->bits >>= 8;
        packer->bitCount -= 8;
    }
}

static void EndPackedCodes(CodePacker *packer)
{
    if (packer->bitCount > 0)
        PackByte(packer, (BYTE)(packer->bits & 0xFF));
    if (packer->blockUsed > 0) {
        PutGifByte(packer->writer, (BYTE)packer->blockUsed);
        PutGifBytes(packer->writer, packer->block, (DWORD)packer->blockUsed);
    }
    PutGifByte(packer->writer, 0);
}

static void ClearCodeTable(GifCodeSlot *codes)
{
    for (int i = 0; i < GIF_CODE_SLOTS; ++i)
        codes[i].code = GIF_NO_CODE;
}

// The LZW-compressed indices of a rectangle of the picture.
static void CompressRectangle(GifWriter *writer, const BYTE *picture, const RECT *rect)
{
    const int minimumBits = writer->tableBits < 2 ? 2 : writer->tableBits;
    const int clearCode = 1 << minimumBits;
    const int endCode = clearCode + 1;
    const int colourLimit = writer->colours;
    CodePacker packer = {};
    packer.writer = writer;
    PutGifByte(writer, (BYTE)minimumBits);

    GifCodeSlot *codes = writer->codes;
    ClearCodeTable(codes);
    int width = minimumBits + 1;
    int nextCode = clearCode + 2;
    PackCode(&packer, clearCode, width);

    int prefix = -1;
    for (LONG y = rect->top; y < rect->bottom; ++y) {
        const BYTE *row = picture + (SIZE_T)y * writer->width;
        for (LONG x = rect->left; x < rect->right; ++x) {
            int index = row[x] < colourLimit ? row[x] : 0;
            if (prefix < 0) {
                prefix = index;
                continue;
            }
            DWORD key = ((DWORD)prefix << 8) | (DWORD)index;
            DWORD slot = key % GIF_CODE_SLOTS;
            while (codes[slot].code != GIF_NO_CODE && codes[slot].key != key)
                slot = slot + 1 == GIF_CODE_SLOTS ? 0 : slot + 1;
            if (codes[slot].code != GIF_NO_CODE) {
                prefix = codes[slot].code;
                continue;
            }
            PackCode(&packer, prefix, width);
            if (nextCode < GIF_MAX_CODES) {
                codes[slot].key = key;
                codes[slot].code = (WORD)nextCode++;
                // The decoder makes each entry one code later, so it widens
                // only once the code past a power of two exists here.
                if (nextCode > (1 << width) && width < GIF_MAX_CODE_BITS)
                    ++width;
            } else {
                PackCode(&packer, clearCode, width);
                ClearCodeTable(codes);
                width = minimumBits + 1;
                nextCode = clearCode + 2;
            }
            prefix = index;
        }
    }
    if (prefix >= 0)
        PackCode(&packer, prefix, width);
    // Reading that last code, the decoder makes one more entry, and may
    // widen before it reads the end.
    if (prefix >= 0 && nextCode == (1 << width) && width < GIF_MAX_CODE_BITS)
        ++width;
    PackCode(&packer, endCode, width);
    EndPackedCodes(&packer);
}

static void PutGifImage(GifWriter *writer, const BYTE *picture, const RECT *rect, int hundredths)
{
    const BYTE control[] = { GIF_EXTENSION, GIF_GRAPHIC_CONTROL, 4, GIF_DISPOSE_KEEP };
    PutGifBytes(writer, control, sizeof control);
    PutGifWord(writer, hundredths);
    PutGifByte(writer, 0);      // no transparent index
    PutGifByte(writer, 0);
    PutGifByte(writer, GIF_IMAGE);
    PutGifWord(writer, rect->left);
    PutGifWord(writer, rect->top);
    PutGifWord(writer, rect->right - rect->left);
    PutGifWord(writer, rect->bottom - rect->top);
    PutGifByte(writer, 0);      // no local table, not interlaced
    CompressRectangle(writer, picture, rect);
    ++writer->framesWritten;
}

// The smallest rectangle holding every pixel in which the two differ.
static RECT ChangedRectangle(const GifWriter *writer, const BYTE *before, const BYTE *after)
{
    const SIZE_T width = (SIZE_T)writer->width;
    RECT rect = { 0, 0, 0, 0 };
    LONG top = 0, bottom = writer->height;
    while (top < bottom && !memcmp(before + top * width, after + top * width, width))
        ++top;
    if (top == bottom)
        return rect;
    while (!memcmp(before + (bottom - 1) * width, after + (bottom - 1) * width, width))
        --bottom;
    LONG left = writer->width, right = 0;
    for (LONG y = top; y < bottom; ++y) {
        const BYTE *a = before + y * width, *b = after + y * width;
        LONG x = 0;
        while (x < left && a[x] == b[x])
            ++x;
        left = x;
        x = writer->width;
        while (x > right && a[x - 1] == b[x - 1])
            --x;
        right = x;
    }
    rect.left = left;
    rect.top = top;
    rect.right = right;
    rect.bottom = bottom;
    return rect;
}

// The next delay of a picture standing for hundredths: at most one delay's
// worth, leaving no rest shorter than the shortest delay.
static LONGLONG NextDelay(LONGLONG hundredths)
{
    if (hundredths <= GIF_MAX_DELAY)
        return hundredths;
    return hundredths - GIF_MAX_DELAY < GIF_MIN_DELAY ? hundredths - GIF_MIN_DELAY : GIF_MAX_DELAY;
}

// Writes the pending picture with the hundredths that bring the written
// total to the elapsed time; a picture standing longer than one delay can
// say continues in one-pixel frames that change nothing. A picture too
// short for a delay of its own is left out and its time goes to the next
// one; the last one stands at least the shortest delay.
static void WritePendingFrame(GifWriter *writer, int last)
{
    if (!writer->hasPending)
        return;
    writer->hasPending = 0;
    writer->elapsedMs += writer->pendingMs;
    writer->pendingMs = 0;
    LONGLONG hundredths = (writer->elapsedMs + 5) / 10 - writer->writtenHundredths;
    if (hundredths < GIF_MIN_DELAY && !last)
        return;
    if (hundredths < GIF_MIN_DELAY)
        hundredths = GIF_MIN_DELAY;
    writer->writtenHundredths += hundredths;
    const RECT whole = { 0, 0, writer->width, writer->height }, corner = { 0, 0, 1, 1 };
    RECT rect = writer->framesWritten ? ChangedRectangle(writer, writer->shown, writer->pending) : whole;
    if (IsRectEmpty(&rect))
        rect = corner;
    do {
        const LONGLONG delay = NextDelay(hundredths);
        PutGifImage(writer, writer->pending, &rect, (int)delay);
        hundredths -= delay;
        rect = corner;
    } while (hundredths > 0);
    BYTE *swap = writer->shown;
    writer->shown = writer->pending;
    writer->pending = swap;
}

static void PutGifHeader(GifWriter *writer)
{
    PutGifBytes(writer, "GIF89a", 6);
    PutGifWord(writer, writer->width);
    PutGifWord(writer, writer->height);
    PutGifByte(writer, (BYTE)(GIF_HAS_TABLE | GIF_COLOUR_DEPTH | (writer->tableBits - 1)));
    PutGifByte(writer, 0);      // background index
    PutGifByte(writer, 0);      // square pixels
    for (int i = 0; i < (1 << writer->tableBits); ++i) {
        BYTE rgb[3] = { 0, 0, 0 };
        if (i < writer->colours) {
            rgb[0] = writer->palette[i].rgbRed;
            rgb[1] = writer->palette[i].rgbGreen;
            rgb[2] = writer->palette[i].rgbBlue;
        }
        PutGifBytes(writer, rgb, 3);
    }
    // Loop for ever.
    const BYTE loop[] = { GIF_EXTENSION, GIF_APPLICATION, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                          3, 1, 0, 0, 0 };
    PutGifBytes(writer, loop, sizeof loop);
}

int GifBegin(GifWriter *writer, const char *path, int width, int height,
             const RGBQUAD *palette, int count)
{
    memset(writer, 0, sizeof *writer);
    writer->file = INVALID_HANDLE_VALUE;
    if (!path || !palette || width < 1 || height < 1 || width > GIF_MAX_SIDE ||
        height > GIF_MAX_SIDE || count < 1 || count > GIF_MAX_COLOURS ||
        strlen(path) >= sizeof writer->target)
        return 0;
    strcpy(writer->target, path);
    writer->width = width;
    writer->height = height;
    writer->colours = count;
    memcpy(writer->palette, palette, count * sizeof *palette);
    writer->tableBits = 1;
    while ((1 << writer->tableBits) < count)
        ++writer->tableBits;

    const SIZE_T pixels = (SIZE_T)width * height;
    writer->shown = (BYTE *)AllocateGifBlock(pixels);
    writer->pending = (BYTE *)AllocateGifBlock(pixels);
    writer->mapped = (BYTE *)AllocateGifBlock(pixels);
    writer->band = (DWORD *)AllocateGifBlock((SIZE_T)width * GIF_BAND_ROWS * sizeof(DWORD));
    writer->out = (BYTE *)AllocateGifBlock(GIF_OUT_BYTES);
    writer->codes = (GifCodeSlot *)AllocateGifBlock(GIF_CODE_SLOTS * sizeof(GifCodeSlot));
    writer->colourSlots = (GifColourSlot *)AllocateGifBlock(GIF_COLOUR_SLOTS * sizeof(GifColourSlot));
    if (!writer->shown || !writer->pending || !writer->mapped || !writer->band || !writer->out || !writer->codes ||
        !writer->colourSlots) {
        FreeGifWriter(writer);
        return 0;
    }
    writer->file = CreateTemporaryBeside(path, "gif", writer->temporary);
    if (writer->file == INVALID_HANDLE_VALUE) {
        FreeGifWriter(writer);
        return 0;
    }
    PutGifHeader(writer);
    return 1;
}

int GifAddFrame(GifWriter *writer, const BYTE *pixels, int durationMs)
{
    if (!writer->pending || !pixels || writer->failed)
        return 0;
    const SIZE_T size = (SIZE_T)writer->width * writer->height;
    if (durationMs < 0)
        durationMs = 0;
    if (writer->hasPending && !memcmp(writer->pending, pixels, size)) {
        writer->pendingMs += durationMs;
        return 1;
    }
    WritePendingFrame(writer, 0);
    memcpy(writer->pending, pixels, size);
    writer->hasPending = 1;
    writer->pendingMs = durationMs;
    return !writer->failed;
}

static int ColourDistance(DWORD rgb, const RGBQUAD *entry)
{
    int red = (int)((rgb >> 16) & 0xFF) - entry->rgbRed;
    int green = (int)((rgb >> 8) & 0xFF) - entry->rgbGreen;
    int blue = (int)(rgb & 0xFF) - entry->rgbBlue;
    return red * red + green * green + blue * blue;
}

static BYTE NearestColour(const GifWriter *writer, DWORD rgb)
{
    int best = 0, bestDistance = ColourDistance(rgb, &writer->palette[0]);
    for (int i = 1; i < writer->colours && bestDistance > 0; ++i) {
        int distance = ColourDistance(rgb, &writer->palette[i]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return (BYTE)best;
}

static void ForgetColours(GifWriter *writer)
{
    for (int i = 0; i < GIF_COLOUR_SLOTS; ++i)
        writer->colourSlots[i].rgb = GIF_NO_COLOUR;
    writer->colourSlotsUsed = 0;
}

static BYTE PaletteIndexOf(GifWriter *writer, DWORD rgb)
{
    DWORD slot = (rgb * 2654435761u) >> 20;     // 12 bits of a multiplicative hash
    while (writer->colourSlots[slot].rgb != GIF_NO_COLOUR) {
        if (writer->colourSlots[slot].rgb == rgb)
            return writer->colourSlots[slot].index;
        slot = (slot + 1) & (GIF_COLOUR_SLOTS - 1);
    }
    BYTE index = NearestColour(writer, rgb);
    // Kept at most three quarters full; a picture of more colours than that
    // starts afresh rather than probing for ever.
    if (writer->colourSlotsUsed >= GIF_COLOUR_SLOTS * 3 / 4) {
        ForgetColours(writer);
        return index;
    }
    writer->colourSlots[slot].rgb = rgb;
    writer->colourSlots[slot].index = index;
    ++writer->colourSlotsUsed;
    return index;
}

// Exact palette colours first, so a repeated entry keeps its first index.
static void LearnPalette(GifWriter *writer)
{
    ForgetColours(writer);
    for (int i = 0; i < writer->colours; ++i) {
        const RGBQUAD *entry = &writer->palette[i];
        PaletteIndexOf(writer, (DWORD)entry->rgbRed << 16 | (DWORD)entry->rgbGreen << 8 | entry->rgbBlue);
    }
}

// Maps one row of colours, remembering them: most rows of a picture are
// as they were the last time, and their indices still stand.
static void MapRow(GifWriter *writer, const DWORD *from, int y)
{
    DWORD *seen = writer->seen + (SIZE_T)y * writer->width;
    if (writer->seenValid && !memcmp(seen, from, writer->width * sizeof *from))
        return;
    memcpy(seen, from, writer->width * sizeof *from);
    BYTE *to = writer->mapped + (SIZE_T)y * writer->width;
    DWORD lastRgb = GIF_NO_COLOUR;
    BYTE lastIndex = 0;
    for (int x = 0; x < writer->width; ++x) {
        DWORD rgb = from[x] & 0xFFFFFF;
        if (rgb != lastRgb) {
            lastRgb = rgb;
            lastIndex = PaletteIndexOf(writer, rgb);
        }
        to[x] = lastIndex;
    }
}

// Reads the bitmap in bands of rows as 32-bit colour, which also tells
// its rows apart whichever way up it lies in memory.
static int MapBitmap(GifWriter *writer, HBITMAP bitmap)
{
    BITMAP shape;
    if (!bitmap || !GetObjectA(bitmap, sizeof shape, &shape) || shape.bmWidth != writer->width ||
        shape.bmHeight != writer->height)
        return 0;
    if (!writer->seen)
        writer->seen = (DWORD *)AllocateGifBlock((SIZE_T)writer->width * writer->height * sizeof(DWORD));
    // Kept from one picture to the next: making a DC costs Wine more than
    // mapping a picture.
    if (!writer->readingDc)
        writer->readingDc = CreateCompatibleDC(NULL);
    if (!writer->seen || !writer->readingDc)
        return 0;
    if (!writer->colourSlotsUsed)
        LearnPalette(writer);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = writer->width;
    info.bmiHeader.biHeight = writer->height;   // bottom-up: scan 0 is the lowest row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int ok = 1;
    for (int scan = 0; scan < writer->height && ok; scan += GIF_BAND_ROWS) {
        int rows = writer->height - scan < GIF_BAND_ROWS ? writer->height - scan : GIF_BAND_ROWS;
        ok = GetDIBits(writer->readingDc, bitmap, (UINT)scan, (UINT)rows, writer->band, &info,
                       DIB_RGB_COLORS) == rows;
        for (int row = 0; row < rows && ok; ++row)
            MapRow(writer, writer->band + (SIZE_T)row * writer->width, writer->height - 1 - scan - row);
    }
    // After a failed read the remembered rows may not match their indices.
    writer->seenValid = ok;
    return ok;
}

int GifAddBitmap(GifWriter *writer, HBITMAP bitmap, int durationMs)
{
    if (!writer->mapped || writer->failed)
        return 0;
    return MapBitmap(writer, bitmap) && GifAddFrame(writer, writer->mapped, durationMs);
}

int GifFinish(GifWriter *writer)
{
    if (!writer->out)
        return 0;
    int pictures = writer->framesWritten + writer->hasPending;
    WritePendingFrame(writer, 1);
    PutGifByte(writer, GIF_TRAILER);
    FlushGifOutput(writer);
    int written = pictures > 0 && !writer->failed && FlushFileBuffers(writer->file);
    CloseHandle(writer->file);
    writer->file = INVALID_HANDLE_VALUE;
    int replaced = written ? ReplaceWithTemporary(writer->temporary, writer->target) : 0;
    if (replaced == 0)
        DeleteFileA(writer->temporary);
    FreeGifWriter(writer);
    return replaced == 1;
}

void GifAbandon(GifWriter *writer)
{
    if (!writer->out)
        return;
    FreeGifWriter(writer);
    DeleteFileA(writer->temporary);
}
