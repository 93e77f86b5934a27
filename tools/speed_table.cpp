#include "tools/speed_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "clock/clock.h"
#include "host/native_catalogue.h"
#include "menu/menu.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "sim/scratch_folder.h"

namespace {

constexpr uint32_t SPAN_MS = 2000000;  // a whole number of steps at every rate, many times over
constexpr double NORMAL_GAME_SECONDS_PER_MS = 60.0 / NORMAL_RATE;

// ---- The measurement ----

struct LinePace {
  int32_t line;
  const char* caption;
  uint32_t rate;
  enum Kind { OwnClock, Frozen, Stepped } kind;
  uint32_t msPerStep;  // Stepped: real ms per game step
  bool perMinute;      // Stepped: the step is a game minute, not a game second
  bool ownRate;        // the "Own rate" line, whose rate the player sets

  // Real ms a game minute takes; 0 when the clock is frozen.
  double minuteMs() const {
    if (kind == Frozen) return 0;
    if (kind == OwnClock) return NORMAL_RATE;
    return static_cast<double>(msPerStep) * (perMinute ? 1 : 60);
  }
  // Game time per real time against the game's own pace: x2 is twice as fast.
  double factor() const { return kind == Frozen ? 0 : NORMAL_RATE / minuteMs(); }
};

std::runtime_error lineError(int32_t line, const char* caption, const std::string& what) {
  return std::runtime_error("menu line " + std::to_string(line) + " \"" + caption + "\": " + what);
}

// Makes the line's rate current as the menu does, lets SPAN_MS pass and paces once.
LinePace measureLine(SimHost& host, int32_t line, const MenuItem& item) {
  LinePace pace{line, item.caption, static_cast<uint32_t>(item.rate), LinePace::OwnClock, 0, false,
                item.action == LineAction::SelectOwnRate};
  host.game().reset();
  resetClock();
  selectRate(pace.rate);
  const uint32_t start = lastStepTick;
  host.game().clearRecords();
  host.elapse(SPAN_MS);
  paceClock();
  if (!host.game().errors().empty())
    throw lineError(line, item.caption, "the simulated game saw a fault: " + host.game().errors().front());
  const NativeCall* add = nullptr;
  for (const NativeCall& call : host.game().calls())
    if (call.hash == HASH_CLOCK_ADD) add = &call;
  if (add == nullptr) {
    if (host.game().paused()) pace.kind = LinePace::Frozen;
    return pace;
  }
  if (!host.game().paused()) throw lineError(line, item.caption, "the plug-in paces a clock that is not frozen");
  pace.kind = LinePace::Stepped;
  pace.perMinute = add->slots[1] != 0;
  const uint32_t steps = static_cast<uint32_t>(pace.perMinute ? add->slots[1] : add->slots[2]);
  const uint32_t consumed = lastStepTick - start;
  if (steps == 0 || consumed % steps != 0)
    throw lineError(line, item.caption, "consumed " + std::to_string(consumed) + " ms for " +
                                            std::to_string(steps) + " steps: not a whole number of ms per step");
  pace.msPerStep = consumed / steps;
  return pace;
}

// Every rate line, with the own rate the plug-in reads when there is no settings file.
std::vector<LinePace> measureRateLines() {
  ScratchFolder folder;
  SimHost host;
  resetPluginState();
  loadSettings();
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  std::vector<LinePace> lines;
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line)
    lines.push_back(measureLine(host, line, items[line]));
  return lines;
}

// ---- README.md: what each caption promises against what it gives ----

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
    throw lineError(line, caption, "expected an example like \"(1s = 15m)\" after the '('");
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

