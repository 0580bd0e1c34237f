// The frame editor: the modeless dialog in which a toon is composed frame
// by frame. Its controls show editFrame; they reach the document only
// through Frame Save, a click on the stage and the save question.
#ifndef PIMBO_EDITOR_FRAME_EDITOR_H
#define PIMBO_EDITOR_FRAME_EDITOR_H

#include <windows.h>
#include "toon/toon_document.h"
#include "toon/toon_file.h"

#define MAX_TOON_FRAMES  251

INT_PTR CALLBACK FrameEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// An accelerator command while the frame editor is open; 1 when handled.
int FrameEditorKeys(HINSTANCE instance, int id);

int InitFrameEditor(HWND dialog);
// The number box for the document's frames, with selected selected.
void FillFrameNumbers(HWND dialog, int selected);
// Shows frame in the controls.
void ShowFrame(HWND dialog, const ToonFrame *frame);
// Reads the document's frame index into editFrame and shows it; it is then
// the frame the controls stand for.
int ShowFrameAt(HWND dialog, int index);
// The controls' values, into frame only.
int ReadFrameControls(HWND dialog, ToonFrame *frame);
// The controls' values, into frame and the frame shown.
int FrameFromControls(HWND dialog, ToonFrame *frame);
int StoreFrame(HWND dialog);
// The frame on show as the controls have it, for the save question to store.
ShownFrame ShownFrameOfEditor(HWND dialog, ToonFrame *buffer);
// The save question, with the frame on show stored first on Yes.
int AskSaveFrameEditorChanges(HWND dialog);
void UpdateFrameEditorCaption(HWND dialog);
// "PBF:" and the sound list's selected entry, into a frame text of 72 bytes.
void SelectedSoundReference(HWND dialog, char *text);

#endif
