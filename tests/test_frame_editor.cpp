#include <doctest.h>
#include <windows.h>
#include <commdlg.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "editor/frame_commands.h"
#include "editor/frame_editor.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/walk.h"
#include "show/saver_show.h"
#include "show/settings.h"
#include "toon/toon_document.h"
#include "resources/resource.h"
#include "support/canvas.h"
#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/support.h"


using testing::Command;
using testing::ComboItems;
using testing::EditorSession;
using testing::ItemText;
using testing::MenuEnabled;
using testing::WindowText;

namespace {

ToonDocument &toon = editorFrame.toon;
const int SCREEN_W = GetSystemMetrics(SM_CXSCREEN);
const int SCREEN_H = GetSystemMetrics(SM_CYSCREEN);


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
    for (int i = 0; GetToonFrame(&toon, i, &frame); ++i)
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
    testing::WithFrameEditor([](EditorSession &session) {
        HWND dialog = session.dialog;
        CHECK(WindowText(dialog) == "File: [Untitled]");
        CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(1));
        CHECK(Told(session, WM_ENABLEPLAY, 0));

        const int midX = (SCREEN_W - 50) / 2, midY = (SCREEN_H - 100) / 2;
        struct Row { const char *x, *y, *seconds; int wantX, wantY, wantPause; };
        const Row rows[] = {
            { "300", "200", "7", 300, 200, 7 },
            { "2000", "5000", "25", SCREEN_W + 150, SCREEN_H + 150, 20 },
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
            SetToonModified(&toon, dialog, 0);
            Command(dialog, IDC_FRAMESTORE);
            ToonFrame frame;
            CHECK_OR_RETURN(GetToonFrame(&toon, 0, &frame));
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
        CHECK_OR_RETURN(GetToonFrame(&toon, 0, &frame));
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
            CHECK_OR_RETURN(boxes.Seen().size() == 2u);
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
            CHECK_OR_RETURN(boxes.Seen().size() == 2u);
            CHECK(boxes.Seen()[0].text == "Save current changes? ");
            CHECK(boxes.Seen()[1].text == "Cannot Delete the Last Toon Frame");
            CHECK(boxes.Seen()[1].caption == "Error");
            CHECK(boxes.Seen()[1].icon == MB_ICONEXCLAMATION);
            CHECK(toon.frameCount == 1);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(1));
        }
    });
}

