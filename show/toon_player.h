// The windowed toon player: one toon, or one random walk, full screen.
#ifndef PIMBO_SHOW_TOON_PLAYER_H
#define PIMBO_SHOW_TOON_PLAYER_H

#include <windows.h>

int RunToonPlayer(HINSTANCE instance, HWND owner, const char *name);
LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
