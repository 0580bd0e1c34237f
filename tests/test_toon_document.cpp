#include <doctest.h>
#include <string.h>
#include <limits.h>
#include <string>
#include <vector>

#include "toon/toon_document.h"
#include "resources/resource.h"
#include "support/support.h"

// REQUIRE needs exceptions, which the program is built without.
#define ENSURE(condition) do { bool ensured_ = (condition); CHECK_MESSAGE(ensured_, #condition); \
                               if (!ensured_) return; } while (0)

namespace {

ToonDocument doc;

void ResetDocument(int count)
{
    FreeToonFrames(&doc);
    doc.frameCount = 0;
    if (count > 0) {
        ENSURE(AllocToonFrames(&doc, count));
        doc.frameCount = count;
    }
}

ToonFrame MakeFrame(int tag, const char *text)
{
    ToonFrame frame;
    memset(&frame, 0, sizeof frame);
    frame.x = tag;
    frame.y = -tag;
    frame.pose = tag % 16;
    frame.pause = tag + 1;
    frame.wink = tag & 1;
    strcpy(frame.text, text);
    return frame;
}

// Fills frames 0..n-1 with tags 1..n.
void TagFrames(int n)
{
    for (int i = 0; i < n; ++i) {
        ToonFrame frame = MakeFrame(i + 1, ("frame " + std::to_string(i + 1)).c_str());
        ENSURE(PutToonFrame(&doc, i, &frame));
    }
}

// The x of every frame in order, 0 for an all-zero frame.
std::vector<int> FrameTags()
{
    std::vector<int> tags;
    for (int i = 0; i < doc.frameCount; ++i) {
        ToonFrame frame;
        CHECK(GetToonFrame(&doc, i, &frame));
        tags.push_back(frame.x);
    }
    return tags;
}

// The raw bytes of one slot, read past any terminator.
std::string RawSlot(int index)
{
    const char *base = (const char *)GlobalLock(doc.frames);
    if (!base)
        return std::string();
    std::string bytes(base + (size_t)index * TOON_FRAME_BYTES, TOON_FRAME_BYTES);
    GlobalUnlock(doc.frames);
    return bytes;
}

HGLOBAL WINAPI RefusingReAlloc(HGLOBAL, SIZE_T, UINT)
{
    return NULL;
}

bool IsZeroFrame(const ToonFrame &frame)
{
    return frame.x == 0 && frame.y == 0 && frame.pose == 0 && frame.pause == 0 &&
           frame.wink == 0 && frame.text[0] == '\0';
}

}  // namespace

TEST_CASE("a fresh allocation holds zeroed frames and get and put stay in bounds")
{
    ResetDocument(0);
    ToonFrame out = MakeFrame(7, "untouched");
    CHECK_FALSE(GetToonFrame(&doc, 0, &out));   // no block at all
    CHECK_FALSE(PutToonFrame(&doc, 0, &out));

    ResetDocument(3);
    for (int i = 0; i < 3; ++i) {
        CHECK(RawSlot(i) == std::string(TOON_FRAME_BYTES, '\0'));
        ToonFrame frame = MakeFrame(9, "junk");
        ENSURE(GetToonFrame(&doc, i, &frame));
        CHECK(IsZeroFrame(frame));
    }

    for (int index : { -1, 3, INT_MIN, INT_MAX }) {
        CAPTURE(index);
        ToonFrame before = MakeFrame(7, "untouched");
        ToonFrame after = before;
        CHECK_FALSE(GetToonFrame(&doc, index, &after));
        CHECK(memcmp(&before, &after, sizeof before) == 0);
        CHECK_FALSE(PutToonFrame(&doc, index, &before));
    }

    // A count raised ahead of the block must not let reads run past it.
    doc.frameCount = 4;
    CHECK_FALSE(GetToonFrame(&doc, 3, &out));
    CHECK_FALSE(PutToonFrame(&doc, 3, &out));
    doc.frameCount = 3;
    ToonDocument other = {};   // a smaller block bounds only its own frames
    ENSURE(AllocToonFrames(&other, 1));
    other.frameCount = 3;
    CHECK((GetToonFrame(&doc, 2, &out) && !GetToonFrame(&other, 2, &out)));
    FreeToonFrames(&other);
}

