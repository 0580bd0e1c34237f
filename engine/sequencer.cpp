#include "engine/sequencer.h"

#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/walk.h"
#include "toon/sound_clip.h"
#include "resources/resource.h"
#include <windowsx.h>
#include <mmsystem.h>
#include <limits.h>
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

// The generator is the process's: one sequence for every stage.
static DWORD randomState;

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

/* What the phase means */

// Nothing under way: whatever comes first takes the stage, the entrance too.
static int StageFree(const Stage *stage)
{
    return stage->phase == PHASE_READY || stage->phase == PHASE_ENTRANCE_DUE;
}

int WalkRunning(const Stage *stage)
{
    return stage->walk.timerRunning;
}

int ToonRunning(const Stage *stage)
{
    if (stage->act)
        return 0;
    switch (stage->phase) {
    case PHASE_WALKING:
    case PHASE_WAITING:
    case PHASE_SPEAKING:
    case PHASE_WALKING_OFF:
        return 1;
    default:
        return 0;
    }
}

int ActRunning(const Stage *stage)
{
    return stage->act && stage->phase != PHASE_READY;
}

int PlayStateOf(const Stage *stage)
{
    if (ToonRunning(stage))
        return PLAY_STATE_PLAYING;
    if (stage->phase == PHASE_STOPPED_WALK || stage->phase == PHASE_STOPPED_FRAME)
        return PLAY_STATE_PAUSED;
    return PLAY_STATE_READY;
}

// The owner's buttons are locked from the start of an act or a toon to its
// end; a walk to a click leaves them alone.
static int LocksControls(const Stage *stage)
{
    return !StageFree(stage) && stage->phase != PHASE_CLICK_WALK;
}

static int ShowsBusy(const Stage *stage)
{
    return LocksControls(stage) && stage->phase != PHASE_STOPPED_WALK &&
           stage->phase != PHASE_STOPPED_FRAME;
}

const ToonFrame *ActiveFrame(const Stage *stage)
{
    return stage->act ? &stage->randomFrame : &stage->toonFrame;
}

/* Small helpers */

static LONG ClientWidth(Stage *stage)
{
    return StageClientRect(stage).right;
}

static LONG ClientHeight(Stage *stage)
{
    return StageClientRect(stage).bottom;
}

// The start or exit x out of sight on the side nearer to x.
static LONG SideX(Stage *stage, LONG x)
{
    LONG width = ClientWidth(stage);
    return width / 2 > x ? SIDE_LEFT_X : width + SIDE_RIGHT_GAP;
}

static void CopyText(char *buffer, const char *text)
{
    size_t length = text ? strnlen(text, TOON_TEXT_SIZE - 1) : 0;
    memcpy(buffer, text ? text : "", length);
    buffer[length] = '\0';
}

// How far he has walked: what the owner has stored and what this stage
// has walked since.
static LONG PacesOf(const Stage *stage)
{
    const LONG stored = stage->owner.storedPaces ? stage->owner.storedPaces(stage->owner.context) : 0;
    return stored > LONG_MAX - stage->pacesWalked ? LONG_MAX : stored + stage->pacesWalked;
}

// A frame from the document, made safe to play: the pose indexes the
// sprite set and the offset tables, and the text ends inside its buffer.
static int ReadToonFrame(Stage *stage, int index)
{
    if (!stage->toon || !GetToonFrame(stage->toon, index, &stage->toonFrame))
        return 0;
    ToonFrame &frame = stage->toonFrame;
    if (frame.pose < 0)
        frame.pose = 0;
    if (frame.pose > POSE_LAST)
        frame.pose = POSE_LAST;
    frame.text[TOON_TEXT_SIZE - 1] = '\0';
    return 1;
}

// A pause under a second would end before it began and stall playback.
static int PauseOf(const ToonFrame *frame)
{
    return frame->pause < 1 ? 1 : frame->pause;
}

static void PlaceCharacterAt(Stage *stage, POINT position)
{
    stage->position = position;
    stage->character.targetX = stage->character.x = position.x;
    stage->character.targetY = stage->character.y = position.y;
}

/* The one change of phase */

