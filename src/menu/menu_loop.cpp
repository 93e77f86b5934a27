// The modal menu loop: draws the menu every frame, polls the keys once per step, acts.

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
constexpr const char* ACTIVE_SUFFIX = " (NOW ACTIVE)";

// A text composed in a fixed buffer: appends stop quietly at the buffer's end.
struct LineText {
  char chars[LINE_BUFFER];
  size_t length;
};

void append(LineText& line, const char* text) {
  while (*text != '\0' && line.length + 1 < LINE_BUFFER) line.chars[line.length++] = *text++;
  line.chars[line.length] = '\0';
}

void appendUnsigned(LineText& line, uint32_t value) {
  char digits[10];  // least significant first
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0 && line.length + 1 < LINE_BUFFER) line.chars[line.length++] = digits[--count];
  line.chars[line.length] = '\0';
}

void appendSigned(LineText& line, int32_t value) {
  if (value < 0) append(line, "-");
  // Negated in unsigned arithmetic, so the most negative value needs no special case.
  appendUnsigned(line, value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value));
}

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
  if (suffix != nullptr) append(line, suffix);
  return line.chars;
}

void drawFrame(const MenuItem* items, const char* title, int32_t windowTop, int32_t drawEnd) {
  const int32_t seconds = ClockSeconds();
  const int32_t minutes = ClockMinutes();
  const int32_t hours = ClockHours();
  LineText line = {{}, 0};
  append(line, "Current time: ");
  appendSigned(line, hours);
  append(line, ":");
  appendSigned(line, minutes);
  append(line, ":");
  appendSigned(line, seconds);
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
    LineText text = {{}, 0};
    appendSigned(text, settings.rememberRate);
    saveSetting("REMEMBER_RATE", text.chars);
  } else if (isRateLine(index)) {
    selectRate(static_cast<uint32_t>(items[index].rate));
  } else if (index == 17) {
    addToClock(1, 0, 0);
  } else if (index == 18) {
    addToClock(-1, 0, 0);
  } else if (index == 19) {
    addToClock(0, 1, 0);
  } else if (index == 20) {
    addToClock(0, -1, 0);
  } else if (index == 21) {
    setClockToLocalTime();
  }
}

int32_t smaller(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t larger(int32_t a, int32_t b) { return a > b ? a : b; }

}  // namespace

void selectRate(uint32_t rate) {
  currentRate = rate;
  if (settings.rememberRate == 1) {
    LineText text = {{}, 0};
    appendUnsigned(text, currentRate);
    saveSetting("UPDATERATE", text.chars);
  }
  if (currentRate != NORMAL_RATE) {
    ClockPause(1);
    lastStepTick = GetTickCount();  // pacing counts from this moment
  } else {
    ClockPause(0);
  }
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
  const int32_t windowSize = height / 20 - 6;
  int32_t windowTop = 0;
  int32_t windowEnd = windowSize;
  uint32_t delayMs = OPEN_DELAY_MS;

  for (;;) {
    const uint32_t stepStart = GetTickCount();
    const int32_t drawEnd = smaller(windowEnd, MENU_LINE_COUNT);
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
    if (close || consumeKeyRelease(settings.openKey)) return;

    delayMs = 0;
    if (up) {
      selectedIndex = larger(selectedIndex - 1, 0);
      delayMs = MOVE_DELAY_MS;
    } else if (down) {
      selectedIndex = smaller(selectedIndex + 1, LAST_MENU_LINE);
      delayMs = MOVE_DELAY_MS;
    }

    if (selectedIndex < windowTop) {
      windowTop = selectedIndex;
      windowEnd = smaller(selectedIndex + windowSize, MENU_LINE_COUNT);
    }
    if (selectedIndex >= windowEnd) {
      windowEnd = selectedIndex + 1;
      windowTop = larger(windowEnd - windowSize, 0);
    }
  }
}

void resetMenu() { selectedIndex = 0; }
