// The saver's configuration dialog (template 2003).
#ifndef PIMBO_SHOW_CONFIG_DIALOG_H
#define PIMBO_SHOW_CONFIG_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void RefreshToonList(HWND dialog);

#endif