// Ends what the phase being left started. A stopped walk keeps its path for
// Continue; everything else goes: the walk, the speech delay and the line
// waiting for it, the pause, the moving mouth, the clip and the bubble.
static void LeavePhase(Stage *stage, int next)
{
    if (stage->phase == PHASE_ENTRANCE_DUE)
        KillStageTimer(stage, IDT_ENTRANCE);
    const int continuing = stage->phase == PHASE_STOPPED_WALK && next == PHASE_WALKING;
    if (!continuing)
        StopWalkTimer(stage);
    KillStageTimer(stage, IDT_SPEECHDELAY);
    KillStageTimer(stage, IDT_FRAMEPAUSE);
    stage->pendingSeconds = 0;
    stage->pendingText[0] = '\0';
    StopTalking(stage);
    if (!stage->noBubble)
        HideBubble(stage);
}

static void TellOwner(Stage *stage, int wasLocked, int wasBusy)
{
    const StageOwner &owner = stage->owner;
    const int locked = LocksControls(stage);
    const int busy = ShowsBusy(stage);
    if (locked && !wasLocked && owner.lockControls)
        owner.lockControls(owner.context);
    if (busy != wasBusy && owner.showBusy)
        owner.showBusy(owner.context, busy);
    const int state = PlayStateOf(stage);
    if (state != stage->lastPlayState && owner.showPlayState) {
        stage->lastPlayState = state;
        owner.showPlayState(owner.context, state);
    }
    if (!locked && wasLocked && owner.unlockControls)
        owner.unlockControls(owner.context);
}

static void EnterPhase(Stage *stage, int phase, int act)
{
    const int wasLocked = LocksControls(stage);
    const int wasBusy = ShowsBusy(stage);
    LeavePhase(stage, phase);
    stage->phase = phase;
    stage->act = phase == PHASE_READY ? 0 : act;
    TellOwner(stage, wasLocked, wasBusy);
}

/* Arriving, speaking and the pause */

// Arrived: he winks, and half a second later says the frame's line.
static void ArriveAtFrame(Stage *stage, const char *text, int seconds)
{
    EnterPhase(stage, PHASE_WAITING, stage->act);
    ShowExpression(stage, EXPR_WINK1);
    stage->pendingSeconds = seconds > PAUSE_SECONDS_MAX ? PAUSE_SECONDS_MAX : seconds;
    CopyText(stage->pendingText, text);
    SetStageTimer(stage, IDT_SPEECHDELAY, SPEECH_DELAY_MS);
}

// Where the toon's clips are found first.
static const char *ToonFileOf(const Stage *stage)
{
    return stage->toon ? stage->toon->fileName : NULL;
}

// Off the screen nothing is heard: the mouth moves for the clip's length,
// or for the pause where the clip cannot be played.
static void MouthForSilentClip(Stage *stage, int seconds)
{
    DWORD length = SoundClipMilliseconds(stage->pendingText, ToonFileOf(stage), stage->owner.toonDirectory);
    if (!length)
        length = (DWORD)seconds * 1000;
    const DWORD ticks = length / EXPRESSION_MS;
    StartTalkingForSound(stage, ticks < 1 ? 1 : ticks > 0x7FFF ? 0x7FFF : (int)ticks);
}

static void SpeakPendingText(Stage *stage, int seconds)
{
    const int clip = IsSoundClip(stage->pendingText);
    if (clip && stage->owner.offScreen) {
        MouthForSilentClip(stage, seconds);
        return;
    }
    const int playing = clip && PlaySoundClip(&stage->clip, stage->window, stage->pendingText,
                                              ToonFileOf(stage), stage->owner.toonDirectory);
    if (playing) {
        StartTalkingForSound(stage, 0);
        return;
    }
    StartTalking(stage);
    // A clip that failed left its complaint here, to be said instead.
    if (stage->pendingText[0]) {
        PlaceBubble(stage, OffsetCoordinate(stage->character.x, MOUTH_X),
                    OffsetCoordinate(stage->character.y, MOUTH_Y), stage->direction);
        ShowBubble(stage, stage->pendingText);
    }
}

static void Speak(Stage *stage)
{
    const int seconds = stage->pendingSeconds;
    char text[TOON_TEXT_SIZE];
    CopyText(text, stage->pendingText);
    EnterPhase(stage, PHASE_SPEAKING, stage->act);
    CopyText(stage->pendingText, text);
    ShowExpression(stage, EXPR_WINK2);
    SetStageTimer(stage, IDT_FRAMEPAUSE, (UINT)seconds * 1000);
    SpeakPendingText(stage, seconds);
}

