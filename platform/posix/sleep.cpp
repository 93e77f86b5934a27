// Sleep() off Windows: the scheduler's yield for 0, a real sleep otherwise.

#include <sched.h>

#include <cerrno>
#include <ctime>

#include "compat.h"

extern "C" void Sleep(DWORD ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
