#include <doctest.h>

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "editor/frame_editor.h"
#include "engine/bubbles.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/config_dialog.h"
#include "show/settings.h"
#include "support/bevel_model.h"
#include "support/canvas.h"
#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/script.h"
#include "support/support.h"

#include <stdlib.h>
#include <string.h>
#include <memory>

using testing::Do;
using testing::WaitFor;

namespace {

HWND Dialog() { return testing::ConfigDialog(); }
HWND Editor() { return editorFrame.mainWindow; }
HWND Menu() { HWND menu = FindWindowA("#32768", NULL); return menu && IsWindowVisible(menu) ? menu : NULL; }

RECT ScreenRect(HWND window)
{
    RECT box = { 0, 0, 0, 0 };
    GetWindowRect(window, &box);
    return box;
}

POINT Centre(const RECT &box) { return POINT{ (box.left + box.right) / 2, (box.top + box.bottom) / 2 }; }

bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

// A pause in a script, measured from when the step is reached.
testing::ScriptStep Pause(DWORD ms)
{
    auto started = std::make_shared<DWORD>(0);
    return WaitFor("a pause", [=] {
        if (!*started)
            *started = GetTickCount() | 1;
        return GetTickCount() - *started >= ms;
    });
}


DWORD editStarted;

// The configuration dialog, "&Edit Toon Files.." pressed, the editor up; then
// the steps; the dialog is cancelled at the end. Returns the dialog's result.
INT_PTR RunEditorFromDialog(std::vector<testing::ScriptStep> steps)
{
    std::vector<testing::ScriptStep> all = {
        WaitFor("the configuration dialog", [] { return Dialog() != NULL; }),
        Do("Edit Toon Files", [] {
            editStarted = GetTickCount();
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        }),
        WaitFor("the editor", [] { return Editor() && IsWindowVisible(Editor()); }),
    };
    all.insert(all.end(), steps.begin(), steps.end());
    all.push_back(Do("Cancel", [] { PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }));
    INT_PTR result = -1;
    testing::RunScript(all, [&] {
        result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
    }, testing::EndEverything);
    return result;
}

void StartClean()
{
    testing::RemoveIni();
    WritePrivateProfileStringA(INI_SECTION, "Directory", testing::SourcePath("toons").c_str(),
                               INI_FILE);
    WritePrivateProfileStringA(INI_SECTION, "Paces Walked", "1000", INI_FILE);
}

Stage *TheStage() { return editorFrame.stage; }

std::string CurrentDirectory()
{
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    return current;
}

long StoredPaces()
{
    return (long)GetPrivateProfileIntA(INI_SECTION, "Paces Walked", -1, INI_FILE);
}
int Phase() { return TheStage() ? TheStage()->phase : -1; }
bool Walking() { return TheStage() && TheStage()->walk.timerRunning != 0; }

// Whether a rectangle of the client area shows a FramedBox exactly, or with
// no pen given, only the rings of a Frame3D.
bool ShowsBox(const testing::Pixels &client, const RECT &rect, int depth, COLORREF pen = CLR_INVALID,
              COLORREF brush = CLR_INVALID)
{
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (client.At(x, y) != testing::BevelPixel(rect, depth, x, y, client.At(x, y), pen, brush))
                return false;
    return true;
}

}  // namespace

