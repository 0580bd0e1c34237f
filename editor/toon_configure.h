// The toon configure dialog: the caption, background and speed of the
// whole toon, with its window size, frame count and file version shown.
#ifndef PIMBO_EDITOR_TOON_CONFIGURE_H
#define PIMBO_EDITOR_TOON_CONFIGURE_H

#include <windows.h>

INT_PTR CALLBACK ConfigureDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
