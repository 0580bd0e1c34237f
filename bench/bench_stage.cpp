// Times the stage's drawing on stages of three sizes, and on the largest
// at twice the scale (a 4K screen at 200 %): one walk step (MoveSprite
// alone, and the whole tick with the image prepared), and one rebuild of
// the stage background. Prints milliseconds. Run it on a screen as large
// as the largest stage:
//   PIMBO_SCREEN=3840x2160x24 tools/with-wine.sh wine64 build/bench/bench_stage.exe
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "engine/raster.h"
#include "engine/stage.h"
#include "engine/walk.h"

struct StageSize {
    int width;            // the window's
    int height;
    int scale;
};

static const StageSize sizes[] = { { 1024, 768, 1 }, { 1920, 1080, 1 }, { 3840, 2160, 1 }, { 3840, 2160, 2 } };
static const char benchClass[] = "PimboBenchStage";
static LARGE_INTEGER frequency;

static double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static LRESULT CALLBACK BenchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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

static void PumpPending()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

struct Figures {
    double mean;
    double median;
    double worst;
};

static Figures Summarise(std::vector<double> &samples)
{
    Figures figures = { 0, 0, 0 };
    if (samples.empty())
        return figures;
    double total = 0;
    for (double sample : samples)
        total += sample;
    std::sort(samples.begin(), samples.end());
    figures.mean = total / (double)samples.size();
    figures.median = samples[samples.size() / 2];
    figures.worst = samples.back();
    return figures;
}

static void Print(const char *what, std::vector<double> &samples)
{
    Figures figures = Summarise(samples);
    printf("  %-44s mean %8.3f  median %8.3f  worst %8.3f ms  (%u samples)\n", what, figures.mean,
           figures.median, figures.worst, (unsigned)samples.size());
}

// A stand-in for missing artwork: a figure with transparent black parts.
static HBITMAP MakeFigure(int width, int height)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!bitmap)
        return NULL;
    DWORD *pixels = (DWORD *)bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = (x + y) % 5 == 0 ? 0 : (DWORD)((x * 3) << 16 | (y * 5) << 8 | 0x80);
    return bitmap;
}

// Paints the stage background onto the window, as the paint handler does.
static void ShowBackground(HWND window, HBITMAP background, int width, int height)
{
    HDC dc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, background);
    BitBlt(dc, 0, 0, width, height, memoryDc, 0, 0, SRCCOPY);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
    ReleaseDC(window, dc);
}

static int benchBackground;

static void ReadBenchLook(void *, StageLook *look)
{
    look->backgroundNumber = benchBackground;
}

static const StageOwner benchOwner = { NULL, NULL, NULL, NULL, NULL, NULL, NULL, ReadBenchLook, NULL, NULL, 0, NULL };

static void BenchRebuild(HINSTANCE instance, Stage *stage, int number, int repeats, bool haveTile)
{
    char label[64];
    snprintf(label, sizeof label, "background rebuild, number %d%s", number,
             haveTile ? "" : " (no tile: size only)");
    benchBackground = number;
    std::vector<double> samples;
    for (int i = 0; i < repeats + 1; ++i) {
        const double start = NowMs();
        HBITMAP built = BuildStageBackground(instance, stage);
        const double took = NowMs() - start;
        if (built)
            DeleteObject(built);
        if (i > 0)   // the first call warms caches
            samples.push_back(took);
    }
    Print(label, samples);
    benchBackground = 0;
}

static void BenchTileFill(HWND window, int width, int height, int repeats)
{
    HBITMAP tileSource = MakeFigure(80, 80);
    HDC dc = GetDC(window);
    // The tile as the stage has it: a bitmap of the screen's kind.
    HBITMAP tile = CreateCompatibleBitmap(dc, 80, 80);
    HBITMAP stage = CreateCompatibleBitmap(dc, width, height);
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memoryDc, tile);
    BlitBitmapToRect(memoryDc, 0, 0, 80, 80, tileSource);
    SelectObject(memoryDc, stage);
    std::vector<double> samples;
    for (int i = 0; i < repeats; ++i) {
        const double start = NowMs();
        TileBitmap(memoryDc, 0, 0, width, height, tile);
        samples.push_back(NowMs() - start);
    }
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
    DeleteObject(stage);
    DeleteObject(tile);
    ReleaseDC(window, dc);
    DeleteObject(tileSource);
    Print("tiling alone, 80 x 80 tile", samples);
}

