#include <doctest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "toon/toon_file.h"
#include "toon/toon_document.h"
#include "engine/stage.h"
#include "resources/resource.h"
#include "support/fuzz.h"
#include "support/support.h"

// REQUIRE needs exceptions, which the program is built without.
#define ENSURE(condition) do { bool ensured_ = (condition); CHECK_MESSAGE(ensured_, #condition); \
                               if (!ensured_) return; } while (0)

namespace {

ToonDocument doc;
const ShownFrame NO_FRAME = { nullptr, 0 };
const char *NO_CAPTION = "Error";    // what a box given no caption shows

// A window with a File menu holding Save, counting WM_TOONCHANGED.
int toonChangedCount;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TOONCHANGED) {
        ++toonChangedCount;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeOwner()
{
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, IDM_FILESAVE, "&Save");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)file, "&File");
    return testing::MakeTestWindow(OwnerProc, "ToonFileTestOwner", WS_OVERLAPPEDWINDOW, RECT{ 0, 0, 300, 200 }, bar);
}

bool SaveGrayed(HWND window)
{
    return (GetMenuState(GetMenu(window), IDM_FILESAVE, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

using testing::Le;

// Answers every box with the next of the given buttons, the last one again
// when they run out.
struct Answerer : testing::BoxCatcher {
    explicit Answerer(std::vector<int> answers)
        : testing::BoxCatcher([this, answers](HWND, const testing::CaughtBox &) {
              return answers[std::min(Boxes().size(), answers.size()) - 1];
          })
    {
    }
};

// The one box a failed file operation showed: no caption, OK alone.
void CheckOneError(const testing::BoxCatcher &boxes, const std::string &text, int icon)
{
    CHECK(boxes.Boxes().size() == 1u);
    if (boxes.Boxes().size() != 1u)
        return;
    const testing::CaughtBox &box = boxes.Boxes()[0];
    CHECK(box.text == text);
    CHECK(box.caption == NO_CAPTION);
    CHECK(box.icon == icon);
    CHECK(box.buttons == std::vector<int>{ IDOK });
}

std::string Directory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string directory = std::string(temp) + "pimbo-toon-file";
    CreateDirectoryA(directory.c_str(), NULL);
    return directory + "\\";
}

std::vector<std::string> DirectoryListing()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Directory() + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void ClearDirectory()
{
    for (const std::string &name : DirectoryListing()) {
        SetFileAttributesA((Directory() + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((Directory() + name).c_str());
    }
}

void SetFileName(const std::string &path)
{
    lstrcpynA(doc.fileName, path.c_str(), sizeof doc.fileName);
}

// A header as bytes: any signature, the given version and frameCount.
std::string HeaderBytes(uint32_t version, int32_t frameCount = 3, const char *caption = "Hello caption")
{
    std::string header(TOON_HEADER_BYTES, '\0');
    memcpy(&header[0], "Something Else Entire", 22);
    for (int i = 22; i < 32; ++i)
        header[i] = (char)(0xA0 + i);   // reserved bytes of someone else's tool
    header.replace(32, 4, Le(version, 4));
    strncpy(&header[36], caption, 52);
    header.replace(88, 4, Le(0x03000400, 4));
    header.replace(92, 4, Le((uint32_t)frameCount, 4));
    header.replace(96, 4, Le(4, 4));
    header.replace(100, 4, Le(7, 4));
    return header;
}

// Frame i as bytes: numbers from i, a text, and a tail behind it.
std::string FrameBytes(int i)
{
    const std::string text = "line " + std::to_string(i);
    std::string frame = testing::FrameBytes(100 * i - 150, -7 * i, i, 5, i & 1, text);
    frame.replace(20 + text.size() + 1, 6, "TAIL!!");
    for (int j = 60; j < 92; ++j)
        frame[j] = (char)(j + i);
    return frame;
}

std::string ToonBytes(int frames, uint32_t version = TOON_VERSION)
{
    std::string bytes = HeaderBytes(version);
    for (int i = 0; i < frames; ++i)
        bytes += FrameBytes(i);
    return bytes;
}

// The document's frames as raw bytes, tails included.
std::string BlockBytes(int frames)
{
    const char *base = (const char *)GlobalLock(doc.frames);
    if (!base)
        return std::string();
    std::string bytes(base, (size_t)frames * TOON_FRAME_BYTES);
    GlobalUnlock(doc.frames);
    return bytes;
}

// SetCursor as seen by the toon files: the owner's hourglass, then back.
HCURSOR cursorNow;
std::vector<HCURSOR> cursorsSet;
HCURSOR WINAPI RecordingSetCursor(HCURSOR cursor)
{
    cursorsSet.push_back(cursor);
    std::swap(cursor, cursorNow);
    return cursor;
}

void StartDocument(int frames)
{
    FreeToonFrames(&doc);
    doc.frameCount = 0;
    doc.modified = 0;
    doc.fileName[0] = '\0';
    if (frames > 0 && AllocToonFrames(&doc, frames))
        doc.frameCount = frames;
}

// Each case starts with an empty directory and an owner window, and
// leaves neither behind.
struct Owned {
    HWND owner = MakeOwner();
    Owned()
    {
        CHECK(owner != nullptr);
        ClearDirectory();
    }
    ~Owned()
    {
        ClearDirectory();
        DestroyWindow(owner);
    }
};

}  // namespace

TEST_CASE_FIXTURE(Owned, "a written toon is 104 bytes of header and 92 a frame, and reads back byte for byte")
{
    StartDocument(3);
    memcpy(&doc.header, HeaderBytes(TOON_VERSION, 99).data(), TOON_HEADER_BYTES);
    char *base = (char *)GlobalLock(doc.frames);
    ENSURE(base != nullptr);
    for (int i = 0; i < 3; ++i)
        memcpy(base + i * TOON_FRAME_BYTES, FrameBytes(i).data(), TOON_FRAME_BYTES);
    GlobalUnlock(doc.frames);
    std::string block = BlockBytes(3);

    std::string path = Directory() + "three.ptf";
    SetFileName(path);
    SetToonModified(&doc, owner, 1);
    Answerer boxes({ IDOK });
    const HCURSOR arrow = LoadCursor(NULL, IDC_ARROW), hourglass = LoadCursor(NULL, IDC_WAIT);
    doc.waitCursor = hourglass;
    cursorNow = arrow;
    void *realSetCursor = testing::PatchImport("user32.dll", "SetCursor", (void *)RecordingSetCursor);
    CHECK(WriteToonFile(&doc, owner) == 1);
    CHECK(boxes.Boxes().empty());
    CHECK(doc.modified == 0);
    CHECK(SaveGrayed(owner));
    CHECK(doc.header.frameCount == 3);

    std::string bytes = testing::ReadFileBytes(path);
    ENSURE(bytes.size() == 380u);
    CHECK(bytes.substr(0, 92) == HeaderBytes(TOON_VERSION, 99).substr(0, 92));   // reserved bytes kept
    CHECK(bytes.substr(92, 4) == Le(3, 4));
    CHECK(bytes.substr(104) == block);
    CHECK(DirectoryListing() == std::vector<std::string>{ "three.ptf" });   // no temporary left

    doc.header.frameSpeed = 3;
    doc.header.backgroundIndex = 0;
    doc.caption[0] = '\0';
    StartDocument(1);
    SetFileName(path);
    CHECK(ReadToonFile(&doc, owner) == 3);
    testing::PatchImport("user32.dll", "SetCursor", realSetCursor);
    CHECK(cursorsSet == std::vector<HCURSOR>{ hourglass, arrow, hourglass, arrow });
    CHECK(doc.frameCount == 3);
    CHECK(BlockBytes(3) == block);
    CHECK(doc.header.frameSpeed == 4);   // for the caller to apply
    CHECK(doc.header.backgroundIndex == 7);
    CHECK(std::string(doc.caption) == "Hello caption");
    CHECK(boxes.Boxes().empty());
}

TEST_CASE_FIXTURE(Owned, "the frame count comes from the file size, and short frames read as zero")
{
    // 20 frames' worth of non-zero bytes to cut files from.
    std::string full = ToonBytes(20);
    struct Row { size_t size; int frames; bool warned; };
    const Row rows[] = {
        { 380, 3, false }, { 379, 3, true }, { 470, 3, false }, { 471, 4, true },
        { 195, 1, true }, { 196, 1, false },
    };
    for (const Row &row : rows) {
        CAPTURE(row.size);
        ClearDirectory();
        std::string path = Directory() + "sized.ptf";
        ENSURE(testing::WriteFileBytes(path, full.substr(0, row.size)));
        StartDocument(2);
        SetFileName(path);
        Answerer boxes({ IDOK });
        int result = ReadToonFile(&doc, owner);
        CHECK(result == row.frames);
        CHECK(doc.frameCount == row.frames);
        if (row.warned)
            CheckOneError(boxes, "Error reading " + path + ".", MB_ICONEXCLAMATION);
        else
            CHECK(boxes.Boxes().empty());
        // What the file held is there; what it lacked is zero.
        size_t have = row.size - TOON_HEADER_BYTES;
        std::string expected = full.substr(TOON_HEADER_BYTES, have);
        expected.resize((size_t)row.frames * TOON_FRAME_BYTES, '\0');
        CHECK(BlockBytes(row.frames) == expected.substr(0, (size_t)row.frames * TOON_FRAME_BYTES));
    }
}

TEST_CASE_FIXTURE(Owned, "a file without a whole frame, of another version or too big to hold is refused with a word and the toon is kept")
{
    std::string path = Directory() + "stub.ptf";
    const std::string noFrames = "No toon frames in " + path + ".";
    struct Row { std::string bytes; std::string message; int icon; LONGLONG size; };
    std::vector<Row> rows = {
        { "", noFrames, MB_ICONEXCLAMATION, 0 }, { "P", noFrames, MB_ICONEXCLAMATION, 0 },
        { ToonBytes(1).substr(0, 103), noFrames, MB_ICONEXCLAMATION, 0 },
        { ToonBytes(1).substr(0, 104), noFrames, MB_ICONEXCLAMATION, 0 },
        { ToonBytes(1).substr(0, 194), noFrames, MB_ICONEXCLAMATION, 0 },
        { ToonBytes(2), "Not enough memory.", MB_ICONHAND, 3LL << 30 },
    };
    // Only the version word decides: no other version is read, however near.
    for (uint32_t version : { 0u, 0x20000u, 0x20002u, 0x10002u, 0xFFFFFFFFu })
        rows.push_back({ ToonBytes(2, version), "Invalid ToonFile Version " + path + ".", MB_ICONEXCLAMATION, 0 });
    for (const Row &row : rows) {
        CAPTURE(row.bytes.size());
        CAPTURE(row.message);
        ENSURE(testing::WriteFileBytes(path, row.bytes));
        ENSURE((!row.size || testing::ExtendFile(path, row.size)));
        StartDocument(2);
        ToonFrame kept = {};
        strcpy(kept.text, "kept");
        PutToonFrame(&doc, 1, &kept);
        memcpy(doc.header.caption, "old caption", 12);
        strcpy(doc.caption, "old caption");
        doc.header.frameSpeed = 2;
        SetFileName(path);
        Answerer boxes({ IDOK });
        CHECK(ReadToonFile(&doc, owner) == 0);
        CheckOneError(boxes, row.message, row.icon);
        CHECK(doc.frameCount == 2);
        CHECK(std::string(doc.fileName) == path);
        ToonFrame frame;
        CHECK((GetToonFrame(&doc, 1, &frame) && strcmp(frame.text, "kept") == 0));
        CHECK(strcmp(doc.header.caption, "old caption") == 0);
        CHECK(strcmp(doc.caption, "old caption") == 0);
        CHECK(doc.header.frameSpeed == 2);
    }
}

TEST_CASE_FIXTURE(Owned, "a file that cannot be opened leaves the document as it was")
{
    StartDocument(2);
    Answerer boxes({ IDOK });
    CHECK(ReadToonFile(&doc, owner) == 0);   // no name: nothing at all
    CHECK(boxes.Boxes().empty());

    // Held open by someone who shares nothing: as good as locked.
    std::string locked = Directory() + "locked.ptf";
    ENSURE(testing::WriteFileBytes(locked, ToonBytes(1)));
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ENSURE(holder != INVALID_HANDLE_VALUE);
    for (const std::string &path : { Directory() + "missing.ptf", locked }) {
        CAPTURE(path);
        SetFileName(path);
        ENSURE(doc.frames != nullptr);
        HGLOBAL frames = doc.frames;
        Answerer failed({ IDOK });
        CHECK(ReadToonFile(&doc, owner) == 0);
        CheckOneError(failed, "Error opening file", MB_ICONHAND);
        CHECK(doc.frames == frames);
        CHECK(doc.frameCount == 2);
    }
    CloseHandle(holder);
}

TEST_CASE_FIXTURE(Owned, "captions and texts without terminators stay within their fields")
{
    std::string bytes = ToonBytes(1);
    memset(&bytes[36], 'C', TOON_CAPTION_SIZE);
    memset(&bytes[TOON_HEADER_BYTES + 20], 'T', TOON_TEXT_SIZE);
    std::string path = Directory() + "unterminated.ptf";
    ENSURE(testing::WriteFileBytes(path, bytes));
    StartDocument(1);
    SetFileName(path);
    CHECK(ReadToonFile(&doc, owner) == 1);
    CHECK(std::string(doc.caption) == std::string(51, 'C'));
    ToonFrame frame;
    memset(&frame, 0, sizeof frame);
    CHECK(GetToonFrame(&doc, 0, &frame));
    CHECK(std::string(frame.text) == std::string(71, 'T'));

    // And the header goes back out as it came in.
    CHECK(WriteToonFile(&doc, owner) == 1);
    CHECK(testing::ReadFileBytes(path).substr(0, 92) == bytes.substr(0, 92));
}

TEST_CASE_FIXTURE(Owned, "a write that fails leaves the old toon file whole")
{
    std::string path = Directory() + "precious.ptf";
    const std::string old = ToonBytes(5);
    ENSURE(testing::WriteFileBytes(path, old));
    StartDocument(2);
    NewToonHeader(&doc, 0);
    SetFileName(path);
    SetToonModified(&doc, owner, 1);

    SUBCASE("the frames cannot all be written")
    {
        doc.frameCount = 3;   // one more than the block holds
        Answerer boxes({ IDOK });
        CHECK(WriteToonFile(&doc, owner) == 0);
        CheckOneError(boxes, "Error writing to " + path + ".", MB_ICONHAND);
    }
    SUBCASE("the old file is held open and cannot be replaced")
    {
        // Nothing reached the file: it is a file that cannot be written to.
        HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ENSURE(held != INVALID_HANDLE_VALUE);
        Answerer boxes({ IDOK });
        CHECK(WriteToonFile(&doc, owner) == 0);
        CloseHandle(held);
        CheckOneError(boxes, "Cannot write to " + path + ".", MB_ICONEXCLAMATION);
    }
    SUBCASE("the old file is read-only")
    {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        Answerer boxes({ IDOK });
        CHECK(WriteToonFile(&doc, owner) == 0);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        CheckOneError(boxes, "Cannot write to " + path + ".", MB_ICONEXCLAMATION);
    }
    CHECK(testing::ReadFileBytes(path) == old);
    CHECK(DirectoryListing() == std::vector<std::string>{ "precious.ptf" });
    CHECK(doc.modified == 1);
    CHECK_FALSE(SaveGrayed(owner));

    SUBCASE("a directory that does not exist")
    {
        std::string nowhere = Directory() + "no such dir\\x.ptf";
        SetFileName(nowhere);
        Answerer boxes({ IDOK });
        CHECK(WriteToonFile(&doc, owner) == 0);
        CheckOneError(boxes, "Cannot write to " + nowhere + ".", MB_ICONEXCLAMATION);
    }
}

namespace {

// MoveFileExA as Windows 9x has it: a stub.
BOOL WINAPI StubMoveFileEx(LPCSTR, LPCSTR, DWORD)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI RefusingMoveFile(LPCSTR, LPCSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

std::vector<std::string> SortedListing()
{
    std::vector<std::string> names = DirectoryListing();
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_CASE_FIXTURE(Owned, "where MoveFileExA is only a stub, a save deletes the old toon and moves the new one in")
{
    void *realMoveEx = testing::PatchImport("kernel32.dll", "MoveFileExA", (void *)StubMoveFileEx);
    ENSURE(realMoveEx != nullptr);
    std::string path = Directory() + "precious.ptf";
    const std::string old = ToonBytes(5);
    ENSURE(testing::WriteFileBytes(path, old));
    StartDocument(2);
    NewToonHeader(&doc, 0);
    SetFileName(path);
    SetToonModified(&doc, owner, 1);
    const size_t savedSize = TOON_HEADER_BYTES + 2 * TOON_FRAME_BYTES;
    Answerer boxes({ IDOK });
    bool refused = true;

    SUBCASE("over an old toon, and as a new file")
    {
        CHECK(WriteToonFile(&doc, owner) == 1);
        CHECK(testing::ReadFileBytes(path).size() == savedSize);
        std::string fresh = Directory() + "fresh.ptf";
        SetFileName(fresh);
        SetToonModified(&doc, owner, 1);
        CHECK(WriteToonFile(&doc, owner) == 1);
        CHECK(testing::ReadFileBytes(fresh) == testing::ReadFileBytes(path));
        CHECK(boxes.Boxes().empty());
        CHECK(SortedListing() == std::vector<std::string>{ "fresh.ptf", "precious.ptf" });
        CHECK(doc.modified == 0);
        refused = false;
    }
    SUBCASE("an old toon held open elsewhere stays whole")
    {
        HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ENSURE(held != INVALID_HANDLE_VALUE);
        CHECK(WriteToonFile(&doc, owner) == 0);
        CloseHandle(held);
        CHECK(testing::ReadFileBytes(path) == old);
        CHECK(DirectoryListing() == std::vector<std::string>{ "precious.ptf" });
    }
    SUBCASE("a move that fails once the old toon is gone keeps the new one in its temporary file")
    {
        void *realMove = testing::PatchImport("kernel32.dll", "MoveFileA", (void *)RefusingMoveFile);
        CHECK(realMove != nullptr);
        CHECK(WriteToonFile(&doc, owner) == 0);
        testing::PatchImport("kernel32.dll", "MoveFileA", realMove);
        std::vector<std::string> left = DirectoryListing();
        ENSURE(left.size() == 1u);
        CHECK(left[0] != "precious.ptf");
        std::string kept = testing::ReadFileBytes(Directory() + left[0]);
        CHECK(kept.size() == savedSize);
        CHECK(kept.substr(32, 4) == Le(TOON_VERSION, 4));
    }
    if (refused) {
        CHECK(doc.modified == 1);
        CheckOneError(boxes, "Cannot write to " + path + ".", MB_ICONEXCLAMATION);
        CHECK_FALSE(SaveGrayed(owner));
    }
    testing::PatchImport("kernel32.dll", "MoveFileExA", realMoveEx);
}

TEST_CASE("a new header takes the working caption and the stage size")
{
    memset(&doc.header, 0x5A, sizeof doc.header);
    lstrcpynA(doc.caption, "My toon", sizeof doc.caption);
    NewToonHeader(&doc, MakePackedSize(1024, 768));
    CHECK(std::string(doc.header.signature, 22) == std::string("Pimbo Toon Frame File", 22));
    CHECK(doc.header.reserved[0] == 0x5A);   // left as they were
    CHECK(doc.header.version == 0x20001u);
    CHECK(std::string(doc.header.caption) == "My toon");
    CHECK(doc.header.windowSize == 0x03000400u);
    CHECK(doc.header.frameCount == 1);
    CHECK(doc.header.frameSpeed == 3);
    CHECK(doc.header.backgroundIndex == 1);
}

TEST_CASE("toon file names end in .ptf in any case")
{
    CHECK(IsToonFileName("a.ptf"));
    CHECK(IsToonFileName("C:\\Toons\\DANCE.PTF"));
    CHECK(IsToonFileName(".Ptf"));
    CHECK_FALSE(IsToonFileName("a.ptf.bak"));
    CHECK_FALSE(IsToonFileName("ptf"));
    CHECK_FALSE(IsToonFileName(""));
    CHECK_FALSE(IsToonFileName(NULL));
}

namespace {

using testing::TypeFileName;

const int fileTypeCombo = 0x0470;   // cmb1

// The filter the dialog has chosen.
std::string FilterShown(HWND box)
{
    char text[128] = "";
    LRESULT chosen = SendDlgItemMessageA(box, fileTypeCombo, CB_GETCURSEL, 0, 0);
    SendDlgItemMessageA(box, fileTypeCombo, CB_GETLBTEXT, (WPARAM)chosen, (LPARAM)text);
    return text;
}

std::vector<std::string> FiltersOffered(HWND box)
{
    std::vector<std::string> filters;
    LRESULT count = SendDlgItemMessageA(box, fileTypeCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && i < 16; ++i) {
        char text[128] = "";
        if (SendDlgItemMessageA(box, fileTypeCombo, CB_GETLBTEXTLEN, (WPARAM)i, 0) < (LRESULT)sizeof text)
            SendDlgItemMessageA(box, fileTypeCombo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
        filters.push_back(text);
    }
    return filters;
}

BOOL CALLBACK FindFileList(HWND child, LPARAM found)
{
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "SysListView32") != 0)
        return TRUE;
    *(HWND *)found = child;
    return FALSE;
}

// The names the dialog lists, once it lists what wanted() accepts.
std::vector<std::string> FilesListed(HWND box, const std::function<bool(const std::vector<std::string> &)> &wanted)
{
    std::vector<std::string> names;
    testing::PumpUntil([&] {
        HWND list = NULL;
        EnumChildWindows(box, FindFileList, (LPARAM)&list);
        names.clear();
        LRESULT count = list ? SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : 0;
        for (LRESULT i = 0; i < count && i < 64; ++i) {
            char text[MAX_PATH] = "";
            LVITEMA item;
            ZeroMemory(&item, sizeof item);
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)i, (LPARAM)&item);
            names.push_back(text);
        }
        return wanted(names);
    }, 5000);
    return names;
}

bool Lists(const std::vector<std::string> &names, const char *stem)
{
    for (const std::string &name : names)
        if (name.compare(0, strlen(stem), stem) == 0)
            return true;
    return false;
}

}  // namespace

TEST_CASE_FIXTURE(Owned, "the save question")
{
    ToonFrame edited = {};
    edited.x = 321;
    strcpy(edited.text, "edited");
    const ShownFrame shown = { &edited, 0 };
    const std::string editedBytes((const char *)&edited, TOON_FRAME_BYTES), blank(TOON_FRAME_BYTES, '\0');
    StartDocument(1);
    NewToonHeader(&doc, 0);
    PrepareToonFileDialogs(&doc, owner, NULL);
    CHECK(doc.modified == 0);
    CHECK(SaveGrayed(owner));

    SUBCASE("nothing changed: no question")
    {
        Answerer boxes({ IDCANCEL });
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 1);
        CHECK(boxes.Boxes().empty());
    }
    SUBCASE("on a named toon No keeps the changes in memory, Cancel stops, Yes stores the shown frame and writes")
    {
        const std::string path = Directory() + "named.ptf";
        struct Row { int answer, result, modified; };
        for (const Row &row : { Row{ IDNO, 1, 1 }, Row{ IDCANCEL, 0, 1 }, Row{ IDYES, 1, 0 } }) {
            CAPTURE(row.answer);
            SetFileName(path);
            SetToonModified(&doc, owner, 1);
            Answerer boxes({ row.answer });
            CHECK(AskSaveToonChanges(&doc, owner, shown) == row.result);
            ENSURE(boxes.Boxes().size() == 1u);
            CHECK(boxes.Boxes()[0].text == "Save current changes? " + path);
            CHECK(boxes.Boxes()[0].caption == "Pimbo Toon Frame File");
            CHECK(boxes.Boxes()[0].icon == MB_ICONEXCLAMATION);
            CHECK(boxes.Boxes()[0].buttons == std::vector<int>{ IDYES, IDNO, IDCANCEL });
            CHECK(doc.modified == row.modified);
            CHECK(BlockBytes(1) == (row.answer == IDYES ? editedBytes : blank));
            CHECK(DirectoryListing().size() == (row.answer == IDYES ? 1u : 0u));
        }
        CHECK(testing::ReadFileBytes(path).substr(TOON_HEADER_BYTES) == editedBytes);
    }
    SUBCASE("Yes on an untitled toon asks for a name, used as typed")
    {
        SetToonModified(&doc, owner, 1);
        std::string typed = Directory() + "no extension";
        std::string filter;
        testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
            if (caught.caption == "Save Toon File") {
                filter = FilterShown(box);
                return TypeFileName(box, typed);
            }
            return IDYES;
        });
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 1);
        ENSURE(catcher.Boxes().size() == 2u);
        CHECK(catcher.Boxes()[0].text == "Save current changes? ");
        CHECK(catcher.Boxes()[1].caption == "Save Toon File");
        CHECK(filter == "Pimbo Toon Files (*.ptf)");
        CHECK(std::string(doc.fileName) == typed);
        CHECK(DirectoryListing() == std::vector<std::string>{ "no extension" });
        CHECK(BlockBytes(1) == editedBytes);
        CHECK(doc.modified == 0);
    }
    SUBCASE("a name picked for an untitled toon that is another toon's is asked about first")
    {
        std::string other = Directory() + "other.ptf";
        ENSURE(testing::WriteFileBytes(other, ToonBytes(4)));
        SetToonModified(&doc, owner, 1);
        int dialogs = 0;
        bool replace = false;
        testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
            if (caught.caption == "Save Toon File")
                return ++dialogs == 3 ? IDCANCEL : TypeFileName(box, other);
            if (caught.caption == "Warning")
                return replace ? IDYES : IDNO;
            return IDYES;
        });
        // No to the question: the name is asked for again, and the old
        // toon stays as it was when that is cancelled.
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 0);
        ENSURE(catcher.Boxes().size() == 6u);
        const testing::CaughtBox &question = catcher.Boxes()[2];
        CHECK(question.text == other + " - Toon File Already Exists!!\rOverwrite it?");
        CHECK(question.icon == MB_ICONQUESTION);
        CHECK(question.buttons == std::vector<int>{ IDYES, IDNO });
        CHECK(catcher.Boxes()[5].caption == "Save Toon File");
        CHECK(testing::ReadFileBytes(other) == ToonBytes(4));
        CHECK(doc.fileName[0] == '\0');
        CHECK(doc.modified == 1);
        CHECK(BlockBytes(1) == blank);

        // Yes writes over it.
        dialogs = 0;
        replace = true;
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 1);
        CHECK(std::string(doc.fileName) == other);
        CHECK(testing::ReadFileBytes(other).size() == 196u);
        CHECK(doc.modified == 0);
    }
    SUBCASE("a name the toon cannot be written to is not taken")
    {
        const std::string readOnly = Directory() + "read-only.ptf";
        ENSURE(testing::WriteFileBytes(readOnly, ToonBytes(4)));
        SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        SetToonModified(&doc, owner, 1);
        testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
            return caught.caption == "Save Toon File" ? TypeFileName(box, readOnly) : caught.caption == NO_CAPTION ? IDOK : IDYES;
        });
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 0);
        ENSURE(catcher.Boxes().size() == 4u);
        CHECK(catcher.Boxes()[3].text == "Cannot write to " + readOnly + ".");
        CHECK((doc.fileName[0] == '\0' && doc.modified == 1));
    }
    SUBCASE("cancelling the name cancels everything")
    {
        SetToonModified(&doc, owner, 1);
        Answerer boxes({ IDYES, IDCANCEL });
        CHECK(AskSaveToonChanges(&doc, owner, shown) == 0);
        CHECK(boxes.Boxes().size() == 2u);
        CHECK(doc.fileName[0] == '\0');
        CHECK(BlockBytes(1) == blank);
        CHECK(doc.modified == 1);
        CHECK(DirectoryListing().empty());

        SUBCASE("and so New and Open stop too")
        {
            Answerer again({ IDCANCEL });
            CHECK(NewToonFile(&doc, owner, shown) == 0);
            CHECK(OpenToonFileDialog(&doc, owner, shown) == 0);
            CHECK(again.Boxes().size() == 2u);
            for (const testing::CaughtBox &box : again.Boxes())
                CHECK(box.caption == "Pimbo Toon Frame File");
        }
    }
}

