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

int32_t selectedIndex = 0;

namespace {

constexpr size_t LINE_BUFFER = 64;  // the longest line, caption and suffix, has 38 characters

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

bool isRateLine(int32_t index) { return index >= FIRST_RATE_LINE && index <= LAST_RATE_LINE; }

// The row a line stands on: a blank row separates the time line, the remember line,
// the rate lines and the clock lines.
int32_t lineSlot(int32_t index) {
  if (index == REMEMBER_LINE) return 2;
  return isRateLine(index) ? 3 : 4;
}

// The line's text. Most lines show their caption as it is, drawn in place rather than
// copied every frame; only a line with a suffix is composed in `line`.
const char* lineText(LineText& line, const MenuItem& item, int32_t index) {
  const char* suffix = nullptr;
  if (index == REMEMBER_LINE)
    suffix = settings.rememberRate == 1 ? "ON" : "OFF";
  else if (isRateLine(index) && static_cast<uint32_t>(item.rate) == currentRate)
    suffix = ACTIVE_SUFFIX;
  if (suffix == nullptr) return item.caption;
  line.length = 0;
  append(line, item.caption);
  append(line, suffix);
  return line.chars;
}

void drawFrame(const MenuItem* items, const char* title, int32_t windowTop, int32_t drawEnd) {
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
  drawText(title, 40, 60, 0.9f, 1, WHITE);
  drawText(line.chars, 60, 100, 0.45f, 0, WHITE);
  for (int32_t i = windowTop; i < drawEnd; ++i) {
    const char* text = lineText(line, items[i], i);
    const int32_t y = (lineSlot(i) + i - windowTop) * 20 + 100;
    drawText(text, 60, y, 0.45f, 0, i == selectedIndex ? HIGHLIGHT : WHITE);
  }
}

void carryOutLine(const MenuItem* items, int32_t index) {
  if (index == REMEMBER_LINE) {
    settings.rememberRate = nextRememberRate(settings.rememberRate);
    saveRememberRate(settings.rememberRate);
  } else if (isRateLine(index)) {
    selectRate(static_cast<uint32_t>(items[index].rate));
  } else if (index == HOUR_FORWARD_LINE) {
    addToClock(1, 0, 0);
  } else if (index == HOUR_BACK_LINE) {
    addToClock(-1, 0, 0);
  } else if (index == MINUTE_FORWARD_LINE) {
    addToClock(0, 1, 0);
  } else if (index == MINUTE_BACK_LINE) {
    addToClock(0, -1, 0);
  } else if (index == SYSTEM_TIME_LINE) {
    setClockToLocalTime();
  }
}

}  // namespace

void selectRate(uint32_t rate) {
  if (settings.rememberRate == 1) saveUpdateRate(rate);
  makeRateCurrent(rate);
}

void runMenu(const MenuItem items[MENU_LINE_COUNT], const char* title) {
  char ownTitle[32] = {};  // at most 31 characters of the title, always terminated
  for (size_t i = 0; title != nullptr && title[i] != '\0' && i + 1 < sizeof ownTitle; ++i) {
    ownTitle[i] = title[i];
  }

  int32_t width = 0;
  int32_t height = 0;
  ScreenResolution(&width, &height);
  // The window is sized from the screen at opening and fitted to the selection only
  // at the end of the first step, so the opening frames show the top of the list.
  // The screen has room for height / 20 rows of 20 px, six of which are kept for the
  // margin, title and time line above the lines. The blank rows between the groups of
  // lines are not counted, so on a short screen the lowest lines can fall below the edge.
  const int32_t windowSize = height / 20 - 6;
  int32_t windowTop = 0;
  int32_t windowEnd = windowSize;
  uint32_t delayMs = OPEN_DELAY_MS;

  for (;;) {
    const uint32_t stepStart = GetTickCount();
    const int32_t drawEnd = std::min(windowEnd, MENU_LINE_COUNT);
    // At least one frame; the age of the step is taken modulo 2^32, so a step that
    // spans the tick count's wrap still ends after delayMs.
    do {
      drawFrame(items, ownTitle, windowTop, drawEnd);
      scriptWait(0);
    } while (GetTickCount() - stepStart < delayMs);

    paceClock();

    // Every key is polled before anything is decided, so each release is consumed
    // once even when this step ignores it.
    const bool enter = consumeKeyRelease(settings.enterKey);
    const bool close = consumeKeyRelease(settings.backKey) || consumeKeyRelease(settings.openKey);
    const bool up = consumeKeyRelease(settings.upKey);
    const bool down = consumeKeyRelease(settings.downKey);

    if (enter) {
      carryOutLine(items, selectedIndex);
      delayMs = ACTION_DELAY_MS;
      continue;
    }
    // OPEN is asked once more when nothing else closed the menu: the keyboard handler
    // runs on a thread of its own, and an OPEN release it delivered while UP and DOWN
    // were polled closes the menu now. Left for the next step, it could be older than
    // a release counts for by then, after a move's 150 ms, and be lost.
    if (close || consumeKeyRelease(settings.openKey)) return;

    delayMs = 0;
    if (up) {
      selectedIndex = std::max(selectedIndex - 1, 0);
      delayMs = MOVE_DELAY_MS;
    } else if (down) {
      selectedIndex = std::min(selectedIndex + 1, LAST_MENU_LINE);
      delayMs = MOVE_DELAY_MS;
    }

    if (selectedIndex < windowTop) {
      windowTop = selectedIndex;
      windowEnd = std::min(selectedIndex + windowSize, MENU_LINE_COUNT);
    }
    if (selectedIndex >= windowEnd) {
      windowEnd = selectedIndex + 1;
      windowTop = std::max(windowEnd - windowSize, 0);
    }
  }
}

void resetMenu() { selectedIndex = 0; }