static void BenchSteps(Stage *stage, int width, int height)
{
    // Walk the whole width and back several times, 20 pixels a step.
    SpritePlace &character = stage->character;
    HBITMAP *spriteSet = stage->sprites;
    HDC dc = BeginStageDrawing(stage);
    character.source = spriteSet[SPRITE_WALKRIGHT];
    character.targetX = -150;
    character.targetY = height / 2 - 65;
    StretchCopyToSprite(dc, character.source, &character);
    SaveUnderSprite(dc, &character);
    DrawSpriteMasked(dc, &character);
    EndStageDrawing(stage, dc, NULL);

    // Lap 0 warms caches and is not counted.
    std::vector<double> moves;
    for (int lap = 0; lap < 7; ++lap) {
        const int direction = lap % 2 ? -1 : 1;
        LONG x = character.targetX;
        LONG y = character.targetY;
        for (int step = 0; step < (width + 200) / 20; ++step) {
            x += direction * 20;
            y += (step % 8 < 4) ? 3 : -3;
            POINT next = { x, y };
            const double start = NowMs();
            MoveSprite(stage, &character, next);
            if (lap > 0)
                moves.push_back(NowMs() - start);
        }
    }
    Print("MoveSprite step", moves);

    // Whole ticks: the image prepared from the sprite set, then the move.
    std::vector<double> ticks;
    LONG fromX = character.x, fromY = character.y;
    for (int lap = 0; lap < 6; ++lap) {
        const LONG toX = fromX < width / 2 ? width - 140 : -150;
        const LONG toY = lap % 2 ? height / 4 : height * 3 / 4 - 130;
        const int count = PlanWalk(&stage->walk, fromX, fromY, toX, toY, STEP_LENGTH, spriteSet, lap);
        for (int i = 1; i <= count; ++i) {
            const double start = NowMs();
            PaintWalkStep(stage, &character, &stage->walk, i);
            ticks.push_back(NowMs() - start);
        }
        fromX = character.x;
        fromY = character.y;
    }
    Print("walk tick (image prepared + MoveSprite)", ticks);
}

int main()
{
    QueryPerformanceFrequency(&frequency);
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = BenchProc;
    wc.hInstance = instance;
    wc.lpszClassName = benchClass;
    RegisterClassA(&wc);

    const bool haveSprites = FindResourceA(instance, "pbl2r1", (LPCSTR)RT_BITMAP) != NULL;
    const bool haveTiles = FindResourceA(instance, "bg01", (LPCSTR)RT_BITMAP) != NULL &&
                           FindResourceA(instance, "bg07", (LPCSTR)RT_BITMAP) != NULL;
    HDC screen = GetDC(NULL);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(NULL, screen);
    printf("screen %d x %d, %d bits per pixel; artwork: sprites %s, tiles %s\n",
           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), depth, haveSprites ? "yes" : "no (stand-in figure)",
           haveTiles ? "yes" : "no");

    for (const StageSize &size : sizes) {
        HWND window = CreateWindowExA(WS_EX_TOPMOST, benchClass, "bench", WS_POPUP | WS_VISIBLE, 0, 0,
                                      size.width, size.height, NULL, NULL, instance, NULL);
        UpdateWindow(window);
        PumpPending();
        RECT client;
        GetClientRect(window, &client);
        // The stage's own pixels: the window's divided by the scale.
        const int width = size.width / size.scale, height = size.height / size.scale;
        printf("stage %d x %d at scale %d (window client %ld x %ld)\n", width, height, size.scale, client.right,
               client.bottom);
        Stage *stage = CreateStage(window, &benchOwner, NULL);
        SetStageScale(stage, size.scale);
        HBITMAP *spriteSet = stage->sprites;

        const int repeats = width > 2000 ? 10 : 30;
        BenchRebuild(instance, stage, 0, repeats, haveTiles);
        BenchRebuild(instance, stage, 7, repeats, haveTiles);
        BenchTileFill(window, width, height, repeats);

        LoadSpriteSet(stage, instance);
        HBITMAP standIn = NULL;
        if (!spriteSet[SPRITE_WALKRIGHT]) {
            standIn = MakeFigure(SPRITE_SIZE, SPRITE_SIZE);
            for (int i = 0; i < SPRITE_COUNT; ++i)
                spriteSet[i] = standIn;
        }
        benchBackground = 0;
        RebuildStageBackground(stage);
        if (stage->background)
            ShowBackground(window, stage->background, width, height);
        BenchSteps(stage, width, height);
        if (standIn) {
            for (int i = 0; i < SPRITE_COUNT; ++i)
                spriteSet[i] = NULL;
            DeleteObject(standIn);
        }
        DestroyStage(stage);
        DestroyWindow(window);
        PumpPending();
    }
    return 0;
}
