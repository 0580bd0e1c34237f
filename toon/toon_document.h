// A toon held by its owner (the show, the editor): its header, its frames
// in one resizable block and the modified flag. Whoever shows a frame keeps
// its own index of it.
#ifndef PIMBO_TOON_DOCUMENT_H
#define PIMBO_TOON_DOCUMENT_H

#include <windows.h>
#include <stdint.h>

#define TOON_TEXT_SIZE      72
#define TOON_CAPTION_SIZE   52
#define TOON_FILENAME_SIZE  256
#define TOON_FRAME_BYTES    92
#define TOON_HEADER_BYTES   104
#define TOON_VERSION        0x20001u

#pragma pack(push, 1)
struct ToonFrame {
    int32_t x;
    int32_t y;
    int32_t pose;
    int32_t pause;
    int32_t wink;
    char text[TOON_TEXT_SIZE];
};

struct ToonHeader {
    char signature[22];
    uint8_t reserved[10];
    uint32_t version;
    char caption[TOON_CAPTION_SIZE];
    uint32_t windowSize;
    int32_t frameCount;
    int32_t frameSpeed;
    int32_t backgroundIndex;
};
#pragma pack(pop)

static_assert(sizeof(ToonFrame) == TOON_FRAME_BYTES, "a frame is 92 bytes on disk");
static_assert(sizeof(ToonHeader) == TOON_HEADER_BYTES, "a header is 104 bytes on disk");

struct ToonDocument {
    ToonHeader header;
    int32_t frameCount;
    HGLOBAL frames;
    size_t blockBytes;        // what the block really holds: frameCount runs ahead of it
    int modified;
    char fileName[TOON_FILENAME_SIZE];
    char caption[TOON_CAPTION_SIZE];
    HCURSOR waitCursor;       // the owner's hourglass while a file is read or written; none hides the cursor
    // Where the file functions' messages go; none: a message box.
    int (*showMessage)(HWND window, const char *text, const char *caption, UINT style);
};

void FreeToonFrames(ToonDocument *toon);
int AllocToonFrames(ToonDocument *toon, int count);
int GetToonFrame(const ToonDocument *toon, int index, ToonFrame *out);
int PutToonFrame(ToonDocument *toon, int index, const ToonFrame *in);
int ResizeToonFrames(ToonDocument *toon);
// Both take the index of the frame shown; frameCount already counts the
// frame to come (insert) or no longer counts the one going (delete).
int InsertToonFrame(ToonDocument *toon, int index);
int DeleteToonFrame(ToonDocument *toon, int index);
int SetToonModified(ToonDocument *toon, HWND window, int flag);
// A point of the toon onto the window's client area, or onto a stage of
// the given size.
int ScaleToonPoint(const ToonDocument *toon, HWND window, LONG *x, LONG *y);
int ScaleToonPointTo(const ToonDocument *toon, LONG width, LONG height, LONG *x, LONG *y);

#endif
