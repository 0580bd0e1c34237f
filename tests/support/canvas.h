// Helpers for drawing tests: a real window to draw on, pixels read back,
// bitmaps made from a function, and a module holding bitmap resources that
// the test makes itself.
#ifndef PIMBO_TESTS_CANVAS_H
#define PIMBO_TESTS_CANVAS_H

#include <windows.h>
#include <stdint.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing {

using PixelFunction = std::function<COLORREF(int x, int y)>;

// A visible popup at (0, 0) whose procedure erases and paints nothing,
// unless proc is given. Destroy it with DestroyWindow.
HWND CreateCanvas(int width, int height, WNDPROC proc = NULL);

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> rgb;   // row after row, RGB() values
    COLORREF At(int x, int y) const { return rgb[(size_t)y * width + x]; }
};

// The client area (or a bitmap) read back in one transfer.
Pixels ReadClient(HWND window);
Pixels ReadBitmap(HBITMAP bitmap);
// Fills the client area pixel by pixel from a function, in one transfer.
void PaintClient(HWND window, const PixelFunction &colour);
// A 32-bit DIB section of the given size; the caller deletes it.
HBITMAP MakeBitmap(int width, int height, const PixelFunction &colour);

// Positions where two pictures differ (at most `limit` are reported).
std::vector<POINT> Differences(const Pixels &actual, const PixelFunction &expected,
                               size_t limit = 10);

// A packed DIB as a bitmap resource holds it: header, colour table, bits.
// `index` gives each pixel's colour-table index; clrUsed goes into the header
// as is, and the table written has clrUsed entries, or 2^bpp when it is 0.
std::vector<uint8_t> PackedDib(int width, int height, int bitsPerPixel,
                               const std::vector<COLORREF> &table, DWORD clrUsed,
                               const std::function<int(int x, int y)> &index);

// A copy of this test program that holds exactly the given bitmap resources
// (name, packed DIB) and nothing else, loaded as a data file.
HMODULE MakeResourceModule(const std::vector<std::pair<std::string, std::vector<uint8_t>>> &bitmaps);
void FreeResourceModule(HMODULE module);

}  // namespace testing

#endif
