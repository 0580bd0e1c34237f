// Process entry: the display settings start us with a switch on the
// command line; the host picks the mode and the process exits with its result.
#include <windows.h>
#include "host/host_entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    // The show command is taken as the platform gives it, and not used.
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    (void)showCommand;
    return SaverHostMain(instance, SkipProgramName(GetCommandLineA()));
}
