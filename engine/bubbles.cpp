#include "engine/bubbles.h"
#include "engine/stage.h"
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

// Sets the bubble's image from the bitmap of the stored side at its target.
static void PrepareBubbleImage(Stage *stage)
{
    SpritePlace &bubble = stage->bubble;
    bubble.source = stage->bubbleSide == BUBBLE_SIDE_RIGHT ? stage->bubbleLeft : stage->bubbleRight;
    if (!bubble.source)
        return;
    HDC dc = BeginStageDrawing(stage);
    PrepareSprite(dc, &stage->bubbleSheet, bubble.source, &bubble);
    EndStageDrawing(stage, dc, NULL);
}

void LoadBubbles(Stage *stage, HINSTANCE instance)
{
    if (!stage)
        return;
    FreeBubbles(stage);
    stage->bubbleRight = LoadBitmapA(instance, "bubright");
    stage->bubbleLeft = LoadBitmapA(instance, "bubleft");
    const HBITMAP sides[2] = { stage->bubbleLeft, stage->bubbleRight };
    HDC dc = BeginStageDrawing(stage);
    ComposeSpriteSheet(&stage->bubbleSheet, dc, sides, 2);
    EndStageDrawing(stage, dc, NULL);
    stage->bubbleFont = CreateSerifFont(BUBBLE_FONT_HEIGHT, 0);
    PrepareBubbleImage(stage);
}

void FreeBubbles(Stage *stage)
{
    if (!stage)
        return;
    if (stage->bubbleFont) {
        DeleteObject(stage->bubbleFont);
        stage->bubbleFont = NULL;
    }
    FreeSpriteSheet(&stage->bubbleSheet);
    DeleteBitmapHandle(&stage->bubbleLeft);
    DeleteBitmapHandle(&stage->bubbleRight);
    stage->bubble.source = NULL;
    FreeSpritePlace(&stage->bubble);
}

void PlaceBubble(Stage *stage, LONG anchorX, LONG anchorY, int preferredSide)
{
    if (!stage)
        return;
    SpritePlace &bubble = stage->bubble;
    const RECT client = StageClientRect(stage);
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

    stage->bubbleSide = side;
    if (side == BUBBLE_SIDE_RIGHT)
        bubble.targetX = OffsetCoordinate(anchorX, BUBBLE_MARGIN);
    else
        bubble.targetX = OffsetCoordinate(anchorX, -(bubbleWidth + BUBBLE_MARGIN));
    bubble.targetY = OffsetCoordinate(anchorY, -BUBBLE_RISE);
    PrepareBubbleImage(stage);
}

static RECT BubbleRect(const SpritePlace &bubble)
{
    RECT rect = { bubble.x, bubble.y, OffsetCoordinate(bubble.x, bubble.width),
                  OffsetCoordinate(bubble.y, bubble.height) };
    return rect;
}

void ShowBubble(Stage *stage, const char *text)
{
    if (!stage)
        return;
    HDC dc = BeginStageDrawing(stage);
    SaveUnderSprite(dc, &stage->bubble);
    DrawSpriteMasked(dc, &stage->bubble);
    // Shown with its text in one copy, so the window never has a bubble
    // without its words.
    EndStageDrawing(stage, dc, NULL);
    DrawBubbleText(stage, text);
    stage->noBubble = 0;
}

void HideBubble(Stage *stage)
{
    if (!stage)
        return;
    if (stage->bubble.savedWidth > 0) {
        HDC dc = BeginStageDrawing(stage);
        RestoreUnderSprite(dc, &stage->bubble);
        const RECT shown = BubbleRect(stage->bubble);
        EndStageDrawing(stage, dc, &shown);
    }
    stage->noBubble = 1;
}

int DrawBubbleText(Stage *stage, const char *text)
{
    if (!stage)
        return 0;
    const SpritePlace &bubble = stage->bubble;
    if (!text)
        text = "";
    RECT rect;
    rect.left = OffsetCoordinate(bubble.x, stage->bubbleSide == BUBBLE_SIDE_RIGHT ? BUBBLE_TEXT_SHIFT
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

    HDC dc = BeginStageDrawing(stage);
    int oldMapMode = SetMapMode(dc, MM_TEXT);
    HGDIOBJ oldFont = SelectObject(dc, stage->bubbleFont);
    int height = DrawTextA(dc, text, (int)strnlen(text, BUBBLE_TEXT_MAX), &rect,
                           BUBBLE_TEXT_FORMAT);
    SelectObject(dc, oldFont);
    SetMapMode(dc, oldMapMode);
    const RECT shown = BubbleRect(bubble);
    EndStageDrawing(stage, dc, &shown);
    return height;
}

void BuildPacesReport(LONG paces, char *buffer)
{
    snprintf(buffer, STATEMENT_SIZE, "Since starting here, I've walked a total of %d Paces!!", (int)paces);
}

void LoadStatement(HINSTANCE instance, int id, LONG paces, char *buffer)
{
    buffer[0] = '\0';
    if (id == PACES_REPORT_ID)
        BuildPacesReport(paces, buffer);
    else if (id > 0 && LoadStringA(instance, (UINT)id, buffer, STATEMENT_SIZE) <= 0)
        buffer[0] = '\0';
}
