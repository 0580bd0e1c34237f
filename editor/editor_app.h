// The toon editor's frame: started from the configuration dialog.
#ifndef PIMBO_EDITOR_EDITOR_APP_H
#define PIMBO_EDITOR_EDITOR_APP_H

#include <windows.h>

int RunToonEditor(HINSTANCE instance, HWND owner, const char *name, int showCommand);
void CloseToonEditor(void);
void CenterWindowOnScreen(HWND window);

#endif
