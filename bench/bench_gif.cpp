// Times the GIF writer on 300 pictures of 640 x 480 in which a figure walks
// over a tiled background, 50 ms a step, standing half the time: once
// given as palette indices, once as a DIB section with antialiased text
// that must be mapped to the palette. Prints milliseconds of processor time
// and file sizes.
#include <windows.h>
#include <stdio.h>

#include <vector>

#include "toon/gif_file.h"

static const int width = 640, height = 480, pictures = 300, stepMs = 50;
static const int figureWidth = 60, figureHeight = 100, stride = 4;

// This thread's processor time: the machine is shared, and the clock on
// the wall counts the other programs too.
static double NowMs()
{
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = { { kernel.dwLowDateTime, kernel.dwHighDateTime } };
    ULARGE_INTEGER u = { { user.dwLowDateTime, user.dwHighDateTime } };
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
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

static void DrawBitmap(HDC dc, HBITMAP dib, BYTE *quads, HFONT font, std::vector<BYTE> &pixels,
                       const RGBQUAD *palette, int picture)
{
    DrawIndexed(pixels, picture);
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
}

struct Scene {
    HDC dc;
    HBITMAP dib;
    BYTE *quads;
    HFONT font;
    std::vector<BYTE> pixels;
    RGBQUAD palette[256];
};

// Processor time of drawing and encoding all pictures, less that of drawing
// them alone; prints it with the file's size.
static int TimeEncoding(Scene &scene, int asBitmap, const char *path)
{
    double spent[2] = { 0, 0 };
    int ok = 1;
    for (int encode = 0; encode < 2 && ok; ++encode) {
        double start = NowMs();
        GifWriter writer;
        ok = !encode || GifBegin(&writer, path, width, height, scene.palette, 256);
        for (int picture = 0; picture < pictures && ok; ++picture) {
            if (asBitmap)
                DrawBitmap(scene.dc, scene.dib, scene.quads, scene.font, scene.pixels, scene.palette, picture);
            else
                DrawIndexed(scene.pixels, picture);
            if (encode)
                ok = asBitmap ? GifAddBitmap(&writer, scene.dib, stepMs)
                              : GifAddFrame(&writer, scene.pixels.data(), stepMs);
        }
        if (encode)
            ok = ok ? GifFinish(&writer) : (GifAbandon(&writer), 0);
        spent[encode] = NowMs() - start;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    double ms = spent[1] - spent[0];
    printf("  %-24s %8.1f ms (%.2f ms a picture), file %lu bytes%s\n", asBitmap ? "bitmap with text" : "indices",
           ms, ms / pictures, (unsigned long)data.nFileSizeLow, ok ? "" : " FAILED");
    return ok;
}

int main()
{
    static Scene scene;
    for (int i = 0; i < 256; ++i) {
        scene.palette[i].rgbRed = (BYTE)i;
        scene.palette[i].rgbGreen = (BYTE)(i * 7);
        scene.palette[i].rgbBlue = (BYTE)(i * 13);
        scene.palette[i].rgbReserved = 0;
    }
    scene.pixels.resize(width * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    scene.dib = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    scene.quads = (BYTE *)bits;
    scene.dc = CreateCompatibleDC(NULL);
    scene.font = CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, "Arial");
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH - 20, path);
    lstrcatA(path, "bench.gif");
    printf("%d pictures of %d x %d, %d ms each; processor time\n", pictures, width, height, stepMs);
    int ok = scene.dib && scene.dc && TimeEncoding(scene, 0, path) && TimeEncoding(scene, 1, path);
    DeleteObject(scene.font);
    DeleteDC(scene.dc);
    if (scene.dib)
        DeleteObject(scene.dib);
    DeleteFileA(path);
    return ok ? 0 : 1;
}
