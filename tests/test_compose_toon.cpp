#include <doctest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/config_dialog.h"
#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/screen_watch.h"
#include "support/script.h"
#include "support/support.h"
#include "toon/toon_document.h"

using testing::Do;
using testing::WaitFor;

namespace {

using testing::ConfigDialog;
using testing::WindowText;
HWND Editor() { return editorFrame.mainWindow; }

std::string EmptyDirectory(const char *name)
{
    std::string directory = testing::TempDirectory(name);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "*.ptf").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((directory + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return directory;
}

void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

struct Look {
    int pose;
    int pause;
    bool wink;
    const char *text;
};

}  // namespace

TEST_CASE("a toon composed by clicks on the stage, saved through the save dialog, then played by the saver")
{
    const std::string directory = EmptyDirectory("ComposedToons");
    const std::string path = directory + "Walk Of Three.ptf";
    CHECK(testing::PutIni("Directory=" + directory + "\r\nPaces Walked=1000\r\n"));
    // Low on the stage: the saver's title stays above them.
    const std::vector<POINT> clicks = { { 240, 560 }, { 520, 610 }, { 760, 545 } };
    const Look looks[] = { { 3, 2, true, "Hello there!" }, { 9, 1, false, "Over here" }, { 14, 3, true, "Bye" } };

    std::vector<testing::ScriptStep> steps = {
        WaitFor("the configuration dialog", [] { return ConfigDialog() != NULL; }),
        Do("Edit Toon Files", [] { PostMessageA(ConfigDialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0); }),
        WaitFor("the editor, its entrance over", [] {
            const Stage *stage = Editor() ? editorFrame.stage : NULL;
            return stage && stage->introWalkDone && !WalkRunning(stage) && IsWindowEnabled(editorUi.fileButton);
        }, 60000),
        Do("Ctrl+E", [] {
            SetForegroundWindow(Editor());
            testing::PressKeys({ VK_CONTROL, 'E' });
        }),
        WaitFor("the frame editor", [] { return frameEditorDialog && WindowText(frameEditorDialog) == "File: [Untitled]"; }),
        Do("a target over the stage, Play disabled", [] {
            CHECK((HCURSOR)GetClassLongPtrA(editorFrame.stageWindow, GCLP_HCURSOR) == editorUi.targetCursor);
            CHECK_FALSE(IsWindowEnabled(editorUi.playButton));
        }),
    };
    for (int i = 0; i < 3; ++i) {
        const POINT click = clicks[i];
        const Look look = looks[i];
        if (i > 0)
            steps.push_back(Do("New", [] { Click(frameEditorDialog, IDC_FRAMEAPPEND); }));
        steps.push_back(Do("a click on the stage", [=] {
            POINT at = click;
            ClientToScreen(editorFrame.stageWindow, &at);
            testing::ClickScreen(at);
        }));
        steps.push_back(WaitFor("the point in the X and Y boxes", [=] {
            return testing::ItemText(frameEditorDialog, IDC_FRAMEX) == std::to_string(click.x) &&
                   testing::ItemText(frameEditorDialog, IDC_FRAMEY) == std::to_string(click.y);
        }));
        steps.push_back(Do("pose, pause, wink and text; Frame Save", [=] {
            HWND dialog = frameEditorDialog;
            CHECK(editorFrame.toon.modified == 1);
            SendDlgItemMessageA(dialog, IDC_POSELIST, LB_SETTOPINDEX, (WPARAM)look.pose, 0);
            SetDlgItemInt(dialog, IDC_FRAMESECONDS, (UINT)look.pause, TRUE);
            if (look.wink)
                Click(dialog, IDC_FRAMEWINK);
            SetDlgItemTextA(dialog, IDC_FRAMETEXT, look.text);
            Click(dialog, IDC_FRAMESTORE);
        }));
    }
    std::string expected;
    steps.insert(steps.end(), {
        Do("Save As", [] { PostMessageA(frameEditorDialog, WM_COMMAND, IDM_FILESAVEAS, 0); }),
        WaitFor("the save dialog", [] { return FindWindowA("#32770", "Save Toon File") != NULL; }),
        Do("the name typed, OK", [&] {
            HWND box = FindWindowA("#32770", "Save Toon File");
            PostMessageA(box, WM_COMMAND, testing::TypeFileName(box, path), 0);
        }),
        WaitFor("the caption to name the file", [] { return WindowText(frameEditorDialog) == "File: [walk of three]"; }),
        Do("the file's bytes; Ctrl+E", [&] {
            // A new toon's header: the default caption, the stage's size, speed 3, background 1.
            expected = testing::ToonBytes({}, 0);
            memcpy(&expected[36], "Fizzy Pimbo's Parade", 21);
            const int32_t tail[] = { (int32_t)MakePackedSize(GetSystemMetrics(SM_CXSCREEN) - 50,
                                                             GetSystemMetrics(SM_CYSCREEN) - 100),
                                     3, 3, 1 };
            memcpy(&expected[88], tail, sizeof tail);
            for (int i = 0; i < 3; ++i)
                expected += testing::FrameBytes(clicks[i].x, clicks[i].y, looks[i].pose, looks[i].pause,
                                                looks[i].wink, looks[i].text);
            CHECK(testing::ReadFileBytes(path) == expected);
            SetForegroundWindow(frameEditorDialog);
            testing::PressKeys({ VK_CONTROL, 'E' });
        }),
        WaitFor("the frame editor closed, Play enabled", [] {
            return !frameEditorDialog && IsWindowEnabled(editorUi.playButton);
        }),
        Do("close the editor", [] {
            CHECK((HCURSOR)GetClassLongPtrA(editorFrame.stageWindow, GCLP_HCURSOR) == editorUi.arrowCursor);
            CHECK(CloseToonEditor() == 1);   // saved: nothing to ask
        }),
        WaitFor("the editor gone", [] { return Editor() == NULL; }),
        Do("toon files in a random order; OK", [] {
            Click(ConfigDialog(), IDC_PLAYTOONS);
            PostMessageA(ConfigDialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }),
    });
    testing::RunScript(steps, [] {
        DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
    }, testing::EndEverything);

    // The saver plays it full screen: he stands at each clicked point,
    // scaled from the editor's stage to the screen.
    const testing::Shot tile = testing::TileShot("bg01");
    CHECK_OR_RETURN(tile.width > 0);
    const std::vector<POINT> arrivals = testing::ExpectedArrivals(
        clicks, GetSystemMetrics(SM_CXSCREEN) - 50, GetSystemMetrics(SM_CYSCREEN) - 100, 1024, 768);
    PROCESS_INFORMATION saver = testing::StartScr("/s");
    const std::vector<bool> seen = testing::WatchArrivals(tile, 400, arrivals, 60000);
    for (size_t i = 0; i < clicks.size(); ++i) {
        CAPTURE(i);
        CHECK(seen[i]);
    }
    testing::PressKeys({ VK_SPACE });
    CHECK(testing::FinishProcess(saver, 10000) == 0);
}
