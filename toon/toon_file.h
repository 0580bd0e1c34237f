// Toon files (*.ptf): reading, writing, the file dialogs and the question
// whether to save changes.
#ifndef PIMBO_TOON_FILE_H
#define PIMBO_TOON_FILE_H

#include <windows.h>

#define TOON_SIGNATURE  "Pimbo Toon Frame File"

#define WM_TOONCHANGED  (WM_USER + 4)   // a toon was loaded: rebuild and repaint

void NewToonHeader(void);
int ReadToonFile(HWND window);
int WriteToonFile(HWND window);
int AskSaveToonChanges(HWND window);
int OpenToonFileDialog(HWND window);
// Whether the document's name may be written: asks when it names a file
// that exists already.
int ConfirmToonOverwrite(HWND window);
int ReopenToonFile(HWND window);
int NewToonFile(HWND window);
// The save dialog on its own, titled "Save Toon File"; 1 when a name was
// chosen (it is then the document's fileName).
int ShowToonSaveDialog(void);
int PrepareToonFileDialogs(HWND window);
int LoadToonByName(HWND window, const char *name);
// After a read of count frames (0: it failed): the document shows frame 0,
// which the editor takes as the frame it edits. Returns count.
int TakeReadToon(int count);
// Set by the frame editor while it is open: stores the frame its controls
// show into the document. The save question calls it before writing.
extern int (*StoreShownFrame)(void);

// Writing a file so that an older one stays whole until the new one is:
// a temporary file in the target's directory (its name lands in temporary,
// MAX_PATH bytes), then ReplaceWithTemporary: 1 when it took the target's
// place; 0 when the old file is still there (the temporary one may go); -1
// when the old file is gone and the temporary one is the only copy.
HANDLE CreateTemporaryBeside(const char *target, const char *prefix, char *temporary);
int ReplaceWithTemporary(const char *temporary, const char *target);

// Whether a name ends in ".ptf", in any case.
int IsToonFileName(const char *name);

#endif
