#include "engine/sequencer.h"

#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/walk.h"
#include "toon/sound_clip.h"
#include "resources/resource.h"
#include <windowsx.h>
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

static LONG ClientWidth(HWND window)
{
    return StageClientRect(window).right;
}

static LONG ClientHeight(HWND window)
{
    return StageClientRect(window).bottom;
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

// How far he has walked: what the owner has stored and what this stage
// has walked since.
static LONG PacesOf(const Stage *stage)
{
    const LONG stored = stage->owner.storedPaces ? stage->owner.storedPaces() : 0;
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
static void LeavePhase(HWND window, Stage *stage, int next)
{
    if (stage->phase == PHASE_ENTRANCE_DUE)
        KillStageTimer(window, IDT_ENTRANCE);
    const int continuing = stage->phase == PHASE_STOPPED_WALK && next == PHASE_WALKING;
    if (!continuing)
        StopWalkTimer(window);
    KillStageTimer(window, IDT_SPEECHDELAY);
    KillStageTimer(window, IDT_FRAMEPAUSE);
    stage->pendingSeconds = 0;
    stage->pendingText[0] = '\0';
    StopTalking(window);
    if (!stage->noBubble)
        HideBubble(window);
}

static void TellOwner(HWND window, Stage *stage, int wasLocked, int wasBusy)
{
    const StageOwner &owner = stage->owner;
    const int locked = LocksControls(stage);
    const int busy = ShowsBusy(stage);
    if (locked && !wasLocked && owner.lockControls)
        owner.lockControls(window);
    if (busy != wasBusy && owner.showBusy)
        owner.showBusy(window, busy);
    const int state = PlayStateOf(stage);
    if (state != stage->lastPlayState && owner.showPlayState) {
        stage->lastPlayState = state;
        owner.showPlayState(window, state);
    }
    if (!locked && wasLocked && owner.unlockControls)
        owner.unlockControls(window);
}

static void EnterPhase(HWND window, Stage *stage, int phase, int act)
{
    const int wasLocked = LocksControls(stage);
    const int wasBusy = ShowsBusy(stage);
    LeavePhase(window, stage, phase);
    stage->phase = phase;
    stage->act = phase == PHASE_READY ? 0 : act;
    TellOwner(window, stage, wasLocked, wasBusy);
}

/* Arriving, speaking and the pause */

// Arrived: he winks, and half a second later says the frame's line.
static void ArriveAtFrame(HWND window, Stage *stage, const char *text, int seconds)
{
    EnterPhase(window, stage, PHASE_WAITING, stage->act);
    ShowExpression(window, EXPR_WINK1);
    stage->pendingSeconds = seconds > PAUSE_SECONDS_MAX ? PAUSE_SECONDS_MAX : seconds;
    CopyText(stage->pendingText, text);
    SetStageTimer(window, IDT_SPEECHDELAY, SPEECH_DELAY_MS);
}

// Where the toon's clips are found first.
static const char *ToonFileOf(const Stage *stage)
{
    return stage->toon ? stage->toon->fileName : NULL;
}

// Off the screen nothing is heard: the mouth moves for the clip's length,
// or for the pause where the clip cannot be played.
static void MouthForSilentClip(HWND window, Stage *stage, int seconds)
{
    DWORD length = SoundClipMilliseconds(stage->pendingText, ToonFileOf(stage), stage->owner.toonDirectory);
    if (!length)
        length = (DWORD)seconds * 1000;
    const DWORD ticks = length / EXPRESSION_MS;
    StartTalkingForSound(window, ticks < 1 ? 1 : ticks > 0x7FFF ? 0x7FFF : (int)ticks);
}

static void SpeakPendingText(HWND window, Stage *stage, int seconds)
{
    int playing = 0;
    if (IsSoundClip(stage->pendingText) && stage->owner.offScreen) {
        MouthForSilentClip(window, stage, seconds);
        return;
    }
    if (IsSoundClip(stage->pendingText))
        playing = PlaySoundClip(&stage->clip, window, stage->pendingText, ToonFileOf(stage),
                                stage->owner.toonDirectory);
    if (playing) {
        StartTalkingForSound(window, 0);
        return;
    }
    StartTalking(window);
    // A clip that failed left its complaint here, to be said instead.
    if (stage->pendingText[0]) {
        PlaceBubble(window, OffsetCoordinate(stage->character.x, MOUTH_X),
                    OffsetCoordinate(stage->character.y, MOUTH_Y), stage->direction);
        ShowBubble(window, stage->pendingText);
    }
}

static void Speak(HWND window, Stage *stage)
{
    const int seconds = stage->pendingSeconds;
    char text[TOON_TEXT_SIZE];
    CopyText(text, stage->pendingText);
    EnterPhase(window, stage, PHASE_SPEAKING, stage->act);
    CopyText(stage->pendingText, text);
    ShowExpression(window, EXPR_WINK2);
    SetStageTimer(window, IDT_FRAMEPAUSE, (UINT)seconds * 1000);
    SpeakPendingText(window, stage, seconds);
}

/* The random act */

// Draws the act's line and puts him out of sight at the side; the walk in
// follows. Only from the ready phase.
static int PrepareRandomFrame(HWND window, Stage *stage, int statementId)
{
    if (!StageFree(stage) || WalkRunning(stage))
        return 0;
    if (!stage->spritesLoaded)
        LoadSpriteSet(window, stage->instance);
    LoadStatement(stage->instance, statementId, PacesOf(stage), stage->randomFrame.text);
    stage->randomStatement = statementId;
    ParkCharacter(window);
    POINT start = { SideX(window, stage->randomFrame.x), stage->randomFrame.y };
    PlaceCharacterAt(stage, start);
    stage->noBubble = 1;
    return 1;
}

// The random frame is drawn in the stage's own coordinates: scaling it as a
// toon's point would, after a toon made on another screen, send him to the
// wrong place and end his walk off in the middle of the stage.
static int WalkToRandomFrame(HWND window, Stage *stage, int phase)
{
    const ToonFrame &frame = stage->randomFrame;
    EnterPhase(window, stage, phase, 1);
    if (!StartWalk(window, stage->position.x, stage->position.y, frame.x, frame.y, frame.pose)) {
        EnterPhase(window, stage, PHASE_READY, 0);
        return 0;
    }
    stage->position.x = frame.x;
    stage->position.y = frame.y;
    return 1;
}

int StartRandomWalk(HWND window, int statementsAllowed)
{
    Stage *stage = StageOf(window);
    // A walk under way (the walk off, a walk to a click) would take this
    // walk's start for its own end; a toon under way keeps the stage.
    if (!stage || !StageFree(stage) || stage->nextFrameIndex != 0 || WalkRunning(stage) ||
        (stage->owner.pickingPoints && stage->owner.pickingPoints(window)))
        return 0;
    ToonFrame &frame = stage->randomFrame;
    int hx = ClientWidth(window) / 2 - TARGET_MARGIN;
    int hy = ClientHeight(window) / 2 - TARGET_MARGIN;
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
    if (PrepareRandomFrame(window, stage, id))
        WalkToRandomFrame(window, stage, PHASE_WALKING);
    return 1;
}

static void RandomWalkFinished(HWND window, Stage *stage)
{
    if (stage->phase == PHASE_WALKING_OFF) {
        EnterPhase(window, stage, PHASE_READY, 0);
        SendMessageA(window, WM_ACTDONE, 0, 0);
        return;
    }
    // The paces report counts the walk that has just brought him here.
    if (stage->randomStatement == PACES_REPORT_ID)
        LoadStatement(stage->instance, PACES_REPORT_ID, PacesOf(stage), stage->randomFrame.text);
    ArriveAtFrame(window, stage, stage->randomFrame.text, PauseOf(&stage->randomFrame));
}

static void RandomPauseOver(HWND window, Stage *stage)
{
    stage->randomFrame.x = SideX(window, stage->randomFrame.x);
    WalkToRandomFrame(window, stage, PHASE_WALKING_OFF);
}

// The first act of a stage has just left: the title goes, and the owner
// hears of the act's end once before the act is over (its next act is then
// refused) and once after.
static void FinishIntroWalk(HWND window, Stage *stage)
{
    if (!stage->act || stage->phase != PHASE_WALKING_OFF)
        return;
    stage->introWalkDone = 1;
    SendMessageA(window, WM_ACTDONE, 0, 0);
    RepaintStage(window);
}

int StartPacesWalk(HWND window)
{
    Stage *stage = StageOf(window);
    // A toon opened or started before the entrance keeps the stage.
    if (!stage || stage->introWalkDone || stage->nextFrameIndex != 0 || !StageFree(stage))
        return 0;
    ToonFrame &frame = stage->randomFrame;
    frame.x = ClientWidth(window) / 2 - TARGET_MARGIN;
    frame.y = ClientHeight(window) / 2;
    frame.pose = PACES_WALK_POSE;
    frame.wink = 1;
    frame.pause = PACES_WALK_PAUSE;
    if (!PrepareRandomFrame(window, stage, PACES_REPORT_ID))
        return 0;
    return WalkToRandomFrame(window, stage, PHASE_WALKING);
}

int StartPreviewVisit(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || stage->introWalkDone)
        return 0;
    ToonFrame &frame = stage->randomFrame;
    frame.x = PREVIEW_X;
    frame.y = 0;
    frame.pose = PREVIEW_POSE;
    frame.wink = 1;
    frame.pause = PREVIEW_PAUSE;
    if (!PrepareRandomFrame(window, stage, 0))
        return 0;
    return WalkToRandomFrame(window, stage, PHASE_WALKING);
}

void ScheduleEntrance(HWND window, UINT delay)
{
    Stage *stage = StageOf(window);
    if (!stage || stage->introWalkDone || !StageFree(stage))
        return;
    EnterPhase(window, stage, PHASE_ENTRANCE_DUE, 0);
    SetStageTimer(window, IDT_ENTRANCE, delay);
}

void CancelEntrance(HWND window)
{
    Stage *stage = StageOf(window);
    if (stage && stage->phase == PHASE_ENTRANCE_DUE)
        EnterPhase(window, stage, PHASE_READY, 0);
}

/* Toon playback */

// The character out of sight beside frame 1, ready to walk in.
static void StandAtToonStart(HWND window, Stage *stage)
{
    stage->nextFrameIndex = 0;
    stage->frameShown = 0;
    if (!ReadToonFrame(stage, 0))
        ZeroMemory(&stage->toonFrame, sizeof stage->toonFrame);
    ParkCharacter(window);
    POINT start = { SideX(window, stage->toonFrame.x), stage->toonFrame.y };
    PlaceCharacterAt(stage, start);
}

// From where he stands: a walk can end short of its target by a pixel a
// stride, and walks planned from the targets would add those up. A walk
// that cannot start leaves the phase and the index as they were.
static int WalkToNextFrame(HWND window, Stage *stage)
{
    if (!ReadToonFrame(stage, stage->nextFrameIndex))
        return 0;
    const SpritePlace &character = stage->character;
    // The frame's point is the character's centre; a file can hold any.
    LONG x = OffsetCoordinate(stage->toonFrame.x, -(character.width / 2));
    LONG y = OffsetCoordinate(stage->toonFrame.y, -(character.height / 2));
    ScaleToonPointTo(stage->toon, ClientWidth(window), ClientHeight(window), &x, &y);
    const int wasPhase = stage->phase;
    EnterPhase(window, stage, PHASE_WALKING, 0);
    if (!StartWalk(window, character.x, character.y, x, y, stage->toonFrame.pose)) {
        EnterPhase(window, stage, wasPhase, 0);
        return 0;
    }
    stage->position.x = x;
    stage->position.y = y;
    stage->frameShown = stage->nextFrameIndex;
    stage->nextFrameIndex++;
    return 1;
}

static void WalkOffStage(HWND window, Stage *stage)
{
    LONG x = SideX(window, stage->position.x);
    LONG y = stage->position.y;
    stage->toonFrame.text[0] = '\0';
    stage->toonFrame.pause = WALK_OFF_PAUSE;
    // The buttons stay locked under Stop until he is out of sight: a run
    // started meanwhile would take the walk off's end for an arrival.
    EnterPhase(window, stage, PHASE_WALKING_OFF, 0);
    if (!StartWalk(window, stage->position.x, stage->position.y, x, y, 0))
        EnterPhase(window, stage, PHASE_READY, 0);
    stage->nextFrameIndex = 0;
}

// On to the frame after the one he stands at, or off the stage after the last.
static int GoOnToNextFrame(HWND window, Stage *stage)
{
    if (!stage->toon || stage->nextFrameIndex >= stage->toon->frameCount) {
        WalkOffStage(window, stage);
        return 1;
    }
    if (WalkToNextFrame(window, stage))
        return 1;
    // A frame that cannot be read ends playback quietly, but ready: a Stop
    // with no walk under it would stand for ever.
    stage->nextFrameIndex = 0;
    EnterPhase(window, stage, PHASE_READY, 0);
    return 0;
}

int StartToonPlayback(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || !StageFree(stage) || WalkRunning(stage) || !stage->toon || stage->toon->frameCount < 1)
        return 0;
    // A toon played before the entrance cancels it.
    CancelEntrance(window);
    if (!stage->spritesLoaded)
        LoadSpriteSet(window, stage->instance);
    StandAtToonStart(window, stage);
    return GoOnToNextFrame(window, stage);
}

