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
// Reads the named file into the document, which a read that fails leaves as
// it was; its header (speed, background, caption) is the caller's to apply.
int ReadToonFile(ToonDocument *toon, HWND window);
int WriteToonFile(ToonDocument *toon, HWND window);
// Writes the document to path, which then becomes its name; a write that
// fails leaves the name as it was.
int WriteToonFileAs(ToonDocument *toon, HWND window, const char *path);
int AskSaveToonChanges(ToonDocument *toon, HWND window, ShownFrame shown);
// Reads the toon chosen; until that succeeds the document is left as it was.
int OpenToonFileDialog(ToonDocument *toon, HWND window, ShownFrame shown);
int ReopenToonFile(ToonDocument *toon, HWND window);
int NewToonFile(ToonDocument *toon, HWND window, ShownFrame shown);
// The save dialog, titled "Save Toon File" and starting from the document's
// name, asking before a file that exists is overwritten; a refused name is
// asked for again, up to attempts times. The name chosen, good until the
// next file dialog, or null.
const char *ChooseToonSaveName(const ToonDocument *toon, HWND window, int attempts);
// The file dialogs are the window's from now on; the document counts as
// unmodified. With no name they start in folder, which must outlive them.
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
