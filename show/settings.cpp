#include "show/settings.h"
#include "engine/screen.h"
#include "toon/paths.h"

#include <shlobj.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PACES_KEY        "Paces Walked"
#define PACES_TEXT_SIZE  20
#define NUMBER_TEXT_SIZE 16
#define USER_FOLDER      "Fizzy Pimbo"
#define COPIED_TEXT_SIZE 256
#define TOON_FOLDER      "Pimbo Toons"
#define SHIPPED_FOLDER   "Toons"
#define UNINSTALL_KEY    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pimbo95"
#define SHIPPED_MAX      64
#define SIZE_KEY         "Size"

static const char *const shippedPatterns[] = { "*.ptf", "*.wav" };

static const char *const settingKeys[] = {
    "Walking Style", "Statements", "Backgrounds", "Directory", PACES_KEY, SIZE_KEY
};

SaverSettings settings = { 1, 1, 1, "", 0, 0, SIZE_AUTOMATIC };

void EnsureTrailingBackslash(char *path, size_t size)
{
    if (!path || size == 0)
        return;
    size_t length = strnlen(path, size);
    if (length == size) {
        // Not terminated within its buffer: cut it rather than read on.
        path[size - 1] = '\0';
        length = size - 1;
    }
    if (length > 0 && path[length - 1] == '\\')
        return;
    // A full buffer keeps its path as it is: it still names the same
    // directory, while cutting a character to make room would not.
    if (length + 1 >= size)
        return;
    path[length] = '\\';
    path[length + 1] = '\0';
}

int ToonDirectoryPath(char *path, size_t size, const char *name)
{
    return JoinPath(path, size, settings.directory, name);
}

