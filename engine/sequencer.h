// The frame sequencer: pauses, speech and winks at each frame, and the two
// drivers over them, the random walk and toon playback.
#ifndef PIMBO_ENGINE_SEQUENCER_H
#define PIMBO_ENGINE_SEQUENCER_H

#include <windows.h>
#include "engine/stage.h"
#include "toon/toon_document.h"

// Laid out like a ToonFrame; a random walk fills it in.
extern ToonFrame randomFrame;
extern ToonFrame currentToonFrame;
extern int nextFrameIndex;
extern int toonStarted;
extern int walkingToFrame;
extern int randomWalkActive;
extern int walkingOff;
extern int introWalkDone;
extern int lastStatement;

void SeedRandomNumber(DWORD seed);
int RandomNumber(int low, int high);

void FramePause(HWND window, const char *text, int seconds);
// Drops a speech that has not begun yet (the half second after arriving).
void CancelSpeechDelay(HWND window);
void OnEngineTimer(HWND window, UINT_PTR id);
void OnWalkFinished(HWND window);
LRESULT OnSoundDone(HWND window);

int StartRandomWalk(HWND window, int statementsAllowed);
int StartPacesWalk(HWND window);
int StartPreviewVisit(HWND window);
int PrepareRandomFrame(HWND window, int statementId);
int WalkToRandomFrame(HWND window);
void StartToonPlayback(HWND window);
void ResetPlayback(HWND window);
// The stage window is going away: forget the cycle under way, so the next
// show on a new window starts clean.
void AbandonCycle(HWND window);
LRESULT OnStageClick(HWND window, LPARAM point);
int PlaybackProgress(int span);

// The frame in force: the random frame during a random walk, else the
// current toon frame.
const ToonFrame *ActiveFrame(void);

#endif
