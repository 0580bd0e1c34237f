// Watching a show on the screen: where the character stands on the tiled
// background, and where a toon's frames should bring him.
#ifndef PIMBO_TESTS_SCREEN_WATCH_H
#define PIMBO_TESTS_SCREEN_WATCH_H

#include <windows.h>
#include <vector>

namespace testing {

struct Shot {
    int width = 0, height = 0;
    std::vector<DWORD> rgb;   // 0x00RRGGBB, top row first
    DWORD At(int x, int y) const { return rgb[(size_t)y * width + x]; }
};

// Whether two 0x00RRGGBB colours are the same but for the screen's rounding.
bool Near(DWORD a, DWORD b);

Shot GrabShot(HDC source, int left, int top, int width, int height);
// A background tile of the program's resources as the screen shows it.
Shot TileShot(const char *name);

// Watches the 1024 x 768 screen from top down, where nothing but the
// character may lie on the tiled background, until he has stood with his
// image's corner at the last of the corners (or the time is up); tells at
// which corners he stood.
std::vector<bool> WatchArrivals(const Shot &tile, int top, const std::vector<POINT> &corners, DWORD timeoutMs);

// Where he stands after each walk to a frame, in a window of the given
// size, for a toon made on a toonWidth x toonHeight stage. The frame's
// point is his centre; a walk moves him from where he stands by N
// truncated steps toward it, so he may stop a little short.
std::vector<POINT> ExpectedArrivals(const std::vector<POINT> &points, int toonWidth, int toonHeight,
                                    int width, int height);

}  // namespace testing

#endif
