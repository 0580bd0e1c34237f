#include "host/saver_window.h"

// Placeholder until the saver window is built: no window, nothing guarded.
HWND saverWindow;
int previewMode;
int verifying;
int closing;
POINT referencePoint;

int RunSaverWindow(HWND)
{
    return -1;
}

void ControlRebootDevice(DWORD)
{
}

LRESULT SaverHostDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
