// The program's own help: a dialog with the help text kept as a resource.
#ifndef PIMBO_SHOW_HELP_DIALOG_H
#define PIMBO_SHOW_HELP_DIALOG_H

#include <windows.h>

// Opens "Pimbo96.hlp" through the shell; where the shell cannot, shows the
// help dialog instead. Returns when the help is open or the dialog closed.
void OpenProgramHelp(HINSTANCE instance, HWND owner);
INT_PTR ShowHelpDialog(HINSTANCE instance, HWND owner);
INT_PTR CALLBACK HelpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