/* The random act */

// Draws the act's line and puts him out of sight at the side; the walk in
// follows. Only from the ready phase.
static int PrepareRandomFrame(Stage *stage, int statementId)
{
    if (!StageFree(stage) || WalkRunning(stage))
        return 0;
    if (!stage->spritesLoaded)
        LoadSpriteSet(stage, stage->instance);
    LoadStatement(stage->instance, statementId, PacesOf(stage), stage->randomFrame.text);
    stage->randomStatement = statementId;
    ParkCharacter(stage);
    POINT start = { SideX(stage, stage->randomFrame.x), stage->randomFrame.y };
    PlaceCharacterAt(stage, start);
    stage->noBubble = 1;
    return 1;
}

// The random frame is drawn in the stage's own coordinates: scaling it as a
// toon's point would, after a toon made on another screen, send him to the
// wrong place and end his walk off in the middle of the stage.
static int WalkToRandomFrame(Stage *stage, int phase)
{
    const ToonFrame &frame = stage->randomFrame;
    EnterPhase(stage, phase, 1);
    if (!StartWalk(stage, stage->position.x, stage->position.y, frame.x, frame.y, frame.pose)) {
        EnterPhase(stage, PHASE_READY, 0);
        return 0;
    }
    stage->position.x = frame.x;
    stage->position.y = frame.y;
    return 1;
}

int StartRandomWalk(Stage *stage, int statementsAllowed)
{
    // A walk under way (the walk off, a walk to a click) would take this
    // walk's start for its own end; a toon under way keeps the stage.
    if (!stage || !StageFree(stage) || stage->nextFrameIndex != 0 || WalkRunning(stage) ||
        (stage->owner.pickingPoints && stage->owner.pickingPoints(stage->owner.context)))
        return 0;
    ToonFrame &frame = stage->randomFrame;
    int hx = ClientWidth(stage) / 2 - TARGET_MARGIN;
    int hy = ClientHeight(stage) / 2 - TARGET_MARGIN;
    int r = RandomNumber(1, 100);
    int ox = RandomNumber(1, hx);
    int oy = RandomNumber(1, hy);
    if (r < 50) {
        frame.x = hx + ox;
        frame.y = hy + oy;
    } else {
        frame.x = hx - ox;
        frame.y = hy - oy;
    }
    frame.pose = RandomNumber(0, POSE_LAST);
    frame.pause = RANDOM_PAUSE;
    frame.wink = RandomNumber(0, 100) < WINK_CHANCE ? 1 : 0;

    int id = 0;
    if (RandomNumber(1, 100) < PACES_CHANCE) {
        id = PACES_REPORT_ID;
    } else if (statementsAllowed) {
        id = RandomNumber(IDS_FIRST_STATEMENT, IDS_LAST_STATEMENT);
        for (int tries = 0; id == stage->lastStatement && tries < REDRAW_LIMIT; tries++)
            id = RandomNumber(IDS_FIRST_STATEMENT, IDS_LAST_STATEMENT);
        if (id == stage->lastStatement)
            id = id < IDS_LAST_STATEMENT ? id + 1 : IDS_FIRST_STATEMENT;
    }
    stage->lastStatement = id;
    if (PrepareRandomFrame(stage, id))
        WalkToRandomFrame(stage, PHASE_WALKING);
    return 1;
}

static void RandomWalkFinished(Stage *stage)
{
    if (stage->phase == PHASE_WALKING_OFF) {
        EnterPhase(stage, PHASE_READY, 0);
        SendMessageA(stage->window, WM_ACTDONE, 0, 0);
        return;
    }
    // The paces report counts the walk that has just brought him here.
    if (stage->randomStatement == PACES_REPORT_ID)
        LoadStatement(stage->instance, PACES_REPORT_ID, PacesOf(stage), stage->randomFrame.text);
    ArriveAtFrame(stage, stage->randomFrame.text, PauseOf(&stage->randomFrame));
}

