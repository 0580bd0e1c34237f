#include "engine/sequencer.h"

#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/hooks.h"
#include "engine/messages.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "toon/sound_clip.h"
#include "resources/resource.h"
#include <windowsx.h>
#include <string.h>

#define RANDOM_MULTIPLIER   214013u
#define RANDOM_INCREMENT    2531011u
#define RANDOM_DRAW_MAX     3276      // 32767 / 10
#define RANDOM_DRAW_LIMIT   1000000   // far beyond any range's expected draws
#define REDRAW_LIMIT        64        // redraws of a statement equal to the last one
#define TARGET_MARGIN       100       // the random targets centre this far up and left of the middle
#define RANDOM_PAUSE        5
#define WALK_OFF_PAUSE      5
#define WINK_CHANCE         25
#define PACES_CHANCE        5
#define PAUSE_SECONDS_MAX   (0x7FFFFFFF / 1000)   // the pause in milliseconds fits a timer
#define MOUTH_X             65        // just in front of the mouth, in the 130 x 130 image
#define MOUTH_Y             35
#define PACES_WALK_POSE     6
#define PACES_WALK_PAUSE    7
#define PREVIEW_X           10
#define PREVIEW_POSE        6
#define PREVIEW_PAUSE       3

ToonFrame randomFrame;
ToonFrame currentToonFrame;
int nextFrameIndex;
int toonStarted;
int walkingToFrame;
int randomWalkActive;
int walkingOff;
int introWalkDone;
int lastStatement;

static DWORD randomState;
static int randomStatement;   // what the random frame's text was loaded from
static int pendingSeconds;
static char pendingText[TOON_TEXT_SIZE];

void SeedRandomNumber(DWORD seed)
{
    randomState = seed;
}

static int NextRandomDraw(void)
{
    randomState = randomState * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return (int)((randomState >> 16) & 0x7FFF) / 10;
}

int RandomNumber(int low, int high)
{
    // A range the generator cannot reach would be drawn from for ever.
    if (low > high || low > RANDOM_DRAW_MAX)
        return low;
    if (high < 0)
        return high;
    for (int draws = 0; draws < RANDOM_DRAW_LIMIT; draws++) {
        int value = NextRandomDraw();
        if (value >= low && value <= high)
            return value;
    }
    return low;
}

const ToonFrame *ActiveFrame(void)
{
    return randomWalkActive ? &randomFrame : &currentToonFrame;
}

static LONG ClientWidth(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return client.right;
}

static LONG ClientHeight(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return client.bottom;
}

// The start or exit x out of sight on the side nearer to x.
static LONG SideX(HWND window, LONG x)
{
    LONG width = ClientWidth(window);
    return width / 2 > x ? SIDE_LEFT_X : width + SIDE_RIGHT_GAP;
}

static void CopyText(char *buffer, const char *text)
{
    size_t length = text ? strnlen(text, TOON_TEXT_SIZE - 1) : 0;
    memcpy(buffer, text ? text : "", length);
    buffer[length] = '\0';
}

// A frame from the document, made safe to play: the pose indexes the
// sprite set and the offset tables, and the text ends inside its buffer.
static int ReadToonFrame(int index)
{
    if (!GetToonFrame(index, &currentToonFrame))
        return 0;
    if (currentToonFrame.pose < 0)
        currentToonFrame.pose = 0;
    if (currentToonFrame.pose > POSE_LAST)
        currentToonFrame.pose = POSE_LAST;
    currentToonFrame.text[TOON_TEXT_SIZE - 1] = '\0';
    return 1;
}

// A pause under a second would end before it began and stall playback.
static int PauseOf(const ToonFrame *frame)
{
    return frame->pause < 1 ? 1 : frame->pause;
}

static void PlaceCharacterAt(POINT position)
{
    currentPosition = position;
    character.targetX = character.x = position.x;
    character.targetY = character.y = position.y;
}

/* The pause sequencer */

