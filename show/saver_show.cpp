#include "show/saver_show.h"
#include "host/saver_window.h"

// The show's state; its operations come with the show itself.
ShowState show = { 0, 0, 0, 0, 0, 1, "", NULL, NULL };

// Until the show arrives, every event goes to the host's default handling.
LRESULT CALLBACK SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return SaverHostDefaultProc(window, message, wParam, lParam); }
