#include "show/roster.h"

#include <limits.h>
#include <string.h>

#include "engine/sequencer.h"
#include "show/settings.h"

#define TOON_PATTERN        "*.ptf"
#define RANDOM_NUMBER_LIMIT 3276    // RandomNumber never draws above this
// Random re-picks before the listing is searched for another name outright.
#define RANDOM_REPICKS      64

ToonRoster roster;

// The toon directory's listing, by its full path.
static HANDLE FindFirstToon(WIN32_FIND_DATAA *found)
{
    char pattern[MAX_PATH];
    if (!ToonDirectoryPath(pattern, sizeof pattern, TOON_PATTERN))
        return INVALID_HANDLE_VALUE;
    return FindFirstFileA(pattern, found);
}

int CountToonFiles(void)
{
    roster.toonCount = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstToon(&found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    roster.toonCount = 1;
    while (roster.toonCount < INT_MAX && FindNextFileA(search, &found))
        ++roster.toonCount;
    FindClose(search);
    return roster.toonCount;
}

// A position in 1..count. Beyond what one draw can reach, two draws are
// combined so that every file of a large directory can still come up.
static int DrawPosition(int count)
{
    if (count <= RANDOM_NUMBER_LIMIT)
        return RandomNumber(1, count);
    long long high = RandomNumber(0, RANDOM_NUMBER_LIMIT - 1);
    long long low = RandomNumber(0, RANDOM_NUMBER_LIMIT - 1);
    return (int)((high * RANDOM_NUMBER_LIMIT + low) % count) + 1;
}

static void CopyToonName(char *destination, const char *name)
{
    lstrcpynA(destination, name, TOON_NAME_SIZE);
}

int PickToonFile(char *destination)
{
    if (roster.toonCount <= 0 || !destination)
        return 0;
    int position = roster.toonCount == 1 ? 1 : DrawPosition(roster.toonCount);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstToon(&found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    // A listing shorter than the count leaves the search on its last entry.
    for (int step = 1; step < position; ++step)
        if (!FindNextFileA(search, &found))
            break;
    FindClose(search);
    CopyToonName(destination, found.cFileName);
    return 1;
}

// The first name of the listing other than currentToon, if there is one.
static int FindOtherToonFile(char *destination)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstToon(&found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int other = 0;
    int entries = 0;
    do {
        char name[TOON_NAME_SIZE];
        CopyToonName(name, found.cFileName);
        if (strcmp(name, roster.currentToon) != 0) {
            CopyToonName(destination, name);
            other = 1;
        }
    } while (!other && ++entries < roster.toonCount && FindNextFileA(search, &found));
    FindClose(search);
    return other;
}

int NextToonFile(void)
{
    if (roster.toonCount < 1)
        return 0;
    char picked[TOON_NAME_SIZE] = "";
    if (!PickToonFile(picked))
        return 0;
    if (roster.toonCount > 1) {
        for (int repick = 0; strcmp(picked, roster.currentToon) == 0; ++repick) {
            if (repick == RANDOM_REPICKS) {
                // The directory may no longer hold another name: then the
                // same toon plays again rather than none.
                FindOtherToonFile(picked);
                break;
            }
            if (!PickToonFile(picked))
                return 0;
        }
    }
    CopyToonName(roster.currentToon, picked);
    return 1;
}
