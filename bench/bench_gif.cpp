// Times the GIF writer on 300 pictures of 640 x 480 in which a figure walks
// over a tiled background, 50 ms a step, standing half the time: once
// given as palette indices, once as a DIB section with antialiased text
// that must be mapped to the palette. Prints milliseconds and file sizes.
#include <windows.h>
#include <stdio.h>

#include <vector>

#include "toon/gif_file.h"

static const int width = 640, height = 480, pictures = 300, stepMs = 50;
static const int figureWidth = 60, figureHeight = 100, stride = 4;

static double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static void DrawIndexed(std::vector<BYTE> &pixels, int picture)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = (BYTE)(16 + ((x / 4) ^ (y / 4)) % 8 + ((x / 32 + y / 32) & 1) * 8);
    int still = picture % 20 >= 10;                 // half the time he stands
    int left = 20 + ((still ? picture / 20 * 20 + 9 : picture) * stride) % (width - figureWidth - 40);
    for (int y = 300; y < 300 + figureHeight; ++y)
        for (int x = left; x < left + figureWidth; ++x)
            pixels[y * width + x] = (BYTE)(64 + (x - left + y) % 40);
}

static void Report(const char *what, double ms, const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    printf("  %-34s %8.1f ms (%.2f ms a picture), file %lu bytes\n", what, ms, ms / pictures,
           (unsigned long)data.nFileSizeLow);
}

int main()
{
    RGBQUAD palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbRed = (BYTE)i;
        palette[i].rgbGreen = (BYTE)(i * 7);
        palette[i].rgbBlue = (BYTE)(i * 13);
        palette[i].rgbReserved = 0;
    }
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH - 20, path);
    lstrcatA(path, "bench.gif");
    printf("%d pictures of %d x %d, %d ms each\n", pictures, width, height, stepMs);

    std::vector<BYTE> pixels(width * height);
    GifWriter writer;
    double drawing = 0, start = NowMs();
    int ok = GifBegin(&writer, path, width, height, palette, 256);
    for (int picture = 0; picture < pictures && ok; ++picture) {
        double before = NowMs();
        DrawIndexed(pixels, picture);
        drawing += NowMs() - before;
        ok = GifAddFrame(&writer, pixels.data(), stepMs);
    }
    ok = ok && GifFinish(&writer);
    Report(ok ? "indices" : "indices (FAILED)", NowMs() - start - drawing, path);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP dib = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HDC dc = CreateCompatibleDC(NULL);
    HFONT font = CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, "Arial");
    double mapping = 0;
    ok = dib && dc && GifBegin(&writer, path, width, height, palette, 256);
    for (int picture = 0; picture < pictures && ok; ++picture) {
        DrawIndexed(pixels, picture);
        BYTE *quads = (BYTE *)bits;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const RGBQUAD &colour = palette[pixels[y * width + x]];
                BYTE *quad = quads + ((height - 1 - y) * width + x) * 4;
                quad[0] = colour.rgbBlue;
                quad[1] = colour.rgbGreen;
                quad[2] = colour.rgbRed;
            }
        HGDIOBJ oldBitmap = SelectObject(dc, dib);
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 40, 40, "A bubble of antialiased text", 28);
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);
        double before = NowMs();
        ok = GifAddBitmap(&writer, dib, stepMs);
        mapping += NowMs() - before;
    }
    double before = NowMs();
    ok = ok && GifFinish(&writer);
    mapping += NowMs() - before;
    Report(ok ? "bitmap with text" : "bitmap with text (FAILED)", mapping, path);

    DeleteObject(font);
    DeleteDC(dc);
    if (dib)
        DeleteObject(dib);
    DeleteFileA(path);
    return ok ? 0 : 1;
}
