// Plain black windows over every monitor that the saver's own window
// leaves bare: the show stays on the primary monitor.
#ifndef PIMBO_HOST_MONITOR_COVERS_H
#define PIMBO_HOST_MONITOR_COVERS_H

#include <windows.h>

#define COVER_CLASS_NAME   "ScreenSaverCover"

// Covers every monitor, or the part of it, that the saver window leaves
// bare; covers made before for an older layout go.
void CoverOtherMonitors(HWND saver);
void RemoveCovers(void);

#endif
