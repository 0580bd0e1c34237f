// The toon roster: counts the toon files of the toon directory and picks
// the next one at random. Names are the listing's: no directory part.
#ifndef PIMBO_SHOW_ROSTER_H
#define PIMBO_SHOW_ROSTER_H

#include <windows.h>

#define TOON_NAME_SIZE 128

struct ToonRoster {
    int toonCount;
    char currentToon[TOON_NAME_SIZE];
};

extern ToonRoster roster;

int CountToonFiles(void);
int PickToonFile(char *destination);   // TOON_NAME_SIZE bytes
int NextToonFile(void);

#endif