TEST_CASE("a shorter text leaves the old one's tail behind its terminator")
{
    ResetDocument(2);
    const char *longText = "0123456789abcdefghijklmnopqrstuvwxyzABCD";   // 40 characters
    ToonFrame frame = MakeFrame(1, longText);
    ENSURE(PutToonFrame(&doc, 1, &frame));
    frame = MakeFrame(2, "short text");
    ENSURE(PutToonFrame(&doc, 1, &frame));

    std::string slot = RawSlot(1).substr(20);
    CHECK(slot.substr(0, 11) == std::string("short text", 11));
    CHECK(slot.substr(11, 30) == std::string(longText + 11, 30));   // 12th to 40th and its NUL

    ToonFrame out;
    memset(&out, 'Z', sizeof out);
    ENSURE(GetToonFrame(&doc, 1, &out));
    CHECK(std::string(out.text) == "short text");
    CHECK(out.x == 2);
    CHECK(out.pose == 2);
    CHECK(out.pause == 3);
    for (size_t i = 11; i < TOON_TEXT_SIZE; ++i)
        CHECK(out.text[i] == 'Z');   // bytes after the terminator are the caller's
}

// Read back unterminated, as a file may deliver it: the toon file tests.
TEST_CASE("a text without a terminator is stored cut to 71 characters")
{
    ResetDocument(1);
    ToonFrame frame = MakeFrame(1, "");
    memset(frame.text, 'q', TOON_TEXT_SIZE);
    ENSURE(PutToonFrame(&doc, 0, &frame));
    CHECK(RawSlot(0).substr(20) == std::string(71, 'q') + '\0');
}

TEST_CASE("insert opens an all-zero frame at the index shown")
{
    struct Row { int shown; std::vector<int> expected; };
    const Row rows[] = {
        { 0, { 0, 1, 2, 3, 4 } },
        { 2, { 1, 2, 0, 3, 4 } },
        { 3, { 1, 2, 3, 0, 4 } },   // only the old last frame moves
    };
    for (const Row &row : rows) {
        CAPTURE(row.shown);
        ResetDocument(4);
        TagFrames(4);
        doc.frameCount = 5;
        ENSURE(InsertToonFrame(&doc, row.shown));
        CHECK(FrameTags() == row.expected);
        ToonFrame inserted;
        ENSURE(GetToonFrame(&doc, row.shown, &inserted));
        CHECK(IsZeroFrame(inserted));
        CHECK(RawSlot(row.shown) == std::string(TOON_FRAME_BYTES, '\0'));
        ToonFrame moved;
        ENSURE(GetToonFrame(&doc, row.shown + 1, &moved));
        CHECK(std::string(moved.text) == "frame " + std::to_string(row.shown + 1));
    }

    SUBCASE("an index outside the raised count inserts nothing")
    {
        ResetDocument(2);
        TagFrames(2);
        doc.frameCount = 3;
        CHECK_FALSE(InsertToonFrame(&doc, 3));
        CHECK_FALSE(InsertToonFrame(&doc, -1));
        doc.frameCount = 2;
        CHECK(FrameTags() == std::vector<int>{ 1, 2 });
    }
}

TEST_CASE("delete removes the frame shown and shrinks the block")
{
    struct Row { int shown; std::vector<int> expected; };
    const Row rows[] = {
        { 0, { 2, 3, 4 } },
        { 1, { 1, 3, 4 } },
        { 3, { 1, 2, 3 } },
    };
    for (const Row &row : rows) {
        CAPTURE(row.shown);
        ResetDocument(4);
        TagFrames(4);
        doc.frameCount = 3;
        ENSURE(DeleteToonFrame(&doc, row.shown));
        CHECK(FrameTags() == row.expected);
        CHECK(GlobalSize(doc.frames) >= 3 * TOON_FRAME_BYTES);
        doc.frameCount = 4;
        ToonFrame out;
        CHECK_FALSE(GetToonFrame(&doc, 3, &out));   // the slot is gone, not just hidden
        doc.frameCount = 3;
    }

    SUBCASE("a shrink the system refuses still deletes, and the spare slot never comes back as a frame")
    {
        ResetDocument(4);
        TagFrames(4);
        doc.frameCount = 3;
        void *real = testing::PatchImport("kernel32.dll", "GlobalReAlloc", (void *)RefusingReAlloc);
        const int deleted = DeleteToonFrame(&doc, 1);
        testing::PatchImport("kernel32.dll", "GlobalReAlloc", real);
        CHECK(deleted);
        CHECK(FrameTags() == std::vector<int>{ 1, 3, 4 });
        doc.frameCount = 4;
        ENSURE(ResizeToonFrames(&doc));
        CHECK(FrameTags() == std::vector<int>{ 1, 3, 4, 0 });
    }
    SUBCASE("the count must have been lowered first")
    {
        ResetDocument(2);
        TagFrames(2);
        CHECK_FALSE(DeleteToonFrame(&doc, 0));   // count still 2: the block has no third frame
        CHECK(FrameTags() == std::vector<int>{ 1, 2 });
    }
}

