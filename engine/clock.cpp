#include "engine/clock.h"

// More firings in one step than any toon needs: a timer of no interval
// must not hold the caller for ever.
#define FIRINGS_LIMIT  100000

static ClockTimer *FindClockTimer(SteppedClock *clock, UINT_PTR id)
{
    for (ClockTimer &timer : clock->timers)
        if (timer.armed && timer.id == id)
            return &timer;
    return NULL;
}

int ArmClockTimer(SteppedClock *clock, UINT_PTR id, UINT milliseconds)
{
    ClockTimer *timer = FindClockTimer(clock, id);
    for (int i = 0; !timer && i < CLOCK_TIMERS; ++i)
        if (!clock->timers[i].armed)
            timer = &clock->timers[i];
    if (!timer)
        return 0;
    timer->id = id;
    // Windows timers never tick faster than this either.
    timer->interval = milliseconds < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : milliseconds;
    timer->due = clock->now + timer->interval;
    timer->armed = 1;
    return 1;
}

void DisarmClockTimer(SteppedClock *clock, UINT_PTR id)
{
    ClockTimer *timer = FindClockTimer(clock, id);
    if (timer)
        timer->armed = 0;
}

int ClockTimerArmed(const SteppedClock *clock, UINT_PTR id)
{
    return FindClockTimer(const_cast<SteppedClock *>(clock), id) != NULL;
}

// The armed timer due first; the lower slot wins a tie, as a timer armed
// earlier would.
static ClockTimer *FirstDue(SteppedClock *clock)
{
    ClockTimer *first = NULL;
    for (ClockTimer &timer : clock->timers)
        if (timer.armed && (!first || (LONG)(timer.due - first->due) < 0))
            first = &timer;
    return first;
}

DWORD NextClockEvent(const SteppedClock *clock)
{
    const ClockTimer *first = FirstDue(const_cast<SteppedClock *>(clock));
    if (!first)
        return INFINITE;
    LONG wait = (LONG)(first->due - clock->now);
    return wait < 0 ? 0 : (DWORD)wait;
}

int AdvanceSteppedClock(SteppedClock *clock, HWND window, DWORD milliseconds)
{
    const DWORD end = clock->now + milliseconds;
    int fired = 0;
    for (ClockTimer *timer = FirstDue(clock); timer && (LONG)(timer->due - end) <= 0 && fired < FIRINGS_LIMIT;
         timer = FirstDue(clock)) {
        clock->now = timer->due;
        timer->due += timer->interval;
        ++fired;
        SendMessageA(window, WM_TIMER, timer->id, 0);
    }
    clock->now = end;
    return fired;
}