static int ContinueWalk(HWND window, Stage *stage)
{
    EnterPhase(window, stage, PHASE_WALKING, 0);
    return ResumeWalkTimer(window);
}

int TogglePlayback(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || stage->act)
        return 0;
    switch (stage->phase) {
    case PHASE_READY:
    case PHASE_ENTRANCE_DUE:
        return StartToonPlayback(window);
    case PHASE_WALKING:
        EnterPhase(window, stage, PHASE_STOPPED_WALK, 0);
        return 1;
    case PHASE_WAITING:
    case PHASE_SPEAKING:
        // Continue walks to the same frame again; the wink or the open
        // mouth go, since no walk follows to take them away.
        stage->nextFrameIndex = stage->frameShown;
        EnterPhase(window, stage, PHASE_STOPPED_FRAME, 0);
        ClearExpression(window);
        return 1;
    case PHASE_STOPPED_WALK:
        return ContinueWalk(window, stage);
    case PHASE_STOPPED_FRAME:
        return GoOnToNextFrame(window, stage);
    default:
        // The walk off and a walk to a click end on their own.
        return 0;
    }
}

int PausePlayback(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || stage->act || stage->phase != PHASE_WALKING)
        return 0;
    EnterPhase(window, stage, PHASE_STOPPED_WALK, 0);
    return 1;
}

