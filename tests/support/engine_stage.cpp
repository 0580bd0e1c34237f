#include "support/engine_stage.h"
#include "support/support.h"
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include <new>

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
    Stage *art = StageOf(window);
    HDC screen = GetDC(window);
    for (int i = 0; i < SPRITE_COUNT; i++) {
        DeleteBitmapHandle(&art->sprites[i]);
        art->sprites[i] = FramedBlock(screen, SPRITE_SIZE, SPRITE_SIZE, spriteFrame, SpriteColour(i));
    }
    ComposeSpriteSheet(&art->spriteSheet, screen, art->sprites, SPRITE_COUNT);
    // The program's bubbles bring the font; their pictures are replaced.
    LoadBubbles(art, GetModuleHandleA(NULL));
    DeleteBitmapHandle(&art->bubbleLeft);
    DeleteBitmapHandle(&art->bubbleRight);
    art->bubbleLeft = FramedBlock(screen, 160, 95, bubbleFrame, bubbleInk);
    art->bubbleRight = FramedBlock(screen, 160, 95, bubbleFrame, bubbleInk);
    const HBITMAP sides[2] = { art->bubbleLeft, art->bubbleRight };
    ComposeSpriteSheet(&art->bubbleSheet, screen, sides, 2);

    HoldBitmap(&art->expressions, CreateCompatibleBitmap(screen, 54, 175));
    HDC dc = art->expressions.dc;
    Fill(dc, 0, 0, 54, 175, RGB(128, 128, 128));
    for (int kind = 1; kind <= 5; kind++)
        for (int pose = 0; pose < 16; pose++) {
            int x = (kind - 1) * EXPRESSION_PITCH, y = pose * EXPRESSION_PITCH;
            Fill(dc, x, y, x + EXPRESSION_CELL, y + EXPRESSION_CELL, ExpressionColour(kind, pose));
        }
    ReleaseDC(window, screen);

    PlaceBubble(art, 0, 0, BUBBLE_SIDE_RIGHT);
    ParkCharacter(art);
    art->spritesLoaded = 1;
}

// The owner's context is the EngineStage.
static EngineStage &Owner(void *context)
{
    return *(EngineStage *)context;
}

static void TellPlayState(void *owner, int state)
{
    Owner(owner).playStates.push_back(state);
}

static void TellLock(void *owner)
{
    Owner(owner).locks++;
}

static void TellUnlock(void *owner)
{
    Owner(owner).unlocks++;
}

static void TellBusy(void *owner, int on)
{
    Owner(owner).busy = on;
}

static int AnswerPicking(void *owner)
{
    return Owner(owner).picking;
}

static void TakePoint(void *owner, LONG x, LONG y)
{
    Owner(owner).picked.push_back({ x, y });
}

static void TellLook(void *owner, StageLook *look)
{
    *look = Owner(owner).look;
    if (!look->titleText)
        look->titleText = "";
}

static LONG AnswerStoredPaces(void *owner)
{
    return Owner(owner).paces;
}

// The canvas as it stands is the picture: a paint shows it, composing nothing.
static LRESULT CALLBACK EngineStageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        ShowStageCanvas(StageOf(window));
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_WALKDONE:
        stage.walkDone++;
        break;
    case WM_ACTDONE:
        stage.actDone++;
        if (stage.onActDone)
            stage.onActDone();
        return 0;
    }
    LRESULT routed;
    if (RouteStageMessage(window, message, wParam, lParam, &routed))
        return routed;
    return DefWindowProcA(window, message, wParam, lParam);
}

StageOwner EngineStageOwner(EngineStage &context)
{
    const StageOwner owner = { &context, TellPlayState, TellLock, TellUnlock, TellBusy, AnswerPicking, TakePoint,
                               TellLook, AnswerStoredPaces, &context.clock, 0, context.toonDirectory };
    return owner;
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
    stage.window = CreateWindowExA(0, stageClass, "engine stage", WS_POPUP, 0, 0, width, height, NULL,
                                   NULL, instance, NULL);
    const StageOwner owner = EngineStageOwner(stage);
    stage.stage = CreateStage(stage.window, &owner, &stage.toon);
    HDC canvas = BeginStageDrawing(stage.stage);
    const RECT all = { 0, 0, width, height };
    PaintPattern(canvas, all);
    EndStageDrawing(stage.stage, canvas, NULL);
    ShowWindow(stage.window, SW_SHOWNA);
    UpdateWindow(stage.window);
    LoadSyntheticArt(stage.window);
    return stage;
}

EngineStage &TheEngineStage()
{
    return stage;
}

void CloseEngineStage()
{
    if (!stage.window)
        return;
    DestroyStage(stage.stage);
    DestroyWindow(stage.window);
    FreeToonFrames(&stage.toon);
    stage.~EngineStage();
    new (&stage) EngineStage();
}

void Advance(DWORD milliseconds)
{
    AdvanceSteppedClock(&stage.clock, stage.window, milliseconds);
}

bool AdvanceUntil(const std::function<bool()> &done, DWORD milliseconds)
{
    for (DWORD passed = 0; !done() && passed < milliseconds;) {
        DWORD next = NextClockEvent(&stage.clock);
        if (next == INFINITE)
            break;
        next = next == 0 ? 1 : next;
        Advance(next);
        passed += next;
    }
    return done();
}

int DriveWalk(int limit)
{
    int before = stage.walkDone;
    for (int tick = 1; tick <= limit; tick++) {
        const ClockTimer *walk = NULL;
        for (const ClockTimer &timer : stage.clock.timers)
            if (timer.armed && timer.id == IDT_WALK)
                walk = &timer;
        if (!walk)
            return -1;
        Advance(walk->due - stage.clock.now);
        if (stage.walkDone != before)
            return tick;
    }
    return -1;
}

bool TimerArmed(UINT_PTR id)
{
    return ClockTimerArmed(&stage.clock, id) != 0;
}

void SetStageToon(const std::vector<ToonFrame> &frames, DWORD windowSize)
{
    ToonDocument &toon = stage.toon;
    AllocToonFrames(&toon, (int)frames.size());
    toon.frameCount = (int)frames.size();
    for (size_t i = 0; i < frames.size(); i++)
        PutToonFrame(&toon, (int)i, &frames[i]);
    toon.header.windowSize = windowSize;
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

bool CellShown(HWND window, POINT corner, COLORREF colour)
{
    const RECT around = { corner.x - 1, corner.y - 1, corner.x + EXPRESSION_CELL + 1, corner.y + EXPRESSION_CELL + 1 };
    const RECT box = BoundingBox(window, around, [&](COLORREF c) { return c == colour; });
    const RECT cell = { corner.x, corner.y, corner.x + EXPRESSION_CELL, corner.y + EXPRESSION_CELL };
    return EqualRect(&box, &cell) != 0;
}

}  // namespace testing
