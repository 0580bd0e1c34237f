// The windowed toon player: one toon, or one random walk, full screen.
#ifndef PIMBO_SHOW_TOON_PLAYER_H
#define PIMBO_SHOW_TOON_PLAYER_H

#include <windows.h>

// Opens the player's window and returns 1 (0 when one is open, none can be
// made or the path is too long to hold); it plays in the caller's message
// loop and closes itself. path: the toon's full path; a bare name is the
// toon directory's; empty: a random walk.
int RunToonPlayer(HINSTANCE instance, HWND owner, const char *path);
LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
