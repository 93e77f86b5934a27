// Scenarios run in a host: steps, expectations and the trace of every call and text.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "host/native_catalogue.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "profile_text.h"
#include "scenario/frame_file.h"
#include "scenario/scenario.h"
#include "scenario/words.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t START_TICK = 1000000;  // far from 0, so that nothing starts at the wrap
constexpr uint32_t DEFAULT_FRAME_MS = 16;
constexpr int32_t SYSTEM_CLOCK_TOLERANCE_S = 120;
constexpr const char* SYSTEM_TIME = "<system time>";
// How long select waits after each key: the menu's longest step and a frame or so, so
// that the next key is acted on in the frame after it is tapped.
constexpr uint32_t SELECT_STEP_MS = ACTION_DELAY_MS + 20;


struct Failure {
  std::string what;
};

bool matches(const std::vector<std::string>& pattern, const std::vector<std::string>& words) {
  if (pattern.empty()) return true;
  if (words.empty() || words[0] != pattern[0]) return false;
  if (pattern.size() == 1) return true;
  if (pattern.size() != words.size()) return false;
  for (size_t i = 1; i < pattern.size(); ++i)
    if (pattern[i] != "*" && pattern[i] != words[i]) return false;
  return true;
}

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string readWholeFile(const std::string& path, bool& exists) {
  std::ifstream in(path, std::ios::binary);
  exists = static_cast<bool>(in);
  std::stringstream text;
  if (exists) text << in.rdbuf();
  return text.str();
}


const char* colourName(const DrawnText& text) {
  if (drawnIn(text, WHITE)) return "white";
  if (drawnIn(text, HIGHLIGHT)) return "highlight";
  return "other colour";
}

class Runner {
 public:
  Runner(const Scenario& scenario, ScenarioHost& host, std::ostream* trace, const std::string& startFolder)
      : scenario_(scenario), host_(host), trace_(trace), startFolder_(startFolder) {}

  std::string run();

 private:
  void execute(const Command& command);
  void unloadAfterFault();
  void step(const Command& command);
  void expect(const Command& command);

  void frame(uint32_t frameMs);
  void collect();
  void start();
  void restart();
  void restartScript();
  void writeSettings(const std::string& content);
  void changeSettingsFile(const std::string& how);
  void readBindings();
  int32_t highlightedLine() const;
  void select(int32_t target);
  void runFor(uint32_t ms);
  void snapshot(const std::string& path);

  std::string traceText(const std::string& text) const;
  void traceLine(const std::string& line) {
    if (trace_ != nullptr) *trace_ << line << '\n';
  }

  std::vector<DrawnText> lastFrame() const;
  long pixelX(const DrawnText& text) const;
  long pixelY(const DrawnText& text) const;
  std::string textAt(const DrawnText& text) const;
  void expectText(const Command& command);
  void expectNoText(const Command& command);
  void expectOnScreen();
  void expectCalls(const Command& command);
  void expectSetting(const Command& command);
  void expectClock(const Command& command);
  void expectSystemClock();

  const Scenario& scenario_;
  ScenarioHost& host_;
  std::ostream* trace_;
  std::string startFolder_;

  uint32_t frameMs_ = DEFAULT_FRAME_MS;
  int32_t width_ = 1280, height_ = 720;
  size_t callsSeen_ = 0, textsSeen_ = 0;
  bool systemClock_ = false;  // the clock was last set to the computer's time
  uint32_t upKey_ = 0, downKey_ = 0;  // as the plug-in read them at its last start

  // The window of call expectations: described call -> count, in first-seen order.
  std::map<std::string, uint64_t> window_;
  std::vector<std::string> windowOrder_;
  uint64_t windowTotal_ = 0;
  int windowLine_ = 0;
  bool windowJudged_ = true;  // so that the first step opens the first window
};

