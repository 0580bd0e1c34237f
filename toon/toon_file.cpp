#include "toon/toon_file.h"

#include <commdlg.h>
#include <stdio.h>
#include <string.h>

#include "toon/toon_document.h"

#define TOON_FILTER         "Pimbo Toon Files (*.ptf)\0*.ptf\0"
#define CUSTOM_FILTER_SIZE  40
#define MESSAGE_SIZE        (TOON_FILENAME_SIZE + 64)
#define NEW_FRAME_SPEED     3
#define NEW_BACKGROUND      1
#define SAVE_NAME_ATTEMPTS  3

// The record both file dialogs share.
static OPENFILENAMEA toonDialog;
// Its file buffer: the name shown first and the one chosen. A document
// takes a chosen name only once the file has been read or written.
static char chosenName[TOON_FILENAME_SIZE];
// The user's own filter, kept between uses: a label, then the pattern the
// dialog last used. Both must be there from the start, or some dialogs take
// the buffer for a broken filter and drop the whole filter list.
static char customFilter[CUSTOM_FILTER_SIZE] = "Custom Filter\0*.ptf";

static int ShowToonMessage(const ToonDocument *toon, HWND window, const char *format, const char *path,
                           const char *caption, UINT style)
{
    char text[MESSAGE_SIZE];
    snprintf(text, sizeof text, format, path);
    if (toon->showMessage)
        return toon->showMessage(window, text, caption, style);
    return MessageBoxA(window, text, caption, style);
}

static HCURSOR ShowWaitCursor(const ToonDocument *toon)
{
    // With no hourglass, SetCursor(NULL) hides the cursor instead.
    return SetCursor(toon->waitCursor);
}

// Reads up to size bytes; returns how many arrived.
static DWORD ReadBytes(HANDLE file, void *buffer, DWORD size)
{
    DWORD got = 0;
    if (!ReadFile(file, buffer, size, &got, NULL))
        return 0;
    return got;
}

static int WriteAll(HANDLE file, const void *buffer, DWORD size)
{
    DWORD put = 0;
    return WriteFile(file, buffer, size, &put, NULL) && put == size;
}

// Frames a file of this size holds: (size - 103) / 92, with one byte
// short of a frame still counting as a frame. A file too short for a
// header holds none; a count beyond what a block can take is -1.
static int FrameCountForSize(LONGLONG size)
{
    if (size < TOON_HEADER_BYTES)
        return 0;
    LONGLONG count = (size - (TOON_HEADER_BYTES - 1)) / TOON_FRAME_BYTES;
    return count > 0x7FFFFFFF / TOON_FRAME_BYTES ? -1 : (int)count;
}

// GetFileSize rather than GetFileSizeEx, which the first 32-bit systems
// lack; with the high half it still gives the whole size.
static int ToonFileSize(HANDLE file, LONGLONG *size)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    *size = (LONGLONG)high << 32 | low;
    return 1;
}

void NewToonHeader(ToonDocument *toon, DWORD windowSize)
{
    memcpy(toon->header.signature, TOON_SIGNATURE, sizeof toon->header.signature);
    memset(toon->header.caption, 0, sizeof toon->header.caption);
    lstrcpynA(toon->header.caption, toon->caption, sizeof toon->header.caption);
    toon->header.windowSize = windowSize;
    toon->header.frameCount = 1;
    toon->header.backgroundIndex = NEW_BACKGROUND;
    toon->header.version = TOON_VERSION;
    toon->header.frameSpeed = NEW_FRAME_SPEED;
}

// The caption of the header just read may come without its terminator;
// it is cut to fit.
static void TakeToonCaption(ToonDocument *toon)
{
    size_t length = strnlen(toon->header.caption, sizeof toon->header.caption);
    if (length >= sizeof toon->caption)
        length = sizeof toon->caption - 1;
    memcpy(toon->caption, toon->header.caption, length);
    toon->caption[length] = '\0';
}

