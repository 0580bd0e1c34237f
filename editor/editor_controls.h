// The editor main window's buttons and the play state behind them. The
// engine reaches them through its hooks (SetPlayButton, DisableUiForAction,
// RestoreUiAfterAction, SetBusyCursor, SetFrameTarget), which do nothing
// while a saver show runs or while no editor window exists.
#ifndef PIMBO_EDITOR_EDITOR_CONTROLS_H
#define PIMBO_EDITOR_EDITOR_CONTROLS_H

#include <windows.h>
#include "engine/hooks.h"
#include "engine/sequencer.h"
#include "toon/toon_document.h"

#define PUSH_WIDTH          75    // File and Play
#define PUSH_HEIGHT         23
#define PUSH_SIDE           10    // from the client area's left and right
#define PUSH_BOTTOM_GAP     9     // below them
#define SYSTEM_BUTTON_SIZE  15    // minimize and close; the action button is two and a bit

extern ToonFrame editFrame;      // the frame editor's working frame
extern int playIdle;             // set while Play offers "&Play" or "&Continue"
extern HWND frameEditorDialog;   // none while the frame editor is closed
extern HCURSOR waitCursor;       // loaded by the editor's main window

void SetPlayButton(int state);   // PLAY_STATE_*
// The wait cursor (on) or the arrow over the stage, shown at once.
void SetBusyCursor(HWND stage, int on);
void DisableUiForAction(void);
void RestoreUiAfterAction(void);
// Playback went back to ready outside the engine: the lock a toon took is
// released, File enabled and Play left as it is.
void UnlockUiWhenReady(void);
void SetFrameTarget(LONG x, LONG y);

void CreatePushButtons(HWND window, HINSTANCE instance);
void CreateSystemButtons(HWND window, HINSTANCE instance);
void LayoutPushButtons(HWND window);
void LayoutSystemButtons(HWND window);
void DestroyPushButtons(void);
void DestroySystemButtons(void);
void EnablePlayButton(int enable);
int ButtonEnabled(HWND button);

// Play, Stop and Continue on the editor's stage; PausePlay stops a walk
// to a frame only.
void TogglePlay(HWND window, HINSTANCE instance);
void PausePlay(HWND stage);

#endif
