// The toon files' hooks: what reading and writing a toon asks of, and
// tells, the program around it. The engine, the show and the editor install
// theirs when the program loads; one nobody installed does nothing.
#ifndef PIMBO_TOON_HOOKS_H
#define PIMBO_TOON_HOOKS_H

#include <windows.h>
#include "toon/toon_document.h"

struct ToonHooks {
    DWORD (*stageSize)(void);                       // engine: a new toon's window size
    void (*takeHeader)(const ToonHeader *header);   // show: the speed and background just read
    void (*takeFirstFrame)(void);                   // editor: frame 0 of a toon just read
    HCURSOR (*waitCursor)(void);                    // editor: its hourglass; none hides the cursor
};

extern ToonHooks toonHooks;

#endif