TEST_CASE("leaving the frame editor, Save and Save As: what is asked, what is written, what the caption says")
{
    const std::string folder = testing::TempDirectory("FrameEditorFiles");
    const std::string named = folder + "named.ptf";
    const std::string other = folder + "Other.PTF";
    const std::string namedBytes = testing::ToonBytes({ { 10, 20 }, { 30, 40 }, { 50, 60 } }, 3);
    const std::string otherBytes = testing::ToonBytes({ { 1, 2 } }, 9);
    SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK(testing::WriteFileBytes(named, namedBytes));
    CHECK(testing::WriteFileBytes(other, otherBytes));

    testing::WithFrameEditor([&](EditorSession &session) {
        // An untitled toon: Cancel and a cancelled name keep the frame
        // editor open, No keeps the changes in memory.
        HWND dialog = session.dialog;
        Type(dialog, IDC_FRAMETEXT, "draft");
        Command(dialog, IDC_FRAMESTORE);
        {
            Boxes boxes({ IDCANCEL, IDYES, IDCANCEL, IDNO });
            Command(dialog, IDM_FILEEXIT);
            CHECK(IsWindow(dialog));
            Command(dialog, IDM_FILEEXIT);
            CHECK(IsWindow(dialog));
            Command(dialog, IDM_FILEEXIT);
            CHECK_FALSE(IsWindow(dialog));
            CHECK_OR_RETURN(boxes.Seen().size() == 4u);
            CHECK(boxes.Seen()[0].text == "Save current changes? ");
            CHECK(boxes.Seen()[2].caption == "Save Toon File");
        }
        CHECK(FrameTexts() == std::vector<std::string>{ "draft" });
        CHECK(Told(session, WM_FRAMEDITCLOSED, 0));
        CHECK_FALSE(Told(session, WM_ENABLEPLAY, 1));

        // A named toon: No reads the file again, Save As asks before it overwrites.
        dialog = testing::OpenFrameEditorAgain(session);
        {
            Boxes boxes({ IDOK }, { named });
            CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_OPEN) == 1);
        }
        CHECK(WindowText(dialog) == "File: [named]");
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
            CHECK_OR_RETURN(boxes.Seen().size() == 2u);
            CHECK(boxes.Seen()[1].text == other + " - Toon File Already Exists!!\rOverwrite it?");
        }
        SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_READONLY);
        {
            Boxes boxes({ IDOK, IDYES, IDOK }, { other });
            Command(dialog, IDM_FILESAVEAS);
            CHECK_OR_RETURN(boxes.Seen().size() == 3u);
            CHECK(boxes.Seen()[2].text == "Cannot write to " + other + ".");
        }
        SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
        CHECK(testing::ReadFileBytes(other) == otherBytes);
        CHECK(WindowText(dialog) == "File: [named]");
        // Refused, or not written: the toon keeps its own name, and a
        // later Save goes there.
        Command(dialog, IDC_FRAMEAPPEND);
        Command(dialog, IDM_FILESAVE);
        CHECK(testing::ReadFileBytes(other) == otherBytes);
        CHECK(testing::ReadFileBytes(named).size() == 104u + 4 * 92);

        Command(dialog, IDC_FRAMEAPPEND);
        {
            Boxes boxes({ IDNO });
            Command(dialog, IDM_FILEEXIT);
            CHECK_OR_RETURN(boxes.Seen().size() == 1u);
            CHECK(lstrcmpiA(boxes.Seen()[0].text.c_str(), ("Save current changes? " + named).c_str()) == 0);
        }
        CHECK_FALSE(IsWindow(dialog));
        CHECK(toon.frameCount == 4);
        CHECK(session.told.back() == std::make_pair((UINT)WM_ENABLEPLAY, (WPARAM)1));

        dialog = testing::OpenFrameEditorAgain(session);
        CHECK(WindowText(dialog) == "File: [named]");
        {
            Boxes boxes({ IDOK, IDYES }, { other });
            Command(dialog, IDM_FILESAVEAS);
            CHECK(boxes.Seen().size() == 2u);
        }
        CHECK(WindowText(dialog) == "File: [other]");
        CHECK(testing::ReadFileBytes(other) == testing::ReadFileBytes(named));

        // The save question stores what the controls show before writing.
        Type(dialog, IDC_FRAMETEXT, "last words");
        SetToonModified(&toon, dialog, 1);
        Boxes boxes({ IDYES });
        Command(dialog, IDM_FILEEXIT);
        CHECK_FALSE(IsWindow(dialog));
        CHECK(testing::ReadFileBytes(other).substr(104 + 20, 11) == std::string("last words", 11));
    });
}

