#include "host/host_entry.h"
#include "host/saver_window.h"
#include "show/config_dialog.h"
#include "show/toon_export.h"
#include "resources/resource.h"

#include <stdint.h>
#include <string.h>

HINSTANCE hostInstance;

typedef DWORD (WINAPI *PasswordChangeProc)(LPCSTR provider, HWND owner, DWORD reserved1, LPVOID reserved2);

const char *SkipProgramName(const char *line)
{
    if (!line)
        return "";
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while ((unsigned char)*line > ' ')
            ++line;
    }
    while (*line && (unsigned char)*line <= ' ')
        ++line;
    return line;
}

UINT_PTR ParseWindowNumber(const char *text)
{
    // 32-bit arithmetic that wraps, as window numbers on the command line are 32-bit.
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10u + (uint32_t)(*text - '0');
        ++text;
    }
    return (UINT_PTR)value;
}

static const char *SkipSpaces(const char *text)
{
    while (*text == ' ')
        ++text;
    return text;
}

HostCommand ScanCommandTail(const char *tail)
{
    HostCommand command = { MODE_BAD, NULL, 0, NULL };
    for (const char *p = tail;; ++p) {
        switch (*p) {
        case '\0':
            command.mode = MODE_CONFIG;
            return command;
        case ' ': case '-': case '/':
            continue;
        case 'c': case 'C':
            command.mode = MODE_CONFIG;
            command.ownedByForeground = 1;
            return command;
        case 's': case 'S':
            command.mode = MODE_SAVER;
            return command;
        case 'p': case 'P': case 'l': case 'L':
            command.mode = MODE_PREVIEW;
            command.window = (HWND)ParseWindowNumber(SkipSpaces(p + 1));
            return command;
        case 'a': case 'A':
            command.mode = MODE_PASSWORD;
            command.window = (HWND)ParseWindowNumber(SkipSpaces(p + 1));
            return command;
        case 'g': case 'G':
            // "gif" and nothing shorter: a lone g stays a bad switch.
            if (_strnicmp(p, "gif", 3) == 0 && (p[3] == ' ' || p[3] == '\0')) {
                command.mode = MODE_EXPORT;
                command.arguments = p + 3;
            }
            return command;
        default:
            return command;
        }
    }
}

int PrepareDialogClasses(HINSTANCE)
{
    return 1;
}

INT_PTR RunConfigDialog(HWND owner)
{
    if (!PrepareDialogClasses(hostInstance))
        return 0;
    return DialogBoxParamA(hostInstance, MAKEINTRESOURCEA(IDD_CONFIG), owner, ConfigDialogProc, 0);
}

void ChangeSaverPassword(HWND window)
{
    HMODULE library = LoadLibraryA("MPR.DLL");
    if (!library)
        return;
    PasswordChangeProc change = (PasswordChangeProc)(void *)GetProcAddress(library, "PwdChangePasswordA");
    if (change)
        change("SCRSAVE", window, 0, NULL);
    FreeLibrary(library);
}

static int RunMode(const HostCommand *command)
{
    switch (command->mode) {
    case MODE_CONFIG:
        return (int)RunConfigDialog(command->ownedByForeground ? GetForegroundWindow() : NULL);
    case MODE_SAVER:
        return RunSaverWindow(NULL);
    case MODE_PREVIEW:
        if (command->window && IsWindow(command->window))
            return RunSaverWindow(command->window);
        return -1;
    case MODE_EXPORT:
        return RunToonExport(hostInstance, command->arguments);
    case MODE_PASSWORD: {
        HWND owner = command->window;
        if (!owner || !IsWindow(owner))
            owner = GetForegroundWindow();
        ChangeSaverPassword(owner);
        return 0;
    }
    default:
        return -1;
    }
}

static LPTOP_LEVEL_EXCEPTION_FILTER earlierFaultFilter;
static int askingPlatform;

// A fault that escapes a mode must not leave the reboot device guarded. The
// platform's own handling decides the fault's fate; it calls the top-level
// filter itself, so while we ask it, that call goes on to the filter we
// replaced instead of coming back here for ever.
static LONG WINAPI HostFaultFilter(EXCEPTION_POINTERS *info)
{
    if (askingPlatform)
        return earlierFaultFilter ? earlierFaultFilter(info) : EXCEPTION_CONTINUE_SEARCH;
    askingPlatform = 1;
    LONG verdict = UnhandledExceptionFilter(info);
    askingPlatform = 0;
    // The process is about to end: release the guard before it does.
    if (verdict == EXCEPTION_EXECUTE_HANDLER)
        ControlRebootDevice(REBOOT_GUARD_OFF);
    return verdict;
}

int RunGuardedMode(HostModeProc mode, const HostCommand *command)
{
    earlierFaultFilter = SetUnhandledExceptionFilter(HostFaultFilter);
    int result = mode(command);
    SetUnhandledExceptionFilter(earlierFaultFilter);
    earlierFaultFilter = NULL;
    return result;
}

int SaverHostMain(HINSTANCE instance, const char *tail)
{
    hostInstance = instance;
    HostCommand command = ScanCommandTail(tail);
    return RunGuardedMode(RunMode, &command);
}