TEST_CASE_FIXTURE(Owned, "opening through the dialog, and New")
{
    std::string path = Directory() + "picked.ptf";
    ENSURE(testing::WriteFileBytes(path, ToonBytes(4)));
    StartDocument(1);
    PrepareToonFileDialogs(&doc, owner, NULL);

    std::string filter;
    testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
        if (caught.caption == "Open Toon File") {
            filter = FilterShown(box);
            return TypeFileName(box, path);
        }
        return IDOK;
    });
    CHECK(OpenToonFileDialog(&doc, owner, NO_FRAME) == 4);
    ENSURE(catcher.Boxes().size() == 1u);
    CHECK(catcher.Boxes()[0].caption == "Open Toon File");
    CHECK(filter == "Pimbo Toon Files (*.ptf)");
    CHECK(lstrcmpiA(doc.fileName, path.c_str()) == 0);
    CHECK(ReopenToonFile(&doc, owner) == 4);

    CHECK(NewToonFile(&doc, owner, NO_FRAME) == 1);   // nothing modified: no question
    CHECK(doc.fileName[0] == '\0');
    CHECK(ReopenToonFile(&doc, owner) == 0);
    CHECK(catcher.Boxes().size() == 1u);

    ToonDocument other = {};   // the dialogs were prepared for doc, yet name the document opening
    CHECK(OpenToonFileDialog(&other, owner, NO_FRAME) == 4);
    CHECK((lstrcmpiA(other.fileName, path.c_str()) == 0 && doc.fileName[0] == '\0'));
    FreeToonFrames(&other);
}