TEST_CASE("sound mode lists the toon directory's WAV files and stores \"PBF:\" and the name; the sound tools start through the shell")
{
    // The process works elsewhere: the list and the recorder go by the toon directory.
    const std::string elsewhere = testing::TempDirectory("FrameEditorElsewhere");
    SetCurrentDirectoryA(elsewhere.c_str());
    const std::string folder = testing::TempDirectory("FrameEditorSounds");
    const std::string longest = std::string(63, 'n') + ".wav";   // 67 characters: fits after "PBF:"
    for (const std::string &name : { std::string("a.wav"), std::string("Bee.wav"), longest,
                                     std::string(64, 'm') + ".wav", std::string("note.txt") })
        CHECK(testing::WriteFileBytes(folder + name, "RIFF"));
    lstrcpynA(settings.directory, folder.c_str(), sizeof settings.directory);
    testing::WithFrameEditor([&](EditorSession &session) {
        HWND dialog = session.dialog;
        for (int id : { IDM_PLAYSOUND, IDM_RECORDSOUND, IDM_SETVOLUME })
            CHECK_FALSE(MenuEnabled(dialog, id));
        Command(dialog, IDC_SOUNDMODE);
        CHECK(IsWindowVisible(GetDlgItem(dialog, IDC_SOUNDLIST)));
        CHECK_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_FRAMETEXT)));
        CHECK(testing::ListItems(dialog, IDC_SOUNDLIST) == std::vector<std::string>{ "a.wav", "Bee.wav", longest });
        CHECK_FALSE(MenuEnabled(dialog, IDM_PLAYSOUND));   // no wave output device here

        for (const std::string &name : { std::string("Bee.wav"), longest }) {
            SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)name.c_str());
            Command(dialog, IDC_FRAMESTORE);
            CHECK(FrameTexts() == std::vector<std::string>{ "PBF:" + name });
        }
        Boxes boxes({});
        CHECK(PlaySelectedSound(dialog) == 0);
        CHECK(boxes.Seen().empty());

        Command(dialog, IDC_FRAMEAPPEND);
        CHECK(IsDlgButtonChecked(dialog, IDC_TEXTMODE) == BST_CHECKED);
        Select(dialog, 0);
        CHECK(IsDlgButtonChecked(dialog, IDC_SOUNDMODE) == BST_CHECKED);
        CHECK(SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETCURSEL, 0, 0) == 2);
        Command(dialog, IDC_TEXTMODE);
        CHECK(ItemText(dialog, IDC_FRAMETEXT) == "");
        CHECK(IsWindowVisible(GetDlgItem(dialog, IDC_FRAMETEXT)));
        Command(dialog, IDC_SOUNDMODE);
        SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_SETCURSEL, (WPARAM)-1, 0);
        Command(dialog, IDC_FRAMESTORE);
        CHECK(FrameTexts()[0] == "PBF:");
    });

    // Stand-ins where the shell finds programs: the recorder, and only the
    // volume control that today's systems have.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string recorder = std::string(windows) + "\\sndrec32.exe";
    const std::string volume = std::string(windows) + "\\sndvol.exe";
    const std::string log = testing::TempDirectory("FrameEditorTools") + "started.log";
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("PIMBO_TOOL_LOG", log.c_str());
    for (const std::string &copy : { recorder, volume })
        CHECK(CopyFileA(testing::BinaryPath("doubles/sound-tool.exe").c_str(), copy.c_str(), FALSE));
    // The recorder starts beside the toon being edited.
    const std::string recorded = testing::TempDirectory("FrameEditorRecorded");
    testing::WithFrameEditor([&](EditorSession &session) {
        HWND dialog = session.dialog;
        CHECK(MenuEnabled(dialog, IDM_RECORDSOUND));
        CHECK(MenuEnabled(dialog, IDM_SETVOLUME));
        lstrcpynA(toon.fileName, (recorded + "mine.ptf").c_str(), sizeof toon.fileName);
        Command(dialog, IDM_RECORDSOUND);
        auto lines = [&] { const std::string text = testing::ReadFileBytes(log); return std::count(text.begin(), text.end(), '\n'); };
        CHECK(testing::PumpUntil([&] { return lines() == 1; }, 20000));
        Command(dialog, IDM_SETVOLUME);
        CHECK(testing::PumpUntil([&] { return lines() == 2; }, 20000));
    });
    std::string started = testing::ReadFileBytes(log);
    CharLowerA(&started[0]);
    std::string toonDir = recorded.substr(0, recorded.size() - 1), otherDir = elsewhere.substr(0, elsewhere.size() - 1);
    CharLowerA(&toonDir[0]);
    CharLowerA(&otherDir[0]);
    CHECK(started == "sndrec32.exe|" + toonDir + "\nsndvol.exe|" + otherDir + "\n");
    DeleteFileA(recorder.c_str());
    DeleteFileA(volume.c_str());
}

