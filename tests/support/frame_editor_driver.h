// Drives the frame editor for the tests: opens it, reads and fills its
// controls, and records what it tells the editor's main window.
#ifndef PIMBO_TESTS_FRAME_EDITOR_DRIVER_H
#define PIMBO_TESTS_FRAME_EDITOR_DRIVER_H

#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing {

struct EditorSession {
    HWND main = NULL;     // the editor's main window
    HWND dialog = NULL;   // the frame editor, once opened
    // The custom messages (WM_TOONCHANGED .. WM_FRAMEDITCLOSED) the main
    // window received, with their wParam.
    std::vector<std::pair<UINT, WPARAM>> told;
};

// Starts the editor where no dialog runs and dispatches this thread's
// messages until it closes, each handed to the message filters first as a
// dialog's loop does; a quit message ends it and is posted again.
void RunEditorAlone();
// Starts the editor, opens the frame editor from its File menu and runs
// body while it is open, inside RunEditorAlone's loop; the editor is closed
// afterwards, with whatever body left open. There is no entrance walk.
void WithFrameEditor(const std::function<void(EditorSession &)> &body);
// The File menu's Edit again, after the frame editor was closed.
HWND OpenFrameEditorAgain(EditorSession &session);

// The configuration dialog, when it is up.
HWND ConfigDialog();
// Ends every menu and modal box of the thread (the configuration dialog and
// the frame editor stay), closes the editor, then cancels the configuration
// dialog: a script that failed halfway cannot hang.
void EndEverything();

void Command(HWND dialog, int id);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
std::vector<std::string> ComboItems(HWND dialog, int id);
std::vector<std::string> ListItems(HWND dialog, int id);
bool MenuEnabled(HWND window, int id);
// Sends the characters one by one, as typing would.
void TypeChars(HWND control, const std::string &text);

}  // namespace testing

#endif
