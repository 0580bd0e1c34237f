#include "show/help_dialog.h"
#include "show/settings.h"
#include "engine/screen.h"
#include "resources/resource.h"

#include <shellapi.h>

// Beyond this the text is not ours: it is shown cut rather than not at all.
#define HELP_TEXT_LIMIT  65536
#define HELP_FILE        "Pimbo96.hlp"
// ShellExecute reports failure with a value of 32 or below.
#define SHELL_FAILED     32

// The help text as the edit control wants it: every line break as CR LF,
// whatever the file in the resources used. The caller frees the result.
static char *LoadHelpText(HINSTANCE instance)
{
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(IDR_HELPTEXT), (LPCSTR)RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    const char *source = loaded ? (const char *)LockResource(loaded) : NULL;
    if (!source)
        return NULL;
    DWORD size = SizeofResource(instance, found);
    if (size > HELP_TEXT_LIMIT)
        size = HELP_TEXT_LIMIT;
    char *text = (char *)HeapAlloc(GetProcessHeap(), 0, 2 * (SIZE_T)size + 1);
    if (!text)
        return NULL;
    DWORD length = 0;
    for (DWORD i = 0; i < size && source[i]; ++i) {
        if (source[i] == '\r')
            continue;
        if (source[i] == '\n')
            text[length++] = '\r';
        text[length++] = source[i];
    }
    text[length] = '\0';
    return text;
}

static void ShowHelpText(HWND dialog)
{
    char *text = LoadHelpText((HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    if (!text)
        return;
    HWND box = GetDlgItem(dialog, IDC_HELPTEXT);
    SendMessageA(box, EM_LIMITTEXT, 0, 0);
    SetWindowTextA(box, text);
    HeapFree(GetProcessHeap(), 0, text);
}

static INT_PTR OnHelpInit(HWND dialog)
{
    CenterWindowOnScreen(dialog);
    ShowHelpText(dialog);
    // Focus on OK rather than the text, which would come up all selected.
    SetFocus(GetDlgItem(dialog, IDOK));
    return FALSE;
}

INT_PTR CALLBACK HelpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnHelpInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR ShowHelpDialog(HINSTANCE instance, HWND owner)
{
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_HELP), owner, HelpDialogProc, 0);
}

void OpenProgramHelp(HINSTANCE instance, HWND owner)
{
    // No help file ships with the program, and today's systems cannot show
    // one of that format anyway.
    char path[MAX_PATH];
    INT_PTR opened = ToonDirectoryPath(path, sizeof path, HELP_FILE)
        ? (INT_PTR)ShellExecuteA(owner, NULL, path, NULL, NULL, SW_SHOWNORMAL) : 0;
    if (opened <= SHELL_FAILED)
        ShowHelpDialog(instance, owner);
}