namespace {

// Where, within its 35-pixel row of the dropped-down list, the top-left
// corner of background tile `number` shows; (-1, -1) when it does not.
testing::Pixels TilePixels(int number)
{
    char name[8];
    snprintf(name, sizeof name, "bg%02d", number);
    HBITMAP tile = LoadBitmapA(GetModuleHandleA(NULL), name);
    testing::Pixels pixels = testing::ReadBitmap(tile);
    DeleteObject(tile);
    return pixels;
}

// Whether the stage's top-left corner shows background tile `number`.
bool StageShowsTile(int number)
{
    testing::Pump(100);
    const testing::Pixels tile = TilePixels(number);
    const testing::Pixels stage = testing::ReadClient(editorFrame.stageWindow);
    bool same = tile.width >= 16 && stage.width >= 16 && stage.height >= 16;
    for (int y = 0; same && y < 16; ++y)
        for (int x = 0; same && x < 16; ++x)
            same = stage.At(x, y) == tile.At(x, y);
    return same;
}

POINT TileCornerInList(HWND list, int number)
{
    const testing::Pixels corner = TilePixels(number);
    SendMessageA(list, LB_SETTOPINDEX, (WPARAM)(number - 1), 0);
    int row = (number - 1 - (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0)) * 35;
    UpdateWindow(list);
    testing::Pixels shown = testing::ReadClient(list);
    const int block = 24;
    for (int oy = 0; oy < 8; ++oy)
        for (int ox = 0; ox < 8; ++ox) {
            bool same = corner.width >= block && shown.width > ox + block && shown.height > row + oy + block;
            for (int y = 0; same && y < block; ++y)
                for (int x = 0; same && x < block; ++x)
                    same = shown.At(ox + x, row + oy + y) == corner.At(x, y);
            if (same)
                return { ox, oy };
        }
    return { -1, -1 };
}

int Scroll(HWND dialog, int code)
{
    HWND bar = GetDlgItem(dialog, IDC_CFGSPEED);
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, 1), (LPARAM)bar);
    return GetScrollPos(bar, SB_CTL);
}

}  // namespace

TEST_CASE("the configure dialog sets caption, background and speed on OK, and nothing on Cancel")
{
    testing::WithFrameEditor([](EditorSession &session) {
        HWND dialog = session.dialog;
        const std::string caption49 = "A caption of forty-nine characters, typed in ful!";
        std::vector<POINT> corners;
        std::vector<int> positions;
        std::string labels;
        auto script = [&](HWND box, int answer) {
            labels = WindowText(box) + "|" + ItemText(box, IDC_CFGFRAMECOUNT) + "|" + ItemText(box, IDC_CFGWIDTH) +
                     "|" + ItemText(box, IDC_CFGHEIGHT) + "|" + ItemText(box, IDC_CFGVERSION) + "|" +
                     ItemText(box, IDC_CFGCAPTION);
            HWND combo = GetDlgItem(box, IDC_CFGBACKGROUND);
            CHECK(SendMessageA(combo, CB_GETCOUNT, 0, 0) == 10);
            CHECK(SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0) == 35);
            COMBOBOXINFO info;
            info.cbSize = sizeof info;
            GetComboBoxInfo(combo, &info);
            SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
            for (int n = 1; n <= 10 && corners.size() < 10; ++n)
                corners.push_back(TileCornerInList(info.hwndList, n));
            SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
            positions.push_back(GetScrollPos(GetDlgItem(box, IDC_CFGSPEED), SB_CTL));
            for (int code : { SB_LINERIGHT, SB_LINERIGHT, SB_LINERIGHT, SB_PAGERIGHT, SB_THUMBPOSITION,
                              SB_THUMBTRACK, SB_PAGELEFT, SB_LINELEFT, SB_LINELEFT, SB_LINELEFT, SB_LINELEFT,
                              SB_PAGELEFT, SB_PAGERIGHT })
                positions.push_back(Scroll(box, code));
            SendMessageA(combo, CB_SETCURSEL, 3, 0);
            HWND edit = GetDlgItem(box, IDC_CFGCAPTION);
            SetWindowTextA(edit, "");
            testing::TypeChars(edit, caption49 + "xyz");
            return answer;
        };
        {
            testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &) {
                return box == dialog ? 0 : script(box, IDOK);
            });
            Command(dialog, IDM_FILECONFIGURE);
        }
        CHECK(labels == "Pimbo Toon Frame File|1|" + std::to_string(SCREEN_W - 50) + "|" +
                        std::to_string(SCREEN_H - 100) + "|1.2|Fizzy Pimbo's Parade");
        CHECK_OR_RETURN(corners.size() == 10u);
        for (const POINT &corner : corners)
            CHECK((corner.x == 4 && corner.y == 2));
        CHECK(positions == std::vector<int>{ 3, 4, 5, 5, 5, 5, 5, 4, 3, 2, 1, 1, 1, 2 });
        CHECK(std::string(toon.header.caption) == caption49.substr(0, 48));
        CHECK(std::string(toon.caption) == caption49.substr(0, 48));
        CHECK(toon.header.backgroundIndex == 4);
        CHECK(toon.header.frameSpeed == 2);
        CHECK(editorFrame.stage->speed == 2);
        CHECK(MenuEnabled(dialog, IDM_FILESAVE));
        CHECK(session.told.back() == std::make_pair((UINT)WM_TOONCHANGED, (WPARAM)0));
        CHECK(StageShowsTile(4));

        session.told.clear();
        SetToonModified(&toon, dialog, 0);
        const ToonHeader before = toon.header;
        {
            testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &) {
                return box == dialog ? 0 : script(box, IDCANCEL);
            });
            CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_CONFIGURE) == 1);
        }
        CHECK(labels.substr(labels.rfind('|') + 1) == caption49.substr(0, 48));
        CHECK(memcmp(&before, &toon.header, sizeof before) == 0);
        CHECK(editorFrame.stage->speed == 2);
        CHECK_FALSE(MenuEnabled(dialog, IDM_FILESAVE));
        CHECK(session.told == std::vector<std::pair<UINT, WPARAM>>{ { WM_TOONCHANGED, 0 } });
        CHECK(StageShowsTile(4));
    });
}

