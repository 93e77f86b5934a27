// The modal menu loop: draws the menu every frame, polls the keys once per step, acts.

#include <algorithm>
#include <cstddef>

#include "clock/clock.h"
#include "compat.h"
#include "host/natives.h"
#include "host/runtime.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "text/decimal_text.h"

int32_t selectedIndex = 0;

namespace {

// The screen in rows of ROW_PX: the title and the time line stand in the rows above the
// menu lines, which start one blank row below the time line.
constexpr int32_t TITLE_X = 40, TITLE_Y = 60;
constexpr int32_t TEXT_X = 60, TIME_LINE_Y = 100;  // the time line and the menu lines
constexpr float TITLE_SCALE = 0.9f, TEXT_SCALE = 0.45f;
constexpr int32_t TITLE_FONT = 1, TEXT_FONT = 0;

constexpr size_t LINE_BUFFER = 64;   // the longest line, caption and suffixes, has 44 characters
constexpr size_t TITLE_BUFFER = 32;  // at most 31 characters of the title, always terminated

// The group a line belongs to on screen; a blank row stands between two groups.
constexpr int32_t groupOf(LineAction action) {
  return action == LineAction::ToggleRemember ? 0 : isRateAction(action) ? 1 : 2;
}

// Blank rows above each line when the list is drawn from its top: the one below the
// time line, and one more for every change of group above and at the line.
struct BlankRows {
  int32_t above[MENU_LINE_COUNT];
};
constexpr BlankRows blankRows() {
  BlankRows rows{};
  int32_t blank = 1;
  for (int32_t i = 0; i < MENU_LINE_COUNT; ++i) {
    if (i > 0 && groupOf(MENU_LINES[i].action) != groupOf(MENU_LINES[i - 1].action)) ++blank;
    rows.above[i] = blank;
  }
  return rows;
}
constexpr BlankRows BLANK_ROWS = blankRows();
// Blank rows only ever add up going down the list, so the last line has the most.
constexpr int32_t MOST_BLANK_ROWS = BLANK_ROWS.above[LAST_MENU_LINE];

// The lines a run of the menu shows: `size` lines from `top`, up to `end` (not yet capped
// at the last line), sized for a screen `height` pixels high.
struct MenuWindow {
  int32_t size, top, end;
  int32_t height;
};

// The window for a screen this high, at the top of the list. It holds as many lines as
// fit wholly below the time line with every blank row above them, so that wherever it
// stands in the list its lowest line is on the screen; and at least one, so that the
// selection is always drawn.
MenuWindow windowFor(int32_t height) {
  // Divided first, so that no height the game reports can overflow; the time line
  // stands on a whole row.
  static_assert(TIME_LINE_Y % ROW_PX == 0, "the time line starts a row");
  const int32_t rowsBelowTimeLine = height / ROW_PX - TIME_LINE_Y / ROW_PX - 1;
  const int32_t size = std::max(rowsBelowTimeLine - MOST_BLANK_ROWS, 1);
  return {size, 0, size, height};
}

// Brings the window to the selection: at opening, at the end of every step that carries
// out no action, and when the screen's height changes.
void fitWindow(MenuWindow& window) {
  if (selectedIndex < window.top) {
    window.top = selectedIndex;
    window.end = std::min(selectedIndex + window.size, MENU_LINE_COUNT);
  }
  if (selectedIndex >= window.end) {
    window.end = selectedIndex + 1;
    window.top = std::max(window.end - window.size, 0);
  }
}

// A text composed in a fixed buffer: appends stop quietly at the buffer's end.
struct LineText {
  char chars[LINE_BUFFER];
  size_t length;
};

void append(LineText& line, const char* text) {
  while (*text != '\0' && line.length + 1 < LINE_BUFFER) line.chars[line.length++] = *text++;
  line.chars[line.length] = '\0';
}

void appendNumber(LineText& line, int32_t value) { append(line, decimalText(value).chars); }

// The line's text. Most lines show their caption as it is, drawn in place rather than
// copied every frame; only a line with a suffix is composed in `line`.
// The remember line also says when the file refused what it shows (or, showing ON, the
// rate to remember), since the next game start reads the file. One suffix
// per line, composed in advance: each append costs code in every frame's loop.
const char* lineText(LineText& line, const MenuItem& item) {
  const char* suffix = nullptr;
  if (item.action == LineAction::ToggleRemember) {
    suffix = REMEMBER_STATE[settings.unsaved][settings.rememberRate == 1];
  } else if (isRateAction(item.action) && static_cast<uint32_t>(item.rate) == currentRate) {
    suffix = ACTIVE_SUFFIX;
  }
  if (suffix == nullptr) return item.caption;
  line.length = 0;
  append(line, item.caption);
  append(line, suffix);
  return line.chars;
}

void drawFrame(const MenuItem* items, const char* title, MenuWindow& window) {
  const int32_t seconds = ClockSeconds();
  const int32_t minutes = ClockMinutes();
  const int32_t hours = ClockHours();
  LineText line = {{}, 0};
  append(line, TIME_PREFIX);
  appendNumber(line, hours);
  append(line, ":");
  appendNumber(line, minutes);
  append(line, ":");
  appendNumber(line, seconds);
  const int32_t height = drawText(title, TITLE_X, TITLE_Y, TITLE_SCALE, TITLE_FONT, WHITE);
  // A screen resized while the menu is open (a windowed game): the window is sized for
  // it on this frame and brought to the selection, so no line is drawn off the screen.
  if (height != window.height) {
    window = windowFor(height);
    fitWindow(window);
  }
  drawText(line.chars, TEXT_X, TIME_LINE_Y, TEXT_SCALE, TEXT_FONT, WHITE);
  const int32_t drawEnd = std::min(window.end, MENU_LINE_COUNT);
  for (int32_t i = window.top; i < drawEnd; ++i) {
    const int32_t row = 1 + BLANK_ROWS.above[i] + i - window.top;  // rows below the time line
    drawText(lineText(line, items[i]), TEXT_X, TIME_LINE_Y + row * ROW_PX, TEXT_SCALE, TEXT_FONT,
             i == selectedIndex ? HIGHLIGHT : WHITE);
  }
}

void copyTitle(char (&ownTitle)[TITLE_BUFFER], const char* title) {
  for (size_t i = 0; title != nullptr && title[i] != '\0' && i + 1 < TITLE_BUFFER; ++i) ownTitle[i] = title[i];
}

// The window is sized from the screen at opening and fitted to the selection at once,
// so that the highlighted line shows from the first frame.
MenuWindow openWindow() {
  int32_t width = 0;
  int32_t height = 0;
  ScreenResolution(&width, &height);
  MenuWindow window = windowFor(height);
  fitWindow(window);
  return window;
}

// The drawing phase of a step: at least one frame; the age of the step is taken modulo
// 2^32, so a step that spans the tick count's wrap still ends after delayMs.
void drawFor(uint32_t delayMs, const MenuItem* items, const char* title, MenuWindow& window) {
  const uint32_t stepStart = GetTickCount();
  do {
    drawFrame(items, title, window);
    scriptWait(0);
  } while (GetTickCount() - stepStart < delayMs);
}

struct KeyPoll {
  bool enter, close, up, down;
};

// Every key is polled before anything is decided, so each release is consumed once
// even when this step ignores it.
KeyPoll pollKeys() {
  KeyPoll keys;
  keys.enter = consumeKeyRelease(settings.enterKey);
  keys.close = consumeKeyRelease(settings.backKey) || consumeKeyRelease(settings.openKey);
  keys.up = consumeKeyRelease(settings.upKey);
  keys.down = consumeKeyRelease(settings.downKey);
  return keys;
}

void carryOutLine(const MenuItem& item) {
  switch (item.action) {
    case LineAction::ToggleRemember:
      settings.rememberRate = nextRememberRate(settings.rememberRate);
      // Switched on, the rate in use is remembered with it: the next start runs what the
      // menu marks active, with no rate to pick again.
      if (settings.rememberRate == 1) {
        settings.savedRate = currentRate;
        saveSettings(ALL_SAVED_KEYS);
      } else {
        saveSettings(REMEMBER_RATE_KEY);
      }
      break;
    case LineAction::SelectRate:
    case LineAction::SelectOwnRate: selectRate(static_cast<uint32_t>(item.rate)); break;
    case LineAction::MoveClock: addToClock(item.hours, item.minutes, 0); break;
    case LineAction::SetToLocalTime: setClockToLocalTime(); break;
  }
}

// UP or DOWN moves the selection by a line within the list; the delay of the next step.
uint32_t moveSelection(const KeyPoll& keys) {
  if (keys.up) {
    selectedIndex = std::max(selectedIndex - 1, 0);
  } else if (keys.down) {
    selectedIndex = std::min(selectedIndex + 1, LAST_MENU_LINE);
  } else {
    return 0;
  }
  return MOVE_DELAY_MS;  // also when the selection stood at the end already
}

}  // namespace

