#include <doctest.h>
#include <string.h>
#include <deque>
#include <string>
#include <vector>

#include "editor/editor_controls.h"
#include "editor/frame_commands.h"
#include "editor/frame_editor.h"
#include "engine/messages.h"
#include "engine/walk.h"
#include "show/saver_show.h"
#include "show/settings.h"
#include "toon/toon_document.h"
#include "resources/resource.h"
#include "support/canvas.h"
#include "support/frame_editor_driver.h"
#include "support/support.h"

// REQUIRE needs exceptions, which the program is built without.
#define ENSURE(condition) do { bool ensured_ = (condition); CHECK_MESSAGE(ensured_, #condition); \
                               if (!ensured_) return; } while (0)

using testing::Command;
using testing::ComboItems;
using testing::EditorSession;
using testing::ItemText;
using testing::MenuEnabled;

namespace {

const int SCREEN_W = GetSystemMetrics(SM_CXSCREEN);
const int SCREEN_H = GetSystemMetrics(SM_CYSCREEN);

std::string Directory(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string directory = std::string(temp) + name;
    CreateDirectoryA(directory.c_str(), NULL);
    return directory + "\\";
}

// An untitled, unmodified document with no frames, as after start-up.
void Fresh()
{
    toon.fileName[0] = '\0';
    toon.modified = 0;
    FreeToonFrames();
    toon.frameCount = 0;
}

std::string Title(HWND window)
{
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<std::string> Numbers(int count)
{
    std::vector<std::string> numbers;
    for (int i = 1; i <= count; ++i)
        numbers.push_back(std::to_string(i));
    return numbers;
}

std::vector<std::string> FrameTexts()
{
    std::vector<std::string> texts;
    ToonFrame frame;
    for (int i = 0; GetToonFrame(i, &frame); ++i)
        texts.push_back(frame.text);
    return texts;
}

// Picks a frame in the number box as the user would.
void Select(HWND dialog, int index)
{
    HWND box = GetDlgItem(dialog, IDC_FRAMENUMBER);
    SendMessageA(box, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_FRAMENUMBER, CBN_SELCHANGE), (LPARAM)box);
}

int Selected(HWND dialog)
{
    return (int)SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_GETCURSEL, 0, 0);
}

void Type(HWND dialog, int id, const std::string &text)
{
    SetDlgItemTextA(dialog, id, text.c_str());
}

// Answers each box with the next answer (IDOK when they run out); a file
// dialog gets the next file name typed in first. The frame editor, a
// dialog too, is passed over when it becomes active again.
struct Boxes {
    std::deque<int> answers;
    std::deque<std::string> names;
    std::vector<testing::CaughtBox> seen;
    testing::BoxCatcher catcher;
    Boxes(std::deque<int> buttons, std::deque<std::string> fileNames = {})
        : answers(std::move(buttons)), names(std::move(fileNames)),
          catcher([this](HWND box, const testing::CaughtBox &caught) {
              if (box == frameEditorDialog)
                  return 0;
              seen.push_back(caught);
              int answer = IDOK;
              if (!answers.empty()) {
                  answer = answers.front();
                  answers.pop_front();
              }
              bool fileDialog = caught.caption == "Save Toon File" || caught.caption == "Open Toon File";
              if (fileDialog && answer == IDOK && !names.empty()) {
                  testing::TypeFileName(box, names.front());
                  names.pop_front();
              }
              return answer;
          })
    {
    }
    const std::vector<testing::CaughtBox> &Seen() const { return seen; }
};

bool Told(const EditorSession &session, UINT message, WPARAM wParam)
{
    for (const auto &told : session.told)
        if (told.first == message && told.second == wParam)
            return true;
    return false;
}

}  // namespace

