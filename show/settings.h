// The saver's settings, kept in "Pimbo95.ini" in the Windows directory, or
// in the user's application data where the Windows directory is not ours
// to write.
#ifndef PIMBO_SHOW_SETTINGS_H
#define PIMBO_SHOW_SETTINGS_H

#include <windows.h>

#define INI_FILE        "Pimbo95.ini"
#define INI_SECTION     "Fizzy Pimbo Screen Saver"
#define DIRECTORY_SIZE  128
#define SIZE_AUTOMATIC  0       // the display's own scale

struct SaverSettings {
    int walkingStyle;          // 0 random walks, 1 toon files
    int statements;
    int backgrounds;
    char directory[DIRECTORY_SIZE];
    int pendingStyle;          // the dialog's radio buttons
    int directoryChosen;       // directory is the user's, stored or picked; else a stand-in never stored
    int size;                  // SIZE_AUTOMATIC, or the art's pixels 1..4 times as large
};

extern SaverSettings settings;

int ReadSettings(void);
// Gives a user with no toon directory of his own a copy of the shipped
// toons in his Documents; 1 when he has one (now or before).
int GiveShippedToons(void);
// The paces have no copy in memory: each stage counts those it walked, and
// storing adds them to what the file holds then, so that stages of this
// and other processes never write over each other's.
LONG ReadPacesWalked(void);
// The same for a stage's owner (StageOwner::storedPaces): every owner's
// stage adds to the one stored total.
LONG OwnerStoredPaces(void *owner);
void StorePacesWalked(LONG walked);
// The choices ("Directory" only when it is the user's), and the stored
// paces as they are.
void WriteSettings(void);
void WriteSettingInt(const char *section, const char *key, unsigned value);
// Stores "Directory" alone, as the dialog does after every move.
void WriteToonDirectory(void);
// Appends a backslash unless the path ends in one; size is the buffer's.
void EnsureTrailingBackslash(char *path, size_t size);
int IsDirectory(const char *path);
// A file of the toon directory.
int ToonDirectoryPath(char *path, size_t size, const char *name);

#endif
