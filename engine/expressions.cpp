#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "toon/sound_clip.h"
#include <string.h>

#define EXPR_KIND_LAST       5
#define SOUND_TICK_LIMIT     1000
#define TICKS_PER_CHARS      4
#define MOUTH_REDRAW_LIMIT   64   // a generator that repeats itself cannot hold the mouth still

HBITMAP expressionsBitmap;

// Top-left of the eye and mouth cells relative to the character's image, by pose.
const POINT eyeOffsets[16] = {
    { 53, 17 }, { 58, 14 }, { 56, 16 }, { 59, 14 }, { 55, 15 }, { 63, 16 }, { 57, 17 }, { 64, 15 },
    { 56, 19 }, { 63, 19 }, { 58, 20 }, { 54, 17 }, { 63, 17 }, { 57, 19 }, { 64, 18 }, { 54, 18 },
};
const POINT mouthOffsets[16] = {
    { 57, 32 }, { 62, 34 }, { 56, 32 }, { 55, 34 }, { 55, 32 }, { 59, 31 }, { 60, 32 }, { 64, 31 },
    { 60, 32 }, { 57, 36 }, { 56, 39 }, { 58, 36 }, { 58, 37 }, { 60, 37 }, { 59, 36 }, { 58, 36 },
};

int talking;
int talkTicks;
int talkTickLimit;
int lastMouthKind;

static int ClampPose(int pose)
{
    if (pose < 0)
        return 0;
    if (pose > POSE_LAST)
        return POSE_LAST;
    return pose;
}

int ShowExpression(HWND window, int kind)
{
    const ToonFrame *frame = ActiveFrame();
    if (kind < EXPR_MOUTH_FIRST && !frame->wink)
        return 0;
    if (kind < EXPR_WINK1 || kind > EXPR_KIND_LAST || !expressionsBitmap)
        return 0;
    int pose = ClampPose(frame->pose);
    const POINT &offset = kind < EXPR_MOUTH_FIRST ? eyeOffsets[pose] : mouthOffsets[pose];

    HDC dc = GetDC(window);
    HDC cells = CreateCompatibleDC(dc);
    HGDIOBJ oldBitmap = SelectObject(cells, expressionsBitmap);
    SetMapMode(cells, GetMapMode(dc));
    POINT target[2] = {
        { OffsetCoordinate(character.x, offset.x), OffsetCoordinate(character.y, offset.y) },
        { EXPRESSION_CELL, EXPRESSION_CELL },
    };
    POINT source = { (kind - 1) * EXPRESSION_PITCH, pose * EXPRESSION_PITCH };
    DPtoLP(dc, target, 2);
    DPtoLP(cells, &source, 1);
    BitBlt(dc, target[0].x, target[0].y, target[1].x, target[1].y, cells, source.x, source.y,
           SRCCOPY);
    SelectObject(cells, oldBitmap);
    DeleteDC(cells);
    ReleaseDC(window, dc);
    return 1;
}

int StartTalking(HWND window)
{
    if (talking)
        return 0;
    talkTicks = 0;
    const ToonFrame *frame = ActiveFrame();
    size_t length = strnlen(frame->text, sizeof frame->text);
    if (length == 0)
        return 0;
    talkTickLimit = (int)(length - 1) / TICKS_PER_CHARS;
    if (!SetTimer(window, IDT_EXPRESSION, EXPRESSION_MS, NULL))
        return 0;
    talking = 1;
    return 1;
}

int StartTalkingForSound(HWND window)
{
    if (talking)
        return 0;
    if (!SetTimer(window, IDT_EXPRESSION, EXPRESSION_MS, NULL))
        return 0;
    talking = 1;
    talkTickLimit = SOUND_TICK_LIMIT;
    talkTicks = 0;
    return 1;
}

static int NextMouthKind(void)
{
    int kind = RandomNumber(EXPR_MOUTH_FIRST, EXPR_MOUTH_REST);
    for (int tries = 0; kind == lastMouthKind && tries < MOUTH_REDRAW_LIMIT; tries++)
        kind = RandomNumber(EXPR_MOUTH_FIRST, EXPR_MOUTH_REST);
    if (kind == lastMouthKind)
        kind = kind == EXPR_MOUTH_REST ? EXPR_MOUTH_FIRST : kind + 1;
    return kind;
}

void OnExpressionTimer(HWND window)
{
    // A tick already queued when talking stopped must not open the mouth again.
    if (!talking)
        return;
    talkTicks++;
    if (talkTicks == talkTickLimit) {
        ShowExpression(window, EXPR_MOUTH_REST);
        StopTalking(window);
        return;
    }
    int kind = NextMouthKind();
    ShowExpression(window, kind);
    lastMouthKind = kind;
}

void ClearExpression(HWND window)
{
    if (!character.image)
        return;
    HDC dc = GetDC(window);
    RestoreUnderSprite(dc, &character);
    DrawSpriteMasked(dc, &character);
    ReleaseDC(window, dc);
}

void StopTalking(HWND window)
{
    if (talking)
        KillTimer(window, IDT_EXPRESSION);
    CloseSoundClip();
    talking = 0;
}
