#include "support/frame_editor_driver.h"

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "toon/toon_document.h"
#include "resources/resource.h"
#include "support/script.h"

namespace testing {

static EditorSession *activeSession;
static WNDPROC mainProcedure;

// Sits in front of the main window's procedure and notes what it is told.
static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (activeSession && message >= WM_TOONCHANGED && message <= WM_FRAMEDITCLOSED)
        activeSession->told.push_back({ message, wParam });
    return CallWindowProcA(mainProcedure, window, message, wParam, lParam);
}

HWND OpenFrameEditorAgain(EditorSession &session)
{
    SendMessageA(session.main, WM_COMMAND, IDM_EDIT, 0);
    session.dialog = frameEditorDialog;
    return session.dialog;
}

void RunEditorAlone()
{
    RunToonEditor(GetModuleHandleA(NULL), NULL, SW_SHOWNORMAL);
    MSG msg = {};
    while (editorFrame.mainWindow && GetMessageW(&msg, NULL, 0, 0) > 0)
        if (!CallMsgFilterW(&msg, MSGF_DIALOGBOX)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    if (msg.message == WM_QUIT)
        PostQuitMessage((int)msg.wParam);
}

void WithFrameEditor(const std::function<void(EditorSession &)> &body)
{
    EditorSession session;
    activeSession = &session;
    RunScript({
        WaitFor("the editor", [] { return editorFrame.mainWindow && IsWindowVisible(editorFrame.mainWindow); }),
        Do("the frame editor, and the body", [&] {
            session.main = editorFrame.mainWindow;
            // No entrance walk: its locking of the buttons would cross the body's.
            CancelEntrance(editorFrame.stage);
            mainProcedure = (WNDPROC)SetWindowLongPtrA(session.main, GWLP_WNDPROC, (LONG_PTR)RecordingProc);
            if (OpenFrameEditorAgain(session))
                body(session);
            // What the body left unsaved is dropped, or closing would ask.
            editorFrame.toon.modified = 0;
            CloseToonEditor();
        }),
    }, RunEditorAlone, EndEverything);
    activeSession = NULL;
}

HWND ConfigDialog()
{
    return FindWindowA("#32770", "Fizzy Pimbo Screen Saver");
}

void EndEverything()
{
    EndMenu();
    for (HWND box = FindWindowA("#32770", NULL); box; box = FindWindowExA(NULL, box, "#32770", NULL))
        if (box != ConfigDialog() && box != frameEditorDialog && GetWindowThreadProcessId(box, NULL) == GetCurrentThreadId())
            EndDialog(box, 0);
    CloseToonEditor();
    if (ConfigDialog())
        PostMessageA(ConfigDialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void Command(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string WindowText(HWND window)
{
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ItemText(HWND dialog, int id)
{
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

static std::vector<std::string> Items(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage)
{
    std::vector<std::string> items;
    LRESULT count = SendMessageA(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::string text((size_t)SendMessageA(control, lengthMessage, (WPARAM)i, 0) + 1, '\0');
        SendMessageA(control, textMessage, (WPARAM)i, (LPARAM)&text[0]);
        items.push_back(text.c_str());
    }
    return items;
}

std::vector<std::string> ComboItems(HWND dialog, int id)
{
    return Items(GetDlgItem(dialog, id), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::vector<std::string> ListItems(HWND dialog, int id)
{
    return Items(GetDlgItem(dialog, id), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

bool MenuEnabled(HWND window, int id)
{
    return (GetMenuState(GetMenu(window), (UINT)id, MF_BYCOMMAND) & MF_GRAYED) == 0;
}

void TypeChars(HWND control, const std::string &text)
{
    for (char c : text)
        SendMessageA(control, WM_CHAR, (WPARAM)(unsigned char)c, 0);
}

}  // namespace testing
