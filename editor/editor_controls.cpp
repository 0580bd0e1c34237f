#include "editor/editor_controls.h"

#include "editor/editor_app.h"
#include "editor/editor_window.h"
#include "engine/expressions.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "show/saver_show.h"
#include "toon/hooks.h"

#define SYSTEM_SIDE         10
#define SYSTEM_TOP          4

ToonFrame editFrame;
int playIdle = 1;
HWND frameEditorDialog;
HCURSOR waitCursor;

static int PickingFramePoints(void)
{
    return frameEditorDialog != NULL;
}

static void TakeFirstFrame(void)
{
    GetToonFrame(0, &editFrame);
}

static HCURSOR EditorWaitCursor(void)
{
    return waitCursor;
}

static int InstallEditorHooks(void)
{
    engineHooks.showPlayState = SetPlayButton;
    engineHooks.lockControls = DisableUiForAction;
    engineHooks.unlockControls = RestoreUiAfterAction;
    engineHooks.showBusy = SetBusyCursor;
    engineHooks.pickingPoints = PickingFramePoints;
    engineHooks.pickPoint = SetFrameTarget;
    toonHooks.takeFirstFrame = TakeFirstFrame;
    toonHooks.waitCursor = EditorWaitCursor;
    return 1;
}

static const int editorHooksInstalled = InstallEditorHooks();

static int EditorControlsReachable(void)
{
    return !show.running && editorUi.fileButton && IsWindow(editorUi.fileButton);
}

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
    // A lock left by an editor closed in the middle of an act is void.
    editorUi.locked = 0;
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
    const int y = client.bottom - PUSH_HEIGHT - PUSH_BOTTOM_GAP;
    MoveWindow(editorUi.fileButton, PUSH_SIDE, y, PUSH_WIDTH, PUSH_HEIGHT, TRUE);
    MoveWindow(editorUi.playButton, client.right - PUSH_WIDTH - PUSH_SIDE, y, PUSH_WIDTH, PUSH_HEIGHT, TRUE);
}

