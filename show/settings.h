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
    LONG pacesWalked;
    int pendingStyle;          // the dialog's radio buttons
    int size;                  // SIZE_AUTOMATIC, or the art's pixels 1..4 times as large
};

extern SaverSettings settings;

int ReadSettings(void);
void ReadPacesWalked(void);
void WriteSettings(void);
void WritePacesWalked(void);
void WriteSettingInt(const char *section, const char *key, unsigned value);
// Stores "Directory" alone, as the dialog does after every move.
void WriteToonDirectory(void);
// Appends a backslash unless the path ends in one; size is the buffer's.
void EnsureTrailingBackslash(char *path, size_t size);

#endif
