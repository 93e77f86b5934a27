// Fuzz target: the whole plug-in in the simulated host under arbitrary streams of key
// messages (any code, 255 and above included), screen resolutions (0, negative, huge),
// jumps of the tick count (across its wrap too) and new starts of the script function.
//
// Input: the start tick (4 bytes) and a settings byte (bit 0: a settings file with
// REMEMBER_RATE=1, then UPDATERATE and OWNRATE from the next 8 bytes), then commands,
// one byte each with its arguments:
//   0-2 tap a key: a byte picks one of the five bound keys, or from 250 on a raw code
//       from the next 4 bytes;   3 key down, 4 key up (same key choice);
//   5 frames: count (byte, 1..16) and frame length in ms (byte);
//   6 resolution: width and height, 4 bytes each, as signed values;
//   7 time passing without a frame: 4 bytes of ms;
//   255 (taken before the byte's remainder of 8) the runtime starts the script function
//       anew, abandoning the old one where it waits, the menu too if it was open.
//
// After every frame: the selection is a line of the menu; a frame draws nothing, or the
// title, the time line and a contiguous run of menu lines ending at line 21 at most,
// with the selected line among them, highlighted, and no other; that run fills
// the window of the frame's screen ((height - 180) / 20, at least one line, whatever
// the height was at opening) unless it touches an end of the list; on a screen of
// 200 px or more every text's row of 20 px lies wholly on it; no frame makes more
// native calls than drawing 24 texts, pacing twice and one action need; the simulated
// game saw every call well formed.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "sim/player.h"
#include "virtual_tick.h"

