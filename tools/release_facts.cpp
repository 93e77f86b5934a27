// Release facts: key names, measured speeds and loaded settings, from the plug-in.

#include "tools/release_facts.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "clock/clock.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "virtual_tick.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t MEASURE_MS = 60000;  // virtual time each rate line runs for
constexpr uint32_t KEY_STEP_MS = 220;   // longer than any menu step's delay, shorter than two
constexpr int32_t SECONDS_PER_DAY = 24 * 60 * 60;

// A fresh empty working folder for the plug-in, so that no settings file of the
// caller's is read or written; the previous folder is back when it goes.
class ScratchFolder {
 public:
  ScratchFolder() : previous_(fs::current_path()) {
    std::string pattern = (fs::temp_directory_path() / "horavane-facts-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
    fs::current_path(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

 private:
  fs::path previous_, path_;
};

// The first name of `code` in the key-name table: the one a player would write.
std::string keyName(uint32_t code) {
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (KEY_NAMES[i].code == code) return KEY_NAMES[i].name;
  return "?";
}

void press(SimHost& host, uint32_t code) {
  host.tap(code);
  host.runFor(KEY_STEP_MS);
}

// The highlighted menu line of the last frame without the " (NOW ACTIVE)" mark.
std::string highlightedCaption(const SimGame& game) {
  for (const DrawnText& text : game.texts()) {
    if (text.frame != game.frame() || text.red != 246 || text.green != 156 || text.blue != 8) continue;
    const std::string mark = " (NOW ACTIVE)";
    std::string caption = text.text;
    if (caption.size() > mark.size() && caption.compare(caption.size() - mark.size(), mark.size(), mark) == 0)
      caption.resize(caption.size() - mark.size());
    return caption;
  }
  return "";
}

int32_t secondOfDay(const SimGame& game) { return game.hours() * 3600 + game.minutes() * 60 + game.seconds(); }

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

// Three significant digits below 100, whole numbers from there: x2.08, x33.3, x125, /1.98.
std::string speedText(double factor) {
  if (factor == 0.0) return "stopped";
  const double shown = factor >= 1.0 ? factor : 1.0 / factor;
  char text[32];
  std::snprintf(text, sizeof text, shown >= 100.0 ? "%.0f" : "%.3g", shown);
  return (factor >= 1.0 ? "x" : "/") + std::string(text);
}

struct Measurement {
  std::string caption;
  uint32_t rate;
  double gameSeconds;
  double realMs;
};

// Runs the chosen line for MEASURE_MS. Paced lines are judged by the real time the
// plug-in turned into clock steps; the game's own clock by the clock itself.
Measurement measure(SimHost& host) {
  SimGame& game = host.game();
  Measurement m{highlightedCaption(game), currentRate, 0.0, 0.0};
  const int64_t added = game.secondsAdded();
  const uint32_t stepTick = lastStepTick;
  const uint32_t tick = virtualTickCount();
  const int32_t second = secondOfDay(game);
  game.setRecording(false);
  host.runFor(MEASURE_MS);
  game.setRecording(true);
  if (game.paused()) {
    m.gameSeconds = static_cast<double>(game.secondsAdded() - added);
    m.realMs = static_cast<double>(lastStepTick - stepTick);
  } else {
    m.gameSeconds = static_cast<double>(((secondOfDay(game) - second) % SECONDS_PER_DAY + SECONDS_PER_DAY) %
                                        SECONDS_PER_DAY);
    m.realMs = static_cast<double>(virtualTickCount() - tick);
  }
  return m;
}

// How far the game clock moves in one real second: 30 s at the normal pace.
std::string perSecondText(double gameSeconds) {
  char text[32];
  if (gameSeconds < 60.0) return shortNumber(gameSeconds) + " s";
  if (gameSeconds < 3600.0) {
    std::snprintf(text, sizeof text, "%.3g min", gameSeconds / 60.0);
  } else {
    std::snprintf(text, sizeof text, "%.3g h", gameSeconds / 3600.0);
  }
  return text;
}

const char* const ROW_FORMAT = "%-26s %6s  %-11s  %-12s  %s\n";

void writeRow(std::ostream& out, const Measurement& m) {
  std::string perSecond = "0 s";
  std::string minute = "never";
  double factor = 0.0;
  if (m.gameSeconds > 0.0 && m.realMs > 0.0) {
    const double minuteMs = m.realMs * 60.0 / m.gameSeconds;
    perSecond = perSecondText(m.gameSeconds * 1000.0 / m.realMs);
    minute = minuteText(minuteMs);
    factor = static_cast<double>(NORMAL_RATE) / minuteMs;
  }
  char row[160];
  std::snprintf(row, sizeof row, ROW_FORMAT, m.caption.c_str(), std::to_string(m.rate).c_str(), perSecond.c_str(),
                minute.c_str(), speedText(factor).c_str());
  out << row;
}

}  // namespace

void writeKeyNames(std::ostream& out) {
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i) out << KEY_NAMES[i].name << '\n';
}

bool writeSpeedTable(std::ostream& out, std::string& error) {
  ScratchFolder folder;
  setVirtualTickCount(10000);
  SimHost host;
  host.load();
  host.runFrame();
  press(host, settings.openKey);
  char header[160];
  std::snprintf(header, sizeof header, ROW_FORMAT, "Menu line", "Rate", "1 s of play", "Minute takes", "Speed");
  out << header;
  std::vector<std::string> seen;
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line) {
    press(host, settings.downKey);
    press(host, settings.enterKey);
    if (selectedIndex != line || highlightedCaption(host.game()).empty()) {
      error = "speeds: the menu did not reach line " + std::to_string(line) + " (selection at " +
              std::to_string(selectedIndex) + ")";
      return false;
    }
    writeRow(out, measure(host));
  }
  host.unload();
  if (!host.game().errors().empty()) {
    error = "speeds: the simulated game saw a fault: " + host.game().errors().front();
    return false;
  }
  return true;
}

bool writeLoadedSettings(const std::string& iniPath, std::ostream& out, std::string& error) {
  std::string content;
  if (!iniPath.empty()) {
    std::ifstream in(iniPath, std::ios::binary);
    if (!in) {
      error = iniPath + ": cannot read the settings file";
      return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    content = text.str();
  }
  ScratchFolder folder;
  if (!iniPath.empty()) std::ofstream("horavane.ini", std::ios::binary) << content;
  setVirtualTickCount(10000);
  SimHost host;
  host.load();
  host.runFrame();
  const uint32_t codes[] = {settings.openKey, settings.enterKey, settings.backKey, settings.upKey, settings.downKey};
  const char* names[] = {"OPEN", "ENTER", "BACK", "UP", "DOWN"};
  for (size_t i = 0; i < 5; ++i) out << names[i] << '=' << keyName(codes[i]) << " (" << codes[i] << ")\n";
  out << "REMEMBER_RATE=" << settings.rememberRate << '\n';
  out << "current rate=" << currentRate << '\n';
  out << "OWNRATE=" << settings.ownRate << '\n';
  out << "game clock=" << (host.game().paused() ? "frozen" : "running") << '\n';
  host.unload();
  return true;
}