void selectRate(uint32_t rate) {
  if (settings.rememberRate == 1) {
    settings.savedRate = rate;
    saveSettings(UPDATERATE_KEY);
  }
  makeRateCurrent(rate);
}

void runMenu(const MenuItem items[MENU_LINE_COUNT], const char* title) {
  char ownTitle[TITLE_BUFFER] = {};
  copyTitle(ownTitle, title);
  MenuWindow window = openWindow();
  uint32_t delayMs = OPEN_DELAY_MS;
  for (;;) {
    drawFor(delayMs, items, ownTitle, window);
    paceClock();
    const KeyPoll keys = pollKeys();
    if (keys.enter) {
      carryOutLine(items[selectedIndex]);
      delayMs = ACTION_DELAY_MS;
      continue;
    }
    // OPEN is asked once more when nothing else closed the menu: the keyboard handler
    // runs on a thread of its own, and an OPEN release it delivered while UP and DOWN
    // were polled closes the menu now. Left for the next step, it could be older than
    // a release counts for by then, after a move's 150 ms, and be lost.
    if (keys.close || consumeKeyRelease(settings.openKey)) return;
    delayMs = moveSelection(keys);
    fitWindow(window);
  }
}

#ifdef HORAVANE_RESETTABLE
void resetMenu() { selectedIndex = 0; }
#endif
