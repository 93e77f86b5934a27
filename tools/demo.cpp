// The demo: a short scripted session in the simulated host, printed as the player
// would see it, with what the game clock did.

#include "tools/demo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "sim/host.h"
#include "virtual_tick.h"

namespace {

enum : uint32_t { KEY_F5 = 0x74, KEY_NUMPAD0 = 0x60, KEY_NUMPAD2 = 0x62, KEY_NUMPAD5 = 0x65 };

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
    const bool highlighted = text.red == 246 && text.green == 156 && text.blue == 8;
    const int y = static_cast<int>(text.y * static_cast<float>(game.height()) + 0.5f);
    std::printf("    y %3d  %s %s\n", y, highlighted ? "=>" : "  ", text.text.c_str());
  }
}

void step(SimHost& host, const char* what, uint32_t key, uint32_t frames = 15) {
  std::printf("\n> %s\n", what);
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
  std::printf("No settings file, so the defaults apply: F5 opens the menu, keypad 8/2 move,\n");
  std::printf("keypad 5 chooses, keypad 0 closes.\n");
  host.load();
  host.runFor(2000);
  std::printf("\nGame clock after 2 s at the game's own pace: %s\n", clockText(host.game()).c_str());

  step(host, "F5 released: the menu opens", KEY_F5);
  showScreen(host.game());
  for (int i = 0; i < 4; ++i) {
    host.tap(KEY_NUMPAD2);
    host.runFrames(12, 16);
  }
  std::printf("\n> keypad 2 released four times: the selection moves to \"Time x 30\"\n");
  step(host, "keypad 5 released: x30 is chosen", KEY_NUMPAD5);
  showScreen(host.game());
  step(host, "keypad 0 released: the menu closes", KEY_NUMPAD0, 2);
  showScreen(host.game());

  const std::string before = clockText(host.game());
  const int64_t addedBefore = host.game().secondsAdded();
  host.runFor(10000);
  std::printf("\nTen seconds of real time later the game clock went from %s to %s:\n", before.c_str(),
              clockText(host.game()).c_str());
  std::printf("%lld game seconds added by the plug-in, one per real millisecond;\n",
              static_cast<long long>(host.game().secondsAdded() - addedBefore));
  std::printf("the game's own clock %s.\n", host.game().paused() ? "frozen" : "running");
  host.unload();
  if (!host.game().errors().empty()) {
    for (const std::string& error : host.game().errors()) std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
