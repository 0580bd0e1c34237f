#include "editor/editor_window.h"

#include <windowsx.h>
#include <mmsystem.h>
#include <string.h>
#include <time.h>

#include "editor/bevel.h"
#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "engine/messages.h"
#include "engine/raster.h"
#include "engine/sequencer.h"
#include "engine/screen.h"
#include "engine/stage.h"
#include "resources/resource.h"
#include "show/settings.h"
#include "toon/toon_document.h"

EditorUi editorUi = {};

#define SCREEN_MARGIN_X      50      // the stage is the screen less these
#define SCREEN_MARGIN_Y      100
#define STAGE_BOTTOM_GAP     40      // below the stage in the client area
#define FRAME_EXTRA_X        (2 * EDITOR_STAGE_X)                   // window beyond stage and borders
#define FRAME_EXTRA_Y        (EDITOR_STAGE_Y + STAGE_BOTTOM_GAP)
#define WELL_GROWTH          2       // a sunken well lies this far around what it holds
#define CAPTION_TOP          3
#define CAPTION_GAP          5
#define CAPTION_FIELD        30      // characters measured for the title
#define PUSH_WELL_TOP        (PUSH_HEIGHT + PUSH_BOTTOM_GAP + WELL_GROWTH)
#define PUSH_WELL_BOTTOM     (PUSH_BOTTOM_GAP - WELL_GROWTH)
#define PUSH_WELL_SIDE       (PUSH_SIDE - WELL_GROWTH)
#define PUSH_WELL_INNER      (PUSH_SIDE + PUSH_WIDTH + WELL_GROWTH)  // from the near side
#define BAR_SIDE             (PUSH_WIDTH + 17)
#define BAR_TOP              (PUSH_HEIGHT + 8)
#define BAR_BOTTOM           12
#define BAR_MIN_PART         4       // parts this narrow are not drawn
#define BUTTON_FONT_HEIGHT   14
#define BUTTON_FONT_WEIGHT   100
#define CAPTION_FONT_HEIGHT  16
#define GLYPH_MINIMIZE       0       // columns of the "sysbuts" strip
#define GLYPH_CLOSE          11
#define GLYPH_ACTION         20
#define RAISED_EDGE          (-2)
#define SUNKEN_WELL          2
#define CAPTION_DEPTH        1
#define TITLE_DEPTH          (-1)
#define PRESSED_DEPTH        2
#define DISABLED_DEPTH       1
#define FILLED_DEPTH         (-1)

template <typename Handle>
static void DeleteGdiHandle(Handle *handle)
{
    if (*handle) {
        DeleteObject(*handle);
        *handle = NULL;
    }
}

int EditorLength(int length)
{
    return editorUi.scale > 1 ? length * editorUi.scale : length;
}

static RECT ClientRect(HWND window)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    return client;
}

// The caption's first 30 characters with the NULs that pad it to the field,
// never read beyond the text's own terminator.
static void CaptionField(char *field)
{
    memset(field, 0, CAPTION_FIELD + 1);
    const ToonDocument &toon = editorFrame.toon;
    memcpy(field, toon.caption, strnlen(toon.caption, CAPTION_FIELD));
}

// The main window around the stage at the editor's scale.
static SIZE EditorWindowSize(void)
{
    const SIZE stage = EditorStageWindowSize(editorFrame.stageSize, EditorLength(1));
    const SIZE window = { stage.cx + 2 * GetSystemMetrics(SM_CXBORDER) + EditorLength(FRAME_EXTRA_X),
                          stage.cy + 2 * GetSystemMetrics(SM_CYBORDER) + EditorLength(FRAME_EXTRA_Y) };
    return window;
}