TEST_CASE("opening and closing the frame editor and the configure dialog leaves the GDI headroom as it was")
{
    testing::WithFrameEditor([](EditorSession &session) {
        testing::BoxCatcher catcher([](HWND box, const testing::CaughtBox &) {
            return box == frameEditorDialog ? 0 : IDCANCEL;
        });
        auto openAndClose = [&] {
            Command(session.dialog, IDM_FILECONFIGURE);
            Command(session.dialog, IDM_FILEEXIT);
            CHECK_FALSE(IsWindow(session.dialog));
            CHECK(testing::OpenFrameEditorAgain(session) != NULL);
        };
        // Warmed up first: the system's caches grow once in the first rounds.
        openAndClose();
        openAndClose();
        const int before = testing::GdiHeadroom();
        for (int i = 0; i < 20; ++i)
            openAndClose();
        const int after = testing::GdiHeadroom();
        MESSAGE("GDI headroom before " << before << ", after 20 rounds " << after);
        CHECK(after == before);
    });
}

TEST_CASE("closing the editor with the frame editor open asks to save the toon, on every path, never over a box")
{
    const std::string saved = testing::TempDirectory("FrameEditorClosing") + "kept.ptf";
    DeleteFileA(saved.c_str());
    testing::WithFrameEditor([&](EditorSession &session) {
        HWND dialog = session.dialog;
        Type(dialog, IDC_FRAMETEXT, "stored");
        Command(dialog, IDC_FRAMESTORE);
        Type(dialog, IDC_FRAMETEXT, "on show");
        const Stage *stage = editorFrame.stage;
        bool playing = false;
        // The stage's close, the close button, Exit, Windows' end and the
        // dialog's close, each refused: both windows stay, the toon walks on.
        auto closesRefused = [&] {
            SendMessageA(editorFrame.stageWindow, WM_CLOSE, 0, 0);
            SendMessageA(session.main, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)editorUi.closeButton);
            SendMessageA(session.main, WM_COMMAND, IDM_EXIT, 0);
            CHECK(SendMessageA(session.main, WM_QUERYENDSESSION, 0, 0) == FALSE);
            CHECK(CloseToonEditor() == 0);
            CHECK(IsWindow(session.main));
            CHECK(frameEditorDialog == dialog);
            CHECK((!playing || (stage->phase == PHASE_WALKING && stage->walk.timerRunning)));
            CHECK(FrameTexts() == std::vector<std::string>{ "stored" });
        };
        // Over a box of the frame editor (Configure; its own question, as
        // the toon walks) they ask nothing.
        for (int id : { IDM_FILECONFIGURE, IDM_FILENEW }) {
            if (id == IDM_FILENEW)
                CHECK((playing = TogglePlayback(editorFrame.stage) == 1));
            int asked = 0;
            testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &) {
                if (box == frameEditorDialog)
                    return 0;
                if (++asked == 1)
                    closesRefused();
                return IDCANCEL;
            });
            Command(dialog, id);
            CHECK(asked == 1);
        }
        Boxes boxes({ IDCANCEL, IDCANCEL, IDCANCEL, IDCANCEL, IDCANCEL, IDYES, IDOK }, { saved });
        closesRefused();
        SendMessageA(session.main, WM_COMMAND, IDM_EXIT, 0);
        CHECK_FALSE(IsWindow(session.main));
        CHECK_FALSE(IsWindow(dialog));
        CHECK(frameEditorDialog == NULL);
        CHECK_OR_RETURN(boxes.Seen().size() == 7u);
        for (int i = 0; i < 6; ++i)
            CHECK(boxes.Seen()[i].text == "Save current changes? ");
        CHECK(boxes.Seen()[6].caption == "Save Toon File");
        const std::string bytes = testing::ReadFileBytes(saved);
        CHECK(bytes.size() == 104u + 92u);
        CHECK(bytes.find("on show") != std::string::npos);
    });
}