// Reads the named file into an empty document, whose messages name it.
static int ReadIntoEmpty(ToonDocument *toon, HWND window)
{
    const char *path = toon->fileName;
    // Reading only: a toon on read-only media, marked read-only or held open
    // by a reader elsewhere still plays.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    LONGLONG size = 0;
    if (file != INVALID_HANDLE_VALUE && !ToonFileSize(file, &size)) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    if (file == INVALID_HANDLE_VALUE) {
        ShowToonMessage(toon, window, "Error opening file", path, NULL, MB_OK | MB_ICONHAND);
        return 0;
    }

    int count = FrameCountForSize(size);
    ToonHeader header;
    if (count == 0) {
        ShowToonMessage(toon, window, "No toon frames in %s.", path, NULL, MB_OK | MB_ICONEXCLAMATION);
        CloseHandle(file);
        return 0;
    }
    if (ReadBytes(file, &header, TOON_HEADER_BYTES) != TOON_HEADER_BYTES) {
        CloseHandle(file);
        return 0;
    }
    if (header.version != TOON_VERSION) {
        ShowToonMessage(toon, window, "Invalid ToonFile Version %s.", path, NULL, MB_OK | MB_ICONEXCLAMATION);
        CloseHandle(file);
        return 0;
    }
    if (!AllocToonFrames(toon, count)) {
        ShowToonMessage(toon, window, "Not enough memory.", path, NULL, MB_OK | MB_ICONHAND);
        CloseHandle(file);
        return 0;
    }
    toon->header = header;
    TakeToonCaption(toon);

    DWORD wanted = (DWORD)count * TOON_FRAME_BYTES;
    DWORD got = 0;
    HCURSOR previous = ShowWaitCursor(toon);
    void *frames = GlobalLock(toon->frames);
    if (frames) {
        got = ReadBytes(file, frames, wanted);
        GlobalUnlock(toon->frames);
    }
    SetCursor(previous);
    if (got < wanted)
        ShowToonMessage(toon, window, "Error reading %s.", path, NULL, MB_OK | MB_ICONEXCLAMATION);

    CloseHandle(file);
    toon->frameCount = count;
    return count;
}

// The file is read into a document of its own, which takes the place of
// the toon on hand only when the read succeeded: a file that cannot be a
// toon, or cannot be held, leaves the user what they were editing.
static int ReadToonNamed(ToonDocument *toon, HWND window, const char *path)
{
    ToonDocument fresh;
    ZeroMemory(&fresh, sizeof fresh);
    lstrcpynA(fresh.fileName, path, sizeof fresh.fileName);
    fresh.waitCursor = toon->waitCursor;
    fresh.showMessage = toon->showMessage;
    const int count = ReadIntoEmpty(&fresh, window);
    if (!count) {
        FreeToonFrames(&fresh);
        return 0;
    }
    FreeToonFrames(toon);
    toon->header = fresh.header;
    toon->frameCount = fresh.frameCount;
    toon->frames = fresh.frames;
    toon->blockBytes = fresh.blockBytes;
    memcpy(toon->fileName, fresh.fileName, sizeof toon->fileName);
    memcpy(toon->caption, fresh.caption, sizeof toon->caption);
    return count;
}

int ReadToonFile(ToonDocument *toon, HWND window)
{
    if (!toon->fileName[0])
        return 0;
    return ReadToonNamed(toon, window, toon->fileName);
}

// The directory part of a full path, with its trailing backslash.
static int DirectoryOf(const char *path, char *directory, DWORD size)
{
    char *namePart = NULL;
    DWORD length = GetFullPathNameA(path, size, directory, &namePart);
    if (length == 0 || length >= size || !namePart || !*namePart)
        return 0;
    *namePart = '\0';
    return 1;
}

// The old file must stay intact until a complete new one exists, so the
// new one goes to a temporary file beside it that then takes its place.
HANDLE CreateTemporaryBeside(const char *target, const char *prefix, char *temporary)
{
    char directory[MAX_PATH];
    if (!DirectoryOf(target, directory, sizeof directory))
        return INVALID_HANDLE_VALUE;
    // An existing file that cannot be written to is refused up front, as
    // creating it over the old one would be.
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return INVALID_HANDLE_VALUE;
    if (!GetTempFileNameA(directory, prefix, 0, temporary))
        return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        DeleteFileA(temporary);
    return file;
}

