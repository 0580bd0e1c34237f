#include "editor/editor_controls.h"
#include "show/saver_show.h"

// The editor's main window fills these in when it exists; until then, and
// while a saver show runs, the engine's requests reach no control.
ToonFrame editFrame;
int playIdle = 1;
HWND frameEditorDialog;
HCURSOR waitCursor;
static HWND editorMainWindow;

static int EditorControlsReachable(void)
{
    return !show.running && editorMainWindow && IsWindow(editorMainWindow);
}

void SetPlayButton(int state)
{
    if (!EditorControlsReachable())
        return;
    (void)state;
}

void DisableUiForAction(void)
{
    if (!EditorControlsReachable())
        return;
}

void RestoreUiAfterAction(void)
{
    if (!EditorControlsReachable())
        return;
}
