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

typedef UINT (WINAPI *DpiForWindowProc)(HWND window);

// Looked up at run time: only Windows 10 has it, and Windows 98 must still
// load the program.
int WindowDpi(HWND window)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    DpiForWindowProc dpiForWindow = user ? (DpiForWindowProc)(void *)GetProcAddress(user, "GetDpiForWindow") : NULL;
    const UINT dpi = dpiForWindow && window ? dpiForWindow(window) : 0;
    if (dpi)
        return (int)dpi;
    HDC screen = GetDC(NULL);
    const int system = screen ? GetDeviceCaps(screen, LOGPIXELSX) : STANDARD_DPI;
    if (screen)
        ReleaseDC(NULL, screen);
    return system;
}

int ChooseScale(int chosen, int dpi)
{
    if (chosen >= 1 && chosen <= SCALE_LARGEST)
        return chosen;
    const int scale = (dpi + STANDARD_DPI / 2) / STANDARD_DPI;
    return scale < 1 ? 1 : scale > SCALE_LARGEST ? SCALE_LARGEST : scale;
}
