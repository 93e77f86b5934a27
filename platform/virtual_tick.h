// Virtual time for the native build: GetTickCount() answers whatever the
// simulated host or a test has set, and _localtime64() the computer's local time or
// whatever a test has set, so runs never depend on the machine's speed or clock.
#pragma once

#include <cstdint>
#include <ctime>

void setVirtualTickCount(uint32_t tick);
void advanceVirtualTickCount(uint32_t ms);  // wraps modulo 2^32, like the real tick
uint32_t virtualTickCount();

// Runs `action` once, inside the next GetTickCount() call, after the tick is read and
// before it is returned: as if the calling thread were interrupted right there.
void interruptNextTickRead(void (*action)());

// _localtime64() answers `local` from now on, or fails (returns null) when it is null.
void setVirtualLocalTime(const std::tm* local);
// _localtime64() converts with the computer's time zone again, as at start.
void useSystemLocalTime();