// Length of the decimal number at the start of text (sign, digits, point,
// exponent), 0 when there is none. Hex, "inf" and "nan" are not numbers here.
static size_t DecimalNumberLength(const char *text)
{
    size_t i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    size_t digits = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (text[i] == '.') {
        ++i;
        while (text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (text[i] == 'e' || text[i] == 'E') {
        size_t j = i + 1;
        if (text[j] == '+' || text[j] == '-')
            ++j;
        if (text[j] >= '0' && text[j] <= '9') {
            while (text[j] >= '0' && text[j] <= '9')
                ++j;
            i = j;
        }
    }
    return i;
}

// The text read as a decimal number, truncated toward zero, low 32 bits.
static LONG PacesFromText(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    size_t length = DecimalNumberLength(text);
    if (length == 0)
        return 0;
    char number[PACES_TEXT_SIZE];
    if (length >= sizeof number)
        length = sizeof number - 1;
    memcpy(number, text, length);
    number[length] = '\0';
    double value = trunc(strtod(number, NULL));
    if (!isfinite(value))
        return 0;
    // Exact for every double: what is left fits in 64 bits.
    value = fmod(value, 4294967296.0);
    return (LONG)(DWORD)(long long)value;
}

typedef HRESULT (WINAPI *FolderPathProc)(HWND, int, HANDLE, DWORD, LPSTR);
static const char *const folderLibraries[] = { "shell32.dll", "shfolder.dll" };

// One of the user's shell folders. Looked up at run time: Windows 98's
// shell has no SHGetFolderPathA, which shfolder.dll may bring; with neither
// there is no per-user folder, and the Windows directory is writable there.
static int UserFolder(int which, char *folder)
{
    for (const char *library : folderLibraries) {
        HMODULE module = LoadLibraryA(library);
        if (!module)
            continue;
        FolderPathProc folderPath = (FolderPathProc)(void *)GetProcAddress(module, "SHGetFolderPathA");
        int found = folderPath && SUCCEEDED(folderPath(NULL, which, NULL, SHGFP_TYPE_CURRENT, folder));
        FreeLibrary(module);
        if (folderPath)
            return found;
    }
    return 0;
}

// The per-user file: "Pimbo95.ini" in our folder of the roaming
// application data. 0 when the system names no such folder.
static int PerUserFilePath(char *path, size_t size, int withName)
{
    char folder[MAX_PATH];
    if (!UserFolder(CSIDL_APPDATA, folder))
        return 0;
    folder[sizeof folder - 1] = '\0';
    int length = withName ? snprintf(path, size, "%s\\" USER_FOLDER "\\" INI_FILE, folder)
                          : snprintf(path, size, "%s\\" USER_FOLDER, folder);
    return length > 0 && (size_t)length < size;
}

static int FileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Puts in path the file the settings are read from and written to: the
// per-user one once it exists (result 1), otherwise the bare name, which
// means the Windows directory (result 0).
static int SettingsFile(char *path, size_t size)
{
    if (PerUserFilePath(path, size, 1) && FileExists(path))
        return 1;
    lstrcpynA(path, INI_FILE, (int)size);
    return 0;
}

// A key's value in a settings file; 0 when the key is not there, which is
// when two different defaults both come back.
static int ProfileValue(const char *file, const char *key, char *value, DWORD size)
{
    char other[2];
    GetPrivateProfileStringA(INI_SECTION, key, "0", value, size, file);
    GetPrivateProfileStringA(INI_SECTION, key, "1", other, sizeof other, file);
    value[size - 1] = '\0';
    return !(strcmp(value, "0") == 0 && strcmp(other, "1") == 0);
}

// Makes the per-user file, with every key of ours that the Windows
// directory's file holds, so that falling back loses none of them.
static int StartPerUserFile(const char *path)
{
    char folder[MAX_PATH];
    if (!PerUserFilePath(folder, sizeof folder, 0))
        return 0;
    if (!CreateDirectoryA(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    for (const char *key : settingKeys) {
        char value[COPIED_TEXT_SIZE];
        if (ProfileValue(INI_FILE, key, value, sizeof value))
            WritePrivateProfileStringA(INI_SECTION, key, value, path);
    }
    return 1;
}

// A Windows directory the user may not write to (today's systems) sends
// this write, and every later one, to the per-user file.
static void WriteSettingText(const char *section, const char *key, const char *value)
{
    char path[MAX_PATH];
    int perUser = SettingsFile(path, sizeof path);
    if (WritePrivateProfileStringA(section, key, value, path) || perUser)
        return;
    if (PerUserFilePath(path, sizeof path, 1) && StartPerUserFile(path))
        WritePrivateProfileStringA(section, key, value, path);
}

// The toons the setup leaves beside the program for every user.
static int ShippedToonFolder(char *folder, size_t size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    char place[MAX_PATH];
    ZeroMemory(place, sizeof place);
    DWORD type = 0, length = sizeof place - 1;
    LONG read = RegQueryValueExA(key, "InstallLocation", NULL, &type, (BYTE *)place, &length);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ || place[0] == '\0')
        return 0;
    int written = snprintf(folder, size, "%s\\" SHIPPED_FOLDER, place);
    DWORD attributes = GetFileAttributesA(folder);
    return written > 0 && (size_t)written < size && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies the shipped toons and clips that the target does not hold yet:
// one the user has changed is his. 1 when the target holds them all.
static int CopyShippedToons(const char *from, const char *to)
{
    int copied = 0, missing = 0;
    for (const char *pattern : shippedPatterns) {
        char path[MAX_PATH], target[MAX_PATH];
        snprintf(path, sizeof path, "%s\\%s", from, pattern);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(path, &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            found.cFileName[sizeof found.cFileName - 1] = '\0';
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            int fromLength = snprintf(path, sizeof path, "%s\\%s", from, found.cFileName);
            int toLength = snprintf(target, sizeof target, "%s%s", to, found.cFileName);
            if (fromLength <= 0 || (size_t)fromLength >= sizeof path || toLength <= 0 ||
                (size_t)toLength >= sizeof target || (!CopyFileA(path, target, TRUE) && !FileExists(target)))
                ++missing;
        } while (++copied < SHIPPED_MAX && FindNextFileA(search, &found));
        FindClose(search);
    }
    return missing == 0;
}

// Whether path is folder or lies inside it, without regard to case.
static int IsInside(const char *path, const char *folder)
{
    int length = lstrlenA(folder);
    return length > 0 && lstrlenA(path) >= length && (path[length] == '\\' || path[length] == '\0') &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, length, folder, length) == CSTR_EQUAL;
}

// The folder a shell folder lies in: for a profile, the folder of every
// user's; for the shared Documents, the profile all users share.
static int ShellFolderParent(int which, char *folder)
{
    if (!UserFolder(which, folder))
        return 0;
    folder[MAX_PATH - 1] = '\0';
    char *cut = strrchr(folder, '\\');
    if (cut)
        *cut = '\0';
    return cut != NULL;
}

// Older savers copied the machine-wide directory, the installing account's
// Documents, into every user's file: a folder in another user's profile is
// not this user's toon directory. The profile all users share is anyone's.
static int InOtherProfile(const char *directory)
{
    char own[MAX_PATH], profiles[MAX_PATH], shared[MAX_PATH];
    if (!UserFolder(CSIDL_PROFILE, own) || !ShellFolderParent(CSIDL_PROFILE, profiles))
        return 0;
    own[sizeof own - 1] = '\0';
    return IsInside(directory, profiles) && !IsInside(directory, own) &&
           !(ShellFolderParent(CSIDL_COMMON_DOCUMENTS, shared) && IsInside(directory, shared));
}

// A folder the system refuses this user, another's profile as a rule.
static int RefusedFolder(const char *directory)
{
    char pattern[MAX_PATH];
    int length = snprintf(pattern, sizeof pattern, "%s*", directory);
    if (length <= 0 || (size_t)length >= sizeof pattern)
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return 0;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// The settings file's toon directory, when it is this user's own.
static int StoredToonDirectory(const char *file, char *directory)
{
    if (!ProfileValue(file, "Directory", directory, DIRECTORY_SIZE))
        return 0;
    EnsureTrailingBackslash(directory, DIRECTORY_SIZE);
    return !InOtherProfile(directory) && !RefusedFolder(directory);
}

// A user with no toon directory of his own gets the shipped toons in his
// own Documents, and that folder as his directory in his own file: the
// Windows directory's file is every user's, and no user's folder belongs
// there. Documents may be read only, too deep, or a share that does not
// answer: only the dialog tries, so that no saver waits for it.
int GiveShippedToons(void)
{
    char file[MAX_PATH], directory[DIRECTORY_SIZE], shipped[MAX_PATH], documents[MAX_PATH], perUser[MAX_PATH];
    SettingsFile(file, sizeof file);
    if (StoredToonDirectory(file, directory))
        return 1;
    if (!ShippedToonFolder(shipped, sizeof shipped) || !UserFolder(CSIDL_PERSONAL, documents) ||
        !PerUserFilePath(perUser, sizeof perUser, 1))
        return 0;
    documents[sizeof documents - 1] = '\0';
    int length = snprintf(directory, sizeof directory, "%s\\" TOON_FOLDER "\\", documents);
    if (length <= 0 || (size_t)length >= sizeof directory)
        return 0;
    if (!CreateDirectoryA(directory, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    return CopyShippedToons(shipped, directory) && (FileExists(perUser) || StartPerUserFile(perUser)) &&
           WritePrivateProfileStringA(INI_SECTION, "Directory", directory, perUser);
}

// Until the user has a directory of his own, the shipped toons play from
// where the setup left them, read only; the stand-in is never stored.
static void ReadToonDirectory(const char *file, const char *current)
{
    settings.directoryChosen = StoredToonDirectory(file, settings.directory);
    if (!settings.directoryChosen && !ShippedToonFolder(settings.directory, sizeof settings.directory))
        lstrcpynA(settings.directory, current, sizeof settings.directory);
    EnsureTrailingBackslash(settings.directory, sizeof settings.directory);
}

// 1 to 4 times the art's size; nothing, or anything else, is Automatic.
static int ReadSize(const char *file)
{
    const UINT size = GetPrivateProfileIntA(INI_SECTION, SIZE_KEY, SIZE_AUTOMATIC, file);
    return size >= 1 && size <= SCALE_LARGEST ? (int)size : SIZE_AUTOMATIC;
}

LONG ReadPacesWalked(void)
{
    char file[MAX_PATH];
    SettingsFile(file, sizeof file);
    char text[PACES_TEXT_SIZE];
    ZeroMemory(text, sizeof text);
    GetPrivateProfileStringA(INI_SECTION, PACES_KEY, "0", text, sizeof text, file);
    text[sizeof text - 1] = '\0';
    return PacesFromText(text);
}

LONG OwnerStoredPaces(void *owner)
{
    (void)owner;
    return ReadPacesWalked();
}

int IsDirectory(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ReadSettings(void)
{
    char current[DIRECTORY_SIZE];
    ZeroMemory(current, sizeof current);
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        current[0] = '\0';
    current[sizeof current - 1] = '\0';
    EnsureTrailingBackslash(current, sizeof current);

    char file[MAX_PATH];
    SettingsFile(file, sizeof file);
    settings.walkingStyle = (int)GetPrivateProfileIntA(INI_SECTION, "Walking Style",
                                                       settings.walkingStyle, file);
    settings.statements = (int)GetPrivateProfileIntA(INI_SECTION, "Statements",
                                                     settings.statements, file);
    settings.backgrounds = (int)GetPrivateProfileIntA(INI_SECTION, "Backgrounds",
                                                      settings.backgrounds, file);
    ReadToonDirectory(file, current);
    settings.size = ReadSize(file);

    settings.pendingStyle = settings.walkingStyle;
    return IsDirectory(settings.directory) ? 0 : -1;
}

void WriteSettingInt(const char *section, const char *key, unsigned value)
{
    char text[NUMBER_TEXT_SIZE];
    snprintf(text, sizeof text, "%u", value);
    WriteSettingText(section, key, text);
}

void StorePacesWalked(LONG walked)
{
    LONG stored = ReadPacesWalked();
    long long total = (long long)stored + walked;
    if (total > LONG_MAX)
        total = LONG_MAX;
    char text[NUMBER_TEXT_SIZE];
    snprintf(text, sizeof text, "%d", (int)total);
    WriteSettingText(INI_SECTION, PACES_KEY, text);
}

void WriteToonDirectory(void)
{
    settings.directoryChosen = 1;
    WriteSettingText(INI_SECTION, "Directory", settings.directory);
}

void WriteSettings(void)
{
    WriteSettingInt(INI_SECTION, "Walking Style", (unsigned)settings.walkingStyle);
    WriteSettingInt(INI_SECTION, "Statements", (unsigned)settings.statements);
    WriteSettingInt(INI_SECTION, "Backgrounds", (unsigned)settings.backgrounds);
    if (settings.directoryChosen)
        WriteToonDirectory();
    StorePacesWalked(0);
    // Automatic is no key at all: a file of a user who never chose a size
    // stays as older versions wrote it.
    char size[NUMBER_TEXT_SIZE];
    snprintf(size, sizeof size, "%d", settings.size);
    const int chosen = settings.size >= 1 && settings.size <= SCALE_LARGEST;
    WriteSettingText(INI_SECTION, SIZE_KEY, chosen ? size : NULL);
}
