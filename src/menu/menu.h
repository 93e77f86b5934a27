// The menu: its 22 lines, the modal menu loop, and on-screen text.
#pragma once

#include <cstdint>

constexpr int32_t MENU_LINE_COUNT = 22;  // lines 0..21
constexpr int32_t LAST_MENU_LINE = MENU_LINE_COUNT - 1;
constexpr int32_t REMEMBER_LINE = 0;
constexpr int32_t FIRST_RATE_LINE = 1;
constexpr int32_t LAST_RATE_LINE = 16;
constexpr int32_t OWN_RATE_LINE = 16;
constexpr int32_t HOUR_FORWARD_LINE = 17;
constexpr int32_t HOUR_BACK_LINE = 18;
constexpr int32_t MINUTE_FORWARD_LINE = 19;
constexpr int32_t MINUTE_BACK_LINE = 20;
constexpr int32_t SYSTEM_TIME_LINE = 21;

constexpr uint32_t OPEN_DELAY_MS = 100;    // drawing before the first poll after opening
constexpr uint32_t ACTION_DELAY_MS = 200;  // drawing after a line's action, so its effect shows
constexpr uint32_t MOVE_DELAY_MS = 150;    // drawing after the selection moved

struct MenuItem {
  const char* caption;  // the line's text without the suffix the loop appends
  int32_t rate;         // for rate lines, ms per game minute; 0 and unused otherwise
};

struct TextColour {
  float red, green, blue, alpha;  // each 0..255
};

constexpr TextColour WHITE = {255.0f, 255.0f, 255.0f, 255.0f};
constexpr TextColour HIGHLIGHT = {246.0f, 156.0f, 8.0f, 255.0f};

constexpr const char* TIME_PREFIX = "Current time: ";     // before the game clock, h:m:s
constexpr const char* ACTIVE_SUFFIX = " (NOW ACTIVE)";  // after the current rate's caption

// Index of the highlighted line, 0..21; kept from one opening of the menu to the next.
extern int32_t selectedIndex;

// The menu's lines as openMenu shows them; the own rate line has settings.ownRate.
void menuItems(MenuItem items[MENU_LINE_COUNT]);

// Builds the lines and runs the menu until the player closes it.
void openMenu();

// The modal menu: owns the frames until the BACK or OPEN key closes it.
void runMenu(const MenuItem items[MENU_LINE_COUNT], const char* title);

// Makes `rate` current: saves it when remembering, freezes or releases the game clock.
void selectRate(uint32_t rate);

// One line of text for this frame at pixel (x, y). Draws nothing when the screen
// reports no size.
void drawText(const char* text, int32_t x, int32_t y, float scale, int32_t font,
              const TextColour& colour);

// selectedIndex back to the first line.
void resetMenu();
