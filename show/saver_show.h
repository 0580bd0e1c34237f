// The show: turns the saver window's events into cycles of random walks,
// toon playback or the preview visit.
#ifndef PIMBO_SHOW_SAVER_SHOW_H
#define PIMBO_SHOW_SAVER_SHOW_H

#include <windows.h>
#include "engine/stage.h"    // TITLE_TEXT_SIZE

struct ShowState {
    int running;
    DWORD savedStageSize;
    int backgroundNumber;
    int backgroundCount;
    int lastBackground;
    int paintFlag;
    char titleText[TITLE_TEXT_SIZE];
    HFONT titleFont;
    HFONT textFont;
};

extern ShowState show;

LRESULT CALLBACK SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShowStart(HWND window, HINSTANCE instance);
void ShowStop(HWND window);
void ShowBeginCycle(HWND window, HINSTANCE instance);
// A tick of a show's window: the start timer begins the first cycle, every
// other timer is the engine's. The windowed player routes its ticks here too.
void OnShowTimer(HWND window, HINSTANCE instance, UINT_PTR id);
void ShowResetCycle(HWND window);
void ShowChooseNext(HWND window);
void PickBackground(HWND window);
void CountBackgrounds(HWND window);
void RebuildStageBackground(HWND window, HINSTANCE instance);

#endif
