// The menu: its lines, the modal menu loop, and on-screen text.
#pragma once

#include <cstdint>
#include <iterator>

// What ENTER does on a line. The kind of action also gives the line its group on
// screen: the remember line, the rate lines, the clock lines, a blank row between them.
enum class LineAction : uint8_t {
  ToggleRemember,  // flips the remember option and saves it
  SelectRate,      // makes the line's rate current
  SelectOwnRate,   // the same with the settings' own rate, filled in at every opening
  MoveClock,       // moves the game clock by the line's hours and minutes
  SetToLocalTime,  // sets the game clock to the computer's local time of day
};

struct MenuItem {
  const char* caption;  // the line's text without the suffix the loop appends
  int32_t rate = 0;     // for rate lines, ms per game minute; unused otherwise
  LineAction action = LineAction::SelectRate;
  int8_t hours = 0, minutes = 0;  // for MoveClock lines, the signed move
};

constexpr MenuItem rememberLine(const char* caption) { return {caption, 0, LineAction::ToggleRemember}; }
constexpr MenuItem rateLine(const char* caption, int32_t rate) { return {caption, rate, LineAction::SelectRate}; }
constexpr MenuItem ownRateLine(const char* caption) { return {caption, 0, LineAction::SelectOwnRate}; }
constexpr MenuItem clockLine(const char* caption, int8_t hours, int8_t minutes) {
  return {caption, 0, LineAction::MoveClock, hours, minutes};
}
constexpr MenuItem localTimeLine(const char* caption) { return {caption, 0, LineAction::SetToLocalTime}; }

// The menu, top to bottom: a line is added, moved or changed here and nowhere else.
// Rates are real ms per game minute; the rate lines stand together.
inline constexpr MenuItem MENU_LINES[] = {
    rememberLine("Remember on next game start: "),  // "ON" or "OFF" follows
    rateLine("Reset to Normal (2s = 1m)", 2000),
    rateLine("Stop Time", 0),
    rateLine("Time x 2 (1s = 1m)", 1000),
    rateLine("Time x 30 (1s = 15m)", 66),
    rateLine("Time x 60 (1s  = 30m)", 33),
    rateLine("Time x 120 (1s  = 1h)", 16),
    rateLine("Time x 240 (1s  = 2h)", 8),
    rateLine("Time x 480 (1s  = 4h)", 4),
    rateLine("Time x 960 (1s  = 8h)", 2),
    rateLine("Time / 2 (4s = 1m)", 4000),
    rateLine("Time / 4 (8s = 1m)", 8000),
    rateLine("Time / 8 (16s = 1m)", 16000),
    rateLine("Time / 15 (30s = 1m)", 30000),
    rateLine("Time / 30 (1m = 1m)", 60000),
    rateLine("Time / 60 (2m = 1m)", 120000),
    ownRateLine("Own rate"),
    clockLine("Go 1 hour forward", 1, 0),
    clockLine("Go 1 hour backward", -1, 0),
    clockLine("Go 1 minute forward", 0, 1),
    clockLine("Go 1 minute backward", 0, -1),
    localTimeLine("Set to system time"),
};

constexpr int32_t MENU_LINE_COUNT = static_cast<int32_t>(std::size(MENU_LINES));
constexpr int32_t LAST_MENU_LINE = MENU_LINE_COUNT - 1;

constexpr bool isRateAction(LineAction action) {
  return action == LineAction::SelectRate || action == LineAction::SelectOwnRate;
}

// The searches below run at compile time and have no "not found": a table without the
// line they look for reads past its end, which does not compile.
constexpr int32_t firstLineOf(LineAction action) {
  int32_t line = 0;
  while (MENU_LINES[line].action != action) ++line;
  return line;
}
constexpr int32_t firstRateLine() {
  int32_t line = 0;
  while (!isRateAction(MENU_LINES[line].action)) ++line;
  return line;
}
constexpr int32_t lastRateLine() {
  int32_t line = LAST_MENU_LINE;
  while (!isRateAction(MENU_LINES[line].action)) --line;
  return line;
}
constexpr int32_t rateLineCount() {
  int32_t count = 0;
  for (const MenuItem& item : MENU_LINES) count += isRateAction(item.action);
  return count;
}

// The lines the tools and the tests name, found in the table.
constexpr int32_t REMEMBER_LINE = firstLineOf(LineAction::ToggleRemember);
constexpr int32_t FIRST_RATE_LINE = firstRateLine();
constexpr int32_t LAST_RATE_LINE = lastRateLine();
constexpr int32_t OWN_RATE_LINE = firstLineOf(LineAction::SelectOwnRate);
static_assert(LAST_RATE_LINE - FIRST_RATE_LINE + 1 == rateLineCount(), "the rate lines stand together");

constexpr uint32_t OPEN_DELAY_MS = 100;    // drawing before the first poll after opening
constexpr uint32_t ACTION_DELAY_MS = 200;  // drawing after a line's action, so its effect shows
constexpr uint32_t MOVE_DELAY_MS = 150;    // drawing after the selection moved

// The menu stands on rows of this many pixels: each text's row, and a blank row between
// groups of lines.
constexpr int32_t ROW_PX = 20;

struct TextColour {
  float red, green, blue, alpha;  // each 0..255
};

constexpr TextColour WHITE = {255.0f, 255.0f, 255.0f, 255.0f};
constexpr TextColour HIGHLIGHT = {246.0f, 156.0f, 8.0f, 255.0f};

constexpr const char* TIME_PREFIX = "Current time: ";     // before the game clock, h:m:s
constexpr const char* ACTIVE_SUFFIX = " (NOW ACTIVE)";  // after the current rate's caption
// After the remember line's ON or OFF while the settings file has refused what it shows
// (settings.unsaved); a literal, so that the composed states below are constants of
// their own.
#define HORAVANE_NOT_SAVED " (not saved)"
// The remember line's state after its caption, by [settings.unsaved][remembering].
constexpr const char* REMEMBER_STATE[2][2] = {{"OFF", "ON"}, {"OFF" HORAVANE_NOT_SAVED, "ON" HORAVANE_NOT_SAVED}};

// Index of the highlighted line, 0..LAST_MENU_LINE; kept from one opening of the menu
// to the next.
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
// reports no size. Returns the screen's height as the game reported it for this text.
int32_t drawText(const char* text, int32_t x, int32_t y, float scale, int32_t font,
                 const TextColour& colour);

// selectedIndex back to the first line (HORAVANE_RESETTABLE only).
void resetMenu();
