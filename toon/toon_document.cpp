#include "toon/toon_document.h"

#include <string.h>
#include <limits.h>

#include "resources/resource.h"



// A block never reaches zero bytes: a moveable block reallocated to zero
// is discarded, and then it can no longer be locked.
static SIZE_T BlockRequest(size_t bytes)
{
    return bytes ? (SIZE_T)bytes : 1;
}

// Byte size of count frames, or 0 with ok cleared when it cannot be had.
static size_t FrameBytes(int count, int *ok)
{
    *ok = count >= 0 && count <= INT_MAX / TOON_FRAME_BYTES;
    return *ok ? (size_t)count * TOON_FRAME_BYTES : 0;
}

// Whether slot index lies inside both the document and the block.
static int FrameInBlock(const ToonDocument *toon, int index)
{
    return toon->frames && index >= 0 && index < toon->frameCount &&
           (size_t)index < toon->blockBytes / TOON_FRAME_BYTES;
}

// Copies a text up to and including its terminator; a text without one
// within the field is cut short so that it gets one.
static void CopyFrameText(char *to, const char *from)
{
    size_t length = 0;
    while (length < TOON_TEXT_SIZE - 1 && from[length])
        ++length;
    memcpy(to, from, length);
    to[length] = '\0';
}

static void CopyFrameNumbers(ToonFrame *to, const ToonFrame *from)
{
    to->x = from->x;
    to->y = from->y;
    to->pose = from->pose;
    to->pause = from->pause;
    to->wink = from->wink;
}

void FreeToonFrames(ToonDocument *toon)
{
    if (toon->frames) {
        GlobalFree(toon->frames);
        toon->frames = NULL;
    }
    toon->blockBytes = 0;
}

int AllocToonFrames(ToonDocument *toon, int count)
{
    FreeToonFrames(toon);
    int ok;
    size_t bytes = FrameBytes(count, &ok);
    if (!ok)
        return 0;
    toon->frames = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, BlockRequest(bytes));
    if (!toon->frames)
        return 0;
    toon->blockBytes = bytes;
    return 1;
}

int GetToonFrame(const ToonDocument *toon, int index, ToonFrame *out)
{
    if (!out || !FrameInBlock(toon, index))
        return 0;
    const ToonFrame *frames = (const ToonFrame *)GlobalLock(toon->frames);
    if (!frames)
        return 0;
    CopyFrameNumbers(out, &frames[index]);
    CopyFrameText(out->text, frames[index].text);
    GlobalUnlock(toon->frames);
    return 1;
}

int PutToonFrame(ToonDocument *toon, int index, const ToonFrame *in)
{
    if (!in || !FrameInBlock(toon, index))
        return 0;
    ToonFrame *frames = (ToonFrame *)GlobalLock(toon->frames);
    if (!frames)
        return 0;
    CopyFrameNumbers(&frames[index], in);
    CopyFrameText(frames[index].text, in->text);
    GlobalUnlock(toon->frames);
    return 1;
}

int ResizeToonFrames(ToonDocument *toon)
{
    int ok;
    size_t bytes = FrameBytes(toon->frameCount, &ok);
    if (!toon->frames || !ok)
        return 0;
    HGLOBAL resized = GlobalReAlloc(toon->frames, BlockRequest(bytes), GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!resized)
        return 0;
    toon->frames = resized;
    if (bytes > toon->blockBytes) {
        // Zero the growth ourselves: bytes dropped by an earlier shrink may
        // still lie there, and they must not come back as frames.
        char *base = (char *)GlobalLock(toon->frames);
        if (base) {
            memset(base + toon->blockBytes, 0, bytes - toon->blockBytes);
            GlobalUnlock(toon->frames);
        }
    }
    toon->blockBytes = bytes;
    return 1;
}

int InsertToonFrame(ToonDocument *toon, int index)
{
    int n = toon->frameCount;
    int k = index;
    if (!toon->frames || n < 1 || k < 0 || k >= n)
        return 0;
    if (!ResizeToonFrames(toon))
        return 0;
    char *base = (char *)GlobalLock(toon->frames);
    if (!base)
        return 0;
    memmove(base + (size_t)(k + 1) * TOON_FRAME_BYTES, base + (size_t)k * TOON_FRAME_BYTES,
            (size_t)(n - k - 1) * TOON_FRAME_BYTES);
    memset(base + (size_t)k * TOON_FRAME_BYTES, 0, TOON_FRAME_BYTES);
    GlobalUnlock(toon->frames);
    return 1;
}

int DeleteToonFrame(ToonDocument *toon, int index)
{
    int n = toon->frameCount;
    int k = index;
    // The block still holds the n + 1 frames from before the caller's count.
    if (!toon->frames || n < 0 || k < 0 || k > n ||
        (size_t)n + 1 > toon->blockBytes / TOON_FRAME_BYTES)
        return 0;
    char *base = (char *)GlobalLock(toon->frames);
    if (!base)
        return 0;
    memmove(base + (size_t)k * TOON_FRAME_BYTES, base + (size_t)(k + 1) * TOON_FRAME_BYTES,
            (size_t)(n - k) * TOON_FRAME_BYTES);
    // The frame is gone once moved over. A shrink the system refuses only
    // leaves a spare slot behind, cleared so it never comes back as a frame.
    memset(base + (size_t)n * TOON_FRAME_BYTES, 0, TOON_FRAME_BYTES);
    GlobalUnlock(toon->frames);
    ResizeToonFrames(toon);
    return 1;
}

int SetToonModified(ToonDocument *toon, HWND window, int flag)
{
    toon->modified = flag;
    HMENU menu = window ? GetMenu(window) : NULL;
    if (menu)
        EnableMenuItem(menu, IDM_FILESAVE, MF_BYCOMMAND | (flag ? MF_ENABLED : MF_GRAYED));
    return 1;
}

// Toon coordinates to client coordinates. The products can exceed 32 bits
// for far-off points, so they are taken in 64 and the result is clamped.
static LONG ScaleCoordinate(LONG value, LONG clientExtent, unsigned toonExtent)
{
    long long scaled = (long long)clientExtent * value / (long long)toonExtent;
    if (scaled > LONG_MAX)
        return LONG_MAX;
    if (scaled < LONG_MIN)
        return LONG_MIN;
    return (LONG)scaled;
}

int ScaleToonPointTo(const ToonDocument *toon, LONG width, LONG height, LONG *x, LONG *y)
{
    unsigned toonWidth = toon->header.windowSize & 0xFFFFu;
    unsigned toonHeight = toon->header.windowSize >> 16;
    if (!x || !y || !toonWidth || !toonHeight)
        return 0;
    *x = ScaleCoordinate(*x, width, toonWidth);
    *y = ScaleCoordinate(*y, height, toonHeight);
    return 1;
}

int ScaleToonPoint(const ToonDocument *toon, HWND window, LONG *x, LONG *y)
{
    RECT client;
    if (!GetClientRect(window, &client))
        return 0;
    return ScaleToonPointTo(toon, client.right - client.left, client.bottom - client.top, x, y);
}