TEST_CASE("typed values are kept within a frame's limits, and a toon holds 1 to 251 frames")
{
    Fresh();
    testing::WithFrameEditor([](EditorSession &session) {
        HWND dialog = session.dialog;
        CHECK(Title(dialog) == "File: [Untitled]");
        CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(1));
        CHECK(Told(session, WM_ENABLEPLAY, 0));

        const int midX = (SCREEN_W - 50) / 2, midY = (SCREEN_H - 100) / 2;
        struct Row { const char *x, *y, *seconds; int wantX, wantY, wantPause; };
        const Row rows[] = {
            { "300", "200", "7", 300, 200, 7 },
            { "2000", "5000", "25", SCREEN_W + 150, SCREEN_H + 150, 20 },
            { "1174", "918", "20", SCREEN_W + 150, SCREEN_H + 150, 20 },
            { "1173", "917", "19", SCREEN_W + 149, SCREEN_H + 149, 19 },
            { "-500", "-151", "-3", -150, -150, 1 },
            { "-149", "-150", "2", -149, -150, 2 },
            { "", "", "", midX, midY, 5 },
            { "0", "0", "0", midX, midY, 5 },
            { "99999999999", "abc", "1", midX, midY, 1 },
        };
        for (const Row &row : rows) {
            CAPTURE(row.x);
            Type(dialog, IDC_FRAMEX, row.x);
            Type(dialog, IDC_FRAMEY, row.y);
            Type(dialog, IDC_FRAMESECONDS, row.seconds);
            SetToonModified(dialog, 0);
            Command(dialog, IDC_FRAMESTORE);
            ToonFrame frame;
            ENSURE(GetToonFrame(0, &frame));
            CHECK(frame.x == row.wantX);
            CHECK(frame.y == row.wantY);
            CHECK(frame.pause == row.wantPause);
            CHECK(toon.modified == 1);
            CHECK(MenuEnabled(dialog, IDM_FILESAVE));
            // The boxes keep what was typed until the frame is shown again.
            CHECK(ItemText(dialog, IDC_FRAMEX) == row.x);
        }

        // 69 characters at most, a line break counting as two; pose and wink.
        HWND text = GetDlgItem(dialog, IDC_FRAMETEXT);
        SetWindowTextA(text, "");
        testing::TypeChars(text, "Hi\r" + std::string(80, 'z'));
        SendDlgItemMessageA(dialog, IDC_POSELIST, LB_SETTOPINDEX, 15, 0);
        SendDlgItemMessageA(dialog, IDC_FRAMEWINK, BM_CLICK, 0, 0);
        Command(dialog, IDM_FRAMESAVE);
        ToonFrame frame;
        ENSURE(GetToonFrame(0, &frame));
        CHECK(std::string(frame.text) == "Hi\r\n" + std::string(65, 'z'));
        CHECK(frame.pose == 15);
        CHECK(frame.wink == 1);

        {
            Boxes boxes({});
            for (int i = 0; i < 300 && toon.frameCount < MAX_TOON_FRAMES; ++i)
                Command(dialog, IDC_FRAMEAPPEND);
            CHECK(boxes.Seen().empty());
            CHECK(toon.frameCount == 251);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(251));
            CHECK(Selected(dialog) == 250);
            Command(dialog, IDM_FRAMENEW);
            Command(dialog, IDM_FRAMEINSERT);
            ENSURE(boxes.Seen().size() == 2u);
            for (const testing::CaughtBox &box : boxes.Seen()) {
                CHECK(box.text == "No More Toon Frames Allowed");
                CHECK(box.caption == "Error");
                CHECK(box.icon == MB_ICONEXCLAMATION);
                CHECK(box.buttons == std::vector<int>{ IDOK });
            }
            CHECK(toon.frameCount == 251);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER).size() == 251u);
        }
        {
            Boxes boxes({ IDNO, IDOK });
            Command(dialog, IDM_FILENEW);
            CHECK(toon.frameCount == 1);
            Command(dialog, IDM_FRAMEDELETE);
            ENSURE(boxes.Seen().size() == 2u);
            CHECK(boxes.Seen()[0].text == "Save current changes? ");
            CHECK(boxes.Seen()[1].text == "Cannot Delete the Last Toon Frame");
            CHECK(boxes.Seen()[1].caption == "Error");
            CHECK(boxes.Seen()[1].icon == MB_ICONEXCLAMATION);
            CHECK(toon.frameCount == 1);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(1));
        }
    });
}

