// The editor main window's buttons. What they offer follows from the
// stage's phase and from whether there is a toon to play; the stage tells
// of every change through the owner record the editor hands it.
#ifndef PIMBO_EDITOR_EDITOR_CONTROLS_H
#define PIMBO_EDITOR_EDITOR_CONTROLS_H

#include <windows.h>
#include "engine/stage.h"
#include "toon/toon_document.h"

#define PUSH_WIDTH          75    // File and Play
#define PUSH_HEIGHT         23
#define PUSH_SIDE           10    // from the client area's left and right
#define PUSH_BOTTOM_GAP     9     // below them
#define SYSTEM_BUTTON_SIZE  15    // minimize and close; the action button is two and a bit

extern ToonFrame editFrame;      // the frame editor's working frame
extern HWND frameEditorDialog;   // none while the frame editor is closed
extern HCURSOR waitCursor;       // loaded by the editor's main window
extern const StageOwner editorStageOwner;

// Sets the buttons from the stage's phase: Play's label, what is locked
// while Pimbo acts or a toon plays.
void ShowEditorPlayState(void);
// Whether there is a toon to play (WM_ENABLEPLAY).
void AllowPlay(int allow);
// The wait cursor (on) or the idle one over the stage, shown at once.
void SetBusyCursor(HWND stage, int on);
// A point picked on the stage becomes the frame editor's frame's.
void SetFrameTarget(LONG x, LONG y);

void CreatePushButtons(HWND window, HINSTANCE instance);
void CreateSystemButtons(HWND window, HINSTANCE instance);
void LayoutPushButtons(HWND window);
void LayoutSystemButtons(HWND window);
void DestroyPushButtons(void);
void DestroySystemButtons(void);
int ButtonEnabled(HWND button);

// Play, Stop and Continue on the editor's stage.
void TogglePlay(HWND window);

#endif
