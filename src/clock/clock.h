// Clock control: pacing the game clock at the current rate, and one-shot adjustments.
#pragma once

#include <cstdint>

constexpr uint32_t NORMAL_RATE = 2000;  // ms per game minute at which the game runs its own clock

extern uint32_t currentRate;   // real ms per game minute; 0 stops the clock
extern uint32_t lastStepTick;  // tick up to which real time has been turned into clock steps

// Makes `rate` current: at any rate but NORMAL_RATE the game's own clock is frozen and
// pacing counts from this moment; at NORMAL_RATE the game's own clock is released.
void makeRateCurrent(uint32_t rate);

// Makes `rate` current at a start of the script function. A rate already in use keeps
// its step in progress, as over a nudge of the clock, and has its freeze asserted again;
// the normal pace, already the game's own, needs nothing. Another rate starts afresh.
void resumeRate(uint32_t rate);

// Adds the whole game seconds (or minutes, below 60 ms per minute) that the real time
// since lastStepTick gives at currentRate; the remainder carries over to the next call.
void paceClock();

// Moves the game clock by signed amounts.
void addToClock(int32_t hours, int32_t minutes, int32_t seconds);

// Sets the game clock to the computer's local time of day.
void setClockToLocalTime();

// currentRate and lastStepTick back to their start values (HORAVANE_RESETTABLE only).
void resetClock();