namespace {

// GetVersion as the systems before Windows 2000 answer it.
DWORD shownVersion;
DWORD WINAPI OldGetVersion(void)
{
    return shownVersion;
}

}  // namespace

// Their file dialogs refuse the record at today's size, which looked like
// Cancel: no toon could be opened or saved there.
TEST_CASE_FIXTURE(Owned, "on Windows 98 SE and NT 4 the file dialogs open and save toons")
{
    std::string picked = Directory() + "picked.ptf";
    std::string named = Directory() + "named.ptf";
    ENSURE(testing::WriteFileBytes(picked, ToonBytes(4)));
    HMODULE oldDialogs = LoadLibraryA(testing::BinaryPath("doubles/olddlg32.dll").c_str());
    ENSURE(oldDialogs != nullptr);
    void *realOpen = testing::PatchImport("comdlg32.dll", "GetOpenFileNameA",
                                          (void *)GetProcAddress(oldDialogs, "GetOpenFileNameA"));
    void *realSave = testing::PatchImport("comdlg32.dll", "GetSaveFileNameA",
                                          (void *)GetProcAddress(oldDialogs, "GetSaveFileNameA"));
    void *realVersion = testing::PatchImport("kernel32.dll", "GetVersion", (void *)OldGetVersion);
    CHECK(realOpen != nullptr);
    CHECK(realSave != nullptr);
    CHECK(realVersion != nullptr);

    const struct { const char *system; DWORD version; } systems[] = {
        { "Windows 98 SE", 0xC0000A04 },   // 4.10, high bit: not NT
        { "Windows NT 4", 0x05650004 },    // build 1381
    };
    for (const auto &row : systems) {
        std::string system = row.system;
        CAPTURE(system);
        shownVersion = row.version;
        StartDocument(1);
        PrepareToonFileDialogs(&doc, owner, NULL);
        SetEnvironmentVariableA("PIMBO_DIALOG_ANSWER", picked.c_str());
        CHECK(OpenToonFileDialog(&doc, owner, ShownFrame{ NULL, 0 }) == 4);
        CHECK(std::string(doc.fileName) == picked);

        SetEnvironmentVariableA("PIMBO_DIALOG_ANSWER", named.c_str());
        doc.fileName[0] = '\0';
        SetToonModified(&doc, owner, 1);
        Answerer boxes({ IDYES });
        CHECK(AskSaveToonChanges(&doc, owner, ShownFrame{ NULL, 0 }) == 1);
        CHECK(testing::ReadFileBytes(named).size() == TOON_HEADER_BYTES + 4 * TOON_FRAME_BYTES);
        DeleteFileA(named.c_str());
    }
    SetEnvironmentVariableA("PIMBO_DIALOG_ANSWER", NULL);
    testing::PatchImport("kernel32.dll", "GetVersion", realVersion);
    testing::PatchImport("comdlg32.dll", "GetSaveFileNameA", realSave);
    testing::PatchImport("comdlg32.dll", "GetOpenFileNameA", realOpen);
    FreeLibrary(oldDialogs);
}

