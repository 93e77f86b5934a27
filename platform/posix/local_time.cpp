// GetLocalTime() off Windows: the computer's clock in its time zone (TZ), or the time a
// test has set.

#include <ctime>

#include "compat.h"
#include "virtual_tick.h"

namespace {
bool timeGiven = false;
SYSTEMTIME givenTime{};
}  // namespace

extern "C" void GetLocalTime(LPSYSTEMTIME now) {
  if (timeGiven) {
    *now = givenTime;
    return;
  }
  timespec real{};
  clock_gettime(CLOCK_REALTIME, &real);
  std::tm local{};
  if (localtime_r(&real.tv_sec, &local) == nullptr) {
    // A time no calendar can hold: Windows' own start, 1 January 1601, a Monday.
    *now = SYSTEMTIME{1601, 1, 1, 1, 0, 0, 0, 0};
    return;
  }
  now->wYear = static_cast<WORD>(local.tm_year + 1900);
  now->wMonth = static_cast<WORD>(local.tm_mon + 1);
  now->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  now->wDay = static_cast<WORD>(local.tm_mday);
  now->wHour = static_cast<WORD>(local.tm_hour);
  now->wMinute = static_cast<WORD>(local.tm_min);
  // A leap second reads as 60 here; Windows never reports one.
  now->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  now->wMilliseconds = static_cast<WORD>(real.tv_nsec / 1000000);
}

void setVirtualLocalTime(const SYSTEMTIME& local) {
  givenTime = local;
  timeGiven = true;
}

void setVirtualLocalTime(WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local{};
  local.wHour = hour;
  local.wMinute = minute;
  local.wSecond = second;
  setVirtualLocalTime(local);
}

void useSystemLocalTime() { timeGiven = false; }
