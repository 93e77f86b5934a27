// GetTickCount() off Windows: a virtual millisecond tick driven by the host.

#include <atomic>

#include "compat.h"
#include "virtual_tick.h"

namespace {
std::atomic<uint32_t> tickNow{0};  // read by the keyboard handler's thread too
}

extern "C" DWORD GetTickCount(void) { return tickNow.load(std::memory_order_relaxed); }

void setVirtualTickCount(uint32_t tick) { tickNow.store(tick, std::memory_order_relaxed); }

void advanceVirtualTickCount(uint32_t ms) { tickNow.fetch_add(ms, std::memory_order_relaxed); }

uint32_t virtualTickCount() { return tickNow.load(std::memory_order_relaxed); }