TEST_CASE("the editor opens from the dialog at its place, walks in after a second and closes back every way")
{
    StartClean();
    const std::string started = CurrentDirectory();
    HWND first = NULL;
    std::string navigated;
    const std::string saved = testing::TempDirectory("EditorClosing") + "kept.ptf";
    DeleteFileA(saved.c_str());
    int questions = 0;
    testing::BoxCatcher boxes([&](HWND box, const testing::CaughtBox &caught) {
        if (caught.text == "Save current changes? ")
            return ++questions == 1 ? IDCANCEL : IDYES;
        return caught.caption == "Save Toon File" ? testing::TypeFileName(box, saved) : 0;
    });
    INT_PTR result = RunEditorFromDialog({
        Do("geometry at 1024 x 768", [] {
            const int width = 994 + 2 * GetSystemMetrics(SM_CXBORDER), height = 733 + 2 * GetSystemMetrics(SM_CYBORDER);
            const RECT box = ScreenRect(Editor()), expected = { (1024 - width) / 2, (768 - height) / 2,
                                                                 (1024 - width) / 2 + width, (768 - height) / 2 + height };
            CHECK(EqualRect(&box, &expected));
            CHECK(GetWindow(Editor(), GW_OWNER) == Dialog());
            CHECK(editorFrame.stageSize == MakePackedSize(974, 668));
            struct Row { HWND window; RECT place; } rows[] = {
                { editorFrame.stageWindow, { 10, 25, 984, 693 } },
                { editorUi.fileButton, { 10, 701, 85, 724 } },
                { editorUi.playButton, { 909, 701, 984, 724 } },
                { editorUi.actionButton, { 10, 4, 42, 19 } },
                { editorUi.minimizeButton, { 954, 4, 969, 19 } },
                { editorUi.closeButton, { 969, 4, 984, 19 } },
            };
            for (const Row &row : rows) {
                RECT place = ScreenRect(row.window);
                MapWindowPoints(NULL, Editor(), (POINT *)&place, 2);
                CHECK(EqualRect(&place, &row.place));
            }
            CHECK(testing::WindowText(editorUi.fileButton) == "&File");
            CHECK(testing::WindowText(editorUi.playButton) == "&Play");
            CHECK_FALSE(Enabled(editorUi.playButton));
        }),
        WaitFor("the entrance walk", Walking),
        Do("one second after the start, with the buttons locked", [] {
            DWORD elapsed = GetTickCount() - editStarted;
            CHECK(elapsed >= 1000);
            CHECK(elapsed < 3000);
            CHECK_FALSE(Enabled(editorUi.fileButton));
            CHECK_FALSE(Enabled(editorUi.actionButton));
            CHECK_FALSE(Enabled(editorUi.minimizeButton));
            CHECK(Enabled(editorUi.closeButton));
            testing::ClickScreen(Centre(ScreenRect(editorUi.closeButton)));
        }),
        WaitFor("the close button to close it", [] { return Editor() == NULL; }),
        Do("the dialog works on, and opens a second editor", [] {
            HWND statements = GetDlgItem(Dialog(), IDC_STATEMENTS);
            const LRESULT before = SendMessageA(statements, BM_GETCHECK, 0, 0);
            SendMessageA(statements, BM_CLICK, 0, 0);
            CHECK(SendMessageA(statements, BM_GETCHECK, 0, 0) != before);
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        }),
        WaitFor("a second editor that walks in", [] { return Editor() && Walking(); }),
        Do("up a directory in the dialog's list, and Edit again while it runs", [&] {
            first = Editor();
            const std::string before = settings.directory;
            HWND list = GetDlgItem(Dialog(), IDC_TOONLIST);
            SendMessageA(list, LB_SETCURSEL, (WPARAM)SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"[..]"), 0);
            SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_TOONLIST, LBN_DBLCLK), (LPARAM)list);
            navigated = settings.directory;
            CHECK(navigated != before);
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        }),
        Pause(500),
        Do("the same editor came forward, walking on; an unsaved frame, and the dialog's OK", [&] {
            CHECK(Editor() == first);
            CHECK(TheStage()->act);
            CHECK(OpenFrameEditor(Editor()));
            SetDlgItemTextA(frameEditorDialog, IDC_FRAMETEXT, "kept");
            testing::Command(frameEditorDialog, IDC_FRAMESTORE);
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }),
        WaitFor("the question, answered Cancel", [&] { return questions == 1; }),
        Pause(300),
        Do("both stay; the dialog's directory is still the one its list shows, and the process's is untouched", [&] {
            CHECK(Editor() == first);
            CHECK(Dialog() != NULL);
            CHECK(frameEditorDialog != NULL);
            CHECK(std::string(settings.directory) == navigated);
            CHECK(CurrentDirectory() == started);
        }),
    });
    // The dialog's Cancel asked once more: Yes saved the frame, and closed both.
    CHECK(result == 1);
    CHECK(questions == 2);
    CHECK(Editor() == NULL);
    CHECK(FindWindowA("ToonHelpClass", NULL) == NULL);
    CHECK(testing::ReadFileBytes(saved).find("kept") != std::string::npos);
}

