// The menu's lines, built afresh at every opening from the table in menu.h.

#include "menu/menu.h"
#include "settings/settings.h"

namespace {
constexpr const char* MENU_TITLE = "Horavane";
}

void menuItems(MenuItem items[MENU_LINE_COUNT]) {
  for (int32_t i = 0; i < MENU_LINE_COUNT; ++i) {
    items[i] = MENU_LINES[i];
    if (items[i].action == LineAction::SelectOwnRate)
      items[i].rate = static_cast<int32_t>(settings.ownRate);  // bit for bit
  }
}

void openMenu() {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  runMenu(items, MENU_TITLE);
}
