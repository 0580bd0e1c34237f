#include "show/config_dialog.h"
#include "show/help_dialog.h"
#include "show/settings.h"
#include "show/roster.h"
#include "show/toon_player.h"
#include "editor/editor_app.h"
#include "engine/screen.h"
#include "toon/toon_file.h"
#include "resources/resource.h"

#include <string.h>

#define LIST_TEXT_SIZE 128
#define COUNT_TEXT_SIZE 16

// The Size box's entries, in the order of their values.
static const char *const sizeChoices[] = { "Automatic", "1x", "2x", "3x", "4x" };

// The toon count seen when the dialog was last activated.
static int activationCount;

static HINSTANCE DialogInstance(HWND dialog)
{
    return (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
}

static void UpdateOptionEnabling(HWND dialog)
{
    BOOL enable = settings.pendingStyle == 0;
    EnableWindow(GetDlgItem(dialog, IDC_STATEMENTS), enable);
    EnableWindow(GetDlgItem(dialog, IDC_BACKGROUNDS), enable);
}

static void ApplyDialogChoices(HWND dialog)
{
    settings.walkingStyle = settings.pendingStyle;
    settings.statements = IsDlgButtonChecked(dialog, IDC_STATEMENTS) == BST_CHECKED;
    settings.backgrounds = IsDlgButtonChecked(dialog, IDC_BACKGROUNDS) == BST_CHECKED;
    const LRESULT size = SendDlgItemMessageA(dialog, IDC_SIZECHOICE, CB_GETCURSEL, 0, 0);
    settings.size = size == CB_ERR ? SIZE_AUTOMATIC : (int)size;
}

static void ShowSizeChoice(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_SIZECHOICE);
    if (SendMessageA(box, CB_GETCOUNT, 0, 0) == 0)
        for (const char *choice : sizeChoices)
            SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)choice);
    SendMessageA(box, CB_SETCURSEL, (WPARAM)settings.size, 0);
}

static void ShowDialogChoices(HWND dialog)
{
    CheckDlgButton(dialog, IDC_WALKRANDOM, settings.pendingStyle == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_PLAYTOONS, settings.pendingStyle == 0 ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(dialog, IDC_STATEMENTS, settings.statements ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_BACKGROUNDS, settings.backgrounds ? BST_CHECKED : BST_UNCHECKED);
    ShowSizeChoice(dialog);
    RefreshToonList(dialog);
    UpdateOptionEnabling(dialog);
}

// Falls back to the Windows directory when the chosen one is gone.
static int FindToonDirectory(void)
{
    if (IsDirectory(settings.directory))
        return 1;
    char windows[DIRECTORY_SIZE] = "";
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length + 2 > sizeof windows)
        return 0;
    lstrcpynA(settings.directory, windows, sizeof settings.directory);
    EnsureTrailingBackslash(settings.directory, sizeof settings.directory);
    return IsDirectory(settings.directory);
}

// Lists the toon directory's entries matching pattern, by their names.
static void ListToonDirectory(HWND list, UINT attributes, const char *pattern)
{
    char path[MAX_PATH];
    if (ToonDirectoryPath(path, sizeof path, pattern))
        SendMessageA(list, LB_DIR, attributes, (LPARAM)path);
}

void RefreshToonList(HWND dialog)
{
    if (!FindToonDirectory())
        return;
    int count = CountToonFiles();
    char text[COUNT_TEXT_SIZE];
    wsprintfA(text, "%d", count);
    SetDlgItemTextA(dialog, IDC_TOONCOUNT, text);

    HWND list = GetDlgItem(dialog, IDC_TOONLIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    ListToonDirectory(list, DDL_EXCLUSIVE | DDL_ARCHIVE, "*.ptf");
    ListToonDirectory(list, DDL_EXCLUSIVE | DDL_DRIVES | DDL_DIRECTORY, "*.*");
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    EnableWindow(GetDlgItem(dialog, IDC_PLAYTOON), count != 0);
}

// Reads the selected entry; an entry too long for the buffer is refused
// rather than cut, since a cut name would name another file.
static int SelectedEntry(HWND dialog, char *text)
{
    HWND list = GetDlgItem(dialog, IDC_TOONLIST);
    text[0] = '\0';
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return 0;
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length == LB_ERR || length >= LIST_TEXT_SIZE)
        return 0;
    if (SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)text) == LB_ERR) {
        text[0] = '\0';
        return 0;
    }
    text[LIST_TEXT_SIZE - 1] = '\0';
    return 1;
}

// The player started from here reads the INI file into the settings; what
// the dialog holds but has not written yet must survive it. An editor reads
// none, and the dialog works on while it runs: an editor that ends, maybe
// long after the dialog moved to another directory, keeps the dialog's.
static int RunFromDialog(HWND dialog, const char *name)
{
    const int player = name[0] != '\0';
    char path[MAX_PATH] = "";
    if (player && IsToonFileName(name) && !ToonDirectoryPath(path, sizeof path, name))
        return 0;
    char directory[DIRECTORY_SIZE];
    memcpy(directory, settings.directory, sizeof directory);
    int pendingStyle = settings.pendingStyle;
    // Both only open their windows, which then run in this dialog's loop;
    // the editor may stay open while the player runs: each has a stage of
    // its own.
    int result = player ? RunToonPlayer(DialogInstance(dialog), NULL, path)
                        : RunToonEditor(DialogInstance(dialog), dialog, SW_SHOWNORMAL);
    if (player) {
        memcpy(settings.directory, directory, sizeof directory);
        settings.pendingStyle = pendingStyle;
    }
    return result;
}