static void SpeakPendingText(HWND window)
{
    int playing = 0;
    if (IsSoundClip(pendingText))
        playing = PlaySoundClip(window, pendingText);
    if (playing) {
        StartTalkingForSound(window);
    } else {
        StartTalking(window);
        // A clip that failed left its complaint here, to be said instead.
        if (pendingText[0]) {
            PlaceBubble(window, OffsetCoordinate(character.x, MOUTH_X),
                        OffsetCoordinate(character.y, MOUTH_Y), walkDirection);
            ShowBubble(window, pendingText);
        }
    }
}

// A speech still waiting for its delay is dropped with its text: it was
// never shown, so ending the pause has no bubble to take away.
void CancelSpeechDelay(HWND window)
{
    KillTimer(window, IDT_SPEECHDELAY);
    if (pendingSeconds != 0) {
        pendingSeconds = 0;
        pendingText[0] = '\0';
    }
}

void FramePause(HWND window, const char *text, int seconds)
{
    if (seconds == 0) {
        // Only a bubble that was shown has a background to put back.
        if (pendingText[0] && !IsSoundClip(pendingText) && !noBubble)
            HideBubble(window);
        pendingText[0] = '\0';
        StopTalking(window);
        KillTimer(window, IDT_FRAMEPAUSE);
    } else if (pendingSeconds != 0) {
        ShowExpression(window, EXPR_WINK2);
        KillTimer(window, IDT_SPEECHDELAY);
        SetTimer(window, IDT_FRAMEPAUSE, (UINT)pendingSeconds * 1000, NULL);
        SpeakPendingText(window);
        noBubble = 0;
        pendingSeconds = 0;
    } else if (seconds > 0) {
        ShowExpression(window, EXPR_WINK1);
        pendingSeconds = seconds > PAUSE_SECONDS_MAX ? PAUSE_SECONDS_MAX : seconds;
        SetTimer(window, IDT_SPEECHDELAY, SPEECH_DELAY_MS, NULL);
        CopyText(pendingText, text);
    }
}

/* The random walk */

// The random frame is drawn in the stage's own coordinates: scaling it as a
// toon's point would, after a toon made on another screen, send him to the
// wrong place and end his walk off in the middle of the stage.
int WalkToRandomFrame(HWND window)
{
    StartWalk(window, currentPosition.x, currentPosition.y, randomFrame.x, randomFrame.y,
              randomFrame.pose);
    randomWalkActive = 1;
    currentPosition.x = randomFrame.x;
    currentPosition.y = randomFrame.y;
    return 1;
}

int PrepareRandomFrame(HWND window, int statementId)
{
    // The character is put at the side below: a walk under way would go on
    // from there.
    if (randomWalkActive || walkPath.timerRunning)
        return 0;
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    if (!spritesLoaded)
        LoadSpriteSet(window, instance);
    LoadStatement(instance, statementId, randomFrame.text);
    randomStatement = statementId;
    engineHooks.showBusy(window, 1);
    engineHooks.lockControls();
    ParkCharacter(window);
    POINT start = { SideX(window, randomFrame.x), randomFrame.y };
    PlaceCharacterAt(start);
    walkingOff = 0;
    randomWalkActive = 0;
    noBubble = 1;
    return 1;
}

int StartRandomWalk(HWND window, int statementsAllowed)
{
    // A walk under way (the walk off, a walk to a click) would take this
    // walk's start for its own end.
    if (nextFrameIndex != 0 || engineHooks.pickingPoints() || walkPath.timerRunning)
        return 0;
    int hx = ClientWidth(window) / 2 - TARGET_MARGIN;
    int hy = ClientHeight(window) / 2 - TARGET_MARGIN;
    int r = RandomNumber(1, 100);
    int ox = RandomNumber(1, hx);
    int oy = RandomNumber(1, hy);
    if (r < 50) {
        randomFrame.x = hx + ox;
        randomFrame.y = hy + oy;
    } else {
        randomFrame.x = hx - ox;
        randomFrame.y = hy - oy;
    }
    randomFrame.pose = RandomNumber(0, POSE_LAST);
    randomFrame.pause = RANDOM_PAUSE;
    randomFrame.wink = RandomNumber(0, 100) < WINK_CHANCE ? 1 : 0;

    int id = 0;
    if (RandomNumber(1, 100) < PACES_CHANCE) {
        id = PACES_REPORT_ID;
    } else if (statementsAllowed) {
        id = RandomNumber(IDS_FIRST_STATEMENT, IDS_LAST_STATEMENT);
        for (int tries = 0; id == lastStatement && tries < REDRAW_LIMIT; tries++)
            id = RandomNumber(IDS_FIRST_STATEMENT, IDS_LAST_STATEMENT);
        if (id == lastStatement)
            id = id < IDS_LAST_STATEMENT ? id + 1 : IDS_FIRST_STATEMENT;
    }
    lastStatement = id;
    if (PrepareRandomFrame(window, id))
        WalkToRandomFrame(window);
    return 1;
}