static void RandomPauseOver(Stage *stage)
{
    stage->randomFrame.x = SideX(stage, stage->randomFrame.x);
    WalkToRandomFrame(stage, PHASE_WALKING_OFF);
}

// The first act of a stage has just left: the title goes, and the owner
// hears of the act's end once before the act is over (its next act is then
// refused) and once after. 0 when the owner closed the window on it, and
// the stage is gone.
static int FinishIntroWalk(Stage *stage)
{
    if (!stage->act || stage->phase != PHASE_WALKING_OFF)
        return 1;
    stage->introWalkDone = 1;
    HWND window = stage->window;
    SendMessageA(window, WM_ACTDONE, 0, 0);
    if (StageOf(window) != stage)
        return 0;
    RepaintStage(stage);
    return 1;
}

int StartPacesWalk(Stage *stage)
{
    // A toon opened or started before the entrance keeps the stage.
    if (!stage || stage->introWalkDone || stage->nextFrameIndex != 0 || !StageFree(stage))
        return 0;
    ToonFrame &frame = stage->randomFrame;
    frame.x = ClientWidth(stage) / 2 - TARGET_MARGIN;
    frame.y = ClientHeight(stage) / 2;
    frame.pose = PACES_WALK_POSE;
    frame.wink = 1;
    frame.pause = PACES_WALK_PAUSE;
    if (!PrepareRandomFrame(stage, PACES_REPORT_ID))
        return 0;
    return WalkToRandomFrame(stage, PHASE_WALKING);
}

int StartPreviewVisit(Stage *stage)
{
    if (!stage || stage->introWalkDone)
        return 0;
    ToonFrame &frame = stage->randomFrame;
    frame.x = PREVIEW_X;
    frame.y = 0;
    frame.pose = PREVIEW_POSE;
    frame.wink = 1;
    frame.pause = PREVIEW_PAUSE;
    if (!PrepareRandomFrame(stage, 0))
        return 0;
    return WalkToRandomFrame(stage, PHASE_WALKING);
}

void ScheduleEntrance(Stage *stage, UINT delay)
{
    if (!stage || stage->introWalkDone || !StageFree(stage))
        return;
    EnterPhase(stage, PHASE_ENTRANCE_DUE, 0);
    SetStageTimer(stage, IDT_ENTRANCE, delay);
}

void CancelEntrance(Stage *stage)
{
    if (stage && stage->phase == PHASE_ENTRANCE_DUE)
        EnterPhase(stage, PHASE_READY, 0);
}

/* Toon playback */

// The character out of sight beside frame 1, ready to walk in.
static void StandAtToonStart(Stage *stage)
{
    stage->nextFrameIndex = 0;
    stage->frameShown = 0;
    if (!ReadToonFrame(stage, 0))
        ZeroMemory(&stage->toonFrame, sizeof stage->toonFrame);
    ParkCharacter(stage);
    POINT start = { SideX(stage, stage->toonFrame.x), stage->toonFrame.y };
    PlaceCharacterAt(stage, start);
}

// From where he stands: a walk can end short of its target by a pixel a
// stride, and walks planned from the targets would add those up. A walk
// that cannot start leaves the phase and the index as they were.
static int WalkToNextFrame(Stage *stage)
{
    if (!ReadToonFrame(stage, stage->nextFrameIndex))
        return 0;
    const SpritePlace &character = stage->character;
    // The frame's point is the character's centre; a file can hold any.
    LONG x = OffsetCoordinate(stage->toonFrame.x, -(character.width / 2));
    LONG y = OffsetCoordinate(stage->toonFrame.y, -(character.height / 2));
    ScaleToonPointTo(stage->toon, ClientWidth(stage), ClientHeight(stage), &x, &y);
    const int wasPhase = stage->phase;
    EnterPhase(stage, PHASE_WALKING, 0);
    if (!StartWalk(stage, character.x, character.y, x, y, stage->toonFrame.pose)) {
        EnterPhase(stage, wasPhase, 0);
        return 0;
    }
    stage->position.x = x;
    stage->position.y = y;
    stage->frameShown = stage->nextFrameIndex;
    stage->nextFrameIndex++;
    return 1;
}