std::string Runner::run() {
  const Command* current = nullptr;
  const auto where = [&] {
    return scenario_.path + ":" + (current != nullptr ? std::to_string(current->line) + ": "
                                                      : std::string("end: "));
  };
  try {
    host_.begin();
    host_.setTick(START_TICK);
    for (const Command& command : scenario_.commands) {
      current = &command;
      execute(command);
    }
    current = nullptr;
    if (host_.loaded()) host_.unload();
    collect();
    return "";
  } catch (const Failure& failure) {
    unloadAfterFault();
    return where() + failure.what;
  } catch (const std::exception& error) {
    unloadAfterFault();
    return where() + (current != nullptr ? current->source : std::string("unloading the plug-in")) + ": " +
           error.what();
  }
}

// The plug-in is not left running in a host that the next scenario starts afresh;
// the first fault is the one to report, so a second one here is dropped.
void Runner::unloadAfterFault() {
  try {
    if (host_.loaded()) host_.unload();
  } catch (const std::exception&) {
  }
}

void Runner::execute(const Command& command) {
  if (command.kind >= CommandKind::ExpectText) {
    windowJudged_ = true;
    expect(command);
    return;
  }
  if (windowJudged_) {  // a step after an expectation opens a new window
    window_.clear();
    windowOrder_.clear();
    windowTotal_ = 0;
    windowLine_ = command.line;
    windowJudged_ = false;
  }
  traceLine("@" + std::to_string(command.line) + " " + command.source);
  step(command);
  collect();
}

void Runner::step(const Command& command) {
  const std::vector<int64_t>& n = command.numbers;
  const auto ms = [&](size_t i) { return static_cast<uint32_t>(n[i]); };
  switch (command.kind) {
    case CommandKind::Settings: writeSettings(command.text); break;
    case CommandKind::SettingsFile: changeSettingsFile(command.text); break;
    case CommandKind::Resolution:
      width_ = static_cast<int32_t>(n[0]);
      height_ = static_cast<int32_t>(n[1]);
      host_.setResolution(width_, height_);
      break;
    case CommandKind::Clock:
      host_.setClock(static_cast<int32_t>(n[0]), static_cast<int32_t>(n[1]), static_cast<int32_t>(n[2]));
      systemClock_ = false;
      break;
    case CommandKind::Tick: host_.setTick(ms(0)); break;
    case CommandKind::FrameLength: frameMs_ = ms(0); break;
    case CommandKind::Start: start(); break;
    case CommandKind::Restart: restart(); break;
    case CommandKind::RestartScript: restartScript(); break;
    case CommandKind::Press: host_.keyDown(ms(0)); break;
    case CommandKind::Release: host_.keyUp(ms(0)); break;
    case CommandKind::Tap:
      host_.keyDown(ms(0));
      host_.keyUp(ms(0));
      break;
    case CommandKind::Select: select(static_cast<int32_t>(n[0])); break;
    case CommandKind::Frames:
      for (int64_t i = 0; i < n[0]; ++i) frame(n[1] != 0 ? ms(1) : frameMs_);
      break;
    case CommandKind::Wait:
      if (n[1] == 0) {
        runFor(ms(0));
      } else {
        for (int64_t passed = 0; passed < n[0]; passed += n[1]) frame(ms(1));
      }
      break;
    case CommandKind::Elapse: host_.elapse(ms(0)); break;
    case CommandKind::Snapshot: snapshot(command.text); break;
    default: break;
  }
}

