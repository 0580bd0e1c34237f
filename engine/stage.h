// The stage: a window in which Pimbo is animated. Each stage window owns
// one Stage record, made when its owner creates the window and freed when
// the window goes. The window's procedure finds the record once per message
// (StageOf) and hands it down: the engine's operations take the record, and
// the window is one of its fields. The record holds the sprite set, the picture (a memory
// canvas copied to the window as it changes), the walk, the bubble, the
// expressions and the playback with its one phase.
#ifndef PIMBO_ENGINE_STAGE_H
#define PIMBO_ENGINE_STAGE_H

#include <windows.h>
#include "engine/clock.h"
#include "engine/raster.h"
#include "engine/screen.h"
#include "toon/sound_clip.h"
#include "toon/toon_document.h"

#define SPRITE_COUNT      36
#define SPRITE_SIZE       130     // every character image is 130 x 130
#define SPRITE_WALKRIGHT  0       // 0..7
#define SPRITE_WALKLEFT   8       // 8..15
#define SPRITE_TURNRIGHT  16      // "pbltn1", "pbltn2"
#define SPRITE_TURNLEFT   18      // "pbrtn1", "pbrtn2"
#define SPRITE_POSE       20      // poses 0..15
#define POSE_LAST         15

// Out of sight beside the client area: where walks start and end.
#define SIDE_LEFT_X       (-150)
#define SIDE_RIGHT_GAP    50      // this far right of the client area

// The editor's stage within its main window's client area.
#define EDITOR_STAGE_X    10
#define EDITOR_STAGE_Y    25

// The stage's fonts are "MS Serif"; the title is this high in both owners.
#define TITLE_FONT_HEIGHT 32
#define TITLE_TEXT_SIZE   30      // 29 characters and the terminator

#define WALK_MAX_STEPS    255

#define PLAY_STATE_READY    0    // Play offers "&Play"
#define PLAY_STATE_PAUSED   1    // "&Continue"
#define PLAY_STATE_PLAYING  2    // "&Stop"

// Packed size: width in the low 16 bits, height in the high 16 bits.
inline DWORD MakePackedSize(int width, int height)
{
    return (DWORD)(width & 0xFFFF) | ((DWORD)(height & 0xFFFF) << 16);
}
inline int PackedWidth(DWORD size) { return (int)(size & 0xFFFF); }
inline int PackedHeight(DWORD size) { return (int)(size >> 16); }

// What the stage paints, read from its owner at each use.
struct StageLook {
    int backgroundNumber;     // 0: "bg01" plainly; 1..10: that tile through its palette
    const char *titleText;
    HFONT titleFont;
    HFONT textFont;
    int saverShow;            // a saver show runs: the toon's caption follows the title
    int randomBackgrounds;    // the show changes backgrounds: grey before each
    int preview;              // the preview box: its two-line title instead
};

// What the owner of a stage hands it when it makes it: whom to tell what
// the character does and whom to ask what the stage shows. Every callback
// gets the owner's context back; one left null does nothing and answers "no".
struct StageOwner {
    void *context;                                   // the owner's record
    void (*showPlayState)(void *context, int state); // PLAY_STATE_*
    void (*lockControls)(void *context);             // the character acts
    void (*unlockControls)(void *context);           // he is done
    void (*showBusy)(void *context, int on);         // the busy cursor over the stage
    int (*pickingPoints)(void *context);             // clicks pick a frame's point
    void (*pickPoint)(void *context, LONG x, LONG y);
    void (*readLook)(void *context, StageLook *look);
    LONG (*storedPaces)(void *context);              // the total stored so far; the paces report adds the stage's
    SteppedClock *clock;                             // none: the window's own timers
    int offScreen;                                   // draw on the canvas only
    const char *toonDirectory;                       // clips not beside their toon are found here
};

// The playback's one phase. A random act (the entrance, the preview visit,
// the action button's walk, a saver's random walk) runs through the same
// phases with act set.
enum StagePhase {
    PHASE_READY,          // nothing under way: Play starts at frame 1
    PHASE_WALKING,        // to a frame
    PHASE_WAITING,        // arrived: the half second before he speaks
    PHASE_SPEAKING,       // speaking, or pausing, at the frame
    PHASE_WALKING_OFF,    // out of sight after the last frame
    PHASE_CLICK_WALK,     // to a point clicked on the stage
    PHASE_STOPPED_WALK,   // Stop during a walk to a frame
    PHASE_STOPPED_FRAME,  // Stop at a frame
    PHASE_ENTRANCE_DUE,   // as ready, with the entrance timer armed
};

struct WalkStep {
    LONG x;
    LONG y;
    HBITMAP image;
};

struct WalkPath {
    WalkStep steps[WALK_MAX_STEPS];
    int stepCount;          // index of the last entry
    int stepIndex;          // the step drawn last
    UINT interval;
    int timerRunning;
};

struct Stage {
    HWND window;
    StageOwner owner;
    ToonDocument *toon;           // the owner's; played, never written
    HINSTANCE instance;