int ResumePlayback(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || stage->act || stage->phase != PHASE_STOPPED_WALK)
        return 0;
    return ContinueWalk(window, stage);
}

static void ToonWalkFinished(HWND window, Stage *stage)
{
    if (stage->phase == PHASE_WALKING) {
        ArriveAtFrame(window, stage, stage->toonFrame.text, PauseOf(&stage->toonFrame));
        return;
    }
    // The walk off, or a walk to a click.
    if (stage->phase != PHASE_WALKING_OFF && stage->phase != PHASE_CLICK_WALK)
        return;
    EnterPhase(window, stage, PHASE_READY, 0);
    SendMessageA(window, WM_ACTDONE, 0, 0);
}

void ResetPlayback(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage || ActRunning(stage))
        return;
    // The entrance still due stays due: only what takes the stage cancels it.
    if (stage->phase != PHASE_ENTRANCE_DUE)
        EnterPhase(window, stage, PHASE_READY, 0);
    if (stage->spritesLoaded)
        StandAtToonStart(window, stage);
    else
        stage->nextFrameIndex = 0;
}

void AbandonStagePlay(HWND window)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    // Nobody is told: the owner is going too.
    stage->owner.showPlayState = NULL;
    stage->owner.lockControls = NULL;
    stage->owner.unlockControls = NULL;
    stage->owner.showBusy = NULL;
    EnterPhase(window, stage, PHASE_READY, 0);
    stage->nextFrameIndex = 0;
}

