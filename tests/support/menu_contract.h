// The menu as players know it, written out here on purpose, independently of the
// plug-in's table: each line's caption, its rate (real ms per game minute; the own
// rate's is OWNRATE, 2000 without a file) and its group on screen. The contract tests
// of the words, the layout and the calls of each line all read it.
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>

enum class ContractGroup { Remember, Rate, Clock };  // top to bottom, a blank row between

struct ContractLine {
  const char* caption;
  int32_t rate;
  ContractGroup group;
};

inline constexpr ContractLine MENU_CONTRACT[] = {
    {"Remember on next game start: ", 0, ContractGroup::Remember},
    {"Reset to Normal (2s = 1m)", 2000, ContractGroup::Rate},
    {"Stop Time", 0, ContractGroup::Rate},
    {"Time x 2 (1s = 1m)", 1000, ContractGroup::Rate},
    {"Time x 30 (1s = 15m)", 66, ContractGroup::Rate},
    {"Time x 60 (1s  = 30m)", 33, ContractGroup::Rate},
    {"Time x 120 (1s  = 1h)", 16, ContractGroup::Rate},
    {"Time x 240 (1s  = 2h)", 8, ContractGroup::Rate},
    {"Time x 480 (1s  = 4h)", 4, ContractGroup::Rate},
    {"Time x 960 (1s  = 8h)", 2, ContractGroup::Rate},
    {"Time / 2 (4s = 1m)", 4000, ContractGroup::Rate},
    {"Time / 4 (8s = 1m)", 8000, ContractGroup::Rate},
    {"Time / 8 (16s = 1m)", 16000, ContractGroup::Rate},
    {"Time / 15 (30s = 1m)", 30000, ContractGroup::Rate},
    {"Time / 30 (1m = 1m)", 60000, ContractGroup::Rate},
    {"Time / 60 (2m = 1m)", 120000, ContractGroup::Rate},
    {"Own rate", 2000, ContractGroup::Rate},
    {"Go 1 hour forward", 0, ContractGroup::Clock},
    {"Go 1 hour backward", 0, ContractGroup::Clock},
    {"Go 1 minute forward", 0, ContractGroup::Clock},
    {"Go 1 minute backward", 0, ContractGroup::Clock},
    {"Set to system time", 0, ContractGroup::Clock},
};
inline constexpr int32_t CONTRACT_LINE_COUNT = static_cast<int32_t>(std::size(MENU_CONTRACT));
static_assert(CONTRACT_LINE_COUNT == 22, "the menu has 22 lines");

// The line number of a caption, or -1.
inline int32_t contractLine(const char* caption) {
  for (int32_t line = 0; line < CONTRACT_LINE_COUNT; ++line)
    if (std::strcmp(MENU_CONTRACT[line].caption, caption) == 0) return line;
  return -1;
}