    // The picture
    DWORD size;                   // packed: a new toon is laid out on it
    int scale;                    // each of the stage's pixels is scale x scale on the window
    HBITMAP background;
    HBITMAP sprites[SPRITE_COUNT];
    SpriteSheet spriteSheet;      // the set, from which a walk draws
    int spritesLoaded;
    SpritePlace character;
    int titleShown;
    int paintFlag;                // the next paint saves what lies under him
    HBITMAP canvas;
    HDC canvasDc;
    HGDIOBJ canvasOld;
    int canvasWidth;
    int canvasHeight;

    // The bubble
    HBITMAP bubbleLeft;           // "bubleft"
    HBITMAP bubbleRight;          // "bubright"
    SpriteSheet bubbleSheet;      // the two, left first
    HFONT bubbleFont;
    SpritePlace bubble;
    int bubbleSide;
    int noBubble;

    // The expressions
    HeldBitmap expressions;       // "expresns"
    int talking;
    int talkTicks;
    int talkTickLimit;
    int lastMouthKind;
    SoundClip clip;               // this stage's own, open while he speaks it

    // The walk
    WalkPath walk;
    POINT position;               // where the walk under way ends
    int direction;                // 1 right, 2 left or vertical
    int speed;                    // SLOWEST_SPEED..FASTEST_SPEED
    LONG pacesWalked;             // since the owner last took them to store

    // The playback
    int phase;                    // StagePhase
    int act;                      // the phase belongs to a random act
    int lastPlayState;            // what the owner was told last
    ToonFrame randomFrame;        // a random walk's, laid out like a toon's
    ToonFrame toonFrame;          // the toon frame in force, made safe to play
    int nextFrameIndex;           // the frame the next walk goes to
    int frameShown;               // the frame he walks to or stands at
    int introWalkDone;
    int lastStatement;
    int randomStatement;          // what the random frame's text was loaded from
    int pendingSeconds;
    char pendingText[TOON_TEXT_SIZE];
};

// Made by the owner in the window's WM_CREATE, freed in its WM_DESTROY.
Stage *CreateStage(HWND window, const StageOwner *owner, ToonDocument *toon);
void DestroyStage(Stage *stage);
// The window's stage; null for a window that has none. Only where a message
// enters (RouteStageMessage, in the sequencer): the engine's operations take
// the record.
Stage *StageOf(HWND window);

// What an owner changes of its stage.
// The stage keeps its picture, walks and clicks in its own pixels and shows
// each one as a square of scale x scale window pixels (1..SCALE_LARGEST);
// its size becomes its client area in its own pixels.
void SetStageScale(Stage *stage, int scale);
// The size a new toon is laid out on, and the background's.
void SetStageSize(Stage *stage, DWORD size);
// The walking speed, SLOWEST_SPEED..FASTEST_SPEED.
void SetStageSpeed(Stage *stage, int speed);
// What lies under him changed: the next paint saves it again.
void StageGroundChanged(Stage *stage);
// The title is taken as shown: the stage paints the toon's caption instead.
void PassStageTitle(Stage *stage);
// The client area in the stage's own pixels, rounded up to cover the window.
RECT StageClientRect(const Stage *stage);
// The editor's stage window at a scale: its border stays as thin as the
// system draws it, so that its client area is the stage's times the scale.
SIZE EditorStageWindowSize(DWORD size, int scale);

// The stage's timers, on the owner's clock.
void SetStageTimer(Stage *stage, UINT_PTR id, UINT milliseconds);
void KillStageTimer(Stage *stage, UINT_PTR id);

// Drawing goes to the canvas (to the window itself should the canvas be
// missing); what changed is then copied to the window. changed may be null
// when nothing was drawn.
HDC BeginStageDrawing(Stage *stage);
void EndStageDrawing(Stage *stage, HDC dc, const RECT *changed);
// The whole canvas to the window, as after a paint.
void ShowStageCanvas(Stage *stage);
// The canvas out of its DC for a reader that wants it so (null without a
// canvas), and back; nothing may be drawn between the two.
HBITMAP LendStageCanvas(Stage *stage);
void ReturnStageCanvas(Stage *stage);

int LoadSpriteSet(Stage *stage, HINSTANCE instance);
void FreeSpriteSet(Stage *stage);
void ReleaseCharacter(Stage *stage);
int ParkCharacter(Stage *stage);
HBITMAP BuildStageBackground(HINSTANCE instance, Stage *stage);
void RebuildStageBackground(Stage *stage);
HBITMAP LoadBackgroundTile(HINSTANCE instance, HDC dc, int number);
int PaintStage(Stage *stage);
// A paint of the whole stage: at once for a stage off the screen.
void RepaintStage(Stage *stage);
void MoveSprite(Stage *stage, SpritePlace *place, POINT next);
int ResizeEditorStage(Stage *stage);
void ReadStageLook(Stage *stage, StageLook *look);

#endif