TEST_CASE("navigation shows stored frames only; insert and delete keep the number box in step")
{
    Fresh();
    testing::WithFrameEditor([](EditorSession &session) {
        HWND dialog = session.dialog;
        for (int i = 0; i < 5; ++i) {
            if (i > 0)
                Command(dialog, IDC_FRAMEAPPEND);
            Type(dialog, IDC_FRAMETEXT, "frame " + std::to_string(i + 1));
            Type(dialog, IDC_FRAMEX, std::to_string(100 + i));
            Command(dialog, IDC_FRAMESTORE);
        }
        CHECK(FrameTexts() == std::vector<std::string>{ "frame 1", "frame 2", "frame 3", "frame 4", "frame 5" });

        Select(dialog, 1);
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "frame 2");
        Type(dialog, IDC_FRAMETEXT, "changed");
        Type(dialog, IDC_FRAMEX, "555");
        Select(dialog, 2);
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "frame 3");
        Select(dialog, 1);
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "frame 2");
        CHECK(ItemText(dialog, IDC_FRAMEX) == "101");

        Command(dialog, IDM_FRAMEDELETE);   // frame 2 of five
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "frame 3");
        CHECK(Selected(dialog) == 1);
        CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(4));

        Select(dialog, 3);
        Command(dialog, IDM_FRAMEDELETE);   // the last frame
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "frame 4");
        CHECK(Selected(dialog) == 2);
        CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(3));

        Select(dialog, 0);
        Command(dialog, IDM_FRAMEINSERT);
        CHECK(Selected(dialog) == 0);
        CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(4));
        CHECK(FrameTexts() == std::vector<std::string>{ "", "frame 1", "frame 3", "frame 4" });
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "");
        CHECK(ItemText(dialog, IDC_FRAMEX) == "0");
        CHECK(ItemText(dialog, IDC_FRAMESECONDS) == "0");
        CHECK(SendDlgItemMessageA(dialog, IDC_POSELIST, LB_GETTOPINDEX, 0, 0) == 0);
        Select(dialog, 1);
        CHECK(ItemText(dialog, IDC_FRAMEX) == "100");
    });
}

