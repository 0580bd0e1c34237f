#include "engine/hooks.h"

#include <string.h>

static LONG uncountedPaces;

static void NoPlayState(int state)
{
    (void)state;
}

static void NoControls(void)
{
}

static void NoBusyCursor(HWND stage, int on)
{
    (void)stage;
    (void)on;
}

static int NoPointPicking(void)
{
    return 0;
}

static void NoPointPicked(LONG x, LONG y)
{
    (void)x;
    (void)y;
}

static void PlainStageLook(StageLook *look)
{
    memset(look, 0, sizeof *look);
    look->titleText = "";
}

// Constant-initialized: every hook is callable before any owner installs one.
EngineHooks engineHooks = {
    NoPlayState, NoControls, NoControls, NoBusyCursor, NoPointPicking, NoPointPicked,
    PlainStageLook, &uncountedPaces,
};
