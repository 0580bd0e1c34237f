// The frame editor's File and Sound commands: new, open, save, save as,
// configure and exit on the whole toon; play, record and volume for the
// WAV clips that frames name. Each returns 1 when it went through.
#ifndef PIMBO_EDITOR_FRAME_COMMANDS_H
#define PIMBO_EDITOR_FRAME_COMMANDS_H

#include <windows.h>

int NewToon(HWND dialog);
int OpenToonInEditor(HWND dialog);
int SaveToon(HWND dialog);
int SaveToonAs(HWND dialog);
int ConfigureToon(HINSTANCE instance, HWND dialog);
int ExitFrameEditor(HWND dialog);
int PlaySelectedSound(HWND dialog);
void StartSoundRecorder(HWND dialog);
void StartVolumeControl(HWND dialog);
void CheckSoundTools(HWND dialog);

#endif