TEST_CASE("the caption, system buttons and progress bar are drawn as specified, and the caption drags the window")
{
    StartClean();
    const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION), face = GetSysColor(COLOR_BTNFACE);
    const COLORREF grey = RGB(192, 192, 192), marker = RGB(255, 0, 255);
    auto barsShow = [&](bool active) {
        testing::Pixels client = testing::ReadClient(Editor());
        const COLORREF pen = active ? caption : face, brush = active ? caption : grey;
        return ShowsBox(client, editorUi.bar1, 1, pen, brush) && ShowsBox(client, editorUi.bar2, 1, pen, brush) &&
               ShowsBox(client, editorUi.leftWell, 1) && ShowsBox(client, editorUi.rightWell, 1);
    };
    RECT before = { 0, 0, 0, 0 };
    RunEditorFromDialog({
        Do("the caption layout", [] {
            const RECT left = { 8, 3, 43, 20 }, right = { 952, 3, 986, 20 };
            CHECK(EqualRect(&editorUi.leftWell, &left));
            CHECK(EqualRect(&editorUi.rightWell, &right));
            CHECK(editorUi.bar1.left == 44);
            CHECK(editorUi.bar2.right == 951);
            CHECK(editorUi.titleRect.left == editorUi.bar1.right + 5);
            CHECK(editorUi.bar2.left == editorUi.titleRect.right + 5);
            const int leftGap = editorUi.bar1.right - 8, rightGap = 986 - editorUi.bar2.left;
            CHECK(leftGap - rightGap >= -1);
            CHECK(leftGap - rightGap <= 1);
        }),
        WaitFor("caption bars in the active caption colour", [&] { return barsShow(true); }, 3000),
        Do("another window active", [] { SetForegroundWindow(Dialog()); }),
        WaitFor("grey caption bars", [&] { return barsShow(false); }, 3000),
        Do("the editor active again", [] { SetForegroundWindow(Editor()); }),
        WaitFor("active caption bars again", [&] { return barsShow(true); }, 3000),
        Do("the system buttons' glyphs", [&] {
            HBITMAP stripBitmap = LoadBitmapA(GetModuleHandleA(NULL), "sysbuts");
            testing::Pixels strip = testing::ReadBitmap(stripBitmap);
            DeleteObject(stripBitmap);
            CHECK(strip.width == 44);
            struct Row { HWND button; int column; } rows[] = {
                { editorUi.actionButton, 20 }, { editorUi.minimizeButton, 0 }, { editorUi.closeButton, 11 } };
            for (const Row &row : rows) {
                CAPTURE(row.column);
                testing::Pixels shown = testing::ReadClient(row.button);
                const RECT all = { 0, 0, shown.width, shown.height };
                const int depth = Enabled(row.button) ? -2 : 1;
                CHECK(testing::Differences(shown, [&](int x, int y) {
                    const int column = row.column + x - 2;
                    if (x < 2 || y < 2 || x >= shown.width - 2 || y >= shown.height - 2)
                        return testing::BevelPixel(all, depth, x, y, shown.At(x, y));
                    return column < strip.width ? strip.At(column, y - 2) : grey;
                }).empty());
            }
        }),
        Do("the progress bar, with parts of 4 pixels or less left alone", [&] {
            struct Row { int count, next; } rows[] = { { 1, 0 }, { 4, 4 }, { 4, 1 }, { 250, 1 }, { 250, 249 } };
            HDC dc = GetDC(Editor());
            for (const Row &row : rows) {
                CAPTURE(row.next);
                editorFrame.toon.frameCount = row.count;
                TheStage()->nextFrameIndex = row.next;
                const RECT bar = { 92, 733 - 31, 994 - 92, 733 - 12 };
                HBRUSH paint = CreateSolidBrush(marker);
                FillRect(dc, &bar, paint);
                DeleteObject(paint);
                DrawProgressBar(Editor());
                testing::Pixels client = testing::ReadClient(Editor());
                const int split = bar.left + (bar.right - bar.left) * row.next / row.count;
                const RECT done = { bar.left, bar.top, split, bar.bottom }, rest = { split, bar.top, bar.right, bar.bottom };
                const bool restDrawn = bar.right - split > 4, doneDrawn = split - bar.left > 4;
                CHECK(ShowsBox(client, rest, restDrawn ? 2 : 0, restDrawn ? face : marker, restDrawn ? grey : marker));
                CHECK(ShowsBox(client, done, doneDrawn ? -1 : 0, doneDrawn ? caption : marker,
                               doneDrawn ? caption : marker));
            }
            ReleaseDC(Editor(), dc);
            editorFrame.toon.frameCount = 1;
            TheStage()->nextFrameIndex = 0;
            before = ScreenRect(Editor());
            POINT from = Centre(editorUi.bar1);
            ClientToScreen(Editor(), &from);
            testing::DragScreen(from, POINT{ from.x + 40, from.y + 30 });
        }),
        WaitFor("the caption drag to move the window", [&] {
            RECT now = ScreenRect(Editor());
            return now.left == before.left + 40 && now.top == before.top + 30 && GetCapture() == NULL;
        }, 5000),
        Do("drags on the system buttons", [&] {
            before = ScreenRect(Editor());
            const POINT from = Centre(ScreenRect(editorUi.actionButton));
            testing::DragScreen(from, POINT{ from.x + 60, from.y + 50 });
        }),
        Pause(1000),
        Do("leave the window where it was", [&] {
            RECT now = ScreenRect(Editor());
            CHECK(EqualRect(&now, &before));
            CHECK(IsWindowVisible(Editor()));
        }),
    });
}

