#include "host/monitor_covers.h"
#include "host/host_entry.h"
#include "host/saver_window.h"

#define MAX_COVERS       16     // more monitors than any desk holds
#define COVER_EX_STYLE   (WS_EX_TOPMOST | WS_EX_TOOLWINDOW)

// Windows 95 has no EnumDisplayMonitors; a static import would keep the
// program from loading there, where there is one monitor anyway.
typedef BOOL (WINAPI *EnumMonitorsProc)(HDC dc, LPCRECT clip, MONITORENUMPROC callback, LPARAM data);

static HWND covers[MAX_COVERS];
static int coverCount;

// A cover only watches: what it sees goes to the saver window, which asks
// for the password where one is set and takes the covers down with it.
static LRESULT CALLBACK CoverWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(NULL);
        return 1;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;   // keys and the password prompt stay with the saver window
    case WM_CLOSE:
        PostMessageA(saverWindow, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSCOMMAND:
        if (IsSwallowedCommand(wParam))
            return 0;
        break;
    }
    if (InputEndsSaver(message, wParam))
        PostMessageA(saverWindow, WM_CLOSE, 0, 0);
    return DefWindowProcA(window, message, wParam, lParam);
}

static int RegisterCoverClass(void)
{
    WNDCLASSA coverClass;
    if (GetClassInfoA(hostInstance, COVER_CLASS_NAME, &coverClass))
        return 1;
    ZeroMemory(&coverClass, sizeof coverClass);
    coverClass.lpfnWndProc = CoverWndProc;
    coverClass.hInstance = hostInstance;
    coverClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    coverClass.lpszClassName = COVER_CLASS_NAME;
    return RegisterClassA(&coverClass) != 0;
}

// A monitor that the saver window covers in part (a primary monitor grown
// while the saver runs) is covered around it: the cover has a hole there.
static void CutOutShow(HWND cover, const RECT *monitor, const RECT *shown)
{
    RECT overlap;
    if (!IntersectRect(&overlap, monitor, shown))
        return;
    HRGN visible = CreateRectRgn(0, 0, monitor->right - monitor->left, monitor->bottom - monitor->top);
    HRGN hole = CreateRectRgn(overlap.left - monitor->left, overlap.top - monitor->top,
                              overlap.right - monitor->left, overlap.bottom - monitor->top);
    if (visible && hole)
        CombineRgn(visible, visible, hole, RGN_DIFF);
    if (hole)
        DeleteObject(hole);
    // Once set, the region belongs to the window.
    if (visible && !SetWindowRgn(cover, visible, FALSE))
        DeleteObject(visible);
}

struct CoverJob {
    HWND saver;
    RECT shown;
};

static BOOL CALLBACK CoverMonitor(HMONITOR, HDC, LPRECT monitor, LPARAM jobData)
{
    const CoverJob *job = (const CoverJob *)jobData;
    const RECT *shown = &job->shown;
    RECT both;
    UnionRect(&both, shown, monitor);
    if (EqualRect(&both, shown))
        return TRUE;
    if (coverCount >= MAX_COVERS)
        return FALSE;
    HWND cover = CreateWindowExA(COVER_EX_STYLE, COVER_CLASS_NAME, "", WS_POPUP, monitor->left, monitor->top,
                                 monitor->right - monitor->left, monitor->bottom - monitor->top, NULL, NULL,
                                 hostInstance, NULL);
    if (!cover)
        return TRUE;
    CutOutShow(cover, monitor, shown);
    // Just under the saver window, so that whatever stands above it (the
    // password prompt) stays above the covers too.
    SetWindowPos(cover, job->saver, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    covers[coverCount++] = cover;
    return TRUE;
}

static void DestroyCovers(HWND *windows, int count)
{
    for (int i = 0; i < count; ++i) {
        if (IsWindow(windows[i]))
            DestroyWindow(windows[i]);
        windows[i] = NULL;
    }
}

void CoverOtherMonitors(HWND saver)
{
    // The new covers are up before the old ones go, so no monitor shows
    // the desktop in between.
    HWND old[MAX_COVERS];
    const int oldCount = coverCount;
    CopyMemory(old, covers, sizeof old);
    coverCount = 0;

    EnumMonitorsProc enumMonitors =
        (EnumMonitorsProc)(void *)GetProcAddress(GetModuleHandleA("USER32.DLL"), "EnumDisplayMonitors");
    CoverJob job;
    job.saver = saver;
    if (enumMonitors && RegisterCoverClass() && GetWindowRect(saver, &job.shown))
        enumMonitors(NULL, NULL, CoverMonitor, (LPARAM)&job);
    DestroyCovers(old, oldCount);
}

void RemoveCovers(void)
{
    DestroyCovers(covers, coverCount);
    coverCount = 0;
}
