// A clock advanced by hand: the stage's timers fire when its owner steps
// it, so a whole toon can play through in no time, off the screen or in a
// test, along the same paths as under the window's own timers.
#ifndef PIMBO_ENGINE_CLOCK_H
#define PIMBO_ENGINE_CLOCK_H

#include <windows.h>

#define CLOCK_TIMERS  8

struct ClockTimer {
    UINT_PTR id;
    UINT interval;
    DWORD due;
    int armed;
};

struct SteppedClock {
    DWORD now;                // milliseconds since the clock was made
    ClockTimer timers[CLOCK_TIMERS];
};

// Like SetTimer and KillTimer: arming an armed id restarts it.
int ArmClockTimer(SteppedClock *clock, UINT_PTR id, UINT milliseconds);
void DisarmClockTimer(SteppedClock *clock, UINT_PTR id);
int ClockTimerArmed(const SteppedClock *clock, UINT_PTR id);
// Milliseconds until the next timer falls due; INFINITE when none is armed.
DWORD NextClockEvent(const SteppedClock *clock);
// Moves the clock on by milliseconds, sending WM_TIMER to the window for
// each timer as it falls due, in order; returns how many fired.
int AdvanceSteppedClock(SteppedClock *clock, HWND window, DWORD milliseconds);

#endif
