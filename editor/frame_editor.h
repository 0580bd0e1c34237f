// The frame editor: the modeless dialog in which a toon is composed frame
// by frame. Its controls show editFrame; they reach the document only
// through Frame Save, a click on the stage and the save question.
#ifndef PIMBO_EDITOR_FRAME_EDITOR_H
#define PIMBO_EDITOR_FRAME_EDITOR_H

#include <windows.h>
#include "toon/toon_document.h"

#define MAX_TOON_FRAMES  251

INT_PTR CALLBACK FrameEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// An accelerator command while the frame editor is open; 1 when handled.
int FrameEditorKeys(HINSTANCE instance, int id);

int InitFrameEditor(HWND dialog);
void FillFrameNumbers(HWND dialog);
// Shows frame, read from the document's current frame, in the controls.
void ShowFrame(HWND dialog, const ToonFrame *frame);
int FrameFromControls(HWND dialog, ToonFrame *frame);
int StoreFrame(HWND dialog);
void UpdateFrameEditorCaption(HWND dialog);
// "PBF:" and the sound list's selected entry, into a frame text of 72 bytes.
void SelectedSoundReference(HWND dialog, char *text);

#endif