// Where a caption has both words and an example, they must agree.
Promise promise(int32_t line, const char* caption) {
  const Promise words = wordPromise(caption);
  const Promise example = examplePromise(line, caption);
  if (words.given && example.given && std::fabs(words.factor - example.factor) > 1e-9 * words.factor) {
    char what[128];
    std::snprintf(what, sizeof what, "its words promise x%g, its example x%g", words.factor, example.factor);
    throw lineError(line, caption, what);
  }
  return words.given ? words : example;
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

std::string stepText(const LinePace& pace) {
  if (pace.kind == LinePace::OwnClock) return "none: the game's own clock runs";
  if (pace.kind == LinePace::Frozen) return "none: the clock is frozen";
  return std::to_string(pace.msPerStep) + " ms per game " + (pace.perMinute ? "minute" : "second");
}

std::string differenceText(const Promise& promised, const LinePace& pace) {
  if (!promised.given) return "—";
  if (promised.factor == 0) return pace.factor() == 0 ? "0.00 %" : "runs instead of stopping";
  const double percent = (pace.factor() / promised.factor - 1) * 100;
  if (std::fabs(percent) < 0.005) return "0.00 %";
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f %%", percent);
  return text;
}

void writeMarkdown(std::ostream& out, const std::vector<LinePace>& lines) {
  out << "| Line | Caption | Rate | Promised | Real ms per game step | Real factor | Difference |\n"
         "|---:|---|---:|---:|---|---:|---:|\n";
  for (const LinePace& pace : lines) {
    const Promise promised = promise(pace.line, pace.caption);
    out << "| " << pace.line << " | `" << pace.caption << "` | " << pace.rate << " | "
        << (promised.given ? factorText(promised.factor) : "—") << " | " << stepText(pace) << " | "
        << factorText(pace.factor()) << " | " << differenceText(promised, pace) << " |\n";
  }
  char normal[96];
  std::snprintf(normal, sizeof normal, "%u ms per game minute (%.2f ms per game second)", NORMAL_RATE,
                NORMAL_RATE / 60.0);
  out << "\nRate: real ms per game minute, as the menu line sets it (the own rate as without a\n"
         "settings file). Factors: game time per real time against the game's own pace of\n"
      << normal << "; x faster, / slower. Generated by\n"
         "`make docs` from the plug-in's menu lines and pacing.\n";
}

// ---- README.txt: the plain table ----

// Up to two decimals, trailing zeros dropped: 2, 3.96, 15.96.
std::string shortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

std::string minuteText(double minuteMs) {
  if (minuteMs < 1000.0) return shortNumber(minuteMs) + " ms";
  return shortNumber(minuteMs / 1000.0) + " s";
}

// How far the game clock moves in one real second: 30 s at the normal pace.
std::string perSecondText(double gameSeconds) {
  char text[32];
  if (gameSeconds < 60.0) return shortNumber(gameSeconds) + " s";
  if (gameSeconds < 3600.0)
    std::snprintf(text, sizeof text, "%.3g min", gameSeconds / 60.0);
  else
    std::snprintf(text, sizeof text, "%.3g h", gameSeconds / 3600.0);
  return text;
}

// Three significant digits below 100, whole numbers from there: x2.08, x33.3, x125, /1.98.
std::string speedText(double factor) {
  if (factor == 0.0) return "stopped";
  const double shown = factor >= 1.0 ? factor : 1.0 / factor;
  char text[32];
  std::snprintf(text, sizeof text, shown >= 100.0 ? "%.0f" : "%.3g", shown);
  return (factor >= 1.0 ? "x" : "/") + std::string(text);
}

void writeRow(std::ostream& out, const char* caption, const std::string& rate, const std::string& perSecond,
              const std::string& minute, const std::string& speed) {
  char row[160];
  std::snprintf(row, sizeof row, "%-26s %6s  %-11s  %-12s  %s\n", caption, rate.c_str(), perSecond.c_str(),
                minute.c_str(), speed.c_str());
  out << row;
}

void writePlain(std::ostream& out, const std::vector<LinePace>& lines) {
  writeRow(out, "Menu line", "Rate", "1 s of play", "Minute takes", "Speed");
  for (const LinePace& pace : lines) {
    const double minuteMs = pace.minuteMs();
    const bool runs = minuteMs > 0;
    writeRow(out, pace.caption, std::to_string(pace.rate), runs ? perSecondText(60000.0 / minuteMs) : "0 s",
             runs ? minuteText(minuteMs) : "never", speedText(pace.factor()));
  }
}

// ---- Both READMEs' introductions: the range of the fixed faster and slower lines ----

// The number of a speed as the plain table shows it, without its "x" or "/".
std::string speedNumber(double factor) { return speedText(factor).substr(1); }

void writeRange(std::ostream& out, const std::vector<LinePace>& lines) {
  double fastest = 0, leastFast = 0, slowest = 0, leastSlow = 0;
  for (const LinePace& pace : lines) {
    const double factor = pace.factor();
    if (pace.ownRate || factor == 0) continue;
    if (factor > 1) {
      fastest = std::max(fastest, factor);
      leastFast = leastFast == 0 ? factor : std::min(leastFast, factor);
    } else if (factor < 1) {
      leastSlow = std::max(leastSlow, factor);
      slowest = slowest == 0 ? factor : std::min(slowest, factor);
    }
  }
  if (fastest == 0 || slowest == 0) throw std::runtime_error("the menu has no faster or no slower line");
  out << "The menu's faster lines run the clock " << speedNumber(leastFast) << " to " << speedNumber(fastest)
      << " times as fast as the game's own pace, and its slower lines " << speedNumber(leastSlow) << " to "
      << speedNumber(slowest) << " times as slow.\n";
}

bool writeMeasured(std::ostream& out, std::string& error,
                   void (*write)(std::ostream&, const std::vector<LinePace>&)) {
  try {
    std::ostringstream text;  // nothing is written when a line fails
    write(text, measureRateLines());
    out << text.str();
    return true;
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
}

}  // namespace

bool writePaceTableMarkdown(std::ostream& out, std::string& error) {
  return writeMeasured(out, error, writeMarkdown);
}

bool writeSpeedTable(std::ostream& out, std::string& error) { return writeMeasured(out, error, writePlain); }

bool writeSpeedRange(std::ostream& out, std::string& error) { return writeMeasured(out, error, writeRange); }

int tableCommand(const char* name, bool (*write)(std::ostream&, std::string&), std::ostream& out,
                 std::ostream& errors) {
  std::string error;
  if (write(out, error)) return 0;  // written before `error` is read
  errors << "horavane-sim: " << name << ": " << error << '\n';
  return 1;
}