static void WalkOffStage(Stage *stage)
{
    LONG x = SideX(stage, stage->position.x);
    LONG y = stage->position.y;
    stage->toonFrame.text[0] = '\0';
    stage->toonFrame.pause = WALK_OFF_PAUSE;
    // The buttons stay locked under Stop until he is out of sight: a run
    // started meanwhile would take the walk off's end for an arrival.
    EnterPhase(stage, PHASE_WALKING_OFF, 0);
    if (!StartWalk(stage, stage->position.x, stage->position.y, x, y, 0))
        EnterPhase(stage, PHASE_READY, 0);
    stage->nextFrameIndex = 0;
}

// On to the frame after the one he stands at, or off the stage after the last.
static int GoOnToNextFrame(Stage *stage)
{
    if (!stage->toon || stage->nextFrameIndex >= stage->toon->frameCount) {
        WalkOffStage(stage);
        return 1;
    }
    if (WalkToNextFrame(stage))
        return 1;
    // A frame that cannot be read ends playback quietly, but ready: a Stop
    // with no walk under it would stand for ever.
    stage->nextFrameIndex = 0;
    EnterPhase(stage, PHASE_READY, 0);
    return 0;
}

int StartToonPlayback(Stage *stage)
{
    if (!stage || !StageFree(stage) || WalkRunning(stage) || !stage->toon || stage->toon->frameCount < 1)
        return 0;
    // A toon played before the entrance cancels it.
    CancelEntrance(stage);
    if (!stage->spritesLoaded)
        LoadSpriteSet(stage, stage->instance);
    StandAtToonStart(stage);
    return GoOnToNextFrame(stage);
}

static int ContinueWalk(Stage *stage)
{
    EnterPhase(stage, PHASE_WALKING, 0);
    return ResumeWalkTimer(stage);
}

int TogglePlayback(Stage *stage)
{
    if (!stage || stage->act)
        return 0;
    switch (stage->phase) {
    case PHASE_READY:
    case PHASE_ENTRANCE_DUE:
        return StartToonPlayback(stage);
    case PHASE_WALKING:
        EnterPhase(stage, PHASE_STOPPED_WALK, 0);
        return 1;
    case PHASE_WAITING:
    case PHASE_SPEAKING:
        // Continue walks to the same frame again; the wink or the open
        // mouth go, since no walk follows to take them away.
        stage->nextFrameIndex = stage->frameShown;
        EnterPhase(stage, PHASE_STOPPED_FRAME, 0);
        ClearExpression(stage);
        return 1;
    case PHASE_STOPPED_WALK:
        return ContinueWalk(stage);
    case PHASE_STOPPED_FRAME:
        return GoOnToNextFrame(stage);
    default:
        // The walk off and a walk to a click end on their own.
        return 0;
    }
}

int PausePlayback(Stage *stage)
{
    if (!stage || stage->act || stage->phase != PHASE_WALKING)
        return 0;
    EnterPhase(stage, PHASE_STOPPED_WALK, 0);
    return 1;
}

int ResumePlayback(Stage *stage)
{
    if (!stage || stage->act || stage->phase != PHASE_STOPPED_WALK)
        return 0;
    return ContinueWalk(stage);
}

static void ToonWalkFinished(Stage *stage)
{
    if (stage->phase == PHASE_WALKING) {
        ArriveAtFrame(stage, stage->toonFrame.text, PauseOf(&stage->toonFrame));
        return;
    }
    // The walk off, or a walk to a click.
    if (stage->phase != PHASE_WALKING_OFF && stage->phase != PHASE_CLICK_WALK)
        return;
    EnterPhase(stage, PHASE_READY, 0);
    SendMessageA(stage->window, WM_ACTDONE, 0, 0);
}

void ResetPlayback(Stage *stage)
{
    if (!stage || ActRunning(stage))
        return;
    // The entrance still due stays due: only what takes the stage cancels it.
    if (stage->phase != PHASE_ENTRANCE_DUE)
        EnterPhase(stage, PHASE_READY, 0);
    if (stage->spritesLoaded)
        StandAtToonStart(stage);
    else
        stage->nextFrameIndex = 0;
}

void AbandonStagePlay(Stage *stage)
{
    if (!stage)
        return;
    // Nobody is told: the owner is going too.
    stage->owner.showPlayState = NULL;
    stage->owner.lockControls = NULL;
    stage->owner.unlockControls = NULL;
    stage->owner.showBusy = NULL;
    EnterPhase(stage, PHASE_READY, 0);
    stage->nextFrameIndex = 0;
}

