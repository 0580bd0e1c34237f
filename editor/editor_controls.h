// What the engine asks of the editor's controls. Each call does nothing
// while a saver show runs or while no editor window exists.
#ifndef PIMBO_EDITOR_EDITOR_CONTROLS_H
#define PIMBO_EDITOR_EDITOR_CONTROLS_H

#include <windows.h>
#include "toon/toon_document.h"

#define PLAY_BUTTON_PLAY      0
#define PLAY_BUTTON_CONTINUE  1
#define PLAY_BUTTON_STOP      2

extern ToonFrame editFrame;      // the frame editor's working frame
extern int playIdle;
extern HWND frameEditorDialog;   // none while the frame editor is closed
extern HCURSOR waitCursor;       // loaded by the editor's main window

void SetPlayButton(int state);
void DisableUiForAction(void);
void RestoreUiAfterAction(void);
void SetFrameTarget(LONG x, LONG y);

#endif