void Runner::expect(const Command& command) {
  const SimGame& game = host_.game();
  switch (command.kind) {
    case CommandKind::ExpectText: expectText(command); break;
    case CommandKind::ExpectNoText: expectNoText(command); break;
    case CommandKind::ExpectOnScreen: expectOnScreen(); break;
    case CommandKind::ExpectTextCount: {
      const size_t count = lastFrame().size();
      if (count != static_cast<size_t>(command.numbers[0]))
        throw Failure{"expected " + std::to_string(command.numbers[0]) + " texts in frame " +
                      std::to_string(host_.frameNumber()) + ", got " + std::to_string(count)};
      break;
    }
    case CommandKind::ExpectCall:
    case CommandKind::ExpectCalls:
    case CommandKind::ExpectNoCall: expectCalls(command); break;
    case CommandKind::ExpectSetting:
    case CommandKind::ExpectNoSetting:
    case CommandKind::ExpectNoSettingsFile: expectSetting(command); break;
    case CommandKind::ExpectClock: expectClock(command); break;
    case CommandKind::ExpectSystemClock: expectSystemClock(); break;
    case CommandKind::ExpectPaused:
    case CommandKind::ExpectRunning: {
      const bool wantPaused = command.kind == CommandKind::ExpectPaused;
      if (game.paused() != wantPaused)
        throw Failure{std::string("expected the game's own clock ") + (wantPaused ? "paused" : "running") +
                      ", got it " + (game.paused() ? "paused" : "running")};
      break;
    }
    default: break;
  }
}

// The game keeps the records of the last frame only, so that memory stays small
// and a snapshot can be taken from them.
void Runner::frame(uint32_t frameMs) {
  collect();
  host_.clearRecords();
  callsSeen_ = 0;
  textsSeen_ = 0;
  host_.runFrame(frameMs);
  collect();
}

// Takes the game's new records into the trace and the window, and stops the
// scenario at the first fault the game saw.
void Runner::collect() {
  const SimGame& game = host_.game();
  for (; callsSeen_ < game.calls().size(); ++callsSeen_) {
    const NativeCall& call = game.calls()[callsSeen_];
    if (call.hash == HASH_CLOCK_SET) systemClock_ = true;
    const std::string described = SimGame::describe(call);
    if (window_[described]++ == 0) windowOrder_.push_back(described);
    ++windowTotal_;
    if (trace_ == nullptr) continue;
    NativeCall shown = call;
    shown.text = traceText(call.text);
    const std::string line = call.hash == HASH_CLOCK_SET ? std::string("ClockSet ") + SYSTEM_TIME
                                                          : SimGame::describe(shown);
    traceLine(std::to_string(call.frame) + " call " + line);
  }
  for (; textsSeen_ < game.texts().size(); ++textsSeen_) {
    DrawnText shown = game.texts()[textsSeen_];
    shown.text = traceText(shown.text);
    traceLine(std::to_string(shown.frame) + " text " + SimGame::describe(shown));
  }
  if (!game.errors().empty()) {
    std::string errors;
    for (const std::string& error : game.errors()) errors += (errors.empty() ? "" : "; ") + error;
    throw Failure{"expected only well-formed native calls, got: " + errors};
  }
}

// The clock shown after it was set to the computer's time differs from run to run.
std::string Runner::traceText(const std::string& text) const {
  if (systemClock_ && text.rfind(TIME_PREFIX, 0) == 0) return TIME_PREFIX + std::string(SYSTEM_TIME);
  return text;
}

void Runner::runFor(uint32_t ms) {
  for (int64_t passed = 0; passed < ms; passed += frameMs_) frame(frameMs_);
}

void Runner::start() {
  if (host_.loaded()) throw Failure{"expected the plug-in not loaded at start, got it loaded (use restart)"};
  readBindings();
  host_.load();
  frame(frameMs_);
}

void Runner::restart() {
  if (!host_.loaded()) throw Failure{"expected the plug-in loaded at restart, got it not loaded (use start)"};
  host_.unload();
  collect();
  host_.newGame();
  host_.setResolution(width_, height_);
  callsSeen_ = 0;
  textsSeen_ = 0;
  systemClock_ = false;
  start();
}

void Runner::restartScript() {
  if (!host_.loaded())
    throw Failure{"expected the plug-in loaded at restart-script, got it not loaded (use start)"};
  readBindings();  // the script reads the settings file again when it starts
  host_.restartScript();
  frame(frameMs_);
}

