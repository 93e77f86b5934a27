// GetTickCount() off Windows: a virtual millisecond tick driven by the host.

#include <atomic>

#include "compat.h"
#include "virtual_tick.h"

namespace {
std::atomic<uint32_t> tickNow{0};  // read by the keyboard handler's thread too
std::atomic<void (*)()> interruption{nullptr};
}

extern "C" DWORD GetTickCount(void) {
  const uint32_t tick = tickNow.load(std::memory_order_relaxed);
  if (interruption.load(std::memory_order_relaxed) != nullptr) {
    if (void (*action)() = interruption.exchange(nullptr)) action();  // once, whoever reads first
  }
  return tick;
}

void setVirtualTickCount(uint32_t tick) { tickNow.store(tick, std::memory_order_relaxed); }

void advanceVirtualTickCount(uint32_t ms) { tickNow.fetch_add(ms, std::memory_order_relaxed); }

uint32_t virtualTickCount() { return tickNow.load(std::memory_order_relaxed); }

void interruptNextTickRead(void (*action)()) { interruption.store(action); }
