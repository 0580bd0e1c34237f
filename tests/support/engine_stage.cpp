#include "support/engine_stage.h"
#include "support/support.h"
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include <mmsystem.h>

namespace testing {

const COLORREF bubbleInk = RGB(250, 250, 190);

static EngineStage stage;
static const char stageClass[] = "PimboTestEngineStage";
static const int patternCell = 8;
static const int spriteFrame = 10;
static const int bubbleFrame = 4;

COLORREF PatternColour(int x, int y)
{
    return ((x / patternCell + y / patternCell) & 1) ? RGB(30, 90, 160) : RGB(220, 120, 40);
}

COLORREF SpriteColour(int index)
{
    return RGB(40 + index * 5, 200 - index * 4, 60 + (index % 7) * 20);
}

COLORREF ExpressionColour(int kind, int pose)
{
    return RGB(100 + kind * 25, 20 + pose * 12, 240);
}

static void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    RECT rect = { left, top, right, bottom };
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

static void PaintPattern(HDC dc, const RECT &area)
{
    int left = area.left / patternCell * patternCell;
    int top = area.top / patternCell * patternCell;
    for (int y = top; y < area.bottom; y += patternCell)
        for (int x = left; x < area.right; x += patternCell)
            Fill(dc, x, y, x + patternCell, y + patternCell, PatternColour(x, y));
}

// A bitmap of the given size: black, with an opaque block of colour inset.
static HBITMAP FramedBlock(HDC screen, int width, int height, int frame, COLORREF colour)
{
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Fill(dc, 0, 0, width, height, RGB(0, 0, 0));
    Fill(dc, frame, frame, width - frame, height - frame, colour);
    SelectObject(dc, old);
    DeleteDC(dc);
    return bitmap;
}

void LoadSyntheticArt(HWND window)
{
    FreeSyntheticArt();
    HDC screen = GetDC(window);
    for (int i = 0; i < SPRITE_COUNT; i++)
        spriteSet[i] = FramedBlock(screen, SPRITE_SIZE, SPRITE_SIZE, spriteFrame, SpriteColour(i));
    bubbleLeft = FramedBlock(screen, 160, 95, bubbleFrame, bubbleInk);
    bubbleRight = FramedBlock(screen, 160, 95, bubbleFrame, bubbleInk);

    expressionsBitmap = CreateCompatibleBitmap(screen, 54, 175);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, expressionsBitmap);
    Fill(dc, 0, 0, 54, 175, RGB(128, 128, 128));
    for (int kind = 1; kind <= 5; kind++)
        for (int pose = 0; pose < 16; pose++) {
            int x = (kind - 1) * EXPRESSION_PITCH, y = pose * EXPRESSION_PITCH;
            Fill(dc, x, y, x + EXPRESSION_CELL, y + EXPRESSION_CELL, ExpressionColour(kind, pose));
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(window, screen);

    PlaceBubble(window, 0, 0, BUBBLE_SIDE_RIGHT);
    ParkCharacter(window);
    spritesLoaded = 1;
}

void FreeSyntheticArt()
{
    ReleaseCharacter();
    if (expressionsBitmap) {
        DeleteObject(expressionsBitmap);
        expressionsBitmap = NULL;
    }
}

static LRESULT CALLBACK EngineStageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintPattern(dc, paint.rcPaint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        OnEngineTimer(window, wParam);
        return 0;
    case WM_WALKDONE:
        stage.walkDone++;
        OnWalkFinished(window);
        return 0;
    case MM_MCINOTIFY:
        return OnSoundDone(window);
    case WM_ACTDONE:
        stage.actDone++;
        if (stage.onActDone)
            stage.onActDone();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void ResetEngineFlags()
{
    randomWalkActive = 0;
    walkingOff = 0;
    introWalkDone = 0;
    nextFrameIndex = 0;
    toonStarted = 0;
    walkingToFrame = 0;
    lastStatement = 0;
    noBubble = 1;
    talking = 0;
    lastMouthKind = 0;
    walkDirection = 1;
    frameSpeed = 3;
    ZeroMemory(&randomFrame, sizeof randomFrame);
    ZeroMemory(&currentToonFrame, sizeof currentToonFrame);
}

EngineStage &OpenEngineStage(int width, int height)
{
    CloseEngineStage();
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA cls;
    ZeroMemory(&cls, sizeof cls);
    if (!GetClassInfoA(instance, stageClass, &cls)) {
        cls.lpfnWndProc = EngineStageProc;
        cls.hInstance = instance;
        cls.hCursor = LoadCursor(NULL, IDC_ARROW);
        cls.lpszClassName = stageClass;
        RegisterClassA(&cls);
    }
    ResetEngineFlags();
    stage.window = CreateWindowExA(0, stageClass, "engine stage", WS_POPUP | WS_VISIBLE, 0, 0,
                                   width, height, NULL, NULL, instance, NULL);
    UpdateWindow(stage.window);
    LoadSyntheticArt(stage.window);
    return stage;
}

void CloseEngineStage()
{
    if (!stage.window)
        return;
    StopWalkTimer(stage.window);
    // A pre-speech delay still pending would carry over into the next test.
    if (KillTimer(stage.window, IDT_SPEECHDELAY))
        FramePause(stage.window, NULL, -1);
    FramePause(stage.window, NULL, 0);
    FreeSyntheticArt();
    DestroyWindow(stage.window);
    stage = EngineStage();
    ResetEngineFlags();
}

int DriveWalk(int limit)
{
    int before = stage.walkDone;
    for (int tick = 1; tick <= limit; tick++) {
        SendMessageA(stage.window, WM_TIMER, IDT_WALK, 0);
        if (stage.walkDone != before)
            return tick;
    }
    return -1;
}

bool TimerArmed(UINT_PTR id)
{
    return KillTimer(stage.window, id) != 0;
}

std::vector<COLORREF> Capture(HWND window, const RECT &rect)
{
    HDC screen = GetDC(window);
    std::vector<uint32_t> quads =
        GrabQuads(screen, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(window, screen);
    std::vector<COLORREF> pixels;
    pixels.reserve(quads.size());
    for (uint32_t p : quads)
        pixels.push_back(RGB((p >> 16) & 255, (p >> 8) & 255, p & 255));
    return pixels;
}

RECT BoundingBox(HWND window, const RECT &rect, const std::function<bool(COLORREF)> &keep)
{
    std::vector<COLORREF> pixels = Capture(window, rect);
    int width = rect.right - rect.left;
    RECT box = { 0, 0, 0, 0 };
    bool any = false;
    for (size_t i = 0; i < pixels.size(); i++) {
        if (!keep(pixels[i]))
            continue;
        int x = rect.left + (int)(i % width), y = rect.top + (int)(i / width);
        if (!any) {
            box = { x, y, x + 1, y + 1 };
            any = true;
        }
        box.left = x < box.left ? x : box.left;
        box.top = y < box.top ? y : box.top;
        box.right = x + 1 > box.right ? x + 1 : box.right;
        box.bottom = y + 1 > box.bottom ? y + 1 : box.bottom;
    }
    return box;
}

}  // namespace testing