void LayoutSystemButtons(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    const int s = SYSTEM_BUTTON_SIZE;
    MoveWindow(editorUi.actionButton, SYSTEM_SIDE, SYSTEM_TOP, 2 * s + 2, s, TRUE);
    MoveWindow(editorUi.minimizeButton, client.right - 2 * s - SYSTEM_SIDE, SYSTEM_TOP, s, s, TRUE);
    MoveWindow(editorUi.closeButton, client.right - s - SYSTEM_SIDE, SYSTEM_TOP, s, s, TRUE);
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

void EnablePlayButton(int enable)
{
    // Under a random act's lock the button waits for the act's end.
    if (editorUi.locked && randomWalkActive) {
        editorUi.savedPlayEnabled = enable;
        return;
    }
    EnableWindow(editorUi.playButton, enable ? TRUE : FALSE);
}

void SetPlayButton(int state)
{
    if (!EditorControlsReachable())
        return;
    switch (state) {
    case PLAY_STATE_READY:
        SetWindowTextA(editorUi.playButton, "&Play");
        playIdle = 1;
        break;
    case PLAY_STATE_PAUSED:
        SetWindowTextA(editorUi.playButton, "&Continue");
        playIdle = 1;
        break;
    case PLAY_STATE_PLAYING:
        SetWindowTextA(editorUi.playButton, "&Stop");
        playIdle = 0;
        break;
    default:
        break;
    }
    EnableWindow(editorUi.fileButton, state == PLAY_STATE_PLAYING ? FALSE : TRUE);
}

void SetBusyCursor(HWND stage, int on)
{
    if (show.running)
        return;
    // Points are still picked on the stage while the frame editor is open.
    HCURSOR idle = frameEditorDialog && editorUi.targetCursor ? editorUi.targetCursor : LoadCursor(NULL, IDC_ARROW);
    HCURSOR cursor = on ? (waitCursor ? waitCursor : LoadCursor(NULL, IDC_WAIT)) : idle;
    SetClassLongPtrA(stage, GCLP_HCURSOR, (LONG_PTR)cursor);
    POINT where;
    if (GetCursorPos(&where))
        SetCursorPos(where.x, where.y);
}

void TogglePlay(HWND window, HINSTANCE instance)
{
    HWND stage = editorFrame.stageWindow;
    // A random act, the walk off and a walk to a click end on their own
    // first: a toon started meanwhile would take their end for its arrival
    // at a frame.
    if (!stage || randomWalkActive || (walkPath.timerRunning && !walkingToFrame))
        return;
    if (walkingToFrame && playIdle) {
        // Paused during a walk: go on walking.
        ResumeWalkTimer(stage);
        SetBusyCursor(stage, 1);
        SetPlayButton(PLAY_STATE_PLAYING);
    } else if (walkingToFrame) {
        StopWalkTimer(stage);
        SetBusyCursor(stage, 0);
        SetPlayButton(PLAY_STATE_PAUSED);
    } else if (playIdle) {
        // Ready, or paused at a frame: walk to the next frame.
        if (!spritesLoaded)
            LoadSpriteSet(stage, instance);
        walkingToFrame = 1;
        // The engine's word on the button is the last: it says Stop as the
        // walk starts, and Play when no frame could be read.
        SetBusyCursor(stage, 1);
        StartToonPlayback(stage);
        DrawProgressBar(window);
    } else {
        // Standing at a frame: Continue walks to the same frame again.
        if (nextFrameIndex > 0)
            nextFrameIndex -= 1;
        // Stopped in the half second after arriving, he must not speak
        // and walk on when it ends.
        CancelSpeechDelay(stage);
        FramePause(stage, NULL, 0);
        // No walk follows to take the wink or the open mouth away.
        ClearExpression(stage);
        SetBusyCursor(stage, 0);
        SetPlayButton(PLAY_STATE_PAUSED);
    }
}

void PausePlay(HWND stage)
{
    // Only a walk that runs is paused: Continue would resume whatever path
    // the walker last had.
    if (!stage || !walkingToFrame || playIdle || !walkPath.timerRunning)
        return;
    StopWalkTimer(stage);
    SetBusyCursor(stage, 0);
    SetPlayButton(PLAY_STATE_PAUSED);
}

static void LockButton(HWND button, int *saved, int disable)
{
    *saved = ButtonEnabled(button);
    if (disable)
        EnableWindow(button, FALSE);
}

void DisableUiForAction(void)
{
    if (!EditorControlsReachable() || editorUi.locked)
        return;
    // A toon keeps its File and Play buttons under the play state.
    const int pushToo = !walkingToFrame;
    LockButton(editorUi.fileButton, &editorUi.savedFileEnabled, pushToo);
    LockButton(editorUi.actionButton, &editorUi.savedActionEnabled, 1);
    LockButton(editorUi.playButton, &editorUi.savedPlayEnabled, pushToo);
    LockButton(editorUi.minimizeButton, &editorUi.savedMinimizeEnabled, 1);
    editorUi.locked = 1;
}

void UnlockUiWhenReady(void)
{
    if (!EditorControlsReachable() || !editorUi.locked)
        return;
    editorUi.savedFileEnabled = 1;
    editorUi.savedPlayEnabled = ButtonEnabled(editorUi.playButton);
    RestoreUiAfterAction();
}

void RestoreUiAfterAction(void)
{
    if (!EditorControlsReachable() || !editorUi.locked)
        return;
    EnableWindow(editorUi.fileButton, editorUi.savedFileEnabled ? TRUE : FALSE);
    EnableWindow(editorUi.actionButton, editorUi.savedActionEnabled ? TRUE : FALSE);
    EnableWindow(editorUi.playButton, editorUi.savedPlayEnabled ? TRUE : FALSE);
    EnableWindow(editorUi.minimizeButton, editorUi.savedMinimizeEnabled ? TRUE : FALSE);
    editorUi.locked = 0;
}