static void RandomWalkFinished(HWND window)
{
    if (walkingOff) {
        walkingOff = 0;
        randomWalkActive = 0;
        engineHooks.showBusy(window, 0);
        engineHooks.unlockControls();
        SendMessageA(window, WM_ACTDONE, 0, 0);
    } else {
        // The paces report counts the walk that has just brought him here.
        if (randomStatement == PACES_REPORT_ID)
            LoadStatement((HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE), PACES_REPORT_ID, randomFrame.text);
        FramePause(window, randomFrame.text, PauseOf(&randomFrame));
    }
}

static void RandomPauseOver(HWND window)
{
    KillTimer(window, IDT_FRAMEPAUSE);
    if (!noBubble)
        FramePause(window, NULL, 0);
    if (!walkingOff) {
        randomFrame.x = SideX(window, randomFrame.x);
        WalkToRandomFrame(window);
    }
    walkingOff = 1;
}

static void FinishIntroWalk(HWND window)
{
    if (!walkingOff)
        return;
    introWalkDone = 1;
    SendMessageA(window, WM_ACTDONE, 0, 0);
    InvalidateRect(window, NULL, FALSE);
}

int StartPacesWalk(HWND window)
{
    // A toon started before the entrance keeps the stage: the entrance would
    // put him at the side mid-walk and take the toon's arrival for its own.
    if (introWalkDone || toonStarted)
        return 0;
    randomFrame.x = ClientWidth(window) / 2 - TARGET_MARGIN;
    randomFrame.y = ClientHeight(window) / 2;
    randomFrame.pose = PACES_WALK_POSE;
    randomFrame.wink = 1;
    randomFrame.pause = PACES_WALK_PAUSE;
    if (!PrepareRandomFrame(window, PACES_REPORT_ID))
        return 0;
    return WalkToRandomFrame(window);
}

int StartPreviewVisit(HWND window)
{
    if (introWalkDone)
        return 0;
    randomFrame.x = PREVIEW_X;
    randomFrame.y = 0;
    randomFrame.pose = PREVIEW_POSE;
    randomFrame.wink = 1;
    randomFrame.pause = PREVIEW_PAUSE;
    if (!PrepareRandomFrame(window, 0))
        return 0;
    return WalkToRandomFrame(window);
}

/* Toon playback */

// The character out of sight beside frame 0, ready to walk in.
static void StandAtToonStart(HWND window)
{
    nextFrameIndex = 0;
    ReadToonFrame(0);
    ParkCharacter(window);
    POINT start = { SideX(window, currentToonFrame.x), currentToonFrame.y };
    PlaceCharacterAt(start);
    toonStarted = 1;
}

static int WalkToNextFrame(HWND window)
{
    if (!ReadToonFrame(nextFrameIndex))
        return 0;
    // The frame's point is the character's centre; a file can hold any.
    LONG x = OffsetCoordinate(currentToonFrame.x, -(character.width / 2));
    LONG y = OffsetCoordinate(currentToonFrame.y, -(character.height / 2));
    ScaleToonPoint(window, &x, &y);
    // From where he stands: a walk can end short of its target by a pixel a
    // stride, and walks planned from the targets would add those up.
    StartWalk(window, character.x, character.y, x, y, currentToonFrame.pose);
    currentPosition.x = x;
    currentPosition.y = y;
    toon.currentFrame = nextFrameIndex;
    nextFrameIndex++;
    return 1;
}

