#include "support/canvas.h"
#include "support/support.h"

#include <stdio.h>
#include <string.h>
#include <map>

namespace testing {

static const char canvasClass[] = "PimboTestCanvas";
static std::map<HMODULE, std::string> resourceFiles;

static LRESULT CALLBACK CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ValidateRect(window, NULL);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateCanvas(int width, int height, WNDPROC proc)
{
    char className[64];
    snprintf(className, sizeof className, "%s%p", canvasClass, (void *)proc);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    if (!GetClassInfoA(GetModuleHandleA(NULL), className, &wc)) {
        wc.lpfnWndProc = proc ? proc : CanvasProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.lpszClassName = className;
        RegisterClassA(&wc);
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST, className, "canvas", WS_POPUP | WS_VISIBLE, 0, 0,
                                  width, height, NULL, NULL, GetModuleHandleA(NULL), NULL);
    UpdateWindow(window);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return window;
}

static BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

static COLORREF FromQuad(uint32_t quad)
{
    return RGB((quad >> 16) & 0xFF, (quad >> 8) & 0xFF, quad & 0xFF);
}

static uint32_t ToQuad(COLORREF colour)
{
    return ((uint32_t)GetRValue(colour) << 16) | ((uint32_t)GetGValue(colour) << 8) | GetBValue(colour);
}

Pixels ReadClient(HWND window)
{
    Pixels pixels;
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    std::vector<uint32_t> quads = GrabQuads(dc, 0, 0, client.right, client.bottom);
    ReleaseDC(window, dc);
    pixels.width = client.right;
    pixels.height = client.bottom;
    pixels.rgb.resize(quads.size());
    for (size_t i = 0; i < quads.size(); ++i)
        pixels.rgb[i] = FromQuad(quads[i]);
    return pixels;
}

Pixels ReadBitmap(HBITMAP bitmap)
{
    Pixels pixels;
    BITMAP header;
    if (!bitmap || !GetObjectA(bitmap, sizeof header, &header))
        return pixels;
    pixels.width = header.bmWidth;
    pixels.height = header.bmHeight;
    BITMAPINFO info = TopDown32(pixels.width, pixels.height);
    std::vector<uint32_t> quads((size_t)pixels.width * pixels.height);
    // A memory DC rather than the screen's: the screen DC cache grows on
    // first use, which leak counts would take for a leak.
    HDC dc = CreateCompatibleDC(NULL);
    GetDIBits(dc, bitmap, 0, pixels.height, quads.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    pixels.rgb.resize(quads.size());
    for (size_t i = 0; i < quads.size(); ++i)
        pixels.rgb[i] = FromQuad(quads[i]);
    return pixels;
}

void PaintClient(HWND window, const PixelFunction &colour)
{
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    std::vector<uint32_t> quads((size_t)width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            quads[(size_t)y * width + x] = ToQuad(colour(x, y));
    BITMAPINFO info = TopDown32(width, height);
    HDC dc = GetDC(window);
    SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, quads.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(window, dc);
}

HBITMAP MakeBitmap(int width, int height, const PixelFunction &colour)
{
    BITMAPINFO info = TopDown32(width, height);
    void *bits = NULL;
    HBITMAP section = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!section)
        return NULL;
    uint32_t *quads = (uint32_t *)bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            quads[(size_t)y * width + x] = ToQuad(colour(x, y));
    return section;
}

std::vector<POINT> Differences(const Pixels &actual, const PixelFunction &expected, size_t limit)
{
    std::vector<POINT> found;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x)
            if (actual.At(x, y) != expected(x, y)) {
                if (found.size() < limit)
                    found.push_back(POINT{ x, y });
                else
                    return found;
            }
    return found;
}

std::vector<uint8_t> PackedDib(int width, int height, int bitsPerPixel,
                               const std::vector<COLORREF> &table, DWORD clrUsed,
                               const std::function<int(int, int)> &index)
{
    const size_t entries = clrUsed ? clrUsed : (size_t)1 << bitsPerPixel;
    const size_t stride = ((size_t)width * bitsPerPixel + 31) / 32 * 4;
    BITMAPINFOHEADER header;
    ZeroMemory(&header, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;   // bottom-up, as bitmap files are
    header.biPlanes = 1;
    header.biBitCount = (WORD)bitsPerPixel;
    header.biCompression = BI_RGB;
    header.biSizeImage = (DWORD)(stride * height);
    header.biClrUsed = clrUsed;
    std::vector<uint8_t> dib(sizeof header + entries * 4 + stride * height, 0);
    memcpy(dib.data(), &header, sizeof header);
    for (size_t i = 0; i < entries && i < table.size(); ++i) {
        RGBQUAD quad = { GetBValue(table[i]), GetGValue(table[i]), GetRValue(table[i]), 0 };
        memcpy(dib.data() + sizeof header + i * 4, &quad, 4);
    }
    uint8_t *bits = dib.data() + sizeof header + entries * 4;
    for (int y = 0; y < height; ++y) {
        uint8_t *row = bits + (size_t)(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const int value = index(x, y);
            if (bitsPerPixel == 8)
                row[x] = (uint8_t)value;
            else if (bitsPerPixel == 4)
                row[x / 2] |= (uint8_t)((value & 0xF) << (x % 2 ? 0 : 4));
            else if (bitsPerPixel == 1)
                row[x / 8] |= (uint8_t)((value & 1) << (7 - x % 8));
        }
    }
    return dib;
}

HMODULE MakeResourceModule(const std::vector<std::pair<std::string, std::vector<uint8_t>>> &bitmaps)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(NULL, self, sizeof self);
    char directory[MAX_PATH] = "";
    GetTempPathA(sizeof directory, directory);
    char path[MAX_PATH] = "";
    if (!GetTempFileNameA(directory, "res", 0, path) || !CopyFileA(self, path, FALSE))
        return NULL;
    HANDLE update = BeginUpdateResourceA(path, TRUE);
    if (!update)
        return NULL;
    for (const auto &bitmap : bitmaps) {
        std::string name = bitmap.first;
        CharUpperA(&name[0]);
        UpdateResourceA(update, (LPCSTR)RT_BITMAP, name.c_str(), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                        (void *)bitmap.second.data(), (DWORD)bitmap.second.size());
    }
    if (!EndUpdateResourceA(update, FALSE))
        return NULL;
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module)
        resourceFiles[module] = path;
    else
        DeleteFileA(path);
    return module;
}

void FreeResourceModule(HMODULE module)
{
    if (!module)
        return;
    FreeLibrary(module);
    auto found = resourceFiles.find(module);
    if (found != resourceFiles.end()) {
        DeleteFileA(found->second.c_str());
        resourceFiles.erase(found);
    }
}

}  // namespace testing
