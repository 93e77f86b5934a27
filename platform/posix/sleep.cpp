// Sleep() off Windows: the scheduler's yield for 0, a real sleep otherwise.

#include <sched.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "compat.h"
#include "virtual_tick.h"

namespace {
std::atomic<uint64_t> yields{0};
}

extern "C" void Sleep(DWORD ms) {
  if (ms == 0) {
    yields.fetch_add(1, std::memory_order_relaxed);
    sched_yield();
    return;
  }
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

uint64_t yieldCount() { return yields.load(std::memory_order_relaxed); }
