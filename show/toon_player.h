// The windowed toon player: one toon, or one random walk, full screen.
#ifndef PIMBO_SHOW_TOON_PLAYER_H
#define PIMBO_SHOW_TOON_PLAYER_H

#include <windows.h>

// Opens the player's window and returns 1 (0 when one is open or none can
// be made); it plays in the caller's message loop and closes itself.
int RunToonPlayer(HINSTANCE instance, HWND owner, const char *name);
LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
