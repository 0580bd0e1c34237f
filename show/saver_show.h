// The show: turns the saver window's events into cycles of random walks,
// toon playback or the preview visit. One show runs in a process at a
// time (the saver's, or the windowed player's); its stage is the window's.
#ifndef PIMBO_SHOW_SAVER_SHOW_H
#define PIMBO_SHOW_SAVER_SHOW_H

#include <windows.h>
#include "engine/stage.h"    // TITLE_TEXT_SIZE
#include "toon/toon_document.h"

struct ShowState {
    int running;
    int preview;             // the host's preview box: given before the window is made
    int backgroundNumber;
    int backgroundCount;
    int lastBackground;
    char titleText[TITLE_TEXT_SIZE];
    HFONT titleFont;
    HFONT textFont;
    ToonDocument toon;       // the toon being played
    Stage *stage;            // the show window's, while the show runs
    char toonFolder[MAX_PATH];   // the player's toon's; empty: the toon directory
};

extern ShowState show;

// The host's own handling of what the show leaves alone.
typedef LRESULT (*ShowDefaultProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ShowDefaultProc defaultProc);
void ShowStart(HWND window, HINSTANCE instance);
void ShowStop(HWND window);
void ShowBeginCycle(HWND window, HINSTANCE instance);
// A tick of a show's window that is not the engine's: the start timer
// begins the first cycle. The windowed player routes its ticks here too.
void OnShowTimer(HWND window, HINSTANCE instance, UINT_PTR id);
void ShowChooseNext(HWND window);
void PickBackground(HWND window);
void CountBackgrounds(HWND window);
// The speed and background of the toon just read take effect on the stage.
void TakeToonHeader(Stage *stage, const ToonHeader *header, int *backgroundNumber);

#endif