namespace {

// The five keys the plug-in binds without a [CONTROLS] section: OPEN, ENTER, BACK, UP, DOWN.
const uint32_t* boundKeys() {
  static const Settings defaults = defaultSettings();
  static const uint32_t keys[] = {defaults.openKey, defaults.enterKey, defaults.backKey, defaults.upKey,
                                  defaults.downKey};
  return keys;
}

const MenuItem* menuLines() {
  static MenuItem items[MENU_LINE_COUNT];
  if (items[0].caption == nullptr) menuItems(items);
  return items;
}

// Frames per input are capped so that one input never takes long.
constexpr uint32_t MAX_FRAMES = 400;

// ScreenResolution once at opening; per frame the three clock reads and the title, the
// time line and every menu line, ten calls each; pacing (ClockPause, ClockAdd) in the
// menu and in the idle loop; one action; the freeze at load.
constexpr uint64_t MAX_CALLS_PER_FRAME = 1 + 3 + (2 + MENU_LINE_COUNT) * 10 + 2 * 2 + 1 + 1;

bool isRememberState(const std::string& suffix) {
  for (const auto& states : REMEMBER_STATE)
    for (const char* state : states)
      if (suffix == state) return true;
  return false;
}

// The menu line a drawn text shows: its caption and a suffix that fits the line.
int lineOf(const std::string& text) {
  for (int line = 0; line < MENU_LINE_COUNT; ++line) {
    const char* caption = menuLines()[line].caption;
    const size_t length = std::strlen(caption);
    if (text.compare(0, length, caption) != 0) continue;
    const std::string suffix = text.substr(length);
    const LineAction action = menuLines()[line].action;
    const bool fits = action == LineAction::ToggleRemember ? isRememberState(suffix)
                      : isRateAction(action)                ? suffix.empty() || suffix == ACTIVE_SUFFIX
                                                            : suffix.empty();
    if (fits) return line;
  }
  return -1;
}

// The window of a screen this high: the rows below the time line at 100 px, less the
// one of the time line itself and the three blank rows the lowest lines stand below.
int32_t windowSizeFor(int32_t height) { return std::max((height - 180) / 20, 1); }

// Each text's row of 20 px must end on the screen, the lowest menu line's included, also
// on the first frame after the screen changed size while the menu was open.
void checkOnScreen(const std::vector<DrawnText>& texts, int32_t height) {
  if (height < 200) return;
  for (const DrawnText& text : texts) {
    const long top = std::lround(static_cast<double>(text.y) * height);
    FUZZ_CHECK(top >= 0 && top + 20 <= height, "\"%s\" drawn at y %ld on a screen %d high", text.text.c_str(),
               top, height);
  }
}

void checkWindow(const std::vector<DrawnText>& texts, int32_t height) {
  const int32_t windowSize = windowSizeFor(height);
  const int32_t lines = static_cast<int32_t>(texts.size()) - 2;
  FUZZ_CHECK(lines >= 1 && lines <= windowSize, "%d lines drawn in a window of %d", lines, windowSize);
  // A window smaller than it could be must touch an end of the list.
  const int first = lineOf(texts[2].text);
  const int last = lineOf(texts.back().text);
  FUZZ_CHECK(lines == windowSize || first == 0 || last == LAST_MENU_LINE, "lines %d..%d drawn in a window of %d",
             first, last, windowSize);
}

void checkFrame(const SimGame& game, uint64_t callsBefore) {
  FUZZ_CHECK(selectedIndex >= 0 && selectedIndex <= LAST_MENU_LINE, "selectedIndex %d", selectedIndex);
  const uint64_t calls = game.callCount() - callsBefore;
  FUZZ_CHECK(calls <= MAX_CALLS_PER_FRAME, "%llu native calls in frame %llu",
             static_cast<unsigned long long>(calls), static_cast<unsigned long long>(game.frame()));
  FUZZ_CHECK(game.errors().empty(), "the game saw a faulty call: %s", game.errors().front().c_str());
  const std::vector<DrawnText>& texts = game.texts();
  if (game.width() <= 0 || game.height() <= 0) {
    FUZZ_CHECK(texts.empty(), "%zu texts drawn on a screen of %dx%d", texts.size(), game.width(), game.height());
    return;
  }
  if (texts.empty()) return;  // the menu is closed
  FUZZ_CHECK(texts.size() >= 2 && texts.size() <= 2 + MENU_LINE_COUNT, "%zu texts in one frame", texts.size());
  FUZZ_CHECK(texts[0].text == "Horavane", "first text \"%s\"", texts[0].text.c_str());
  FUZZ_CHECK(texts[1].text.compare(0, std::strlen(TIME_PREFIX), TIME_PREFIX) == 0, "second text \"%s\"", texts[1].text.c_str());
  for (size_t i = 0; i < 2; ++i) FUZZ_CHECK(!drawnIn(texts[i], HIGHLIGHT), "title or time highlighted");
  int previous = -1;
  bool selectionDrawn = false;
  for (size_t i = 2; i < texts.size(); ++i) {
    const int line = lineOf(texts[i].text);
    FUZZ_CHECK(line >= 0, "\"%s\" is no menu line", texts[i].text.c_str());
    FUZZ_CHECK(previous < 0 || line == previous + 1, "line %d drawn after line %d", line, previous);
    FUZZ_CHECK(drawnIn(texts[i], HIGHLIGHT) == (line == selectedIndex), "line %d highlighted wrongly, selection %d",
               line, selectedIndex);
    selectionDrawn = selectionDrawn || line == selectedIndex;
    previous = line;
  }
  FUZZ_CHECK(selectionDrawn, "selection %d not drawn in frame %llu, lines %d..%d", selectedIndex,
             static_cast<unsigned long long>(game.frame()), texts.size() > 2 ? lineOf(texts[2].text) : -1, previous);
  checkWindow(texts, game.height());
  checkOnScreen(texts, game.height());
}

uint32_t chooseKey(ByteReader& input) {
  const uint8_t pick = input.byte();
  return pick < 250 ? boundKeys()[pick % 5] : input.u32();
}

void writeSettings(ByteReader& input) {
  std::remove(SETTINGS_FILE_NAME);
  if ((input.byte() & 1) == 0) return;
  const uint32_t rate = input.u32();
  const uint32_t ownRate = input.u32();
  FUZZ_CHECK(writeFile(SETTINGS_FILE_NAME, "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=" + std::to_string(rate) +
                                            "\nOWNRATE=" + std::to_string(ownRate) + "\n"),
             "cannot write horavane.ini");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The plug-in writes its settings file into the current folder: the scratch folder.
  scratchFolder();
  boundKeys();  // before any settings file is written
  ByteReader input(data, size);
  setVirtualTickCount(input.u32());
  writeSettings(input);

  SimHost host;
  SimGame& game = host.game();
  host.load();
  uint32_t frames = 0;
  while (!input.empty() && frames < MAX_FRAMES) {
    const uint8_t command = input.byte();
    if (command == 255) {
      host.restartScript();
      continue;
    }
    switch (command % 8) {
      case 0: case 1: case 2: host.tap(chooseKey(input)); break;
      case 3: host.keyDown(chooseKey(input)); break;
      case 4: host.keyUp(chooseKey(input)); break;
      case 5: {
        const uint32_t count = input.byte() % 16 + 1;
        const uint32_t frameMs = input.byte();
        for (uint32_t i = 0; i < count && frames < MAX_FRAMES; ++i, ++frames) {
          game.clearRecords();
          const uint64_t before = game.callCount();
          host.runFrame(frameMs);
          checkFrame(game, before);
        }
        break;
      }
      case 6: {
        const int32_t width = static_cast<int32_t>(input.u32());
        game.setResolution(width, static_cast<int32_t>(input.u32()));
        break;
      }
      default: host.elapse(input.u32()); break;
    }
  }
  host.unload();
  return 0;
}
