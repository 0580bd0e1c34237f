// The engine's hooks: how it tells the window's owner what the character is
// doing and asks it what the stage shows, without knowing the show or the
// editor. The editor and the show install theirs when the program loads; a
// hook nobody installed does nothing and answers "no".
#ifndef PIMBO_ENGINE_HOOKS_H
#define PIMBO_ENGINE_HOOKS_H

#include <windows.h>

#define PLAY_STATE_READY    0    // Play offers "&Play"
#define PLAY_STATE_PAUSED   1    // "&Continue"
#define PLAY_STATE_PLAYING  2    // "&Stop"

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

struct EngineHooks {
    // Installed by the editor.
    void (*showPlayState)(int state);          // PLAY_STATE_*
    void (*lockControls)(void);                // the character acts
    void (*unlockControls)(void);              // he is done
    void (*showBusy)(HWND stage, int on);      // the busy cursor over the stage
    int (*pickingPoints)(void);                // clicks on the stage pick a frame's point
    void (*pickPoint)(LONG x, LONG y);
    // Installed by the show and the settings store.
    void (*readStageLook)(StageLook *look);
    LONG *pacesWalked;                         // the count every walk adds to
};

extern EngineHooks engineHooks;

#endif