TEST_CASE("Play, Stop and Continue follow the play state by real keys on a shipped toon, locked while Pimbo acts; "
          "the stopped toon exports as a GIF; the paces of the editor and of a player beside it both reach the file")
{
    StartClean();
    const std::string directory = testing::TempDirectory("EditorPaces");
    CHECK(testing::WriteFileBytes(directory + "short.ptf", testing::ToonBytes({ { 500, 400 } }, 1)));
    WritePrivateProfileStringA(INI_SECTION, "Directory", directory.c_str(), INI_FILE);
    const std::string toonPath = testing::SourcePath("toons/greeting.ptf");
    const std::string gifPath = testing::TempDirectory("editor-export") + "stopped.gif";
    DeleteFileA(gifPath.c_str());
    std::string aboutVersion, aboutAfterEsc;
    testing::BoxCatcher boxes([&](HWND box, const testing::CaughtBox &caught) {
        if (caught.caption == "Open Toon File" || caught.caption == "Save As")
            return testing::TypeFileName(box, caught.caption == "Save As" ? gifPath : toonPath);
        if (caught.caption == "About") {
            char text[64] = "";
            GetDlgItemTextA(box, IDC_ABOUTVERSION, text, sizeof text);
            aboutVersion = text;
            SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            aboutAfterEsc = IsWindowVisible(box) ? "open" : "closed";
            return IDOK;
        }
        return 0;
    });
    auto menuItemGrayed = [](UINT id) { return (GetMenuState(editorFrame.popupMenu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    auto label = [] { return testing::WindowText(editorUi.playButton); };
    auto speaking = [] { return Phase() == PHASE_SPEAKING && !TheStage()->act; };
    int standingAt = -1;
    long entrance = 0, played = 0, walked = 0;
    RunEditorFromDialog({
        WaitFor("the entrance walk", Walking),
        Do("keys while Pimbo walks in", [] { testing::PressKeys({ VK_MENU, 'W' }); testing::PressKeys({ VK_MENU, 'F' });
                                             testing::PressKeys({ VK_CONTROL, 'O' }); testing::PressKeys({ VK_MENU, 'P' }); }),
        Pause(700),
        Do("did nothing", [&] {
            CHECK(Menu() == NULL);
            CHECK(TheStage()->randomFrame.pause == 7);   // still the entrance, no random act
            CHECK(label() == "&Play");
            CHECK(TheStage()->nextFrameIndex == 0);
            CHECK(boxes.Boxes().size() == 1);   // the configuration dialog only
        }),
        WaitFor("the entrance to end", [] { return TheStage()->introWalkDone && !Walking() && Enabled(editorUi.fileButton); }, 60000),
        Do("a toon played beside the editor", [&] {
            entrance = TheStage()->pacesWalked;
            CHECK(entrance == 16);
            HWND list = GetDlgItem(Dialog(), IDC_TOONLIST);
            SendMessageA(list, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)"short.ptf");
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_PLAYTOON, BN_CLICKED), (LPARAM)list);
        }),
        WaitFor("the player", [] { return FindWindowA("SaverWndClass", NULL) != NULL; }),
        WaitFor("the player to end its toon", [] { return FindWindowA("SaverWndClass", NULL) == NULL; }, 30000),
        Do("the player stored its own paces, the editor's wait for its close; Alt+F", [&] {
            played = StoredPaces() - 1000;
            CHECK(played > 0);
            CHECK(TheStage()->pacesWalked == entrance);
            SetForegroundWindow(Editor());
            testing::PressKeys({ VK_MENU, 'F' });
        }),
        WaitFor("the File menu", [] { return Menu() != NULL; }, 5000),
        Do("the menu above the File button, Play grayed, Edit not; About", [&] {
            CHECK(ScreenRect(Menu()).left == ScreenRect(Editor()).left + 11);
            CHECK(menuItemGrayed(IDM_PLAY));
            CHECK(menuItemGrayed(IDM_EXPORTGIF));   // no toon yet
            CHECK_FALSE(menuItemGrayed(IDM_EDIT));
            CHECK_FALSE(menuItemGrayed(IDM_OPEN));
            testing::PressKeys({ 'A' });
        }),
        WaitFor("the about box to come and go", [&] { return !aboutVersion.empty() && Menu() == NULL; }, 5000),
        Do("Ctrl+O", [&] {
            CHECK(aboutVersion == "Version 1.0.0");
            CHECK(aboutAfterEsc == "open");
            testing::PressKeys({ VK_CONTROL, 'O' });
        }),
        WaitFor("the toon read and Play enabled", [] { return editorFrame.toon.frameCount == 4 && Enabled(editorUi.playButton); }, 10000),
        Do("Alt+P", [&] {
            CHECK(strcmp(editorFrame.toon.caption, "Pimbo Says Hello") == 0);
            testing::PressKeys({ VK_MENU, 'P' });
        }),
        WaitFor("the walk to frame 1", [&] { return Walking() && Phase() == PHASE_WALKING; }, 5000),
        Do("Stop offered, File locked; then another window is activated", [&] {
            CHECK(label() == "&Stop");
            CHECK_FALSE(Enabled(editorUi.fileButton));
            CHECK_FALSE(Enabled(editorUi.actionButton));
            CHECK(Enabled(editorUi.playButton));
            SetForegroundWindow(Dialog());
        }),
        WaitFor("the walk paused", [&] { return label() == "&Continue" && !Walking(); }, 5000),
        Do("Continue clicked", [&] {
            CHECK(Phase() == PHASE_STOPPED_WALK);
            CHECK(Enabled(editorUi.fileButton));
            SetForegroundWindow(Editor());
            testing::ClickScreen(Centre(ScreenRect(editorUi.playButton)));
        }),
        WaitFor("Pimbo to speak at a frame", speaking, 20000),
        Do("Alt+S while he speaks", [&] {
            standingAt = TheStage()->frameShown;
            CHECK(TheStage()->nextFrameIndex == standingAt + 1);
            CHECK(label() == "&Stop");
            testing::PressKeys({ VK_MENU, 'S' });
        }),
        WaitFor("Continue offered", [&] { return label() == "&Continue"; }, 5000),
        Do("his plain face back, as a repaint draws him; the frame to come again; Alt+C", [&] {
            HDC dc = GetDC(editorFrame.stageWindow);
            const SpritePlace &at = TheStage()->character;
            const std::vector<uint32_t> shown = testing::GrabQuads(dc, at.x, at.y, SPRITE_SIZE, SPRITE_SIZE);
            RedrawWindow(editorFrame.stageWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
            CHECK((testing::GrabQuads(dc, at.x, at.y, SPRITE_SIZE, SPRITE_SIZE) == shown));
            ReleaseDC(editorFrame.stageWindow, dc);
            CHECK(TheStage()->nextFrameIndex == standingAt);
            CHECK(Enabled(editorUi.fileButton));
            testing::PressKeys({ VK_MENU, 'C' });
        }),
        WaitFor("Continue to walk to that frame again", [&] { return label() == "&Stop"; }, 5000),
        WaitFor("Pimbo to speak again", speaking, 20000),
        Do("at the same frame; Stop, then Exit from the menu", [&] {
            CHECK(TheStage()->frameShown == standingAt);
            testing::Pixels client = testing::ReadClient(Editor());
            CHECK(client.At(95, 733 - 20) == GetSysColor(COLOR_ACTIVECAPTION));
            testing::PressKeys({ VK_MENU, 'P' });
            testing::PressKeys({ VK_MENU, 'F' });
        }),
        WaitFor("the File menu", [] { return Menu() != NULL; }, 5000),
        Do("the stopped toon exported as a GIF", [&] {
            CHECK_FALSE(menuItemGrayed(IDM_PLAY));
            CHECK_FALSE(menuItemGrayed(IDM_EXPORTGIF));
            testing::PressKeys({ 'G' });
        }),
        WaitFor("the GIF written", [&] { return testing::ReadFileBytes(gifPath).size() > 1000 && Menu() == NULL; },
                20000),
        Do("a GIF of its own; the toon still stopped there; File, Exit", [&] {
            CHECK(testing::ReadFileBytes(gifPath).compare(0, 6, "GIF89a") == 0);
            CHECK(label() == "&Continue");
            CHECK(TheStage()->frameShown == standingAt);
            walked = TheStage()->pacesWalked;
            testing::PressKeys({ VK_MENU, 'F' });
        }),
        WaitFor("the File menu", [] { return Menu() != NULL; }, 5000),
        Do("Exit", [&] { testing::PressKeys({ 'X' }); }),
        WaitFor("the editor to close", [] { return Editor() == NULL; }, 5000),
    });
    CHECK(walked > entrance);
    CHECK(StoredPaces() == 1000 + played + walked);
}

namespace {

HWND runningEditor;
DWORD runningSince;
int runsWalked;

// Each editor is closed once Pimbo walks in, or after five seconds without.
void CALLBACK CloseWhenWalking(HWND, UINT, UINT_PTR, DWORD)
{
    if (!Editor())
        return;
    if (Editor() != runningEditor) {
        runningEditor = Editor();
        runningSince = GetTickCount();
    }
    if (Walking() || GetTickCount() - runningSince > 5000) {
        runsWalked += Walking() ? 1 : 0;
        runningEditor = NULL;
        CloseToonEditor();
    }
}

}  // namespace

TEST_CASE("opening and closing the editor twenty times leaves the GDI headroom unchanged")
{
    StartClean();
    runsWalked = 0;
    UINT_PTR timer = SetTimer(NULL, 0, 50, CloseWhenWalking);
    int before = 0;
    for (int run = 0; run <= 20; ++run) {
        // The first run makes what every later one shares.
        if (run == 1)
            before = testing::GdiHeadroom();
        testing::RunEditorAlone();
    }
    const int after = testing::GdiHeadroom();
    KillTimer(NULL, timer);
    MESSAGE("GDI headroom before " << before << ", after " << after);
    CHECK(after == before);
    // Closed in the middle of a walk, each left the next one free to walk in.
    CHECK(runsWalked == 21);
}

namespace {

// A command as the accelerators give it to the main window.
void Press(int id) { SendMessageA(Editor(), WM_COMMAND, MAKEWPARAM(id, 1), 0); }
void Click(HWND button) { SendMessageA(Editor(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)button); }

WNDPROC stageProcedure;
int stoppedAt = -1;

// Presses Stop on the first arrival at a frame, well within the half second
// before the speech: a script's poll may come too late for that.
LRESULT CALLBACK StopOnArrivalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcA(stageProcedure, window, message, wParam, lParam);
    if (message == WM_WALKDONE && stoppedAt < 0 && Phase() == PHASE_WAITING) {
        stoppedAt = TheStage()->nextFrameIndex;
        Click(editorUi.playButton);
    }
    return result;
}

}  // namespace

