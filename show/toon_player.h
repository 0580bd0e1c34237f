// The windowed toon player: one toon, or one random walk, full screen.
#ifndef PIMBO_SHOW_TOON_PLAYER_H
#define PIMBO_SHOW_TOON_PLAYER_H

#include <windows.h>

// path: the toon's full path; a bare name is the toon directory's; empty:
// a random walk. 0 at once for a path too long to hold.
int RunToonPlayer(HINSTANCE instance, HWND owner, const char *path);
LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
