#include "editor/editor_controls.h"

#include "editor/editor_app.h"
#include "editor/editor_window.h"
#include "editor/frame_editor.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "show/settings.h"

#define SYSTEM_SIDE         10
#define SYSTEM_TOP          4

ToonFrame editFrame;
HWND frameEditorDialog;
HCURSOR waitCursor;

/* The stage's owner: its context is the editor's frame */

static int PickingFramePoints(void *editor)
{
    (void)editor;
    return frameEditorDialog != NULL;
}

static void PickFramePoint(void *editor, LONG x, LONG y)
{
    (void)editor;
    SetFrameTarget(x, y);
}

static void ShowStagePlayState(void *editor, int state)
{
    (void)editor;
    (void)state;
    ShowEditorPlayState();
}

static void ShowStageLock(void *editor)
{
    (void)editor;
    ShowEditorPlayState();
}

static void ShowStageBusy(void *editor, int on)
{
    SetBusyCursor(((const EditorFrame *)editor)->stageWindow, on);
}

static void ReadEditorStageLook(void *editor, StageLook *look)
{
    look->backgroundNumber = ((const EditorFrame *)editor)->backgroundNumber;
    look->titleText = editorUi.titleText;
    look->titleFont = editorUi.titleFont;
    look->textFont = editorUi.captionFont;
}

const StageOwner editorStageOwner = {
    &editorFrame, ShowStagePlayState, ShowStageLock, ShowStageLock, ShowStageBusy, PickingFramePoints,
    PickFramePoint, ReadEditorStageLook, OwnerStoredPaces, NULL, 0, settings.directory,
};

static HWND CreateButton(HWND window, HINSTANCE instance, DWORD style)
{
    return CreateWindowExA(0, "button", NULL, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window, NULL,
                           instance, NULL);
}

static void DestroyButton(HWND *button)
{
    if (*button) {
        DestroyWindow(*button);
        *button = NULL;
    }
}

int ButtonEnabled(HWND button)
{
    return button && IsWindowEnabled(button);
}

void CreatePushButtons(HWND window, HINSTANCE instance)
{
    editorUi.fileButton = CreateButton(window, instance, BS_PUSHBUTTON);
    editorUi.playButton = CreateButton(window, instance, BS_PUSHBUTTON);
    SetWindowTextA(editorUi.fileButton, "&File");
    SetWindowTextA(editorUi.playButton, "&Play");
    SendMessageA(editorUi.fileButton, WM_SETFONT, (WPARAM)editorUi.buttonFont, TRUE);
    SendMessageA(editorUi.playButton, WM_SETFONT, (WPARAM)editorUi.buttonFont, TRUE);
    EnableWindow(editorUi.playButton, FALSE);
    editorUi.playAllowed = 0;
}

void CreateSystemButtons(HWND window, HINSTANCE instance)
{
    editorUi.actionButton = CreateButton(window, instance, BS_OWNERDRAW);
    editorUi.minimizeButton = CreateButton(window, instance, BS_OWNERDRAW);
    editorUi.closeButton = CreateButton(window, instance, BS_OWNERDRAW);
}

void LayoutPushButtons(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    const int width = EditorLength(PUSH_WIDTH), height = EditorLength(PUSH_HEIGHT), side = EditorLength(PUSH_SIDE);
    const int y = client.bottom - height - EditorLength(PUSH_BOTTOM_GAP);
    MoveWindow(editorUi.fileButton, side, y, width, height, TRUE);
    MoveWindow(editorUi.playButton, client.right - width - side, y, width, height, TRUE);
}

void LayoutSystemButtons(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    const int s = EditorLength(SYSTEM_BUTTON_SIZE), side = EditorLength(SYSTEM_SIDE), top = EditorLength(SYSTEM_TOP);
    MoveWindow(editorUi.actionButton, side, top, 2 * s + EditorLength(2), s, TRUE);
    MoveWindow(editorUi.minimizeButton, client.right - 2 * s - side, top, s, s, TRUE);
    MoveWindow(editorUi.closeButton, client.right - s - side, top, s, s, TRUE);
}

void DestroyPushButtons(void)
{
    DestroyButton(&editorUi.fileButton);
    DestroyButton(&editorUi.playButton);
}

void DestroySystemButtons(void)
{
    DestroyButton(&editorUi.actionButton);
    DestroyButton(&editorUi.minimizeButton);
    DestroyButton(&editorUi.closeButton);
}

void AllowPlay(int allow)
{
    editorUi.playAllowed = allow != 0;
    ShowEditorPlayState();
}

static const char *const playLabels[] = { "&Play", "&Continue", "&Stop" };

void ShowEditorPlayState(void)
{
    const Stage *stage = editorFrame.stage;
    if (!stage || !editorUi.playButton)
        return;
    const int state = PlayStateOf(stage);
    const int acting = ActRunning(stage);
    // Locked while he acts or a toon runs; a stopped toon leaves File free.
    const int locked = acting || state != PLAY_STATE_READY;
    SetWindowTextA(editorUi.playButton, playLabels[state]);
    EnableWindow(editorUi.playButton, editorUi.playAllowed && !acting ? TRUE : FALSE);
    EnableWindow(editorUi.fileButton, !acting && state != PLAY_STATE_PLAYING ? TRUE : FALSE);
    EnableWindow(editorUi.actionButton, !locked ? TRUE : FALSE);
    EnableWindow(editorUi.minimizeButton, !locked ? TRUE : FALSE);
}

void SetBusyCursor(HWND stage, int on)
{
    // Points are still picked on the stage while the frame editor is open.
    HCURSOR idle = frameEditorDialog && editorUi.targetCursor ? editorUi.targetCursor : LoadCursor(NULL, IDC_ARROW);
    HCURSOR cursor = on ? (waitCursor ? waitCursor : LoadCursor(NULL, IDC_WAIT)) : idle;
    SetClassLongPtrA(stage, GCLP_HCURSOR, (LONG_PTR)cursor);
    POINT where;
    if (GetCursorPos(&where))
        SetCursorPos(where.x, where.y);
}

void TogglePlay(HWND window)
{
    if (!editorFrame.stage || !ButtonEnabled(editorUi.playButton))
        return;
    TogglePlayback(editorFrame.stage);
    DrawProgressBar(window);
}
