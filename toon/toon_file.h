// Toon files (*.ptf): reading, writing, the file dialogs and the question
// whether to save changes.
#ifndef PIMBO_TOON_FILE_H
#define PIMBO_TOON_FILE_H

#include <windows.h>
#include "toon/toon_document.h"

#define TOON_SIGNATURE  "Pimbo Toon Frame File"

#define WM_TOONCHANGED  (WM_USER + 4)   // a toon was loaded: rebuild and repaint

// A frame an editor shows, stored into its slot before the toon is written;
// frame is null when nothing is being edited.
struct ShownFrame {
    const ToonFrame *frame;
    int index;
};

// windowSize: the packed size of the stage the toon is made on.
void NewToonHeader(ToonDocument *toon, DWORD windowSize);
// Reads the named file into the document; its header (speed, background,
// caption) is the caller's to apply.
int ReadToonFile(ToonDocument *toon, HWND window);
int WriteToonFile(ToonDocument *toon, HWND window);
int AskSaveToonChanges(ToonDocument *toon, HWND window, ShownFrame shown);
int OpenToonFileDialog(ToonDocument *toon, HWND window, ShownFrame shown);
// Whether the document's name may be written: asks when it names a file
// that exists already.
int ConfirmToonOverwrite(const ToonDocument *toon, HWND window);
int ReopenToonFile(ToonDocument *toon, HWND window);
int NewToonFile(ToonDocument *toon, HWND window, ShownFrame shown);
// The save dialog on its own, titled "Save Toon File"; 1 when a name was
// chosen (it is then the document's fileName).
int ShowToonSaveDialog(ToonDocument *toon);
// The file dialogs write into this document's name from now on; with no
// name they start in folder, which must outlive them.
int PrepareToonFileDialogs(ToonDocument *toon, HWND window, const char *folder);
int LoadToonByName(ToonDocument *toon, HWND window, const char *name);
// After a read of count frames (0: it failed). Returns count.
int TakeReadToon(ToonDocument *toon, int count);

// Writing a file so that an older one stays whole until the new one is:
// a temporary file in the target's directory (its name lands in temporary,
// MAX_PATH bytes), then ReplaceWithTemporary: 1 when it took the target's
// place; 0 when the old file is still there (the temporary one may go); -1
// when the old file is gone and the temporary one is the only copy.
HANDLE CreateTemporaryBeside(const char *target, const char *prefix, char *temporary);
int ReplaceWithTemporary(const char *temporary, const char *target);

// lStructSize for an OPENFILENAMEA on the system the program runs on.
DWORD FileDialogSize(void);

// Whether a name ends in ".ptf", in any case.
int IsToonFileName(const char *name);

#endif
