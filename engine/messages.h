// Window messages and timers the program sends and arms for itself.
#ifndef PIMBO_ENGINE_MESSAGES_H
#define PIMBO_ENGINE_MESSAGES_H

#include <windows.h>
#include "toon/toon_file.h"    // WM_TOONCHANGED (WM_USER + 4), which loading a toon sends

#define WM_ENABLEPLAY     (WM_USER + 5)   // wParam 1 enables, 0 disables Play
#define WM_FRAMEDITCLOSED (WM_USER + 6)   // the frame editor has closed
#define WM_ACTDONE        (WM_USER + 7)   // a cycle has ended
#define WM_WALKDONE       (WM_USER + 8)   // a walk has ended
#define WM_HOSTVERIFY     0x8000          // run the password verifier

#define IDT_ENTRANCE      0     // editor: one-shot start of the entrance walk
#define IDT_SPEECHDELAY   1     // delay between arriving and speaking
#define IDT_FRAMEPAUSE    2     // a frame's pause
#define IDT_EXPRESSION    10    // eye and mouth animation
#define IDT_START         11    // start of the first cycle of a show
#define IDT_WALK          101   // one walk step per tick

#define SPEECH_DELAY_MS   500
#define EXPRESSION_MS     250
#define START_DELAY_MS    2000

#endif
