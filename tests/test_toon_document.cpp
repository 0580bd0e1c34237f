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

void ResetDocument(int count)
{
    FreeToonFrames();
    toon.frameCount = 0;
    toon.currentFrame = 0;
    if (count > 0) {
        ENSURE(AllocToonFrames(count));
        toon.frameCount = count;
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
        ENSURE(PutToonFrame(i, &frame));
    }
}

// The x of every frame in order, 0 for an all-zero frame.
std::vector<int> FrameTags()
{
    std::vector<int> tags;
    for (int i = 0; i < toon.frameCount; ++i) {
        ToonFrame frame;
        CHECK(GetToonFrame(i, &frame));
        tags.push_back(frame.x);
    }
    return tags;
}

// The raw bytes of one slot, read past any terminator.
std::string RawSlot(int index)
{
    const char *base = (const char *)GlobalLock(toon.frames);
    if (!base)
        return std::string();
    std::string bytes(base + (size_t)index * TOON_FRAME_BYTES, TOON_FRAME_BYTES);
    GlobalUnlock(toon.frames);
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
    CHECK_FALSE(GetToonFrame(0, &out));   // no block at all
    CHECK_FALSE(PutToonFrame(0, &out));

    ResetDocument(3);
    for (int i = 0; i < 3; ++i) {
        CHECK(RawSlot(i) == std::string(TOON_FRAME_BYTES, '\0'));
        ToonFrame frame = MakeFrame(9, "junk");
        ENSURE(GetToonFrame(i, &frame));
        CHECK(IsZeroFrame(frame));
    }

    for (int index : { -1, 3, INT_MIN, INT_MAX }) {
        CAPTURE(index);
        ToonFrame before = MakeFrame(7, "untouched");
        ToonFrame after = before;
        CHECK_FALSE(GetToonFrame(index, &after));
        CHECK(memcmp(&before, &after, sizeof before) == 0);
        CHECK_FALSE(PutToonFrame(index, &before));
    }

    // A count raised ahead of the block must not let reads run past it.
    toon.frameCount = 4;
    CHECK_FALSE(GetToonFrame(3, &out));
    CHECK_FALSE(PutToonFrame(3, &out));
    toon.frameCount = 3;
}

TEST_CASE("a shorter text leaves the old one's tail behind its terminator")
{
    ResetDocument(2);
    const char *longText = "0123456789abcdefghijklmnopqrstuvwxyzABCD";   // 40 characters
    ToonFrame frame = MakeFrame(1, longText);
    ENSURE(PutToonFrame(1, &frame));
    frame = MakeFrame(2, "short text");
    ENSURE(PutToonFrame(1, &frame));

    std::string slot = RawSlot(1).substr(20);
    CHECK(slot.substr(0, 11) == std::string("short text", 11));
    CHECK(slot.substr(11, 30) == std::string(longText + 11, 30));   // 12th to 40th and its NUL

    ToonFrame out;
    memset(&out, 'Z', sizeof out);
    ENSURE(GetToonFrame(1, &out));
    CHECK(std::string(out.text) == "short text");
    CHECK(out.x == 2);
    CHECK(out.pose == 2);
    CHECK(out.pause == 3);
    for (size_t i = 11; i < TOON_TEXT_SIZE; ++i)
        CHECK(out.text[i] == 'Z');   // bytes after the terminator are the caller's
}

TEST_CASE("texts without a terminator are cut to 71 characters both ways")
{
    ResetDocument(1);
    ToonFrame frame = MakeFrame(1, "");
    memset(frame.text, 'q', TOON_TEXT_SIZE);
    ENSURE(PutToonFrame(0, &frame));
    std::string slot = RawSlot(0).substr(20);
    CHECK(slot == std::string(71, 'q') + '\0');

    // As a file may deliver it: the slot itself unterminated.
    char *base = (char *)GlobalLock(toon.frames);
    memset(base + 20, 'r', TOON_TEXT_SIZE);
    GlobalUnlock(toon.frames);
    ToonFrame out;
    memset(&out, 'Z', sizeof out);
    ENSURE(GetToonFrame(0, &out));
    CHECK(std::string(out.text) == std::string(71, 'r'));
}

