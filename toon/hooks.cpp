#include "toon/hooks.h"

static DWORD NoStageSize(void)
{
    return 0;
}

static void NoHeaderTaken(const ToonHeader *header)
{
    (void)header;
}

static void NoFrameTaken(void)
{
}

static HCURSOR NoWaitCursor(void)
{
    return NULL;
}

// Constant-initialized: every hook is callable before any owner installs one.
ToonHooks toonHooks = { NoStageSize, NoHeaderTaken, NoFrameTaken, NoWaitCursor };
