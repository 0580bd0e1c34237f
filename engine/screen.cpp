#include "engine/screen.h"

void CenterWindowOnScreen(HWND window)
{
    RECT box;
    if (!GetWindowRect(window, &box))
        return;
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    MoveWindow(window, x, y, width, height, FALSE);
}