TEST_CASE_FIXTURE(Owned, "a filter typed in the open dialog is offered again by the next file dialog")
{
    std::string toonPath = Directory() + "picked.ptf";
    ENSURE(testing::WriteFileBytes(toonPath, ToonBytes(2)));
    ENSURE(testing::WriteFileBytes(Directory() + "notes.txt", "not a toon"));
    StartDocument(1);
    PrepareToonFileDialogs(&doc, owner, NULL);

    std::vector<std::string> firstFilters, typedListing, secondFilters, customListing;
    std::string secondChosen;
    testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
        if (caught.caption == "Open Toon File") {
            firstFilters = FiltersOffered(box);
            // A pattern in the name field filters the listing and keeps the dialog open.
            SetDlgItemTextA(box, 0x047C, (Directory() + "*.txt").c_str());
            SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            typedListing = FilesListed(box, [](const std::vector<std::string> &names) {
                return Lists(names, "notes") && !Lists(names, "picked");
            });
            return TypeFileName(box, toonPath);
        }
        if (caught.caption == "Save Toon File") {
            secondFilters = FiltersOffered(box);
            secondChosen = FilterShown(box);
            HWND types = GetDlgItem(box, fileTypeCombo);
            SendMessageA(types, CB_SETCURSEL, 0, 0);
            SendMessageA(box, WM_COMMAND, MAKEWPARAM(fileTypeCombo, CBN_SELENDOK), (LPARAM)types);
            customListing = FilesListed(box, [](const std::vector<std::string> &names) {
                return Lists(names, "notes") && !Lists(names, "picked");
            });
            return IDCANCEL;
        }
        return IDYES;
    });
    CHECK(OpenToonFileDialog(&doc, owner, NO_FRAME) == 2);
    CHECK(firstFilters.size() >= 1u);
    CHECK(Lists(typedListing, "notes"));
    CHECK_FALSE(Lists(typedListing, "picked"));

    // The next use, after the record was prepared again: an untitled toon saved.
    PrepareToonFileDialogs(&doc, owner, NULL);
    doc.fileName[0] = '\0';
    SetToonModified(&doc, owner, 1);
    CHECK(AskSaveToonChanges(&doc, owner, NO_FRAME) == 0);
    ENSURE(catcher.Boxes().size() == 3u);
    ENSURE(secondFilters.size() == 2u);
    CHECK(secondFilters[1] == "Pimbo Toon Files (*.ptf)");
    CHECK(secondChosen == "Pimbo Toon Files (*.ptf)");
    CHECK(Lists(customListing, "notes"));
    CHECK_FALSE(Lists(customListing, "picked"));
}

