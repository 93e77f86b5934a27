// The simulated player: menu steps on a SimHost, and what the last frame showed.

#include "sim/player.h"

#include <cstring>
#include <utility>

#include "menu/menu.h"
#include "plugin/plugin.h"
#include "sim/scratch_folder.h"

namespace {

// Past the end of the step a key starts, by a frame or so: the next key is then acted
// on in the frame after it is tapped. Shorter than two steps, so nothing else happens.
constexpr uint32_t STEP_MARGIN_MS = 20;

}  // namespace

Player::Player(SimHost& host) : host_(host), nextFrameMs_([] { return 16u; }) {}

void Player::setFrameLengths(std::function<uint32_t()> nextFrameMs) { nextFrameMs_ = std::move(nextFrameMs); }

void Player::runFor(uint32_t ms) {
  for (uint32_t passed = 0; passed < ms;) {
    const uint32_t frameMs = nextFrameMs_();
    host_.runFrame(frameMs);
    passed += frameMs;
  }
}

void Player::openMenu() {
  host_.tap(settings.openKey);  // the idle loop asks for it every frame: the next frame opens
  runFor(OPEN_DELAY_MS + STEP_MARGIN_MS);
}

void Player::press(uint32_t key) {
  host_.tap(key);
  waitForMenu();
}

void Player::waitForMenu() { runFor(ACTION_DELAY_MS + STEP_MARGIN_MS); }  // the longest step

bool Player::moveTo(int32_t line) {
  while (selectedIndex != line) {
    const int32_t from = selectedIndex;
    const int32_t step = line < from ? -1 : 1;
    press(step < 0 ? settings.upKey : settings.downKey);
    if (selectedIndex != from + step) return false;
  }
  return true;
}

bool Player::chooseLine(int32_t line) {
  openMenu();
  if (!menuShown() || !moveTo(line)) return false;
  choose();
  closeMenu();
  return !menuShown();
}

std::vector<DrawnText> Player::lastFrame() const {
  std::vector<DrawnText> out;
  for (const DrawnText& text : host_.game().texts())
    if (text.frame == host_.frameNumber()) out.push_back(text);
  return out;
}

std::vector<std::string> Player::lastFrameLines() const {
  std::vector<std::string> out;
  for (const DrawnText& text : lastFrame()) out.push_back(text.text);
  return out;
}

bool Player::menuShown() const {
  // The plug-in draws nothing but its menu.
  const std::vector<DrawnText>& texts = host_.game().texts();
  return !texts.empty() && texts.back().frame == host_.frameNumber();
}

int32_t Player::highlightedLine() const {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  for (const DrawnText& text : lastFrame()) {
    if (!drawnIn(text, HIGHLIGHT)) continue;
    int32_t found = -1;  // the line with the longest caption the text starts with
    for (int32_t line = 0; line < MENU_LINE_COUNT; ++line) {
      const size_t length = std::strlen(items[line].caption);
      if (text.text.compare(0, length, items[line].caption) == 0 &&
          (found < 0 || length > std::strlen(items[found].caption)))
        found = line;
    }
    return found;
  }
  return -1;
}

std::string Player::highlightedCaption() const {
  const int32_t line = highlightedLine();
  if (line < 0) return "";
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  return items[line].caption;
}

Settings defaultSettings() {
  resetPluginState();
  Settings defaults;
  {
    const ScratchFolder empty;  // no settings file at all
    loadSettings();  // at the normal rate with remembering off: no native is called
    defaults = settings;
  }
  resetPluginState();
  return defaults;
}