TEST_CASE("the play state starts clean in every editor, after Open, after the frame editor and in the walk off")
{
    StartClean();
    const std::string toonPath = testing::TempDirectory("EditorPlayState") + "two.ptf";
    CHECK(testing::WriteFileBytes(toonPath, testing::ToonBytes({ { 150, 300 }, { 250, 300 } }, 1)));
    int opens = 0;
    testing::BoxCatcher boxes([&](HWND box, const testing::CaughtBox &caught) {
        if (caught.caption != "Open Toon File")
            return 0;
        opens += 1;
        return testing::TypeFileName(box, toonPath);
    });
    auto label = [] { return testing::WindowText(editorUi.playButton); };
    auto opened = [&](int count) {
        return [&opens, count] { return opens == count && !FindWindowA("#32770", "Open Toon File"); };
    };
    auto readyAndFree = [&] {
        CHECK(label() == "&Play");
        CHECK(Phase() == PHASE_READY);
        CHECK(TheStage()->nextFrameIndex == 0);
        CHECK(Enabled(editorUi.fileButton));
        CHECK(Enabled(editorUi.playButton));
        CHECK(Enabled(editorUi.actionButton));
        CHECK(Enabled(editorUi.minimizeButton));
    };
    int standingAt = -1;
    RunEditorFromDialog({
        Do("no entrance; open the toon", [] { CancelEntrance(editorFrame.stage); Press(IDA_OPEN); }),
        WaitFor("the toon read", opened(1)),
        Do("Play", [] { Press(IDA_PLAY); }),
        WaitFor("the walk to frame 1", [] { return Walking() && Phase() == PHASE_WALKING; }),
        Do("close the editor in the middle of the walk; a second editor", [] {
            Click(editorUi.closeButton);
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        }),
        WaitFor("its entrance walk, an act", [] { return Editor() && Walking() && TheStage()->act; }),
        Do("a third editor", [] {
            CloseToonEditor();
            PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        }),
        WaitFor("the third editor", [] { return Editor() && IsWindowVisible(Editor()); }),
        Do("Play before any toon is read, around another window's activation: the entrance still due; Ctrl+O before it", [&] {
            Click(editorUi.playButton);
            SetForegroundWindow(Dialog());
            SetForegroundWindow(Editor());
            Click(editorUi.playButton);
            CHECK(label() == "&Play");
            CHECK_FALSE(Walking());
            CHECK(Phase() == PHASE_ENTRANCE_DUE);
            CHECK(Enabled(editorUi.actionButton));
            CHECK_FALSE(TheStage()->introWalkDone);
            Press(IDA_OPEN);
        }),
        WaitFor("the toon read", opened(2)),
        Do("Play, and Stop as he arrives at frame 1", [] {
            stoppedAt = -1;
            stageProcedure = (WNDPROC)SetWindowLongPtrA(editorFrame.stageWindow, GWLP_WNDPROC,
                                                        (LONG_PTR)StopOnArrivalProc);
            Press(IDA_PLAY);
        }),
        WaitFor("the Stop before he speaks", [] { return stoppedAt >= 0; }),
        Do("Continue offered", [&] {
            standingAt = stoppedAt;
            CHECK(label() == "&Continue");
        }),
        Pause(2500),
        Do("still paused at that frame, the entrance never taken; Open", [&] {
            CHECK(label() == "&Continue");
            CHECK_FALSE(TheStage()->act);
            CHECK_FALSE(TheStage()->introWalkDone);
            CHECK_FALSE(Walking());
            CHECK(TheStage()->nextFrameIndex == standingAt - 1);
            CHECK(Enabled(editorUi.fileButton));
            Press(IDA_OPEN);
        }),
        WaitFor("the toon read", opened(3)),
        Do("ready, the lock gone; Play to the end", [&] {
            readyAndFree();
            Press(IDA_PLAY);
        }),
        WaitFor("the walk off", [] { return Phase() == PHASE_WALKING_OFF && Walking(); }, 40000),
        Do("Play, the action and Edit while he walks off", [&] {
            Press(IDA_PLAY);
            Press(IDA_ACTION);
            Press(IDA_EDIT);
            CHECK(label() == "&Stop");
            CHECK_FALSE(Enabled(editorUi.fileButton));
            CHECK_FALSE(Enabled(editorUi.actionButton));
            CHECK(TheStage()->nextFrameIndex == 0);
            CHECK_FALSE(TheStage()->act);
            CHECK(frameEditorDialog == NULL);
        }),
        WaitFor("the walk off to end", [] { return !Walking(); }),
        Pause(1500),
        Do("out of sight and ready; a click on the stage, and Play and the action as he walks to it", [&] {
            readyAndFree();
            RECT stage;
            GetClientRect(editorFrame.stageWindow, &stage);
            CHECK((TheStage()->character.x + SPRITE_SIZE <= 0 || TheStage()->character.x >= stage.right));
            CHECK_FALSE(Walking());
            for (UINT_PTR id : { IDT_SPEECHDELAY, IDT_FRAMEPAUSE })
                CHECK_FALSE(KillTimer(editorFrame.stageWindow, id));
            SendMessageA(editorFrame.stageWindow, WM_LBUTTONDOWN, 0, MAKELPARAM(400, 300));
            CHECK(Walking());
            Press(IDA_PLAY);
            Press(IDA_ACTION);
            CHECK(TheStage()->nextFrameIndex == 0);
            CHECK_FALSE(TheStage()->act);
            Press(IDA_EDIT);
            CHECK(frameEditorDialog != NULL);
        }),
        WaitFor("the walk to the click to end", [] { return !Walking(); }),
        Do("the stage still shows the target; out of the frame editor and in again", [&] {
            CHECK(GetClassLongPtrA(editorFrame.stageWindow, GCLP_HCURSOR) == (LONG_PTR)editorUi.targetCursor);
            Press(IDA_EDIT);
            CHECK(frameEditorDialog == NULL);
            readyAndFree();
            // The entrance under the frame editor, which closes as he walks
            // in: he walks on, and the act keeps its lock.
            Press(IDA_EDIT);
            TheStage()->introWalkDone = 0;
            ScheduleEntrance(editorFrame.stage, 1000);
            SendMessageA(editorFrame.stageWindow, WM_TIMER, IDT_ENTRANCE, 0);
            CHECK(TheStage()->act);
            const POINT at = { TheStage()->character.x, TheStage()->character.y };
            Press(IDA_EDIT);
            CHECK(frameEditorDialog == NULL);
            CHECK(TheStage()->character.x == at.x);
            CHECK(TheStage()->character.y == at.y);
            CHECK_FALSE(Enabled(editorUi.actionButton));
            CHECK_FALSE(Enabled(editorUi.playButton));
        }),
    });
    CHECK(opens == 3);
}

