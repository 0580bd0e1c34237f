// The frame sequencer: pauses, speech and winks at each frame, and the two
// drivers over them, the random walk and toon playback. The playback is one
// phase of the stage record (StagePhase); every change of it goes through
// the sequencer, and leaving a phase ends whatever it started.
#ifndef PIMBO_ENGINE_SEQUENCER_H
#define PIMBO_ENGINE_SEQUENCER_H

#include <windows.h>
#include "engine/stage.h"
#include "toon/toon_document.h"

void SeedRandomNumber(DWORD seed);
int RandomNumber(int low, int high);

// The engine's own messages to a stage window: its paint, its timers, the
// end of a walk and the end of a clip. 1 when the message was one of them,
// with the window procedure's answer in result; 0 for any other, and for a
// window without a stage.
int RouteStageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result);
void OnEngineTimer(Stage *stage, UINT_PTR id);
void OnWalkFinished(Stage *stage);
LRESULT OnSoundDone(Stage *stage, WPARAM code, LPARAM device);

// Random acts: a saver's walk, the action button's, the editor's entrance
// and the preview visit. Each starts only from the ready phase.
int StartRandomWalk(Stage *stage, int statementsAllowed);
int StartPacesWalk(Stage *stage);
int StartPreviewVisit(Stage *stage);
// The editor's entrance, delayed: a phase of its own until it starts.
// Whatever takes the stage first (a click, an act, Play, a toon opened)
// leaves that phase, and the entrance with it.
void ScheduleEntrance(Stage *stage, UINT delay);
void CancelEntrance(Stage *stage);

// Toon playback from the ready phase: the walk to frame 1 starts.
int StartToonPlayback(Stage *stage);
// Play, Stop and Continue: the one button of the editor. 0 when refused.
int TogglePlayback(Stage *stage);
// Stops a walk to a frame only (the window lost the focus, or is closing).
int PausePlayback(Stage *stage);
// The walk stopped mid-way walks on; 0 when none is stopped so.
int ResumePlayback(Stage *stage);
// Back to ready, Pimbo out of sight beside frame 1: Stop, a toon opened,
// new or edited. A random act under way keeps the stage until it ends.
void ResetPlayback(Stage *stage);
// The stage window is going away: whatever runs stops, quietly.
void AbandonStagePlay(Stage *stage);
LRESULT OnStageClick(Stage *stage, LPARAM point);

// What Play offers in the phase: PLAY_STATE_*.
int PlayStateOf(const Stage *stage);
// A toon's walk, speech or pause runs (Play reads "&Stop").
int ToonRunning(const Stage *stage);
// A random act runs.
int ActRunning(const Stage *stage);
// Any walk runs, whoever started it.
int WalkRunning(const Stage *stage);

// The frame in force: the random frame during a random act, else the
// toon frame.
const ToonFrame *ActiveFrame(const Stage *stage);

#endif
