// The program's entry: the command line picks the mode.
#ifndef PIMBO_HOST_HOST_ENTRY_H
#define PIMBO_HOST_HOST_ENTRY_H

#include <windows.h>

enum HostMode {
    MODE_CONFIG,          // configuration dialog
    MODE_SAVER,           // full screen
    MODE_PREVIEW,         // child of the window given
    MODE_PASSWORD,        // change the password
    MODE_EXPORT,          // a toon into an animated GIF, no window shown
    MODE_BAD              // result -1
};

struct HostCommand {
    HostMode mode;
    HWND window;          // owner, preview parent or password owner
    int ownedByForeground;
    const char *arguments;  // the export's, after "gif"
};

extern HINSTANCE hostInstance;

// Skips the program name and the blanks after it.
const char *SkipProgramName(const char *commandLine);
// Reads the switches of a command tail; window numbers are not checked.
HostCommand ScanCommandTail(const char *tail);
UINT_PTR ParseWindowNumber(const char *text);
int SaverHostMain(HINSTANCE instance, const char *tail);
INT_PTR RunConfigDialog(HWND owner);
int PrepareDialogClasses(HINSTANCE instance);
void ChangeSaverPassword(HWND window);

// Runs a mode under the fault guard: a fault no one handles releases the
// reboot device before the process ends.
typedef int (*HostModeProc)(const HostCommand *command);
int RunGuardedMode(HostModeProc mode, const HostCommand *command);

#endif
