// The saver window and the input watch that ends the saver.
#ifndef PIMBO_HOST_SAVER_WINDOW_H
#define PIMBO_HOST_SAVER_WINDOW_H

#include <windows.h>

#define SAVER_CLASS_NAME   "WindowsScreenSaverClass"
// Held by the full-screen saver from its first moment, before its window
// exists. No backslash: a name may hold none.
#define SINGLE_SAVER_LOCK  "WindowsScreenSaverClass running"

// Control codes for the system's reboot device.
#define REBOOT_GUARD_ON    1    // a password guards the screen
#define REBOOT_GUARD_OFF   2    // it no longer does

extern HWND saverWindow;
extern int previewMode;
extern int verifying;
extern int closing;
extern POINT referencePoint;

int RunSaverWindow(HWND parent);
LRESULT CALLBACK SaverHostWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SaverHostDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int VerifyBeforeClose(HWND window);
void LoadPasswordVerifier(void);
void UnloadPasswordVerifier(void);
void ControlRebootDevice(DWORD code);
// The input watch, shared with the windows that cover the other monitors:
// whether an event ends the saver, and whether a system command is refused.
int InputEndsSaver(UINT message, WPARAM wParam);
int IsSwallowedCommand(WPARAM command);

#endif
