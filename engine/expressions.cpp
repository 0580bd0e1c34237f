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

// Top-left of the eye and mouth cells relative to the character's image, by pose.
const POINT eyeOffsets[16] = {
    { 53, 17 }, { 58, 14 }, { 56, 16 }, { 59, 14 }, { 55, 15 }, { 63, 16 }, { 57, 17 }, { 64, 15 },
    { 56, 19 }, { 63, 19 }, { 58, 20 }, { 54, 17 }, { 63, 17 }, { 57, 19 }, { 64, 18 }, { 54, 18 },
};
const POINT mouthOffsets[16] = {
    { 57, 32 }, { 62, 34 }, { 56, 32 }, { 55, 34 }, { 55, 32 }, { 59, 31 }, { 60, 32 }, { 64, 31 },
    { 60, 32 }, { 57, 36 }, { 56, 39 }, { 58, 36 }, { 58, 37 }, { 60, 37 }, { 59, 36 }, { 58, 36 },
};

static int ClampPose(int pose)
{
    if (pose < 0)
        return 0;
    if (pose > POSE_LAST)
        return POSE_LAST;
    return pose;
}

int ShowExpression(Stage *stage, int kind)
{
    if (!stage)
        return 0;
    const ToonFrame *frame = ActiveFrame(stage);
    if (kind < EXPR_MOUTH_FIRST && !frame->wink)
        return 0;
    HDC cells = stage->expressions.dc;
    if (kind < EXPR_WINK1 || kind > EXPR_KIND_LAST || !cells)
        return 0;
    const SpritePlace &character = stage->character;
    int pose = ClampPose(frame->pose);
    const POINT &offset = kind < EXPR_MOUTH_FIRST ? eyeOffsets[pose] : mouthOffsets[pose];

    HDC dc = BeginStageDrawing(stage);
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
    const RECT cell = { target[0].x, target[0].y, target[0].x + target[1].x, target[0].y + target[1].y };
    EndStageDrawing(stage, dc, &cell);
    return 1;
}

int StartTalking(Stage *stage)
{
    if (!stage || stage->talking)
        return 0;
    stage->talkTicks = 0;
    const ToonFrame *frame = ActiveFrame(stage);
    size_t length = strnlen(frame->text, sizeof frame->text);
    if (length == 0)
        return 0;
    stage->talkTickLimit = (int)(length - 1) / TICKS_PER_CHARS;
    SetStageTimer(stage, IDT_EXPRESSION, EXPRESSION_MS);
    stage->talking = 1;
    return 1;
}

int StartTalkingForSound(Stage *stage, int ticks)
{
    if (!stage || stage->talking)
        return 0;
    SetStageTimer(stage, IDT_EXPRESSION, EXPRESSION_MS);
    stage->talking = 1;
    stage->talkTickLimit = ticks > 0 ? ticks : SOUND_TICK_LIMIT;
    stage->talkTicks = 0;
    return 1;
}

static int NextMouthKind(const Stage *stage)
{
    int kind = RandomNumber(EXPR_MOUTH_FIRST, EXPR_MOUTH_REST);
    for (int tries = 0; kind == stage->lastMouthKind && tries < MOUTH_REDRAW_LIMIT; tries++)
        kind = RandomNumber(EXPR_MOUTH_FIRST, EXPR_MOUTH_REST);
    if (kind == stage->lastMouthKind)
        kind = kind == EXPR_MOUTH_REST ? EXPR_MOUTH_FIRST : kind + 1;
    return kind;
}

void OnExpressionTimer(Stage *stage)
{
    // A tick already queued when talking stopped must not open the mouth again.
    if (!stage || !stage->talking)
        return;
    stage->talkTicks++;
    // A line of up to four characters has a limit of 0: it rests at once.
    if (stage->talkTicks >= stage->talkTickLimit) {
        ShowExpression(stage, EXPR_MOUTH_REST);
        StopTalking(stage);
        return;
    }
    int kind = NextMouthKind(stage);
    ShowExpression(stage, kind);
    stage->lastMouthKind = kind;
}

void ClearExpression(Stage *stage)
{
    if (!stage || !SpriteHasImage(&stage->character))
        return;
    HDC dc = BeginStageDrawing(stage);
    RestoreUnderSprite(dc, &stage->character);
    DrawSpriteMasked(dc, &stage->character);
    const SpritePlace &c = stage->character;
    const RECT shown = { c.x, c.y, OffsetCoordinate(c.x, c.width), OffsetCoordinate(c.y, c.height) };
    EndStageDrawing(stage, dc, &shown);
}

void StopTalking(Stage *stage)
{
    if (!stage)
        return;
    if (stage->talking)
        KillStageTimer(stage, IDT_EXPRESSION);
    // Only this stage's clip: another stage may be speaking through its own.
    CloseSoundClip(&stage->clip);
    stage->talking = 0;
}