TEST_CASE("closing the frame editor, Open in it and New leave nothing running, and Play starts the toon shown at frame 1")
{
    StartClean();
    const std::string folder = testing::TempDirectory("EditorResets");
    const std::string a = folder + "a.ptf", b = folder + "b.ptf";
    CHECK(testing::WriteFileBytes(a, testing::ToonBytes({ { 150, 300 }, { 250, 300 } }, 1)));
    CHECK(testing::WriteFileBytes(b, testing::ToonBytes({ { 700, 400 } }, 1)));
    auto openIn = [](HWND dialog, const std::string &name) {
        testing::BoxCatcher catcher([&](HWND box, const testing::CaughtBox &caught) {
            return caught.caption == "Open Toon File" ? testing::TypeFileName(box, name) : 0;
        });
        testing::Command(dialog, IDM_FILEOPEN);
    };
    auto closeFrameEditor = [](testing::EditorSession &) { FrameEditorKeys(GetModuleHandleA(NULL), IDA_EDIT); };
    struct Row {
        const char *sequence;
        int phase;                                            // reached before the reset
        std::function<void(testing::EditorSession &)> reset;
        LONG firstX;                                          // of the toon Play starts; 0: Play grayed
    } rows[] = {
        { "Ctrl+E while he pauses at a frame", PHASE_SPEAKING, closeFrameEditor, 150 },
        { "Ctrl+E during a walk", PHASE_WALKING, closeFrameEditor, 150 },
        { "Stop mid-walk, Ctrl+E, Open B in the frame editor", PHASE_WALKING,
          [&](testing::EditorSession &session) {
              Click(editorUi.playButton);
              closeFrameEditor(session);
              openIn(testing::OpenFrameEditorAgain(session), b);
          }, 700 },
        { "New in the frame editor", PHASE_WALKING,
          [](testing::EditorSession &session) { testing::Command(session.dialog, IDM_FILENEW); }, 0 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.sequence);
        testing::WithFrameEditor([&](testing::EditorSession &session) {
            openIn(session.dialog, a);
            Click(editorUi.playButton);
            CHECK_OR_RETURN(testing::PumpUntil([&] { return Phase() == row.phase; }, 20000));
            row.reset(session);
            const SpritePlace before = TheStage()->character;
            // Nothing plays on through the pause and a second after it.
            for (int look = 0; look < 2; ++look) {
                if (look)
                    testing::Pump(2000);
                CHECK(Phase() == PHASE_READY);
                CHECK(TheStage()->clip.device == 0);
                for (UINT_PTR id : { IDT_WALK, IDT_SPEECHDELAY, IDT_FRAMEPAUSE })
                    CHECK_FALSE(KillTimer(editorFrame.stageWindow, id));
                CHECK(TheStage()->character.x == before.x);
                CHECK(TheStage()->character.y == before.y);
                CHECK(testing::WindowText(editorUi.playButton) == "&Play");
                CHECK(Enabled(editorUi.playButton) == (row.firstX != 0));
            }
            if (!row.firstX)
                return;
            Click(editorUi.playButton);
            CHECK(Phase() == PHASE_WALKING);
            CHECK(TheStage()->frameShown == 0);
            CHECK(TheStage()->toonFrame.x == row.firstX);
        });
    }
}