namespace {

// A toon whose frames say the given texts, standing a little apart near
// the left edge, one second each.
std::string SayingToon(const std::vector<std::string> &texts)
{
    std::string bytes = testing::ToonBytes({}, 1);
    for (size_t i = 0; i < texts.size(); ++i)
        bytes += testing::FrameBytes(150 + 40 * (int)i, 300, (int)i, 1, 0, texts[i]);
    return bytes;
}

std::string FileText(const std::string &bytes, int frame)
{
    return bytes.size() < 104u + 92 * (frame + 1) ? "" : std::string(bytes.c_str() + 104 + 92 * frame + 20);
}

typedef BOOL(WINAPI *SaveDialog)(OPENFILENAMEA *);
SaveDialog realSaveDialog;

// What the save dialog does with a name longer than its buffer: it fails
// and leaves the length it would need in the buffer's first bytes.
BOOL WINAPI TooLongSaveDialog(OPENFILENAMEA *dialog)
{
    memset(dialog->lpstrFile, 'x', dialog->nMaxFile - 1);
    *(WORD *)dialog->lpstrFile = 300;
    dialog->lpstrFile[dialog->nMaxFile - 1] = '\0';
    return FALSE;
}

void ClickStage(int x, int y)
{
    SendMessageA(editorFrame.stageWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(editorFrame.stageWindow, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace

TEST_CASE("the user's frames, names and sound references survive Play, a cancelled or failed Open and a failed save dialog")
{
    const std::string folder = testing::TempDirectory("FrameEditorKeeps");
    const std::string played = folder + "played.ptf";
    CHECK(testing::WriteFileBytes(played, SayingToon({ "one", "two", "three" })));
    const std::string missing = folder + "missing.ptf";
    DeleteFileA(missing.c_str());
    // Far too big to be held: refused only once its header has been read.
    const std::string huge = folder + "huge.ptf";
    CHECK(testing::WriteFileBytes(huge, SayingToon({ "big" })));
    CHECK(testing::ExtendFile(huge, 3LL << 30));

    SUBCASE("after a Play the number box shows stored frames only, and Insert, Delete and Frame Save work on the frame it shows")
    {
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            {
                Boxes boxes({ IDOK }, { played });
                Command(dialog, IDM_FILEOPEN);
            }
            CHECK_OR_RETURN(Told(session, WM_ENABLEPLAY, 1));
            SendMessageA(session.main, WM_COMMAND, IDM_PLAY, 0);
            CHECK(testing::PumpUntil([] { return editorFrame.stage->frameShown == 2; }, 60000));
            SendMessageA(session.main, WM_COMMAND, IDM_PLAY, 0);   // Stop
            CHECK(Selected(dialog) == 0);
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "one");
            // Typed but not stored: gone once another frame is shown.
            Select(dialog, 1);
            Type(dialog, IDC_FRAMETEXT, "changed");
            Type(dialog, IDC_FRAMEX, "555");
            Select(dialog, 0);
            Select(dialog, 1);
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "two");
            CHECK(ItemText(dialog, IDC_FRAMEX) == "190");
            // The frame just played, picked: shown, and stored as it is.
            Select(dialog, 2);
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "three");
            Command(dialog, IDC_FRAMESTORE);
            CHECK(FrameTexts() == std::vector<std::string>{ "one", "two", "three" });

            Select(dialog, 1);
            Command(dialog, IDM_FRAMEINSERT);
            CHECK(Selected(dialog) == 1);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(4));
            CHECK(FrameTexts() == std::vector<std::string>{ "one", "", "two", "three" });
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "");
            CHECK(ItemText(dialog, IDC_FRAMEX) == "0");
            CHECK(ItemText(dialog, IDC_FRAMESECONDS) == "0");
            CHECK(SendDlgItemMessageA(dialog, IDC_POSELIST, LB_GETTOPINDEX, 0, 0) == 0);
            Type(dialog, IDC_FRAMETEXT, "new");
            Command(dialog, IDC_FRAMESTORE);
            ClickStage(900, 600);
            ToonFrame frame;
            CHECK(GetToonFrame(&toon, 1, &frame));
            CHECK(frame.x == 900);
            CHECK(FrameTexts() == std::vector<std::string>{ "one", "new", "two", "three" });