TEST_CASE_FIXTURE(Owned, "a toon that is only read opens for reading: held by a reader elsewhere or marked read-only")
{
    const std::string path = Directory() + "shared.ptf";
    const std::string bytes = ToonBytes(3);
    ENSURE(testing::WriteFileBytes(path, bytes));
    StartDocument(1);
    PrepareToonFileDialogs(&doc, owner, NULL);

    // Another program reading it, letting others read but not write.
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ENSURE(holder != INVALID_HANDLE_VALUE);
    testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
        return caught.caption == "Open Toon File" ? TypeFileName(box, path) : IDOK;
    });
    CHECK(OpenToonFileDialog(&doc, owner, NO_FRAME) == 3);
    CHECK(BlockBytes(3) == bytes.substr(TOON_HEADER_BYTES));
    CHECK(std::string(doc.caption) == "Hello caption");
    CHECK(LoadToonByName(&doc, owner, path.c_str()) == 3);
    CHECK(catcher.Boxes().size() == 1u);
    CloseHandle(holder);   // saving over it is refused: the failed-write case

    CHECK(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    StartDocument(1);
    SetFileName(path);
    CHECK(ReadToonFile(&doc, owner) == 3);
    CHECK(BlockBytes(3) == bytes.substr(TOON_HEADER_BYTES));
    CHECK(catcher.Boxes().size() == 1u);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE_FIXTURE(Owned, "loading by name reads the toon, clears the modified flag and tells the window")
{
    std::string path = Directory() + "byname.ptf";
    ENSURE(testing::WriteFileBytes(path, ToonBytes(3)));
    StartDocument(1);
    toonChangedCount = 0;
    SetToonModified(&doc, owner, 1);

    Answerer boxes({ IDOK });
    CHECK(LoadToonByName(&doc, owner, path.c_str()) == 3);
    CHECK(doc.frameCount == 3);
    CHECK(doc.modified == 0);
    CHECK(toonChangedCount == 1);
    CHECK(BlockBytes(3) == ToonBytes(3).substr(TOON_HEADER_BYTES));
    CHECK(boxes.Boxes().empty());

    SUBCASE("a toon that cannot be read changes nothing more")
    {
        std::string missing = Directory() + "gone.ptf";
        SetToonModified(&doc, owner, 1);
        CHECK(LoadToonByName(&doc, owner, missing.c_str()) == 0);
        CHECK(boxes.Boxes().size() == 1u);
        CHECK(toonChangedCount == 1);
        CHECK(BlockBytes(3) == ToonBytes(3).substr(TOON_HEADER_BYTES));
        CHECK(std::string(doc.fileName) == path);
        CHECK(doc.modified == 1);
    }
    SUBCASE("a name longer than the document's is refused")
    {
        std::string longName(300, 'a');
        CHECK(LoadToonByName(&doc, owner, longName.c_str()) == 0);
        CHECK(boxes.Boxes().size() == 1u);
        CHECK(std::string(doc.fileName) == path);
    }
}

TEST_CASE_FIXTURE(Owned, "the toons we ship read cleanly and keep within their fields")
{
    struct Row { const char *name; int frames; };
    const Row rows[] = { { "greeting.ptf", 4 }, { "dance.ptf", 12 }, { "voice.ptf", 3 } };
    for (const Row &row : rows) {
        CAPTURE(row.name);
        std::string path = testing::SourcePath(std::string("toons/") + row.name);
        StartDocument(1);
        Answerer boxes({ IDOK });
        CHECK(LoadToonByName(&doc, owner, path.c_str()) == row.frames);
        CHECK(boxes.Boxes().empty());
        CHECK(doc.header.windowSize == 0x03000400u);
        CHECK(doc.header.frameCount == row.frames);
        CHECK((doc.header.frameSpeed >= 1 && doc.header.frameSpeed <= 5));
        CHECK((doc.header.backgroundIndex >= 1 && doc.header.backgroundIndex <= 10));
        CHECK(doc.caption[0] != '\0');
        for (int i = 0; i < row.frames; ++i) {
            ToonFrame frame;
            CHECK(GetToonFrame(&doc, i, &frame));
            CHECK((frame.pose >= 0 && frame.pose <= 15));
            CHECK((frame.pause >= 1 && frame.pause <= 20));
            CHECK((frame.wink == 0 || frame.wink == 1));
            CHECK((frame.x >= 0 && frame.x < 1024 && frame.y >= 0 && frame.y < 768));
            std::string text = frame.text;
            if (text.compare(0, 4, "PBF:") == 0) {
                std::string clip = testing::SourcePath("toons/" + text.substr(4));
                CHECK(GetFileAttributesA(clip.c_str()) != INVALID_FILE_ATTRIBUTES);
            }
        }
    }
}
