#include "editor/frame_commands.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include "editor/editor_controls.h"
#include "editor/frame_editor.h"
#include "editor/toon_configure.h"
#include "engine/messages.h"
#include "show/settings.h"
#include "toon/sound_clip.h"
#include "toon/toon_document.h"
#include "toon/toon_file.h"
#include "resources/resource.h"

#define SOUND_RECORDER        "sndrec32.exe"
#define VOLUME_CONTROL        "sndvol32.exe"
// Today's systems have only this volume control.
#define VOLUME_CONTROL_TODAY  "sndvol.exe"
#define WINDOWS_DIR_SIZE      128

static HWND MainWindowOf(HWND dialog)
{
    return GetWindow(dialog, GW_OWNER);
}

static void TellMainWindow(HWND dialog, UINT message, WPARAM wParam)
{
    SendMessageA(MainWindowOf(dialog), message, wParam, 0);
}

int NewToon(HWND dialog)
{
    if (NewToonFile(dialog) != 1)
        return 0;
    NewToonHeader();
    InitFrameEditor(dialog);
    SetToonModified(dialog, 0);
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
    return 1;
}

// A read that failed after the old frames were dropped leaves no toon to
// edit: a new one takes its place. Otherwise the old toon stays, under the
// name the open dialog gave back, which the save question may have given.
static void RecoverFromFailedOpen(HWND dialog)
{
    if (toon.frames && toon.frameCount >= 1) {
        UpdateFrameEditorCaption(dialog);
        return;
    }
    toon.fileName[0] = '\0';
    InitFrameEditor(dialog);
    SetToonModified(dialog, 0);
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
}

int OpenToonInEditor(HWND dialog)
{
    int count = OpenToonFileDialog(dialog);
    if (!count) {
        RecoverFromFailedOpen(dialog);
        return 0;
    }
    TakeReadToon(count);
    FillFrameNumbers(dialog);
    ShowFrame(dialog, &editFrame);
    SetToonModified(dialog, 0);
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
    TellMainWindow(dialog, WM_ENABLEPLAY, 1);
    return 1;
}

// The save dialog also writes into the document's name; a refused or
// cancelled Save As gives the old name back, so that a later Save cannot
// write over the file the user chose to keep.
int SaveToonAs(HWND dialog)
{
    char previousName[TOON_FILENAME_SIZE];
    lstrcpynA(previousName, toon.fileName, sizeof previousName);
    if (!ShowToonSaveDialog() || !ConfirmToonOverwrite(dialog)) {
        lstrcpynA(toon.fileName, previousName, sizeof toon.fileName);
        return 0;
    }
    UpdateFrameEditorCaption(dialog);
    return WriteToonFile(dialog);
}

int SaveToon(HWND dialog)
{
    if (!toon.fileName[0])
        return SaveToonAs(dialog);
    if (!toon.modified)
        return 1;
    return WriteToonFile(dialog);
}

int ExitFrameEditor(HWND dialog)
{
    if (!AskSaveToonChanges(dialog))
        return 0;
    if (toon.modified && toon.fileName[0]) {
        int count = ReopenToonFile(dialog);
        if (count) {
            toon.frameCount = count;
            // The file may hold fewer frames than the editor had.
            toon.currentFrame = 0;
        }
    }
    HWND mainWindow = MainWindowOf(dialog);
    DestroyWindow(dialog);
    frameEditorDialog = NULL;
    SendMessageA(mainWindow, WM_FRAMEDITCLOSED, 0, 0);
    if (toon.fileName[0]) {
        SendMessageA(mainWindow, WM_TOONCHANGED, 0, 0);
        SendMessageA(mainWindow, WM_ENABLEPLAY, 1, 0);
    }
    return 1;
}

int ConfigureToon(HINSTANCE instance, HWND dialog)
{
    DialogBoxParamA(instance, "Configure", dialog, ConfigureDlgProc, 0);
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
    return 1;
}

int PlaySelectedSound(HWND dialog)
{
    char reference[TOON_TEXT_SIZE];
    SelectedSoundReference(dialog, reference);
    // A complaint written into the reference is not shown.
    return IsSoundClip(reference) && PlaySoundClipAndWait(dialog, reference);
}

static int ProgramFound(const char *program)
{
    char windows[WINDOWS_DIR_SIZE];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        windows[0] = '\0';
    char found[MAX_PATH] = "";
    return (INT_PTR)FindExecutableA(program, windows, found) > 32;
}

static void StartSoundTool(HWND dialog, const char *program, const char *directory)
{
    ShellExecuteA(dialog, NULL, program, NULL, directory, SW_SHOWNORMAL);
}

void StartSoundRecorder(HWND dialog)
{
    StartSoundTool(dialog, SOUND_RECORDER, settings.directory[0] ? settings.directory : NULL);
}

void StartVolumeControl(HWND dialog)
{
    StartSoundTool(dialog, ProgramFound(VOLUME_CONTROL) ? VOLUME_CONTROL : VOLUME_CONTROL_TODAY, NULL);
}

void CheckSoundTools(HWND dialog)
{
    HMENU menu = GetMenu(dialog);
    int volume = ProgramFound(VOLUME_CONTROL) || ProgramFound(VOLUME_CONTROL_TODAY);
    EnableMenuItem(menu, IDM_RECORDSOUND, MF_BYCOMMAND | (ProgramFound(SOUND_RECORDER) ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_SETVOLUME, MF_BYCOMMAND | (volume ? MF_ENABLED : MF_GRAYED));
}