// Writes header and frames; 0 when any write came short.
static int WriteToonContents(ToonDocument *toon, HANDLE file)
{
    toon->header.frameCount = toon->frameCount;
    if (!WriteAll(file, &toon->header, TOON_HEADER_BYTES))
        return 0;
    if (toon->frameCount <= 0)
        return 1;
    // Never more than the block holds, whatever the count claims.
    SIZE_T wanted = (SIZE_T)toon->frameCount * TOON_FRAME_BYTES;
    if (!toon->frames || GlobalSize(toon->frames) < wanted)
        return 0;
    const void *frames = GlobalLock(toon->frames);
    if (!frames)
        return 0;
    int ok = WriteAll(file, frames, (DWORD)wanted);
    GlobalUnlock(toon->frames);
    return ok;
}

// Puts the finished temporary file in the target's place: 1 when done; 0 when
// the old file is still there; -1 when the old file is gone but the new one
// could not take its name, so the temporary file, the only copy, must stay.
// Windows 9x has MoveFileExA only as a stub; there the old file is deleted
// first and the new one moved.
int ReplaceWithTemporary(const char *temporary, const char *target)
{
    if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 1;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return 0;
    if (!DeleteFileA(target) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return 0;
    return MoveFileA(temporary, target) ? 1 : -1;
}

// The document takes the name only once the file is written there: a
// Save As that fails keeps the name it had.
int WriteToonFileAs(ToonDocument *toon, HWND window, const char *path)
{
    char temporary[MAX_PATH];
    HANDLE file = path[0] ? CreateTemporaryBeside(path, "ptf", temporary) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        ShowToonMessage(toon, window, "Cannot write to %s.", path, NULL, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    HCURSOR previous = ShowWaitCursor(toon);
    int written = WriteToonContents(toon, file) && FlushFileBuffers(file);
    CloseHandle(file);
    int replaced = written ? ReplaceWithTemporary(temporary, path) : 0;
    if (replaced == 0)
        DeleteFileA(temporary);
    SetCursor(previous);
    if (!written) {
        ShowToonMessage(toon, window, "Error writing to %s.", path, NULL, MB_OK | MB_ICONHAND);
        return 0;
    }
    // A toon file held open elsewhere: nothing reached it, as with one that
    // cannot be created.
    if (replaced != 1) {
        ShowToonMessage(toon, window, "Cannot write to %s.", path, NULL, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (path != toon->fileName)
        lstrcpynA(toon->fileName, path, sizeof toon->fileName);
    SetToonModified(toon, window, 0);
    return 1;
}

int WriteToonFile(ToonDocument *toon, HWND window)
{
    return WriteToonFileAs(toon, window, toon->fileName);
}

// Runs a file dialog on chosenName, which starts as the document's name.
static int RunToonDialog(const ToonDocument *toon, const char *title, BOOL(WINAPI *show)(LPOPENFILENAMEA))
{
    lstrcpynA(chosenName, toon->fileName, sizeof chosenName);
    toonDialog.lpstrTitle = title;
    toonDialog.lpstrFile = chosenName;
    toonDialog.nMaxFile = sizeof chosenName;
    if (show(&toonDialog))
        return 1;
    // A failed dialog (a name too long for the buffer) may leave anything there.
    chosenName[0] = '\0';
    return 0;
}

static int ToonFileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static int ConfirmToonOverwrite(const char *path, HWND window)
{
    if (!ToonFileExists(path))
        return 1;
    char question[MESSAGE_SIZE];
    snprintf(question, sizeof question, "%s - Toon File Already Exists!!\rOverwrite it?", path);
    return MessageBoxA(window, question, "Warning", MB_ICONQUESTION | MB_YESNO) == IDYES;
}

const char *ChooseToonSaveName(const ToonDocument *toon, HWND window, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!RunToonDialog(toon, "Save Toon File", GetSaveFileNameA))
            return NULL;
        // A name picked here must not replace another toon unasked.
        if (ConfirmToonOverwrite(chosenName, window))
            return chosenName;
    }
    return NULL;
}

int AskSaveToonChanges(ToonDocument *toon, HWND window, ShownFrame shown)
{
    if (!toon->modified)
        return 1;
    int answer = ShowToonMessage(toon, window, "Save current changes? %s", toon->fileName, TOON_SIGNATURE,
                                 MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    if (answer == IDNO)
        return 1;
    if (answer != IDYES)
        return 0;
    const char *path = toon->fileName[0] ? toon->fileName : ChooseToonSaveName(toon, window, SAVE_NAME_ATTEMPTS);
    if (!path)
        return 0;
    if (shown.frame)
        PutToonFrame(toon, shown.index, shown.frame);
    return WriteToonFileAs(toon, window, path);
}

// The toon on hand stays, with its name, unless the chosen file is read;
// the save question may have given it a new name meanwhile.
int OpenToonFileDialog(ToonDocument *toon, HWND window, ShownFrame shown)
{
    if (!AskSaveToonChanges(toon, window, shown))
        return 0;
    if (!RunToonDialog(toon, "Open Toon File", GetOpenFileNameA))
        return 0;
    return ReadToonNamed(toon, window, chosenName);
}

int ReopenToonFile(ToonDocument *toon, HWND window)
{
    if (!toon->fileName[0])
        return 0;
    return ReadToonFile(toon, window);
}

int NewToonFile(ToonDocument *toon, HWND window, ShownFrame shown)
{
    if (!AskSaveToonChanges(toon, window, shown))
        return 0;
    toon->fileName[0] = '\0';
    return 1;
}

// The common dialogs before Windows 2000 (98, Me, NT 4) know the record only
// at its first size and refuse today's with CDERR_STRUCTSIZE before any
// dialog shows, which reads as Cancel. Later ones keep the full record.
DWORD FileDialogSize(void)
{
    return LOBYTE(LOWORD(GetVersion())) < 5 ? OPENFILENAME_SIZE_VERSION_400A : sizeof(OPENFILENAMEA);
}

int PrepareToonFileDialogs(ToonDocument *toon, HWND window, const char *folder)
{
    memset(&toonDialog, 0, sizeof toonDialog);
    toonDialog.lStructSize = FileDialogSize();
    toonDialog.hwndOwner = window;
    toonDialog.lpstrFilter = TOON_FILTER;
    toonDialog.lpstrCustomFilter = customFilter;
    toonDialog.nMaxCustFilter = sizeof customFilter;
    toonDialog.nFilterIndex = 1;
    toonDialog.lpstrFile = toon->fileName;
    toonDialog.nMaxFile = sizeof toon->fileName;
    toonDialog.lpstrInitialDir = folder;
    toonDialog.Flags = OFN_NOCHANGEDIR;
    SetToonModified(toon, window, 0);
    return 1;
}

int LoadToonByName(ToonDocument *toon, HWND window, const char *name)
{
    if (!name || strnlen(name, sizeof toon->fileName) >= sizeof toon->fileName) {
        // A name that does not fit would open some other file.
        MessageBoxA(window, "Error opening file", NULL, MB_OK | MB_ICONHAND);
        return 0;
    }
    // No file dialog here: the one record of the dialogs stays with the
    // document that last prepared it, an editor's beside this player. The
    // name is the document's once the toon is read.
    int count = TakeReadToon(toon, ReadToonNamed(toon, window, name));
    if (!count)
        return 0;
    SetToonModified(toon, window, 0);
    SendMessageA(window, WM_TOONCHANGED, 0, 0);
    return count;
}

int TakeReadToon(ToonDocument *toon, int count)
{
    if (!count)
        return 0;
    toon->frameCount = count;
    return count;
}

int IsToonFileName(const char *name)
{
    size_t length = name ? strlen(name) : 0;
    return length >= 4 && lstrcmpiA(name + length - 4, ".ptf") == 0;
}