void SizeEditorWindow(HWND window)
{
    editorUi.scale = ChooseScale(settings.size, WindowDpi(window));
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // The stage fills the screen less the margins, in its own pixels.
    editorFrame.stageSize = MakePackedSize(screenWidth / editorUi.scale - SCREEN_MARGIN_X,
                                           screenHeight / editorUi.scale - SCREEN_MARGIN_Y);
    const SIZE size = EditorWindowSize();
    MoveWindow(window, (screenWidth - size.cx) / 2, (screenHeight - size.cy) / 2, size.cx, size.cy, TRUE);
}

// Every editor starts with an untitled toon of its own.
static void ResetEditorState(void)
{
    ToonDocument &toon = editorFrame.toon;
    FreeToonFrames(&toon);
    ZeroMemory(&toon, sizeof toon);
    editorFrame.backgroundNumber = 0;
    toon.frameCount = 1;
}

// The texts around the stage at the editor's scale; the push buttons take
// them at once.
static void MakeEditorFonts(void)
{
    DeleteGdiHandle(&editorUi.buttonFont);
    DeleteGdiHandle(&editorUi.captionFont);
    editorUi.buttonFont = CreateSerifFont(EditorLength(BUTTON_FONT_HEIGHT), BUTTON_FONT_WEIGHT);
    editorUi.captionFont = CreateSerifFont(EditorLength(CAPTION_FONT_HEIGHT), FW_NORMAL);
    if (editorUi.fileButton)
        SendMessageA(editorUi.fileButton, WM_SETFONT, (WPARAM)editorUi.buttonFont, TRUE);
    if (editorUi.playButton)
        SendMessageA(editorUi.playButton, WM_SETFONT, (WPARAM)editorUi.buttonFont, TRUE);
}

void CreateEditorResources(HWND window, HINSTANCE instance)
{
    (void)window;
    SeedRandomNumber((DWORD)time(NULL));
    ResetEditorState();

    ToonDocument &toon = editorFrame.toon;
    LoadStringA(instance, IDS_PRODUCT, toon.caption, TITLE_TEXT_SIZE);
    editorUi.titleText[0] = '\0';
    LoadStringA(instance, IDS_EDITOR_TITLE, editorUi.titleText, TITLE_TEXT_SIZE);

    editorUi.systemButtonStrip = LoadBitmapA(instance, "sysbuts");
    // Loaded unshared, so that it is ours to destroy.
    editorUi.targetCursor = (HCURSOR)LoadImageA(instance, "target", IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
    editorUi.arrowCursor = LoadCursor(NULL, IDC_ARROW);
    waitCursor = LoadCursor(NULL, IDC_WAIT);
    toon.waitCursor = waitCursor;

    MakeEditorFonts();
    editorUi.titleFont = CreateSerifFont(TITLE_FONT_HEIGHT, FW_BOLD);

    editorUi.captionBrush = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
    editorUi.greyBrush = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    editorUi.captionPen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_ACTIVECAPTION));
    editorUi.facePen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
}

void DestroyEditorResources(void)
{
    DeleteBitmapHandle(&editorUi.systemButtonStrip);
    DeleteGdiHandle(&editorUi.buttonFont);
    DeleteGdiHandle(&editorUi.captionFont);
    DeleteGdiHandle(&editorUi.titleFont);
    DeleteGdiHandle(&editorUi.captionBrush);
    editorUi.greyBrush = NULL;
    DeleteGdiHandle(&editorUi.captionPen);
    DeleteGdiHandle(&editorUi.facePen);
    if (editorUi.targetCursor) {
        DestroyCursor(editorUi.targetCursor);
        editorUi.targetCursor = NULL;
    }
}

