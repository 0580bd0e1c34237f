// Where the program's windows go on the screen.
#ifndef PIMBO_ENGINE_SCREEN_H
#define PIMBO_ENGINE_SCREEN_H

#include <windows.h>

// Centres the window on the primary monitor, at its size.
void CenterWindowOnScreen(HWND window);

#endif
