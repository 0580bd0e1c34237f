#include "editor/frame_commands.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/frame_editor.h"
#include "editor/toon_configure.h"
#include "engine/sequencer.h"
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

static ToonDocument &toon = editorFrame.toon;

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
    ToonFrame shown;
    if (NewToonFile(&toon, dialog, ShownFrameOfEditor(dialog, &shown)) != 1)
        return 0;
    NewToonHeader(&toon, editorFrame.stageSize);
    InitFrameEditor(dialog);
    SetToonModified(&toon, dialog, 0);
    // The toon played so far is gone: playback starts again at frame 1.
    ResetEditorPlayback();
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
    return 1;
}

int OpenToonInEditor(HWND dialog)
{
    ToonFrame shown;
    int count = OpenToonFileDialog(&toon, dialog, ShownFrameOfEditor(dialog, &shown));
    if (!count) {
        // The toon stays; the save question may have named it meanwhile.
        UpdateFrameEditorCaption(dialog);
        return 0;
    }
    TakeReadToon(&toon, count);
    // A toon opened before the entrance keeps the stage, here as in the
    // main window.
    CancelEntrance(editorFrame.stage);
    TakeEditorToonHeader();
    FillFrameNumbers(dialog, 0);
    ShowFrameAt(dialog, 0);
    SetToonModified(&toon, dialog, 0);
    // A toon stopped before must not go on in the one just read.
    ResetEditorPlayback();
    TellMainWindow(dialog, WM_TOONCHANGED, 0);
    TellMainWindow(dialog, WM_ENABLEPLAY, 1);
    return 1;
}

// The toon takes the new name only once it is written there: after a
// cancel, a refusal or a failed write, a later Save writes where it did.
int SaveToonAs(HWND dialog)
{
    const char *name = ChooseToonSaveName(&toon, dialog, 1);
    if (!name)
        return 0;
    const int written = WriteToonFileAs(&toon, dialog, name);
    UpdateFrameEditorCaption(dialog);
    return written;
}

int SaveToon(HWND dialog)
{
    if (!toon.fileName[0])
        return SaveToonAs(dialog);
    if (!toon.modified)
        return 1;
    return WriteToonFile(&toon, dialog);
}

int ExitFrameEditor(HWND dialog)
{
    if (!AskSaveFrameEditorChanges(dialog))
        return 0;
    if (toon.modified && toon.fileName[0]) {
        int count = ReopenToonFile(&toon, dialog);
        if (count) {
            toon.frameCount = count;
            TakeEditorToonHeader();
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
    return IsSoundClip(reference) && PlaySoundClipAndWait(dialog, reference, toon.fileName, settings.directory);
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
    // What it records lands where the sound list looks.
    char folder[MAX_PATH];
    StartSoundTool(dialog, SOUND_RECORDER, EditedToonFolder(folder, sizeof folder) ? folder : NULL);
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
