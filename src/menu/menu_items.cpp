// The menu's lines, built afresh at every opening.

#include "menu/menu.h"
#include "settings/settings.h"

namespace {

constexpr const char* MENU_TITLE = "Horavane";

constexpr MenuItem MENU_LINES[MENU_LINE_COUNT] = {
    {"Remember on next game start: ", 0},
    {"Reset to Normal (2s = 1m)", 2000},
    {"Stop Time", 0},
    {"Time x 2 (1s = 1m)", 1000},
    {"Time x 30 (1s = 15m)", 66},
    {"Time x 60 (1s  = 30m)", 33},
    {"Time x 120 (1s  = 1h)", 16},
    {"Time x 240 (1s  = 2h)", 8},
    {"Time x 480 (1s  = 4h)", 4},
    {"Time x 960 (1s  = 8h)", 2},
    {"Time / 2 (4s = 1m)", 4000},
    {"Time / 4 (8s = 1m)", 8000},
    {"Time / 8 (16s = 1m)", 16000},
    {"Time / 15 (30s = 1m)", 30000},
    {"Time / 30 (1m = 1m)", 60000},
    {"Time / 60 (2m = 1m)", 120000},
    {"Own rate", 0},  // the own rate, filled in at every opening
    {"Go 1 hour forward", 0},
    {"Go 1 hour backward", 0},
    {"Go 1 minute forward", 0},
    {"Go 1 minute backward", 0},
    {"Set to system time", 0},
};

}  // namespace

void menuItems(MenuItem items[MENU_LINE_COUNT]) {
  for (int32_t i = 0; i < MENU_LINE_COUNT; ++i) items[i] = MENU_LINES[i];
  items[OWN_RATE_LINE].rate = static_cast<int32_t>(settings.ownRate);  // bit for bit
}

void openMenu() {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  runMenu(items, MENU_TITLE);
}
