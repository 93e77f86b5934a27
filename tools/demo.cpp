// The demo: a short scripted session in the simulated host, printed as the player
// would see it, with what the game clock did.

#include "tools/demo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "menu/menu.h"
#include "scenario/frame_file.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "tools/release_facts.h"
#include "virtual_tick.h"

namespace {

std::string clockText(const SimGame& game) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", game.hours(), game.minutes(), game.seconds());
  return text;
}

// The texts of the last frame as the player would read them, the highlighted line marked.
void showScreen(const SimGame& game) {
  const std::vector<DrawnText>& texts = game.texts();
  if (texts.empty() || texts.back().frame != game.frame()) {
    std::printf("    (nothing drawn: the game as usual)\n");
    return;
  }
  for (const DrawnText& text : texts) {
    if (text.frame != game.frame()) continue;
    const bool highlighted = drawnIn(text, HIGHLIGHT);
    const int y = static_cast<int>(text.y * static_cast<float>(game.height()) + 0.5f);
    std::printf("    y %3d  %s %s\n", y, highlighted ? "=>" : "  ", text.text.c_str());
  }
}

void step(SimHost& host, const std::string& what, uint32_t key, uint32_t frames = 15) {
  std::printf("\n> %s\n", what.c_str());
  host.game().clearRecords();
  host.tap(key);
  host.runFrames(frames, 16);
}

}  // namespace

int runDemo() {
  setVirtualTickCount(5000);
  SimHost host;
  host.game().setClock(21, 30, 0);
  std::printf("Horavane in the simulated host: a 1280x720 screen, 16 ms frames, virtual time.\n");
  host.load();
  host.runFor(2000);
  // No settings file: the keys the plug-in read at its first frame are its defaults.
  const std::string open = keyName(settings.openKey), down = keyName(settings.downKey),
                    enter = keyName(settings.enterKey), back = keyName(settings.backKey);
  std::printf("No settings file, so the defaults apply: %s opens the menu,\n", open.c_str());
  std::printf("%s and %s move, %s chooses, %s closes.\n", keyName(settings.upKey).c_str(), down.c_str(),
              enter.c_str(), back.c_str());
  std::printf("\nGame clock after 2 s at the game's own pace: %s\n", clockText(host.game()).c_str());

  step(host, open + " released: the menu opens", settings.openKey);
  showScreen(host.game());
  for (int i = 0; i < 4; ++i) {
    host.tap(settings.downKey);
    host.runFrames(12, 16);
  }
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  std::printf("\n> %s released four times: the selection moves to \"%s\"\n", down.c_str(),
              items[selectedIndex].caption);
  step(host, enter + " released: that rate is chosen", settings.enterKey);
  showScreen(host.game());
  step(host, back + " released: the menu closes", settings.backKey, 2);
  showScreen(host.game());

  const std::string before = clockText(host.game());
  const int64_t addedBefore = host.game().secondsAdded();
  host.runFor(10000);
  std::printf("\nTen seconds of real time later the game clock went from %s to %s:\n", before.c_str(),
              clockText(host.game()).c_str());
  std::printf("%lld game seconds added by the plug-in;\n",
              static_cast<long long>(host.game().secondsAdded() - addedBefore));
  std::printf("the game's own clock %s.\n", host.game().paused() ? "frozen" : "running");
  host.unload();
  if (!host.game().errors().empty()) {
    for (const std::string& error : host.game().errors()) std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
