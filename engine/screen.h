// Where the program's windows go on the screen, and how large they draw.
#ifndef PIMBO_ENGINE_SCREEN_H
#define PIMBO_ENGINE_SCREEN_H

#include <windows.h>

#define STANDARD_DPI    96
#define SCALE_LARGEST   4       // the art's pixels at most this many times as large

// Centres the window on the primary monitor, at its size.
void CenterWindowOnScreen(HWND window);

// Pixels per inch where the window is: its monitor's where the system tells
// (Windows 10 and later), otherwise the system's.
int WindowDpi(HWND window);
// The scale chosen (1..SCALE_LARGEST), or with anything else the display's
// whole-number scale at dpi: DPI / 96, halves rounded up, 1 to SCALE_LARGEST.
int ChooseScale(int chosen, int dpi);

#endif