static void WalkOffStage(HWND window)
{
    LONG x = SideX(window, currentPosition.x);
    LONG y = currentPosition.y;
    currentToonFrame.text[0] = '\0';
    currentToonFrame.pause = WALK_OFF_PAUSE;
    StartWalk(window, currentPosition.x, currentPosition.y, x, y, 0);
    nextFrameIndex = 0;
    toonStarted = 0;
    walkingToFrame = 0;
    // The buttons stay locked under Stop until he is out of sight: a run
    // started meanwhile would take the walk off's end for an arrival.
}

// Playback stops quietly, but ready: a Stop with no walk under it would
// stand for ever, and its Continue would walk a path left from before.
static void StopAtUnreadableFrame(HWND window)
{
    nextFrameIndex = 0;
    toonStarted = 0;
    walkingToFrame = 0;
    engineHooks.showBusy(window, 0);
    engineHooks.showPlayState(PLAY_STATE_READY);
    engineHooks.unlockControls();
}

void StartToonPlayback(HWND window)
{
    if (!noBubble)
        walkingToFrame = 1;
    if (!toonStarted) {
        StandAtToonStart(window);
        walkingToFrame = 1;
        engineHooks.lockControls();
    }
    if (nextFrameIndex >= toon.frameCount) {
        WalkOffStage(window);
    } else {
        engineHooks.showPlayState(PLAY_STATE_PLAYING);
        if (!WalkToNextFrame(window))
            StopAtUnreadableFrame(window);
    }
    FramePause(window, NULL, 0);
}

static void ToonWalkFinished(HWND window)
{
    if (walkingToFrame) {
        walkingToFrame = 0;
        FramePause(window, currentToonFrame.text, PauseOf(&currentToonFrame));
    } else {
        engineHooks.showBusy(window, 0);
        engineHooks.showPlayState(PLAY_STATE_READY);
        engineHooks.unlockControls();
        SendMessageA(window, WM_ACTDONE, 0, 0);
    }
}

void ResetPlayback(HWND window)
{
    if (!spritesLoaded)
        return;
    if (!noBubble)
        HideBubble(window);
    StandAtToonStart(window);
    engineHooks.showPlayState(PLAY_STATE_READY);
    toonStarted = 0;
    walkingToFrame = 0;
}

void AbandonCycle(HWND window)
{
    KillTimer(window, IDT_SPEECHDELAY);
    KillTimer(window, IDT_FRAMEPAUSE);
    StopTalking(window);
    pendingSeconds = 0;
    pendingText[0] = '\0';
    randomWalkActive = 0;
    walkingOff = 0;
}

LRESULT OnStageClick(HWND window, LPARAM point)
{
    const int picking = engineHooks.pickingPoints();
    if (!picking && nextFrameIndex != 0)
        return 0;
    LONG x = GET_X_LPARAM(point);
    LONG y = GET_Y_LPARAM(point);
    if (PointInSpritePlace(&character, x, y))
        return 0;
    if (picking)
        engineHooks.pickPoint(x, y);
    else
        StartWalk(window, character.x, character.y, x - character.width / 2,
                  y - character.height / 2, 0);
    return 0;
}

int PlaybackProgress(int span)
{
    int count = toon.frameCount > 1 ? toon.frameCount : 1;
    return (int)((long long)span * nextFrameIndex / count);
}

/* The stage window's engine events */

void OnEngineTimer(HWND window, UINT_PTR id)
{
    switch (id) {
    case IDT_SPEECHDELAY:
        FramePause(window, NULL, -1);
        break;
    case IDT_FRAMEPAUSE:
        if (randomWalkActive)
            RandomPauseOver(window);
        else
            StartToonPlayback(window);
        break;
    case IDT_EXPRESSION:
        OnExpressionTimer(window);
        break;
    case IDT_WALK:
        AdvanceWalk(window);
        break;
    default:
        break;
    }
}

void OnWalkFinished(HWND window)
{
    if (!introWalkDone)
        FinishIntroWalk(window);
    if (randomWalkActive)
        RandomWalkFinished(window);
    else
        ToonWalkFinished(window);
}

LRESULT OnSoundDone(HWND window)
{
    if (!noBubble)
        ShowExpression(window, EXPR_MOUTH_REST);
    StopTalking(window);
    return 0;
}
