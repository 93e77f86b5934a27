// The demo: a short scripted session in the simulated host, printed as the player
// would see it, with what the game clock did.

#include "tools/demo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "menu/menu.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "sim/player.h"
#include "tools/release_facts.h"
#include "virtual_tick.h"

namespace {

std::string clockText(const SimGame& game) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", game.hours(), game.minutes(), game.seconds());
  return text;
}

// The texts of the last frame as the player would read them, the highlighted line marked.
void showScreen(const Player& player, const SimGame& game) {
  const std::vector<DrawnText> texts = player.lastFrame();
  if (texts.empty()) std::printf("    (nothing drawn: the game as usual)\n");
  for (const DrawnText& text : texts) {
    const bool highlighted = drawnIn(text, HIGHLIGHT);
    const int y = static_cast<int>(text.y * static_cast<float>(game.height()) + 0.5f);
    std::printf("    y %3d  %s %s\n", y, highlighted ? "=>" : "  ", text.text.c_str());
  }
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

  Player player(host);
  std::printf("\n> %s released: the menu opens\n", open.c_str());
  player.openMenu();
  showScreen(player, host.game());
  const int32_t line = FIRST_RATE_LINE + 3;  // the fourth rate line, a fast rate that paces the clock
  if (!player.moveTo(line)) {
    std::fprintf(stderr, "demo: the selection did not reach line %d\n", line);
    return 1;
  }
  std::printf("\n> %s released %d times: the selection moves to \"%s\"\n", down.c_str(), line,
              player.highlightedCaption().c_str());
  std::printf("\n> %s released: that rate is chosen\n", enter.c_str());
  player.choose();
  showScreen(player, host.game());
  std::printf("\n> %s released: the menu closes\n", back.c_str());
  player.closeMenu();
  showScreen(player, host.game());

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