            // Delete shows the frame that took the place, or the one before the last.
            Select(dialog, 2);
            Command(dialog, IDM_FRAMEDELETE);
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "three");
            CHECK(Selected(dialog) == 2);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(3));
            Command(dialog, IDM_FRAMEDELETE);
            CHECK(ItemText(dialog, IDC_FRAMETEXT) == "new");
            CHECK(Selected(dialog) == 1);
            CHECK(ComboItems(dialog, IDC_FRAMENUMBER) == Numbers(2));
            CHECK(FrameTexts() == std::vector<std::string>{ "one", "new" });
        });
    }
    SUBCASE("a toon saved by the question before Open keeps its new name when the Open goes no further; so does a failed Open in the main window")
    {
        const std::string saved = folder + "Saved.ptf";
        DeleteFileA(saved.c_str());
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            Type(dialog, IDC_FRAMETEXT, "draft");
            Command(dialog, IDC_FRAMESTORE);
            {
                // Yes, a name, then the open dialog cancelled.
                Boxes boxes({ IDYES, IDOK, IDCANCEL }, { saved });
                CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_OPEN) == 1);
                CHECK(boxes.Seen().size() == 3u);
            }
            CHECK(FileText(testing::ReadFileBytes(saved), 0) == "draft");
            CHECK(std::string(toon.fileName) == saved);
            CHECK(WindowText(dialog) == "File: [saved]");
            // Files that cannot be read: the toon keeps its name and frames.
            for (const auto &file : { std::make_pair(missing, "Error opening file"), std::make_pair(huge, "Not enough memory.") }) {
                Boxes boxes({ IDOK, IDOK }, { file.first });
                Command(dialog, IDM_FILEOPEN);
                CHECK_OR_RETURN(boxes.Seen().size() == 2u);
                CHECK(boxes.Seen()[1].text == file.second);
                CHECK(std::string(toon.fileName) == saved);
                CHECK(FrameTexts() == std::vector<std::string>{ "draft" });
                CHECK(WindowText(dialog) == "File: [saved]");
            }
            Type(dialog, IDC_FRAMETEXT, "more");
            Command(dialog, IDC_FRAMESTORE);
            {
                Boxes boxes({ IDCANCEL });
                Command(dialog, IDM_FILESAVE);
                CHECK(boxes.Seen().empty());
            }
            CHECK(FileText(testing::ReadFileBytes(saved), 0) == "more");
            CHECK(GetFileAttributesA(missing.c_str()) == INVALID_FILE_ATTRIBUTES);

            // The main window's Open, cancelled or failed, keeps the toon, its caption and Play.
            FrameEditorKeys(GetModuleHandleA(NULL), IDA_EDIT);
            CHECK_OR_RETURN(frameEditorDialog == NULL);
            const std::string caption = toon.caption;
            for (const std::string &path : { std::string(), missing, huge }) {
                CAPTURE(path);
                Boxes boxes({ path.empty() ? IDCANCEL : IDOK, IDOK }, { path });
                SendMessageA(session.main, WM_COMMAND, IDM_OPEN, 0);
                CHECK(boxes.Seen().size() == (path.empty() ? 1u : 2u));
                CHECK(std::string(toon.fileName) == saved);
                CHECK(std::string(toon.caption) == caption);
                CHECK(FrameTexts() == std::vector<std::string>{ "more" });
                CHECK(IsWindowEnabled(editorUi.playButton));
            }
            CHECK(WindowText(testing::OpenFrameEditorAgain(session)) == "File: [saved]");
        });
    }
    SUBCASE("a name too long for the save question's dialog leaves the toon untitled")
    {
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            Type(dialog, IDC_FRAMETEXT, "draft");
            Command(dialog, IDC_FRAMESTORE);
            realSaveDialog = (SaveDialog)testing::PatchImport("comdlg32.dll", "GetSaveFileNameA", (void *)TooLongSaveDialog);
            const bool patched = realSaveDialog != nullptr;
            CHECK_OR_RETURN(patched);
            {
                Boxes boxes({ IDYES });
                Command(dialog, IDM_FILEEXIT);
                CHECK(boxes.Seen().size() == 1u);
            }
            testing::PatchImport("comdlg32.dll", "GetSaveFileNameA", (void *)realSaveDialog);
            CHECK(IsWindow(dialog));
            CHECK(toon.fileName[0] == '\0');
            CHECK(WindowText(dialog) == "File: [Untitled]");
            // Save still asks for a name instead of writing to the leftovers.
            Boxes boxes({ IDCANCEL });
            Command(dialog, IDM_FILESAVE);
            CHECK_OR_RETURN(boxes.Seen().size() == 1u);
            CHECK(boxes.Seen()[0].caption == "Save Toon File");
        });
    }
    SUBCASE("a sound reference the list does not hold stays until another file is chosen")
    {
        const std::string sounds = testing::TempDirectory("FrameEditorKeptSounds");
        CreateDirectoryA((sounds + "sub").c_str(), NULL);
        CHECK(testing::WriteFileBytes(sounds + "here.wav", "RIFF"));
        CHECK(testing::WriteFileBytes(sounds + "sub\\there.wav", "RIFF"));
        DeleteFileA((sounds + "gone.wav").c_str());
        // The toon's own folder, not the toon directory nor the process's.
        const std::string other = testing::TempDirectory("FrameEditorOtherToons");
        lstrcpynA(settings.directory, other.c_str(), sizeof settings.directory);
        SetCurrentDirectoryA(other.c_str());
        const std::string toonPath = sounds + "sounds.ptf";
        CHECK(testing::WriteFileBytes(toonPath, SayingToon({ "PBF:sub\\there.wav", "PBF:gone.wav", "PBF:here.wav" })));
        testing::WithFrameEditor([&](EditorSession &session) {
            HWND dialog = session.dialog;
            {
                Boxes boxes({ IDOK }, { toonPath });
                Command(dialog, IDM_FILEOPEN);
            }
            Command(dialog, IDC_SOUNDMODE);
            const std::vector<std::string> listed = testing::ListItems(dialog, IDC_SOUNDLIST);
            CHECK(listed.size() == 1u);
            CHECK(std::count(listed.begin(), listed.end(), "here.wav") == 1);
            CHECK(IsDlgButtonChecked(dialog, IDC_SOUNDMODE) == BST_CHECKED);
            CHECK(SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETCURSEL, 0, 0) == LB_ERR);
            Command(dialog, IDC_FRAMESTORE);
            ClickStage(900, 600);
            Select(dialog, 1);
            Command(dialog, IDM_FRAMESAVE);
            Select(dialog, 2);
            CHECK(SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETCURSEL, 0, 0) == 0);
            Command(dialog, IDC_FRAMESTORE);
            CHECK(FrameTexts() == std::vector<std::string>{ "PBF:sub\\there.wav", "PBF:gone.wav", "PBF:here.wav" });

            // Choosing a listed file replaces the reference.
            Select(dialog, 1);
            SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_SETCURSEL, 0, 0);
            Command(dialog, IDC_FRAMESTORE);
            CHECK(FrameEditorKeys(GetModuleHandleA(NULL), IDA_SAVE) == 1);
            const std::string written = testing::ReadFileBytes(toonPath);
            CHECK(FileText(written, 0) == "PBF:sub\\there.wav");
            CHECK(FileText(written, 1) == "PBF:here.wav");
            CHECK(FileText(written, 2) == "PBF:here.wav");
            ToonFrame frame;
            CHECK(GetToonFrame(&toon, 0, &frame));
            CHECK(frame.x == 900);
        });
    }
    DeleteFileA(huge.c_str());
}