LRESULT OnStageClick(Stage *stage, LPARAM point)
{
    if (!stage)
        return 0;
    const int picking = stage->owner.pickingPoints && stage->owner.pickingPoints(stage->owner.context);
    if (!picking && (!StageFree(stage) || stage->nextFrameIndex != 0))
        return 0;
    // The window's pixels to the stage's own.
    const LONG scale = stage->scale > 1 ? stage->scale : 1;
    LONG x = GET_X_LPARAM(point) / scale;
    LONG y = GET_Y_LPARAM(point) / scale;
    const SpritePlace &character = stage->character;
    if (PointInSpritePlace(&character, x, y))
        return 0;
    if (picking) {
        if (stage->owner.pickPoint)
            stage->owner.pickPoint(stage->owner.context, x, y);
        return 0;
    }
    if (WalkRunning(stage))
        return 0;
    EnterPhase(stage, PHASE_CLICK_WALK, 0);
    if (!StartWalk(stage, character.x, character.y, x - character.width / 2, y - character.height / 2, 0))
        EnterPhase(stage, PHASE_READY, 0);
    return 0;
}

/* The stage window's engine events */

static void OnFramePauseOver(Stage *stage)
{
    if (stage->phase != PHASE_SPEAKING)
        return;
    if (stage->act)
        RandomPauseOver(stage);
    else
        GoOnToNextFrame(stage);
}

void OnEngineTimer(Stage *stage, UINT_PTR id)
{
    if (!stage)
        return;
    switch (id) {
    case IDT_ENTRANCE:
        // A tick queued before something else took the stage finds it taken.
        KillStageTimer(stage, IDT_ENTRANCE);
        if (stage->phase == PHASE_ENTRANCE_DUE) {
            EnterPhase(stage, PHASE_READY, 0);
            StartPacesWalk(stage);
        }
        break;
    case IDT_SPEECHDELAY:
        // A tick queued before the phase was left finds another phase.
        if (stage->phase == PHASE_WAITING)
            Speak(stage);
        else
            KillStageTimer(stage, IDT_SPEECHDELAY);
        break;
    case IDT_FRAMEPAUSE:
        KillStageTimer(stage, IDT_FRAMEPAUSE);
        OnFramePauseOver(stage);
        break;
    case IDT_EXPRESSION:
        OnExpressionTimer(stage);
        break;
    case IDT_WALK:
        AdvanceWalk(stage);
        break;
    default:
        break;
    }
}

void OnWalkFinished(Stage *stage)
{
    if (!stage)
        return;
    if (!stage->introWalkDone && !FinishIntroWalk(stage))
        return;
    if (stage->act)
        RandomWalkFinished(stage);
    else
        ToonWalkFinished(stage);
}

LRESULT OnSoundDone(Stage *stage, WPARAM code, LPARAM device)
{
    // Only the end of the clip this stage speaks now.
    if (!stage || !IsSoundClipEnd(&stage->clip, code, device))
        return 0;
    if (stage->phase == PHASE_SPEAKING)
        ShowExpression(stage, EXPR_MOUTH_REST);
    StopTalking(stage);
    return 0;
}

static int IsEngineTimer(WPARAM id)
{
    switch (id) {
    case IDT_ENTRANCE:
    case IDT_SPEECHDELAY:
    case IDT_FRAMEPAUSE:
    case IDT_EXPRESSION:
    case IDT_WALK:
        return 1;
    default:
        return 0;
    }
}

int RouteStageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    if (message != WM_PAINT && message != MM_MCINOTIFY && message != WM_WALKDONE &&
        !(message == WM_TIMER && IsEngineTimer(wParam)))
        return 0;
    Stage *stage = StageOf(window);
    if (!stage)
        return 0;
    *result = 0;
    switch (message) {
    case WM_PAINT:
        PaintStage(stage);
        break;
    case WM_TIMER:
        OnEngineTimer(stage, (UINT_PTR)wParam);
        break;
    case WM_WALKDONE:
        OnWalkFinished(stage);
        break;
    default:
        OnSoundDone(stage, wParam, lParam);
        break;
    }
    return 1;
}