TEST_CASE("resize appends zeroed frames even where frames were dropped before")
{
    ResetDocument(3);
    TagFrames(3);
    doc.frameCount = 1;
    ENSURE(ResizeToonFrames(&doc));
    doc.frameCount = 3;
    ENSURE(ResizeToonFrames(&doc));
    CHECK(FrameTags() == std::vector<int>{ 1, 0, 0 });
    CHECK(RawSlot(2) == std::string(TOON_FRAME_BYTES, '\0'));

    SUBCASE("an impossible size leaves the frames as they were")
    {
        doc.frameCount = INT_MAX;
        CHECK_FALSE(ResizeToonFrames(&doc));
        doc.frameCount = -1;
        CHECK_FALSE(ResizeToonFrames(&doc));
        doc.frameCount = 3;
        CHECK(FrameTags() == std::vector<int>{ 1, 0, 0 });
    }
    SUBCASE("no block, nothing to resize")
    {
        FreeToonFrames(&doc);
        CHECK(doc.frames == nullptr);
        CHECK(doc.frameCount == 3);   // freeing leaves the count alone
        CHECK_FALSE(ResizeToonFrames(&doc));
        CHECK_FALSE(InsertToonFrame(&doc, 0));
        CHECK_FALSE(DeleteToonFrame(&doc, 0));
    }
    SUBCASE("an allocation that cannot be made leaves no block")
    {
        CHECK_FALSE(AllocToonFrames(&doc, INT_MAX));
        CHECK(doc.frames == nullptr);
        CHECK_FALSE(AllocToonFrames(&doc, -1));
        CHECK(AllocToonFrames(&doc, 0));
    }
}

TEST_CASE("points scale from the toon's window size to the client area")
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 512, 384, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    ENSURE(window != nullptr);
    RECT client;
    GetClientRect(window, &client);
    ENSURE(client.right == 512);
    ENSURE(client.bottom == 384);

    struct Row { DWORD size; LONG x, y; int result; LONG sx, sy; };
    const Row rows[] = {
        { 0x03000400, 300, 200, 1, 150, 100 },
        { 0x03000400, -150, 0, 1, -75, 0 },
        { 0x03000400, -151, 1, 1, -75, 0 },   // truncation toward zero
        { 0x03000400, 2147483647, -2147483647 - 1, 1, 1073741823, -1073741824 },
        { 0x00010001, 2147483647, -2147483647 - 1, 1, LONG_MAX, LONG_MIN },
        { 0xFFFFFFFF, 65535, 65535, 1, 512, 384 },
        { 0, 300, 200, 0, 300, 200 },
        { 0x03000000, 300, 200, 0, 300, 200 },
        { 0x00000400, 300, 200, 0, 300, 200 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.size);
        CAPTURE(row.x);
        doc.header.windowSize = row.size;
        LONG x = row.x, y = row.y;
        CHECK(ScaleToonPoint(&doc, window, &x, &y) == row.result);
        CHECK(x == row.sx);
        CHECK(y == row.sy);
    }
    DestroyWindow(window);
}

TEST_CASE("the modified flag greys and enables the Save command")
{
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, IDM_FILESAVE, "&Save");
    AppendMenuA(file, MF_STRING, IDM_FRAMESAVE, "Other");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)file, "&File");
    HWND window = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, NULL, bar,
                                  GetModuleHandleA(NULL), NULL);
    ENSURE(window != nullptr);

    CHECK(SetToonModified(&doc, window, 0));
    CHECK(doc.modified == 0);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) != 0);
    CHECK((GetMenuState(bar, IDM_FRAMESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);
    CHECK(SetToonModified(&doc, window, 1));
    CHECK(doc.modified == 1);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);

    HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    CHECK(SetToonModified(&doc, plain, 0));
    CHECK(doc.modified == 0);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);
    DestroyWindow(plain);
    DestroyWindow(window);   // destroys its menu too
}