void Runner::writeSettings(const std::string& content) {
  std::ofstream out(SETTINGS_FILE_NAME, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw Failure{"expected to write the settings file, got a write error"};
}

// Read-only is the file's own attribute, which Windows keeps and Wine and the native
// profile functions read from its write bits; a folder in the file's place is refused
// by every profile function, whoever runs it.
void Runner::changeSettingsFile(const std::string& how) {
  std::error_code error;
  const fs::path file = SETTINGS_FILE_NAME;
  const bool isFolder = fs::is_directory(file, error);
  const bool isFile = fs::is_regular_file(file, error);
  if (how == "folder" || how == "deleted") {
    if (isFile) {
      // Windows will not delete a read-only file, so it is made writable first.
      fs::permissions(file, fs::perms::owner_write, fs::perm_options::add, error);
      if (error || !fs::remove(file, error))
        throw Failure{"expected to remove the settings file, got " + error.message()};
    }
    if (how == "deleted" && isFolder && !fs::remove(file, error))
      throw Failure{"expected to remove the folder in the settings file's place, got " + error.message()};
    if (how == "folder" && !isFolder && !fs::create_directory(file, error))
      throw Failure{"expected to make a folder in the settings file's place, got " + error.message()};
    return;
  }
  if (how == "read-only" && !isFile) throw Failure{"expected a settings file to make read-only, got none"};
  if (isFolder && !fs::remove(file, error))
    throw Failure{"expected to remove the folder in the settings file's place, got " + error.message()};
  if (!isFile) return;
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(file, how == "read-only" ? write : fs::perms::owner_write,
                  how == "read-only" ? fs::perm_options::remove : fs::perm_options::add, error);
  if (error) throw Failure{"expected to make the settings file " + how + ", got " + error.message()};
}

// The UP and DOWN keys the plug-in is about to read from the settings file; a key the
// file leaves out has its default, one it leaves empty or names wrongly is no key.
void Runner::readBindings() {
  bool exists = false;
  const std::string text = readWholeFile(SETTINGS_FILE_NAME, exists);
  const auto binding = [&](const char* key, const char* fallback) {
    std::string name = fallback;
    if (exists) findSetting(text, "CONTROLS", key, name);
    return keyCodeFromName(name.c_str());
  };
  upKey_ = binding("UP", DEFAULT_UP_KEY);
  downKey_ = binding("DOWN", DEFAULT_DOWN_KEY);
}

// The menu line drawn highlighted in the last frame, known by the longest caption its
// text starts with; -1 when no line is.
int32_t Runner::highlightedLine() const {
  for (const DrawnText& text : lastFrame()) {
    if (!drawnIn(text, HIGHLIGHT)) continue;
    int32_t found = -1;
    for (int32_t line = 0; line < MENU_LINE_COUNT; ++line) {
      const std::string caption = MENU_LINES[line].caption;
      if (text.text.compare(0, caption.size(), caption) == 0 &&
          (found < 0 || caption.size() > std::string(MENU_LINES[found].caption).size()))
        found = line;
    }
    if (found >= 0) return found;
  }
  return -1;
}

void Runner::select(int32_t target) {
  for (int32_t line = highlightedLine(); line != target;) {
    if (line < 0)
      throw Failure{"expected the open menu with a line highlighted in frame " + std::to_string(host_.frameNumber()) +
                    ", got none"};
    const int32_t step = target < line ? -1 : 1;
    const uint32_t key = step < 0 ? upKey_ : downKey_;
    if (key == 0) throw Failure{std::string("expected a key bound to ") + (step < 0 ? "UP" : "DOWN") + ", got none"};
    host_.keyDown(key);
    host_.keyUp(key);
    runFor(SELECT_STEP_MS);
    const int32_t now = highlightedLine();
    if (now != line + step)
      throw Failure{"expected " + std::string(step < 0 ? "UP" : "DOWN") + " to move the highlight from " +
                    quoteText(MENU_LINES[line].caption) + " to " + quoteText(MENU_LINES[line + step].caption) +
                    ", got " + (now < 0 ? std::string("no line highlighted") : quoteText(MENU_LINES[now].caption))};
    line = now;
  }
}

void Runner::snapshot(const std::string& path) {
  if (host_.frameNumber() == 0) throw Failure{"expected a frame to snapshot, got none run yet"};
  const fs::path target = fs::path(startFolder_) / path;
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  writeFrame(captureFrame(host_.game(), host_.frameNumber()), out);
  out.close();
  if (!out) throw Failure{"expected to write " + target.string() + ", got a write error"};
}

std::vector<DrawnText> Runner::lastFrame() const {
  if (host_.frameNumber() == 0) throw Failure{"expected a frame to look at, got none run yet"};
  return captureFrame(host_.game(), host_.frameNumber()).texts;
}

// Where a text stands on the game's screen, in pixels.
long Runner::pixelX(const DrawnText& text) const {
  return std::lround(text.x * static_cast<float>(host_.game().width()));
}
long Runner::pixelY(const DrawnText& text) const {
  return std::lround(text.y * static_cast<float>(host_.game().height()));
}

std::string Runner::textAt(const DrawnText& text) const {
  return quoteText(text.text) + " at " + std::to_string(pixelX(text)) + " " + std::to_string(pixelY(text)) + " " +
         colourName(text);
}

void Runner::expectText(const Command& command) {
  const std::vector<DrawnText> texts = lastFrame();
  for (const DrawnText& text : texts) {
    const bool ends = text.text.size() >= command.text.size() &&
                      text.text.compare(text.text.size() - command.text.size(), command.text.size(), command.text) == 0;
    if (command.textIsEnding ? !ends : text.text != command.text) continue;
    const std::string colour = colourName(text);
    if (command.colour == TextColourCheck::White && colour != "white") continue;
    if (command.colour == TextColourCheck::Highlight && colour != "highlight") continue;
    if (command.hasPosition && (pixelX(text) != command.numbers[0] || pixelY(text) != command.numbers[1])) continue;
    return;
  }
  std::string wanted = command.textIsEnding ? "a text ending " + quoteText(command.text) : quoteText(command.text);
  if (command.hasPosition)
    wanted += " at " + std::to_string(command.numbers[0]) + " " + std::to_string(command.numbers[1]);
  if (command.colour != TextColourCheck::Any)
    wanted += command.colour == TextColourCheck::White ? " white" : " highlight";
  std::string got;
  for (const DrawnText& text : texts) got += (got.empty() ? "" : "; ") + textAt(text);
  throw Failure{"expected " + wanted + " in frame " + std::to_string(host_.frameNumber()) + ", got " +
                (got.empty() ? "nothing drawn" : got)};
}

void Runner::expectOnScreen() {
  const SimGame& game = host_.game();
  for (const DrawnText& text : lastFrame()) {
    const long x = pixelX(text), y = pixelY(text);
    if (x >= 0 && x < game.width() && y >= 0 && y + ROW_PX <= game.height()) continue;
    throw Failure{"expected every text on the screen of " + std::to_string(game.width()) + "x" +
                  std::to_string(game.height()) + " in frame " + std::to_string(host_.frameNumber()) + ", got " +
                  textAt(text) + ", its row ending at y " + std::to_string(y + ROW_PX)};
  }
}

void Runner::expectNoText(const Command& command) {
  for (const DrawnText& text : lastFrame())
    if (!command.hasText || text.text == command.text)
      throw Failure{"expected " + (command.hasText ? quoteText(command.text) + " not drawn" : "nothing drawn") +
                    " in frame " + std::to_string(host_.frameNumber()) + ", got " + textAt(text)};
}

void Runner::expectCalls(const Command& command) {
  uint64_t count = 0;
  std::string found, others;
  for (const std::string& described : windowOrder_) {
    const std::vector<std::string> words = splitWords(described);
    const uint64_t times = window_.at(described);
    const std::string entry = described + (times > 1 ? " (" + std::to_string(times) + " times)" : "");
    if (matches(command.pattern, words)) {
      count += times;
      found += (found.empty() ? "" : "; ") + entry;
    } else if (!command.pattern.empty() && words[0] == command.pattern[0]) {
      others += (others.empty() ? "" : "; ") + entry;
    }
  }
  const std::string what = command.pattern.empty() ? "native call" : "call " + joined(command.pattern);
  const std::string since = " since line " + std::to_string(windowLine_);
  const std::string total = " (" + std::to_string(windowTotal_) + " calls in all)";
  if (command.kind == CommandKind::ExpectCall && count == 0)
    throw Failure{"expected a " + what + since + ", got " + (others.empty() ? "none of that name" : others) + total};
  if (command.kind == CommandKind::ExpectCalls && count != static_cast<uint64_t>(command.numbers[0]))
    throw Failure{"expected " + std::to_string(command.numbers[0]) + " of " + what + since + ", got " +
                  std::to_string(count) + (found.empty() ? "" : ": " + found)};
  if (command.kind == CommandKind::ExpectNoCall && count != 0)
    throw Failure{"expected no " + what + since + ", got " + found};
}

void Runner::expectSetting(const Command& command) {
  bool exists = false;
  const std::string text = readWholeFile(SETTINGS_FILE_NAME, exists);
  if (command.kind == CommandKind::ExpectNoSettingsFile) {
    if (exists) throw Failure{"expected no settings file, got one holding " + quoteText(text)};
    return;
  }
  if (!exists) throw Failure{"expected a settings file, got none"};
  std::string value;
  const bool found = findSetting(text, command.text, command.key, value);
  const std::string where = "[" + command.text + "] " + command.key;
  if (command.kind == CommandKind::ExpectNoSetting) {
    if (found) throw Failure{"expected no " + where + ", got " + quoteText(value)};
  } else if (!found || value != command.pattern[0]) {
    throw Failure{"expected " + where + " = " + quoteText(command.pattern[0]) + ", got " +
                  (found ? quoteText(value) : "no such key in " + quoteText(text))};
  }
}

std::string clockText(int32_t hours, int32_t minutes, int32_t seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours, minutes, seconds);
  return text;
}