LRESULT OnStageClick(HWND window, LPARAM point)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return 0;
    const int picking = stage->owner.pickingPoints && stage->owner.pickingPoints(window);
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
            stage->owner.pickPoint(window, x, y);
        return 0;
    }
    if (WalkRunning(stage))
        return 0;
    EnterPhase(window, stage, PHASE_CLICK_WALK, 0);
    if (!StartWalk(window, character.x, character.y, x - character.width / 2, y - character.height / 2, 0))
        EnterPhase(window, stage, PHASE_READY, 0);
    return 0;
}

/* The stage window's engine events */

static void OnFramePauseOver(HWND window, Stage *stage)
{
    if (stage->phase != PHASE_SPEAKING)
        return;
    if (stage->act)
        RandomPauseOver(window, stage);
    else
        GoOnToNextFrame(window, stage);
}

void OnEngineTimer(HWND window, UINT_PTR id)
{
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    switch (id) {
    case IDT_ENTRANCE:
        // A tick queued before something else took the stage finds it taken.
        KillStageTimer(window, IDT_ENTRANCE);
        if (stage->phase == PHASE_ENTRANCE_DUE) {
            EnterPhase(window, stage, PHASE_READY, 0);
            StartPacesWalk(window);
        }
        break;
    case IDT_SPEECHDELAY:
        // A tick queued before the phase was left finds another phase.
        if (stage->phase == PHASE_WAITING)
            Speak(window, stage);
        else
            KillStageTimer(window, IDT_SPEECHDELAY);
        break;
    case IDT_FRAMEPAUSE:
        KillStageTimer(window, IDT_FRAMEPAUSE);
        OnFramePauseOver(window, stage);
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
    Stage *stage = StageOf(window);
    if (!stage)
        return;
    if (!stage->introWalkDone) {
        FinishIntroWalk(window, stage);
        // The owner may have closed the window on the act's end.
        stage = StageOf(window);
        if (!stage)
            return;
    }
    if (stage->act)
        RandomWalkFinished(window, stage);
    else
        ToonWalkFinished(window, stage);
}

LRESULT OnSoundDone(HWND window, WPARAM code, LPARAM device)
{
    Stage *stage = StageOf(window);
    // Only the end of the clip this stage speaks now.
    if (!stage || !IsSoundClipEnd(&stage->clip, code, device))
        return 0;
    if (stage->phase == PHASE_SPEAKING)
        ShowExpression(window, EXPR_MOUTH_REST);
    StopTalking(window);
    return 0;
}
