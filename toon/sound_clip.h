// Sound clips: frames whose text is "PBF:name.wav" or "PBR:name.wav" speak
// a WAV file through MCI instead of a bubble.
#ifndef PIMBO_TOON_SOUND_CLIP_H
#define PIMBO_TOON_SOUND_CLIP_H

#include <windows.h>

// One speaker's clip, held by whoever plays it (a stage, the frame
// editor's Play): each opens a device of its own, so that two speak at once.
struct SoundClip {
    UINT device;     // the open wave-audio device, 0 when none
};

int IsSoundClip(const char *text);
// A clip's file is named by its full path, or found beside the toon file
// that names it (toonFile: that file, a name in toonDirectory, or empty),
// then in toonDirectory. text holds at least 72 bytes; on failure it
// receives a complaint. A clip still open in the record is closed first.
int PlaySoundClip(SoundClip *clip, HWND window, char *text, const char *toonFile, const char *toonDirectory);
int PlaySoundClipAndWait(HWND window, char *text, const char *toonFile, const char *toonDirectory);
void CloseSoundClip(SoundClip *clip);
// Whether an MM_MCINOTIFY (its wParam and lParam) says that the clip open
// in the record has ended.
int IsSoundClipEnd(const SoundClip *clip, WPARAM code, LPARAM device);
// How long the clip a frame's text names would play, in milliseconds, from
// its header; 0 when it is missing or cannot be played.
DWORD SoundClipMilliseconds(const char *text, const char *toonFile, const char *toonDirectory);

#endif
