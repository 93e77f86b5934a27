// _localtime64() off Windows: the C library's conversion, or an answer a test has set.

#include <ctime>

#include "compat.h"
#include "virtual_tick.h"

namespace {
enum class LocalTime { System, Given, Fails };
LocalTime source = LocalTime::System;
std::tm given{};
thread_local std::tm converted{};  // per thread and overwritten by the next call, as in the C runtime
}

extern "C" struct tm* _localtime64(const time_t* time) {
  if (source == LocalTime::Fails) return nullptr;
  if (source == LocalTime::Given) {
    converted = given;
    return &converted;
  }
  return localtime_r(time, &converted);
}

void setVirtualLocalTime(const std::tm* local) {
  source = local != nullptr ? LocalTime::Given : LocalTime::Fails;
  if (local != nullptr) given = *local;
}

void useSystemLocalTime() { source = LocalTime::System; }