TEST_CASE("leaving the frame editor, Save and Save As: what is asked, what is written, what the caption says")
{
    const std::string folder = Directory("FrameEditorFiles");
    const std::string named = folder + "named.ptf";
    const std::string other = folder + "Other.PTF";
    const std::string namedBytes = testing::ToonBytes({ { 10, 20 }, { 30, 40 }, { 50, 60 } }, 3);
    const std::string otherBytes = testing::ToonBytes({ { 1, 2 } }, 9);
    CHECK(testing::WriteFileBytes(named, namedBytes));
    CHECK(testing::WriteFileBytes(other, otherBytes));

    SUBCASE("an untitled toon: Cancel and a cancelled name keep the editor open, No keeps the changes in memory")
    {
        Fresh();
        testing::WithFrameEditor([](EditorSession &session) {
            HWND dialog = session.dialog;
            Type(dialog, IDC_FRAMETEXT, "draft");
            Command(dialog, IDC_FRAMESTORE);
            Boxes boxes({ IDCANCEL, IDYES, IDCANCEL, IDNO });
            Command(dialog, IDM_FILEEXIT);
            CHECK(IsWindow(dialog));
            Command(dialog, IDM_FILEEXIT);
            CHECK(IsWindow(dialog));
            Command(dialog, IDM_FILEEXIT);
            CHECK_FALSE(IsWindow(dialog));
            ENSURE(boxes.Seen().size() == 4u);
            CHECK(boxes.Seen()[0].text == "Save current changes? ");
            CHECK(boxes.Seen()[0].caption == "Pimbo Toon Frame File");
            CHECK(boxes.Seen()[0].icon == MB_ICONEXCLAMATION);
            CHECK(boxes.Seen()[0].buttons == std::vector<int>{ IDYES, IDNO, IDCANCEL });
            CHECK(boxes.Seen()[2].caption == "Save Toon File");
            CHECK(FrameTexts() == std::vector<std::string>{ "draft" });
            CHECK(Told(session, WM_FRAMEDITCLOSED, 0));
            CHECK_FALSE(Told(session, WM_ENABLEPLAY, 1));
        });
    }
    SUBCASE("a named toon: No reads the file again, Save As asks before it overwrites")
    {
        Fresh();
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            {
                Boxes boxes({ IDOK }, { named });
                CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_OPEN) == 1);
            }
            CHECK(Title(dialog) == "File: [named]");
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(3));
            CHECK(Told(session, WM_ENABLEPLAY, 1));

            // Nothing modified: Save writes nothing, even over a changed file.
            CHECK(testing::WriteFileBytes(named, otherBytes));
            Command(dialog, IDM_FILESAVE);
            CHECK(testing::ReadFileBytes(named) == otherBytes);
            CHECK(testing::WriteFileBytes(named, namedBytes));

            // Typed but not stored: Ctrl+S writes the toon without it.
            Type(dialog, IDC_FRAMETEXT, "not stored");
            SendDlgItemMessageA(dialog, IDC_FRAMEWINK, BM_CLICK, 0, 0);
            CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_SAVE) == 1);
            CHECK(testing::ReadFileBytes(named).substr(104) == namedBytes.substr(104));
            CHECK_FALSE(MenuEnabled(dialog, IDM_FILESAVE));

            {
                Boxes boxes({ IDOK, IDNO }, { other });
                Command(dialog, IDM_FILESAVEAS);
                ENSURE(boxes.Seen().size() == 2u);
                CHECK(boxes.Seen()[1].text == other + " - Toon File Already Exists!!\rOverwrite it?");
                CHECK(boxes.Seen()[1].caption == "Warning");
                CHECK(boxes.Seen()[1].icon == MB_ICONQUESTION);
                CHECK(boxes.Seen()[1].buttons == std::vector<int>{ IDYES, IDNO });
            }
            CHECK(testing::ReadFileBytes(other) == otherBytes);
            CHECK(Title(dialog) == "File: [named]");
            // Refused: the toon keeps its own name, and a later Save goes there.
            Command(dialog, IDC_FRAMEAPPEND);
            Command(dialog, IDM_FILESAVE);
            CHECK(testing::ReadFileBytes(other) == otherBytes);
            CHECK(testing::ReadFileBytes(named).size() == 104u + 4 * 92);

            Command(dialog, IDC_FRAMEAPPEND);
            Boxes boxes({ IDNO });
            Command(dialog, IDM_FILEEXIT);
            CHECK_FALSE(IsWindow(dialog));
            CHECK(toon.frameCount == 4);
            CHECK(session.told.back() == std::make_pair((UINT)WM_ENABLEPLAY, (WPARAM)1));
        });
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            CHECK(Title(dialog) == "File: [named]");
            {
                Boxes boxes({ IDOK, IDYES }, { other });
                Command(dialog, IDM_FILESAVEAS);
                CHECK(boxes.Seen().size() == 2u);
            }
            CHECK(Title(dialog) == "File: [other]");
            CHECK(testing::ReadFileBytes(other) == testing::ReadFileBytes(named));

            // The save question stores what the controls show before writing.
            Type(dialog, IDC_FRAMETEXT, "last words");
            SetToonModified(dialog, 1);
            Boxes boxes({ IDYES });
            Command(dialog, IDM_FILEEXIT);
            CHECK_FALSE(IsWindow(dialog));
            CHECK(testing::ReadFileBytes(other).substr(104 + 20, 11) == std::string("last words", 11));
        });
    }
}