TEST_CASE("at 192 DPI the editor is laid out twice as large, nothing over anything, and a click picks the same point")
{
    StartClean();
    testing::WithFrameEditor([](testing::EditorSession &session) {
        HWND stage = editorFrame.stageWindow;
        SendMessageA(stage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(121, 91));
        const POINT picked = { editFrame.x, editFrame.y };
        CHECK((picked.x == 121 && picked.y == 91));
        const RECT before = ScreenRect(session.main);
        RECT stageBefore;
        GetClientRect(stage, &stageBefore);

        RECT suggested = { before.left + 7, before.top + 5, before.left + 7 + 2 * (before.right - before.left),
                           before.top + 5 + 2 * (before.bottom - before.top) };
        SendMessageA(session.main, WM_DPICHANGED, MAKEWPARAM(192, 192), (LPARAM)&suggested);
        const RECT now = ScreenRect(session.main);
        CHECK((now.left == suggested.left && now.top == suggested.top));
        RECT client, stageNow;
        GetClientRect(session.main, &client);
        GetClientRect(stage, &stageNow);
        CHECK((stageNow.right == 2 * stageBefore.right && stageNow.bottom == 2 * stageBefore.bottom));
        std::vector<RECT> places;
        for (HWND control : { stage, editorUi.fileButton, editorUi.playButton, editorUi.actionButton,
                              editorUi.minimizeButton, editorUi.closeButton }) {
            RECT place = ScreenRect(control), common;
            MapWindowPoints(NULL, session.main, (POINT *)&place, 2);
            CHECK((IntersectRect(&common, &place, &client) && EqualRect(&common, &place)));
            for (const RECT &other : places)
                CHECK_FALSE(IntersectRect(&common, &place, &other));
            places.push_back(place);
        }
        CHECK((places[1].right - places[1].left == 150 && places[1].bottom - places[1].top == 46));
        CHECK((places[5].right - places[5].left == 30 && places[5].bottom - places[5].top == 30));
        LayoutCaption(session.main);
        RECT well = places[0];
        InflateRect(&well, 4, 4);
        CHECK(EqualRect(&well, &editorUi.stageWell));
        LOGFONTA font = {};
        GetObjectA((HFONT)SendMessageA(editorUi.fileButton, WM_GETFONT, 0, 0), sizeof font, &font);
        CHECK(font.lfHeight == -28);

        SendMessageA(stage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2 * 121 + 1, 2 * 91 + 1));
        CHECK((editFrame.x == picked.x && editFrame.y == picked.y));
        SendMessageA(session.main, WM_DPICHANGED, MAKEWPARAM(96, 96), (LPARAM)&before);
        const RECT back = ScreenRect(session.main);
        CHECK(EqualRect(&back, &before));
    });
}