void Runner::expectClock(const Command& command) {
  const SimGame& game = host_.game();
  if (systemClock_)
    throw Failure{"expected a known game clock, got one set to the computer's time (set it with clock first)"};
  const std::string wanted = clockText(static_cast<int32_t>(command.numbers[0]),
                                       static_cast<int32_t>(command.numbers[1]), static_cast<int32_t>(command.numbers[2]));
  const std::string got = clockText(game.hours(), game.minutes(), game.seconds());
  if (wanted != got) throw Failure{"expected the game clock at " + wanted + ", got " + got};
}

void Runner::expectSystemClock() {
  const SimGame& game = host_.game();
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) throw Failure{"expected the computer's local time, got none to be had"};
  const int32_t wanted = local->tm_hour * 3600 + local->tm_min * 60 + (local->tm_sec > 59 ? 59 : local->tm_sec);
  const int32_t got = game.hours() * 3600 + game.minutes() * 60 + game.seconds();
  const int32_t apart = std::abs(wanted - got);
  if (std::min(apart, 24 * 3600 - apart) > SYSTEM_CLOCK_TOLERANCE_S)
    throw Failure{"expected the game clock near the computer's time " +
                  clockText(local->tm_hour, local->tm_min, local->tm_sec) + ", got " +
                  clockText(game.hours(), game.minutes(), game.seconds())};
}

}  // namespace

std::string runScenario(const Scenario& scenario, ScenarioHost& host, std::ostream* trace,
                        const std::string& startFolder) {
  return Runner(scenario, host, trace, startFolder).run();
}

bool findSetting(const std::string& text, const std::string& section, const std::string& key,
                 std::string& value) {
  std::string_view found;
  if (!profile_text::findValue(text, section, key, found)) return false;
  value = std::string(profile_text::unquoted(found));
  return true;
}
