#include "engine/bubbles.h"
#include "engine/hooks.h"
#include <stdio.h>
#include <string.h>

#define BUBBLE_MARGIN       15    // gap between the mouth and the bubble's tail
#define BUBBLE_RISE         50    // the tail's tip is this far below the top
#define BUBBLE_TEXT_SHIFT   10    // the text sits off the tail side
#define BUBBLE_TEXT_TOP     14
#define BUBBLE_INSET_X      20
#define BUBBLE_INSET_Y      12
#define BUBBLE_OUTLINE      2     // rows of the outline at the bubble's bottom
#define BUBBLE_FONT_HEIGHT  14
#define BUBBLE_TEXT_MAX     71    // the longest text a frame can hold
#define BUBBLE_TEXT_FORMAT  (DT_CENTER | DT_WORDBREAK | DT_NOPREFIX)

HBITMAP bubbleLeft;
HBITMAP bubbleRight;
SpritePlace bubble;
int bubbleSide = BUBBLE_SIDE_RIGHT;
int noBubble = 1;

static HBITMAP BubbleBitmapForSide(int side)
{
    return side == BUBBLE_SIDE_RIGHT ? bubbleLeft : bubbleRight;
}

// Sets the bubble's image from the bitmap of the stored side at its target.
static void PrepareBubbleImage(HWND window)
{
    bubble.source = BubbleBitmapForSide(bubbleSide);
    if (!bubble.source)
        return;
    HDC dc = GetDC(window);
    StretchCopyToSprite(dc, bubble.source, &bubble);
    ReleaseDC(window, dc);
}

void LoadBubbles(HWND window, HINSTANCE instance)
{
    FreeBubbles();
    bubbleRight = LoadBitmapA(instance, "bubright");
    bubbleLeft = LoadBitmapA(instance, "bubleft");
    PrepareBubbleImage(window);
}

void FreeBubbles(void)
{
    DeleteBitmapHandle(&bubbleLeft);
    DeleteBitmapHandle(&bubbleRight);
    bubble.source = NULL;
    FreeSpritePlace(&bubble);
}

void PlaceBubble(HWND window, LONG anchorX, LONG anchorY, int preferredSide)
{
    RECT client = { 0, 0, 0, 0 };
    GetClientRect(window, &client);
    LONG width = client.right;
    LONG quarter = width / 4;
    LONG bubbleWidth = bubble.width;
    int side = preferredSide;

    // Towards the middle when the mouth is in the outer quarter of its side...
    if (side == BUBBLE_SIDE_RIGHT) {
        if (3 * quarter < anchorX)
            side = BUBBLE_SIDE_LEFT;
    } else if (quarter > anchorX) {
        side = BUBBLE_SIDE_RIGHT;
    }
    // ...and to the other side when it would leave the client area.
    if (side == BUBBLE_SIDE_RIGHT) {
        if (OffsetCoordinate(anchorX, bubbleWidth) > width)
            side = BUBBLE_SIDE_LEFT;
    } else if (OffsetCoordinate(anchorX, -bubbleWidth) < 0) {
        side = BUBBLE_SIDE_RIGHT;
    }

    bubbleSide = side;
    if (side == BUBBLE_SIDE_RIGHT)
        bubble.targetX = OffsetCoordinate(anchorX, BUBBLE_MARGIN);
    else
        bubble.targetX = OffsetCoordinate(anchorX, -(bubbleWidth + BUBBLE_MARGIN));
    bubble.targetY = OffsetCoordinate(anchorY, -BUBBLE_RISE);
    PrepareBubbleImage(window);
}

void ShowBubble(HWND window, const char *text)
{
    HDC dc = GetDC(window);
    SaveUnderSprite(dc, &bubble);
    DrawSpriteMasked(dc, &bubble);
    ReleaseDC(window, dc);
    DrawBubbleText(window, text);
    noBubble = 0;
}

void HideBubble(HWND window)
{
    if (bubble.saved) {
        HDC dc = GetDC(window);
        RestoreUnderSprite(dc, &bubble);
        ReleaseDC(window, dc);
    }
    noBubble = 1;
}

int DrawBubbleText(HWND window, const char *text)
{
    if (!text)
        text = "";
    RECT rect;
    rect.left = OffsetCoordinate(bubble.x, bubbleSide == BUBBLE_SIDE_RIGHT ? BUBBLE_TEXT_SHIFT
                                                                           : -BUBBLE_TEXT_SHIFT);
    rect.top = OffsetCoordinate(bubble.y, BUBBLE_TEXT_TOP);
    rect.right = OffsetCoordinate(rect.left, bubble.width - BUBBLE_INSET_X);
    rect.bottom = OffsetCoordinate(rect.top, bubble.height - BUBBLE_INSET_Y);
    rect.left = OffsetCoordinate(rect.left, BUBBLE_INSET_X);
    rect.top = OffsetCoordinate(rect.top, BUBBLE_INSET_Y);
    // The rectangle reaches below the bubble; a fifth line drawn there would
    // stay on the stage when the bubble goes, so text stops at its outline.
    LONG inside = OffsetCoordinate(bubble.y, bubble.height - BUBBLE_OUTLINE);
    if (rect.bottom > inside)
        rect.bottom = inside;

    HDC dc = GetDC(window);
    int oldMapMode = SetMapMode(dc, MM_TEXT);
    HFONT font = CreateFontA(-BUBBLE_FONT_HEIGHT, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             "MS Serif");
    HGDIOBJ oldFont = SelectObject(dc, font);
    int height = DrawTextA(dc, text, (int)strnlen(text, BUBBLE_TEXT_MAX), &rect,
                           BUBBLE_TEXT_FORMAT);
    SelectObject(dc, oldFont);
    SetMapMode(dc, oldMapMode);
    if (font)
        DeleteObject(font);
    ReleaseDC(window, dc);
    return height;
}

void BuildPacesReport(char *buffer)
{
    snprintf(buffer, STATEMENT_SIZE, "Since starting here, I've walked a total of %d Paces!!",
             (int)*engineHooks.pacesWalked);
}

void LoadStatement(HINSTANCE instance, int id, char *buffer)
{
    buffer[0] = '\0';
    if (id == PACES_REPORT_ID)
        BuildPacesReport(buffer);
    else if (id > 0 && LoadStringA(instance, (UINT)id, buffer, STATEMENT_SIZE) <= 0)
        buffer[0] = '\0';
}
