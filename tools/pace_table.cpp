// horavane-pace-table: the clock's real pace at every rate line of the menu, as Markdown.
//
// The captions and rates are the plug-in's own menu lines, with the own rate a missing
// settings file gives. The pace is the plug-in's own pacing, run in the simulated game:
// each line's rate is chosen as the menu chooses it, a long stretch of real time passes,
// and the step the game received and the time the plug-in consumed for it give the real
// milliseconds per game step. What a caption promises is read from its words ("Time x 30",
// "Time / 2", "Normal", "Stop") and from its example ("(1s = 15m)"); where a caption has
// both they must agree. The factors compare game time per real time with the game's own
// pace, 2000 ms per game minute (33.33 ms per game second).

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "clock/clock.h"
#include "host/native_catalogue.h"
#include "menu/menu.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "sim/host.h"

namespace {

constexpr uint32_t SPAN_MS = 2000000;  // a whole number of steps at every rate, many times over
constexpr double NORMAL_GAME_SECONDS_PER_MS = 60.0 / NORMAL_RATE;

[[noreturn]] void fail(int32_t line, const char* caption, const std::string& what) {
  std::fprintf(stderr, "horavane-pace-table: menu line %d \"%s\": %s\n", line, caption, what.c_str());
  std::exit(1);
}

struct Promise {
  bool given;
  double factor;
};

double unitSeconds(char unit) { return unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 0; }

// "(1s = 15m)": fifteen game minutes per real second, compared with the game's own pace.
Promise examplePromise(int32_t line, const char* caption) {
  const char* open = std::strchr(caption, '(');
  if (open == nullptr) return {false, 0};
  double real = 0, game = 0;
  char realUnit = 0, gameUnit = 0, close = 0;
  if (std::sscanf(open, "(%lf%c = %lf%c%c", &real, &realUnit, &game, &gameUnit, &close) != 5 ||
      close != ')' || real <= 0 || unitSeconds(realUnit) == 0 || unitSeconds(gameUnit) == 0)
    fail(line, caption, "expected an example like \"(1s = 15m)\" after the '('");
  const double gamePerReal = game * unitSeconds(gameUnit) / (real * unitSeconds(realUnit) * 1000);
  return {true, gamePerReal / NORMAL_GAME_SECONDS_PER_MS};
}

Promise wordPromise(const char* caption) {
  if (const char* faster = std::strstr(caption, "Time x ")) return {true, std::atof(faster + 7)};
  if (const char* slower = std::strstr(caption, "Time / ")) return {true, 1 / std::atof(slower + 7)};
  if (std::strstr(caption, "Normal") != nullptr) return {true, 1};
  if (std::strstr(caption, "Stop") != nullptr) return {true, 0};
  return {false, 0};
}

Promise promise(int32_t line, const char* caption) {
  const Promise words = wordPromise(caption);
  const Promise example = examplePromise(line, caption);
  if (words.given && example.given && std::fabs(words.factor - example.factor) > 1e-9 * words.factor) {
    char what[128];
    std::snprintf(what, sizeof what, "its words promise x%g, its example x%g", words.factor,
                  example.factor);
    fail(line, caption, what);
  }
  return words.given ? words : example;
}

struct Pace {
  enum Kind { OwnClock, Frozen, Stepped } kind;
  uint32_t msPerStep;
  const char* step;  // "second" or "minute"
  double factor;
};

// Chooses `rate` as the menu does, lets SPAN_MS pass and paces once.
Pace measurePace(SimHost& host, int32_t line, const char* caption, uint32_t rate) {
  host.game().reset();
  resetClock();
  selectRate(rate);
  const uint32_t start = lastStepTick;
  host.game().clearRecords();
  host.elapse(SPAN_MS);
  paceClock();
  if (!host.game().errors().empty())
    fail(line, caption, "the simulated game saw a fault: " + host.game().errors().front());
  const std::vector<NativeCall>& calls = host.game().calls();
  const NativeCall* add = nullptr;
  for (const NativeCall& call : calls)
    if (call.hash == HASH_CLOCK_ADD) add = &call;
  if (add == nullptr) {
    if (host.game().paused()) return {Pace::Frozen, 0, "", 0};
    return {Pace::OwnClock, 0, "", 1};
  }
  if (!host.game().paused()) fail(line, caption, "the plug-in paces a clock that is not frozen");
  const bool minutes = add->slots[1] != 0;
  const uint32_t steps = static_cast<uint32_t>(minutes ? add->slots[1] : add->slots[2]);
  const uint32_t consumed = lastStepTick - start;
  if (steps == 0 || consumed % steps != 0)
    fail(line, caption, "consumed " + std::to_string(consumed) + " ms for " + std::to_string(steps) +
                            " steps: not a whole number of ms per step");
  const uint32_t msPerStep = consumed / steps;
  const double gameSecondsPerMs = (minutes ? 60.0 : 1.0) / msPerStep;
  return {Pace::Stepped, msPerStep, minutes ? "minute" : "second",
          gameSecondsPerMs / NORMAL_GAME_SECONDS_PER_MS};
}

std::string factorText(double factor) {
  char text[32];
  if (factor == 0)
    return "x0";
  else if (factor >= 1)
    std::snprintf(text, sizeof text, "x%.4g", factor);
  else
    std::snprintf(text, sizeof text, "/%.4g", 1 / factor);
  return text;
}

std::string stepText(const Pace& pace) {
  if (pace.kind == Pace::OwnClock) return "none: the game's own clock runs";
  if (pace.kind == Pace::Frozen) return "none: the clock is frozen";
  return std::to_string(pace.msPerStep) + " ms per game " + pace.step;
}

std::string differenceText(const Promise& promised, const Pace& pace) {
  if (!promised.given) return "—";
  if (promised.factor == 0) return pace.factor == 0 ? "0.00 %" : "runs instead of stopping";
  const double percent = (pace.factor / promised.factor - 1) * 100;
  if (std::fabs(percent) < 0.005) return "0.00 %";
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f %%", percent);
  return text;
}

// The own rate as the plug-in reads it when there is no settings file.
void loadDefaultSettings() {
  char pattern[] = "/tmp/horavane-pace-XXXXXX";
  char here[4096];
  if (getcwd(here, sizeof here) == nullptr || mkdtemp(pattern) == nullptr || chdir(pattern) != 0) {
    std::fprintf(stderr, "horavane-pace-table: cannot make and enter %s\n", pattern);
    std::exit(1);
  }
  loadSettings();
  if (chdir(here) != 0 || rmdir(pattern) != 0) {
    std::fprintf(stderr, "horavane-pace-table: cannot leave and remove %s\n", pattern);
    std::exit(1);
  }
}

}  // namespace

int main() {
  SimHost host;
  resetPluginState();
  loadDefaultSettings();
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);

  std::printf("| Line | Caption | Rate | Promised | Real ms per game step | Real factor | Difference |\n");
  std::printf("|---:|---|---:|---:|---|---:|---:|\n");
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line) {
    const char* caption = items[line].caption;
    const uint32_t rate = static_cast<uint32_t>(items[line].rate);
    const Promise promised = promise(line, caption);
    const Pace pace = measurePace(host, line, caption, rate);
    std::printf("| %d | `%s` | %u | %s | %s | %s | %s |\n", line, caption, rate,
                promised.given ? factorText(promised.factor).c_str() : "—", stepText(pace).c_str(),
                factorText(pace.factor).c_str(), differenceText(promised, pace).c_str());
  }
  std::printf("\nRate: real ms per game minute, as the menu line sets it (the own rate as without a\n"
              "settings file). Factors: game time per real time against the game's own pace of\n"
              "2000 ms per game minute (33.33 ms per game second); x faster, / slower. Generated by\n"
              "`make pace-table` from the plug-in's menu lines and pacing.\n");
  return 0;
}
