// Sound clips: frames whose text is "PBF:name.wav" or "PBR:name.wav" speak
// a WAV file through MCI instead of a bubble.
#ifndef PIMBO_TOON_SOUND_CLIP_H
#define PIMBO_TOON_SOUND_CLIP_H

#include <windows.h>

extern UINT clipDevice;   // the open wave-audio device, 0 when none

int IsSoundClip(const char *text);
// text holds at least 72 bytes; on failure it receives a complaint.
int PlaySoundClip(HWND window, char *text);
int PlaySoundClipAndWait(HWND window, char *text);
void CloseSoundClip(void);
// How long the clip a frame's text names would play, in milliseconds, from
// its header; 0 when it is missing or cannot be played.
DWORD SoundClipMilliseconds(const char *text);

#endif