TEST_CASE("insert opens an all-zero frame at the current index")
{
    struct Row { int current; std::vector<int> expected; };
    const Row rows[] = {
        { 0, { 0, 1, 2, 3, 4 } },
        { 2, { 1, 2, 0, 3, 4 } },
        { 3, { 1, 2, 3, 0, 4 } },   // only the old last frame moves
    };
    for (const Row &row : rows) {
        CAPTURE(row.current);
        ResetDocument(4);
        TagFrames(4);
        toon.currentFrame = row.current;
        toon.frameCount = 5;
        ENSURE(InsertToonFrame());
        CHECK(FrameTags() == row.expected);
        ToonFrame inserted;
        ENSURE(GetToonFrame(row.current, &inserted));
        CHECK(IsZeroFrame(inserted));
        CHECK(RawSlot(row.current) == std::string(TOON_FRAME_BYTES, '\0'));
        ToonFrame moved;
        ENSURE(GetToonFrame(row.current + 1, &moved));
        CHECK(std::string(moved.text) == "frame " + std::to_string(row.current + 1));
    }

    SUBCASE("an index outside the raised count inserts nothing")
    {
        ResetDocument(2);
        TagFrames(2);
        toon.frameCount = 3;
        toon.currentFrame = 3;
        CHECK_FALSE(InsertToonFrame());
        toon.currentFrame = -1;
        CHECK_FALSE(InsertToonFrame());
        toon.frameCount = 2;
        CHECK(FrameTags() == std::vector<int>{ 1, 2 });
    }
}

TEST_CASE("delete removes the current frame and shrinks the block")
{
    struct Row { int current; std::vector<int> expected; };
    const Row rows[] = {
        { 0, { 2, 3, 4 } },
        { 1, { 1, 3, 4 } },
        { 3, { 1, 2, 3 } },
    };
    for (const Row &row : rows) {
        CAPTURE(row.current);
        ResetDocument(4);
        TagFrames(4);
        toon.currentFrame = row.current;
        toon.frameCount = 3;
        ENSURE(DeleteToonFrame());
        CHECK(FrameTags() == row.expected);
        CHECK(GlobalSize(toon.frames) >= 3 * TOON_FRAME_BYTES);
        toon.frameCount = 4;
        ToonFrame out;
        CHECK_FALSE(GetToonFrame(3, &out));   // the slot is gone, not just hidden
        toon.frameCount = 3;
    }

    SUBCASE("a shrink the system refuses still deletes, and the spare slot never comes back as a frame")
    {
        ResetDocument(4);
        TagFrames(4);
        toon.currentFrame = 1;
        toon.frameCount = 3;
        void *real = testing::PatchImport("kernel32.dll", "GlobalReAlloc", (void *)RefusingReAlloc);
        const int deleted = DeleteToonFrame();
        testing::PatchImport("kernel32.dll", "GlobalReAlloc", real);
        CHECK(deleted);
        CHECK(FrameTags() == std::vector<int>{ 1, 3, 4 });
        toon.frameCount = 4;
        ENSURE(ResizeToonFrames());
        CHECK(FrameTags() == std::vector<int>{ 1, 3, 4, 0 });
    }
    SUBCASE("the count must have been lowered first")
    {
        ResetDocument(2);
        TagFrames(2);
        toon.currentFrame = 0;
        CHECK_FALSE(DeleteToonFrame());   // count still 2: the block has no third frame
        CHECK(FrameTags() == std::vector<int>{ 1, 2 });
    }
}

TEST_CASE("resize appends zeroed frames even where frames were dropped before")
{
    ResetDocument(3);
    TagFrames(3);
    toon.frameCount = 1;
    ENSURE(ResizeToonFrames());
    toon.frameCount = 3;
    ENSURE(ResizeToonFrames());
    CHECK(FrameTags() == std::vector<int>{ 1, 0, 0 });
    CHECK(RawSlot(2) == std::string(TOON_FRAME_BYTES, '\0'));

    SUBCASE("an impossible size leaves the frames as they were")
    {
        toon.frameCount = INT_MAX;
        CHECK_FALSE(ResizeToonFrames());
        toon.frameCount = -1;
        CHECK_FALSE(ResizeToonFrames());
        toon.frameCount = 3;
        CHECK(FrameTags() == std::vector<int>{ 1, 0, 0 });
    }
    SUBCASE("no block, nothing to resize")
    {
        FreeToonFrames();
        CHECK(toon.frames == nullptr);
        CHECK(toon.frameCount == 3);   // freeing leaves the count alone
        CHECK_FALSE(ResizeToonFrames());
        CHECK_FALSE(InsertToonFrame());
        CHECK_FALSE(DeleteToonFrame());
    }
    SUBCASE("an allocation that cannot be made leaves no block")
    {
        CHECK_FALSE(AllocToonFrames(INT_MAX));
        CHECK(toon.frames == nullptr);
        CHECK_FALSE(AllocToonFrames(-1));
        CHECK(AllocToonFrames(0));
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
        toon.header.windowSize = row.size;
        LONG x = row.x, y = row.y;
        CHECK(ScaleToonPoint(window, &x, &y) == row.result);
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

    CHECK(SetToonModified(window, 0));
    CHECK(toon.modified == 0);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) != 0);
    CHECK((GetMenuState(bar, IDM_FRAMESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);
    CHECK(SetToonModified(window, 1));
    CHECK(toon.modified == 1);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);

    HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    CHECK(SetToonModified(plain, 0));
    CHECK(toon.modified == 0);
    CHECK((GetMenuState(bar, IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) == 0);
    DestroyWindow(plain);
    DestroyWindow(window);   // destroys its menu too
}
