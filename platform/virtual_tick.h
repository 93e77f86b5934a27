// Virtual time for the native build: GetTickCount() answers whatever the
// simulated host or a test has set, and GetLocalTime() the computer's local time or
// whatever a test has set, so runs never depend on the machine's speed or clock.
#pragma once

#include <cstdint>

#include "compat.h"

void setVirtualTickCount(uint32_t tick);
void advanceVirtualTickCount(uint32_t ms);  // wraps modulo 2^32, like the real tick
uint32_t virtualTickCount();

// Runs `action` once, inside the next GetTickCount() call, after the tick is read and
// before it is returned: as if the calling thread were interrupted right there.
void interruptNextTickRead(void (*action)());

// How many times Sleep(0) has yielded: a thread locked out of the key table yields.
uint64_t yieldCount();

// GetLocalTime() answers `local` from now on, whatever it holds.
void setVirtualLocalTime(const SYSTEMTIME& local);
// The same for a time of day only, the date left zero.
void setVirtualLocalTime(WORD hour, WORD minute, WORD second);
// GetLocalTime() reads the computer's clock again, as at start.
void useSystemLocalTime();