void RescaleEditor(HWND window, int dpi, const RECT *suggested)
{
    editorUi.scale = ChooseScale(settings.size, dpi);
    MakeEditorFonts();
    SetStageScale(editorFrame.stage, editorUi.scale);
    SetStageSize(editorFrame.stage, editorFrame.stageSize);
    // The stage keeps its size in its own pixels: its toon, his place and
    // the frames' points stay as they were.
    const SIZE size = EditorWindowSize();
    SetWindowPos(window, NULL, suggested->left, suggested->top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

static int MeasureCaption(HWND window, int *width)
{
    char field[CAPTION_FIELD + 1];
    CaptionField(field);
    HDC dc = GetDC(window);
    if (!dc)
        return 0;
    const int oldMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldFont = editorUi.captionFont ? SelectObject(dc, editorUi.captionFont) : NULL;
    SIZE size;
    const BOOL measured = GetTextExtentPoint32A(dc, field, CAPTION_FIELD, &size);
    if (oldFont)
        SelectObject(dc, oldFont);
    SetMapMode(dc, oldMode);
    ReleaseDC(window, dc);
    if (!measured)
        return 0;
    *width = size.cx;
    return 1;
}

int LayoutCaption(HWND window)
{
    const RECT client = ClientRect(window);
    SetRect(&editorUi.stageWell, EditorLength(EDITOR_STAGE_X), EditorLength(EDITOR_STAGE_Y),
            client.right - EditorLength(EDITOR_STAGE_X), client.bottom - EditorLength(STAGE_BOTTOM_GAP));
    InflateRect(&editorUi.stageWell, EditorLength(WELL_GROWTH), EditorLength(WELL_GROWTH));
    int w = 0;
    if (!MeasureCaption(window, &w))
        return 0;
    const int s = EditorLength(SYSTEM_BUTTON_SIZE);
    const int gap = EditorLength(CAPTION_GAP), above = EditorLength(CAPTION_TOP), one = EditorLength(1);
    const int left = editorUi.stageWell.left;
    const int right = editorUi.stageWell.right;
    const int top = editorUi.stageWell.top;
    const int m = left + (right - left - w - 2 * gap) / 2;
    SetRect(&editorUi.leftWell, left, above, left + 2 * s + gap, top - above);
    SetRect(&editorUi.bar1, left + 2 * s + gap + one, above, m, top - above);
    SetRect(&editorUi.titleRect, m + gap, above - one, m + gap + w, top - one);
    SetRect(&editorUi.bar2, m + w + 2 * gap, above, right - 2 * s - gap, top - above);
    SetRect(&editorUi.rightWell, right - 2 * s - gap + one, above, right, top - above);
    return 1;
}

void PaintEditorFrame(HWND window)
{
    LayoutCaption(window);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const int state = SaveDC(dc);
    const RECT client = ClientRect(window);
    const int w = client.right, h = client.bottom;

    Frame3D(dc, &client, EditorLength(RAISED_EDGE));
    Frame3D(dc, &editorUi.stageWell, EditorLength(SUNKEN_WELL));
    const int side = EditorLength(PUSH_WELL_SIDE), inner = EditorLength(PUSH_WELL_INNER);
    const int top = h - EditorLength(PUSH_WELL_TOP), bottom = h - EditorLength(PUSH_WELL_BOTTOM);
    const RECT fileWell = { side, top, inner, bottom };
    const RECT playWell = { w - inner, top, w - side, bottom };
    Frame3D(dc, &fileWell, EditorLength(SUNKEN_WELL));
    Frame3D(dc, &playWell, EditorLength(SUNKEN_WELL));

    SetMapMode(dc, MM_TEXT);
    if (editorUi.captionFont)
        SelectObject(dc, editorUi.captionFont);
    // The text drawn is the one measured: at most the field's 30 characters.
    char field[CAPTION_FIELD + 1];
    CaptionField(field);
    EmbossedText(dc, RGB(0, 0, 0), field, &editorUi.titleRect, TITLE_DEPTH);

    RestoreDC(dc, state);
    EndPaint(window, &paint);
    DrawProgressBar(window);
    DrawCaptionBars(window, 1);
}

// Selects a pen and a brush to fill with; nothing when either is missing.
static int SelectFill(HDC dc, HPEN pen, HBRUSH brush, HGDIOBJ *oldPen, HGDIOBJ *oldBrush)
{
    if (!pen || !brush)
        return 0;
    *oldPen = SelectObject(dc, pen);
    *oldBrush = SelectObject(dc, brush);
    return 1;
}

static void RestoreFill(HDC dc, HGDIOBJ oldPen, HGDIOBJ oldBrush)
{
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

void DrawCaptionBars(HWND window, int active)
{
    LayoutCaption(window);
    HDC dc = GetDC(window);
    if (!dc)
        return;
    const int oldMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldPen, oldBrush;
    if (SelectFill(dc, active ? editorUi.captionPen : editorUi.facePen,
                   active ? editorUi.captionBrush : editorUi.greyBrush, &oldPen, &oldBrush)) {
        const int depth = EditorLength(CAPTION_DEPTH);
        Frame3D(dc, &editorUi.leftWell, depth);
        FramedBox(dc, &editorUi.bar1, depth);
        FramedBox(dc, &editorUi.bar2, depth);
        Frame3D(dc, &editorUi.rightWell, depth);
        RestoreFill(dc, oldPen, oldBrush);
    }
    SetMapMode(dc, oldMode);
    ReleaseDC(window, dc);
}

LRESULT CaptionHitTest(HWND window, LPARAM point)
{
    POINT where = { GET_X_LPARAM(point), GET_Y_LPARAM(point) };
    ScreenToClient(window, &where);
    if (PtInRect(&editorUi.bar1, where) || PtInRect(&editorUi.titleRect, where) ||
        PtInRect(&editorUi.bar2, where))
        return HTCAPTION;
    return HTNOWHERE;
}

static void DrawProgressPart(HWND window, int done, int total);

void DrawProgressBar(HWND window)
{
    const Stage *stage = editorFrame.stage;
    const int count = editorFrame.toon.frameCount;
    DrawProgressPart(window, stage ? stage->nextFrameIndex : 0, count > 1 ? count : 1);
}

void DrawProgressShare(HWND window, int done, int total)
{
    DrawProgressPart(window, done, total > 0 ? total : 1);
}

static void DrawProgressPart(HWND window, int done, int total)
{
    const RECT client = ClientRect(window);
    const int top = client.bottom - EditorLength(BAR_TOP);
    const int bottom = client.bottom - EditorLength(BAR_BOTTOM);
    const int left = EditorLength(BAR_SIDE);
    const int right = client.right - EditorLength(BAR_SIDE);
    int filled = (int)((long long)(right - left) * done / total);
    // A frame count changed under a paused toon must not push the bar
    // over the Play button's well.
    if (filled > right - left)
        filled = right - left;
    if (filled < 0)
        filled = 0;
    const int split = left + filled;

    HDC dc = GetDC(window);
    if (!dc)
        return;
    HGDIOBJ oldPen, oldBrush;
    if (right - split > EditorLength(BAR_MIN_PART) &&
        SelectFill(dc, editorUi.facePen, editorUi.greyBrush, &oldPen, &oldBrush)) {
        const RECT rest = { split, top, right, bottom };
        FramedBox(dc, &rest, EditorLength(SUNKEN_WELL));
        RestoreFill(dc, oldPen, oldBrush);
    }
    if (filled > EditorLength(BAR_MIN_PART) &&
        SelectFill(dc, editorUi.captionPen, editorUi.captionBrush, &oldPen, &oldBrush)) {
        const RECT done = { left, top, split, bottom };
        FramedBox(dc, &done, EditorLength(FILLED_DEPTH));
        RestoreFill(dc, oldPen, oldBrush);
    }
    ReleaseDC(window, dc);
}

void DrawSystemButton(HWND window, const DRAWITEMSTRUCT *item)
{
    (void)window;
    if (!item)
        return;
    const int selected = (item->itemState & ODS_SELECTED) != 0;
    const int depth = selected ? PRESSED_DEPTH
                    : (item->itemState & ODS_DISABLED) ? DISABLED_DEPTH : RAISED_EDGE;
    Frame3D(item->hDC, &item->rcItem, EditorLength(depth));

    const int scale = EditorLength(1);
    RECT glyph = item->rcItem;
    InflateRect(&glyph, -2 * scale, -2 * scale);
    // The strip is narrower than the action button: its grey goes on.
    if (editorUi.greyBrush)
        FillRect(item->hDC, &glyph, editorUi.greyBrush);
    if (selected) {
        glyph.left += scale;
        glyph.top += scale;
    }
    int column = GLYPH_CLOSE;
    if (item->hwndItem == editorUi.actionButton)
        column = GLYPH_ACTION;
    else if (item->hwndItem == editorUi.minimizeButton)
        column = GLYPH_MINIMIZE;
    if (!editorUi.systemButtonStrip)
        return;
    HDC stripDc = CreateCompatibleDC(item->hDC);
    HGDIOBJ old = SelectObject(stripDc, editorUi.systemButtonStrip);
    BlitScaled(item->hDC, glyph.left, glyph.top, (glyph.right - glyph.left) / scale,
               (glyph.bottom - glyph.top) / scale, stripDc, column, 0, scale);
    SelectObject(stripDc, old);
    DeleteDC(stripDc);
}

/* The stage window */

#define ENTRANCE_DELAY_MS   1000

// The editor's stage: its size is the editor's, its first act the entrance.
static LRESULT OnStageCreate(HWND window)
{
    Stage *stage = CreateStage(window, &editorStageOwner, &editorFrame.toon);
    if (!stage)
        return -1;
    SetStageScale(stage, EditorLength(1));
    SetStageSize(stage, editorFrame.stageSize);
    editorFrame.stageWindow = window;
    editorFrame.stage = stage;
    RebuildStageBackground(stage);
    ScheduleEntrance(stage, ENTRANCE_DELAY_MS);
    return 0;
}

static void OnStageDestroy(HWND window)
{
    // A walk or speech cut short must not carry over into the next editor,
    // and the next stage starts with the arrow.
    Stage *stage = StageOf(window);
    if (editorFrame.stage == stage)
        editorFrame.stage = NULL;
    DestroyStage(stage);
    SetClassLongPtrA(window, GCLP_HCURSOR, (LONG_PTR)LoadCursor(NULL, IDC_ARROW));
    if (editorFrame.stageWindow == window)
        editorFrame.stageWindow = NULL;
}

static LRESULT OnStageButtonDown(HWND window, LPARAM point)
{
    Stage *stage = StageOf(window);
    if (stage && !stage->spritesLoaded)
        LoadSpriteSet(stage, stage->instance);
    return OnStageClick(stage, point);
}

// The end of a walk puts the arrow back; points are still being picked
// while the frame editor is open.
static void KeepTargetCursor(HWND window)
{
    if (frameEditorDialog && editorUi.targetCursor)
        SetClassLongPtrA(window, GCLP_HCURSOR, (LONG_PTR)editorUi.targetCursor);
}

LRESULT CALLBACK StageWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT routed;
    if (RouteStageMessage(window, message, wParam, lParam, &routed)) {
        // The end of a walk moves the progress bar and puts the idle cursor back.
        if (message == WM_WALKDONE) {
            DrawProgressBar(GetParent(window));
            KeepTargetCursor(window);
        }
        return routed;
    }
    switch (message) {
    case WM_CREATE:
        return OnStageCreate(window);
    case WM_DESTROY:
        OnStageDestroy(window);
        return 0;
    case WM_ACTDONE:
        return 0;
    case WM_SIZE:
        return ResizeEditorStage(StageOf(window));
    case WM_CLOSE:
        // Through the main window, which may ask to save the toon first.
        SendMessageA(GetParent(window), WM_CLOSE, 0, 0);
        return 0;
    case WM_LBUTTONDOWN:
        return OnStageButtonDown(window, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