// "[-c-]": a drive; anything else in brackets is a directory.
static int IsDriveEntry(const char *text)
{
    return text[0] == '[' && text[1] == '-' && text[2] && text[2] != '-'
        && text[3] == '-' && text[4] == ']' && text[5] == '\0';
}

// Each step leaves the directory without its trailing backslash; 0 when
// the entry is not one to move by (it is then played as a file).
static int StepUp(char *directory)
{
    size_t length = strlen(directory);
    if (length > 0 && directory[length - 1] == '\\')
        --length;
    size_t cut = length;
    while (cut > 0 && directory[cut - 1] != '\\')
        --cut;
    if (cut == 0)
        return 0;
    directory[cut - 1] = '\0';
    return 1;
}

static int StepDown(char *directory, const char *entry)
{
    const char *name = entry + 1;
    const char *close = strrchr(name, ']');
    if (!close)
        return 0;
    size_t nameLength = (size_t)(close - name);
    size_t length = strlen(directory);
    // Room for the name, the backslash added afterwards and the terminator.
    if (length + nameLength + 2 > DIRECTORY_SIZE)
        return -1;
    memcpy(directory + length, name, nameLength);
    directory[length + nameLength] = '\0';
    return 1;
}

static void StepToDrive(char *directory, const char *entry)
{
    directory[0] = entry[2];
    directory[1] = ':';
    directory[2] = '\0';
}

static int NavigateTo(HWND dialog, const char *entry)
{
    char next[DIRECTORY_SIZE];
    memcpy(next, settings.directory, sizeof next);
    int moved;
    if (strncmp(entry, "[..]", 4) == 0)
        moved = StepUp(next);
    else if (IsDriveEntry(entry)) {
        StepToDrive(next, entry);
        moved = 1;
    } else if (entry[0] == '[')
        moved = StepDown(next, entry);
    else
        moved = 0;
    if (moved == 0)
        return 0;
    char full[DIRECTORY_SIZE];
    DWORD length = 0;
    if (moved > 0) {
        lstrcatA(next, "\\");
        length = GetFullPathNameA(next, sizeof full, full, NULL);
    }
    if (length == 0 || length >= sizeof full) {
        // Deeper than the directory setting can hold: stay where we are.
        MessageBeep(MB_ICONEXCLAMATION);
        return 1;
    }
    CharLowerA(full);
    memcpy(settings.directory, full, sizeof full);
    RefreshToonList(dialog);
    WriteToonDirectory();
    return 1;
}

static void ListDoubleClick(HWND dialog)
{
    char text[LIST_TEXT_SIZE] = "";
    if (!SelectedEntry(dialog, text))
        return;
    if (!NavigateTo(dialog, text))
        RunFromDialog(dialog, text);
}

static void PlaySelectedToon(HWND dialog)
{
    char text[LIST_TEXT_SIZE] = "";
    if (SelectedEntry(dialog, text))
        RunFromDialog(dialog, text);
}

static void EditToonFiles(HWND dialog)
{
    ApplyDialogChoices(dialog);
    RunFromDialog(dialog, "");
}

static void OnActivate(HWND dialog, WPARAM wParam)
{
    WORD state = LOWORD(wParam);
    if (state != WA_ACTIVE && state != WA_CLICKACTIVE)
        return;
    int count = CountToonFiles();
    if (count != activationCount) {
        RefreshToonList(dialog);
        activationCount = count;
    }
}

static INT_PTR CloseDialog(HWND dialog)
{
    EndDialog(dialog, 1);
    return TRUE;
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        // An open editor closes first, asking about unsaved frames; should
        // the user keep it, the dialog stays too.
        if (!CloseToonEditor())
            return TRUE;
        ApplyDialogChoices(dialog);
        WriteSettings();
        return CloseDialog(dialog);
    case IDCANCEL:
        if (!CloseToonEditor())
            return TRUE;
        return CloseDialog(dialog);
    case IDC_HELPBUTTON:
        OpenProgramHelp(DialogInstance(dialog), dialog);
        return FALSE;
    case IDC_WALKRANDOM:
        settings.pendingStyle = 0;
        UpdateOptionEnabling(dialog);
        return FALSE;
    case IDC_PLAYTOONS:
        settings.pendingStyle = 1;
        UpdateOptionEnabling(dialog);
        return FALSE;
    case IDC_TOONLIST:
        if (HIWORD(wParam) == LBN_DBLCLK)
            ListDoubleClick(dialog);
        return FALSE;
    case IDC_EDITTOONS:
        EditToonFiles(dialog);
        return FALSE;
    case IDC_PLAYTOON:
        PlaySelectedToon(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindowOnScreen(dialog);
        GiveShippedToons();
        ReadSettings();
        ShowDialogChoices(dialog);
        return TRUE;
    case WM_ACTIVATE:
        OnActivate(dialog, wParam);
        return FALSE;
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    default:
        return FALSE;
    }
}
