// Clock pacing: the game's own advance is frozen and the plug-in adds whole steps.

#include "clock/clock.h"

#include <algorithm>

#include "compat.h"
#include "host/natives.h"

uint32_t currentRate = NORMAL_RATE;
uint32_t lastStepTick = 0;

namespace {
constexpr uint32_t MIN_STEP_MS = 30;  // below this much real time a frame adds nothing

// The step count as a signed amount. Beyond 2^31 steps (weeks without a frame) whole
// days are dropped: they change nothing on a 24-hour clock, and a wrapped negative
// amount would turn the clock back.
int32_t clockAmount(uint32_t steps, uint32_t stepsPerDay) {
  return static_cast<int32_t>(steps > INT32_MAX ? steps % stepsPerDay : steps);
}

// Pacing counts from this moment: real time before it adds nothing to the game clock.
void countStepsFromNow() { lastStepTick = GetTickCount(); }
}  // namespace

void makeRateCurrent(uint32_t rate) {
  currentRate = rate;
  if (currentRate != NORMAL_RATE) {
    ClockPause(1);
    countStepsFromNow();
  } else {
    ClockPause(0);
  }
}

void resumeRate(uint32_t rate) {
  if (rate != currentRate) {
    makeRateCurrent(rate);
  } else if (rate != NORMAL_RATE) {
    ClockPause(1);  // the freeze asserted again; the step in progress goes on
  }
}

void paceClock() {
  if (currentRate == 0 || currentRate == NORMAL_RATE) return;
  const uint32_t now = GetTickCount();
  // Asserted on every call: anything else that releases the game's clock is overruled.
  ClockPause(1);
  const uint32_t elapsed = now - lastStepTick;  // modulo 2^32: the tick's wrap is harmless
  if (elapsed <= MIN_STEP_MS) return;
  // Only whole periods are consumed, so the remainder counts towards the next frame
  // and the pace does not drift with the frame rate.
  const uint32_t secondPeriod = currentRate / 60;
  if (secondPeriod != 0) {
    const uint32_t steps = elapsed / secondPeriod;
    lastStepTick += steps * secondPeriod;
    ClockAdd(0, 0, clockAmount(steps, 24 * 60 * 60));
  } else {
    const uint32_t steps = elapsed / currentRate;
    lastStepTick += steps * currentRate;
    ClockAdd(0, clockAmount(steps, 24 * 60), 0);
  }
}

void addToClock(int32_t hours, int32_t minutes, int32_t seconds) {
  ClockAdd(hours, minutes, seconds);
}

void setClockToLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  // The game's clock has no 60th second, whatever the system reports.
  ClockSet(now.wHour, now.wMinute, std::min<WORD>(now.wSecond, 59));
}

#ifdef HORAVANE_RESETTABLE
void resetClock() {
  currentRate = NORMAL_RATE;
  lastStepTick = 0;
}
#endif
