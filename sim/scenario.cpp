// Scenario files: reading them, running them in a host, tracing and comparing runs.

#include "sim/scenario.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include "host/native_catalogue.h"
#include "input/keys.h"
#include "sim/frame_file.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t START_TICK = 1000000;  // far from 0, so that nothing starts at the wrap
constexpr uint32_t DEFAULT_FRAME_MS = 16;
constexpr int32_t SYSTEM_CLOCK_TOLERANCE_S = 120;
constexpr const char* SYSTEM_TIME = "<system time>";
constexpr const char* TIME_TEXT = "Current time: ";
constexpr const char* SETTINGS_PATH = "horavane.ini";

// ---- Reading ----

struct ParseError {
  std::string what;
};

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Words separated by blanks; a word that starts with '"' runs to its closing quote
// and keeps its quotes.
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    const size_t start = i;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i)
        if (line[i] == '\\') ++i;
      if (i >= line.size()) throw ParseError{"text opened with \" is never closed"};
      ++i;
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    }
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

int64_t number(const std::string& word, int64_t low, int64_t high, const char* what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(word.c_str(), &end, 10);
  const bool whole = !word.empty() && *end == '\0' && errno == 0 && word[0] != '+';
  if (!whole || value < low || value > high)
    throw ParseError{"expected " + std::string(what) + " from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", got \"" + word + "\""};
  return value;
}

std::string quoted(const std::string& word) {
  std::string text;
  if (word.empty() || word[0] != '"' || !unquoteText(word, text))
    throw ParseError{"expected text in double quotes, got " + word};
  return text;
}

void clockFields(const std::string& word, Command& command) {
  int hours = 0, minutes = 0, seconds = 0;
  char end = 0;
  if (std::sscanf(word.c_str(), "%d:%d:%d%c", &hours, &minutes, &seconds, &end) != 3 || hours < 0 ||
      hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
    throw ParseError{"expected a time of day <h>:<m>:<s>, got \"" + word + "\""};
  command.numbers = {hours, minutes, seconds};
}

uint32_t keyCode(const std::string& word) {
  const uint32_t code = keyCodeFromName(word.c_str());
  if (code == 0) throw ParseError{"expected a key name such as VK_F5, A or 5, got \"" + word + "\""};
  return code;
}

void argumentCount(const std::vector<std::string>& words, size_t low, size_t high, const char* usage) {
  if (words.size() < low || words.size() > high) throw ParseError{std::string("expected \"") + usage + "\""};
}

void parseExpectText(const std::vector<std::string>& words, Command& command) {
  if (words.size() < 3) throw ParseError{"expected \"expect text \\\"<text>\\\" [white|highlight] [at <x> <y>]\""};
  command.text = quoted(words[2]);
  for (size_t i = 3; i < words.size(); ++i) {
    if (words[i] == "white" && command.colour == TextColourCheck::Any) {
      command.colour = TextColourCheck::White;
    } else if (words[i] == "highlight" && command.colour == TextColourCheck::Any) {
      command.colour = TextColourCheck::Highlight;
    } else if (words[i] == "at" && !command.hasPosition && i + 2 < words.size()) {
      command.numbers = {number(words[i + 1], -100000, 100000, "a pixel position"),
                         number(words[i + 2], -100000, 100000, "a pixel position")};
      command.hasPosition = true;
      i += 2;
    } else {
      throw ParseError{"expected white, highlight or at <x> <y> after the text, got \"" + words[i] + "\""};
    }
  }
}

void parseExpect(const std::vector<std::string>& words, Command& command) {
  if (words.size() < 2) throw ParseError{"expected something after \"expect\""};
  const std::string& what = words[1];
  if (what == "text") {
    command.kind = CommandKind::ExpectText;
    parseExpectText(words, command);
  } else if (what == "no-text") {
    command.kind = CommandKind::ExpectNoText;
    argumentCount(words, 2, 3, "expect no-text [\\\"<text>\\\"]");
    command.hasText = words.size() == 3;
    if (command.hasText) command.text = quoted(words[2]);
  } else if (what == "text-count") {
    command.kind = CommandKind::ExpectTextCount;
    argumentCount(words, 3, 3, "expect text-count <n>");
    command.numbers = {number(words[2], 0, 1000000, "a count")};
  } else if (what == "call" || what == "no-call") {
    command.kind = what == "call" ? CommandKind::ExpectCall : CommandKind::ExpectNoCall;
    if (what == "call") argumentCount(words, 3, 64, "expect call <name> [<argument>...]");
    command.pattern.assign(words.begin() + 2, words.end());
  } else if (what == "calls") {
    command.kind = CommandKind::ExpectCalls;
    argumentCount(words, 4, 64, "expect calls <n> <name> [<argument>...]");
    command.numbers = {number(words[2], 0, 1000000000, "a count")};
    command.pattern.assign(words.begin() + 3, words.end());
  } else if (what == "setting") {
    command.kind = CommandKind::ExpectSetting;
    argumentCount(words, 5, 5, "expect setting <section> <key> <value>");
    command.text = words[2];
    command.key = words[3];
    command.pattern = {words[4][0] == '"' ? quoted(words[4]) : words[4]};
  } else if (what == "no-setting") {
    command.kind = CommandKind::ExpectNoSetting;
    argumentCount(words, 4, 4, "expect no-setting <section> <key>");
    command.text = words[2];
    command.key = words[3];
  } else if (what == "no-settings-file") {
    command.kind = CommandKind::ExpectNoSettingsFile;
    argumentCount(words, 2, 2, "expect no-settings-file");
  } else if (what == "clock") {
    argumentCount(words, 3, 3, "expect clock <h>:<m>:<s>|system");
    command.kind = words[2] == "system" ? CommandKind::ExpectSystemClock : CommandKind::ExpectClock;
    if (command.kind == CommandKind::ExpectClock) clockFields(words[2], command);
  } else if (what == "paused" || what == "running") {
    command.kind = what == "paused" ? CommandKind::ExpectPaused : CommandKind::ExpectRunning;
    argumentCount(words, 2, 2, what == "paused" ? "expect paused" : "expect running");
  } else {
    throw ParseError{"unknown expectation \"" + what + "\""};
  }
}

int64_t milliseconds(const std::string& word) { return number(word, 0, UINT32_MAX, "milliseconds"); }
int64_t frameLength(const std::string& word) { return number(word, 1, 60000, "a frame length in ms"); }

void parseStep(const std::vector<std::string>& words, Command& command) {
  const std::string& name = words[0];
  if (name == "resolution") {
    command.kind = CommandKind::Resolution;
    argumentCount(words, 3, 3, "resolution <width> <height>");
    command.numbers = {number(words[1], 0, 65535, "a width in pixels"),
                       number(words[2], 0, 65535, "a height in pixels")};
  } else if (name == "clock") {
    command.kind = CommandKind::Clock;
    argumentCount(words, 2, 2, "clock <h>:<m>:<s>");
    clockFields(words[1], command);
  } else if (name == "tick") {
    command.kind = CommandKind::Tick;
    argumentCount(words, 2, 2, "tick <ms>");
    command.numbers = {milliseconds(words[1])};
  } else if (name == "frame-length") {
    command.kind = CommandKind::FrameLength;
    argumentCount(words, 2, 2, "frame-length <ms>");
    command.numbers = {frameLength(words[1])};
  } else if (name == "start" || name == "restart") {
    command.kind = name == "start" ? CommandKind::Start : CommandKind::Restart;
    argumentCount(words, 1, 1, name == "start" ? "start" : "restart");
  } else if (name == "press" || name == "release" || name == "tap") {
    command.kind = name == "press" ? CommandKind::Press : name == "tap" ? CommandKind::Tap : CommandKind::Release;
    argumentCount(words, 2, 2, "press|release|tap <key>");
    command.numbers = {keyCode(words[1])};
  } else if (name == "frames") {
    command.kind = CommandKind::Frames;
    argumentCount(words, 2, 3, "frames <n> [<frame ms>]");
    command.numbers = {number(words[1], 1, 10000000, "a number of frames"),
                       words.size() == 3 ? frameLength(words[2]) : 0};
  } else if (name == "wait") {
    command.kind = CommandKind::Wait;
    argumentCount(words, 2, 3, "wait <ms> [<frame ms>]");
    command.numbers = {milliseconds(words[1]), words.size() == 3 ? frameLength(words[2]) : 0};
  } else if (name == "elapse") {
    command.kind = CommandKind::Elapse;
    argumentCount(words, 2, 2, "elapse <ms>");
    command.numbers = {milliseconds(words[1])};
  } else if (name == "snapshot") {
    command.kind = CommandKind::Snapshot;
    argumentCount(words, 2, 2, "snapshot <path>");
    command.text = words[1][0] == '"' ? quoted(words[1]) : words[1];
  } else if (name == "expect") {
    parseExpect(words, command);
  } else {
    throw ParseError{"unknown command \"" + name + "\""};
  }
}

std::string baseName(const std::string& path) { return fs::path(path).stem().string(); }

// ---- Running ----

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

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

const char* colourName(const DrawnText& text) {
  if (text.red == 255 && text.green == 255 && text.blue == 255) return "white";
  if (text.red == 246 && text.green == 156 && text.blue == 8) return "highlight";
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
  void writeSettings(const std::string& content);
  void snapshot(const std::string& path);

  std::string traceText(const std::string& text) const;
  void traceLine(const std::string& line) {
    if (trace_ != nullptr) *trace_ << line << '\n';
  }

  std::vector<DrawnText> lastFrame() const;
  std::string textAt(const DrawnText& text) const;
  void expectText(const Command& command);
  void expectNoText(const Command& command);
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
    case CommandKind::Press: host_.keyDown(ms(0)); break;
    case CommandKind::Release: host_.keyUp(ms(0)); break;
    case CommandKind::Tap:
      host_.keyDown(ms(0));
      host_.keyUp(ms(0));
      break;
    case CommandKind::Frames:
      for (int64_t i = 0; i < n[0]; ++i) frame(n[1] != 0 ? ms(1) : frameMs_);
      break;
    case CommandKind::Wait: {
      const uint32_t length = n[1] != 0 ? ms(1) : frameMs_;
      for (int64_t passed = 0; passed < n[0]; passed += length) frame(length);
      break;
    }
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
  if (systemClock_ && text.rfind(TIME_TEXT, 0) == 0) return TIME_TEXT + std::string(SYSTEM_TIME);
  return text;
}

void Runner::start() {
  if (host_.loaded()) throw Failure{"expected the plug-in not loaded at start, got it loaded (use restart)"};
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

void Runner::writeSettings(const std::string& content) {
  std::ofstream out(SETTINGS_PATH, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw Failure{"expected to write the settings file, got a write error"};
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

std::string Runner::textAt(const DrawnText& text) const {
  const SimGame& game = host_.game();
  return quoteText(text.text) + " at " + std::to_string(std::lround(text.x * static_cast<float>(game.width()))) +
         " " + std::to_string(std::lround(text.y * static_cast<float>(game.height()))) + " " + colourName(text);
}

void Runner::expectText(const Command& command) {
  const std::vector<DrawnText> texts = lastFrame();
  const SimGame& game = host_.game();
  for (const DrawnText& text : texts) {
    if (text.text != command.text) continue;
    const std::string colour = colourName(text);
    if (command.colour == TextColourCheck::White && colour != "white") continue;
    if (command.colour == TextColourCheck::Highlight && colour != "highlight") continue;
    if (command.hasPosition && (std::lround(text.x * static_cast<float>(game.width())) != command.numbers[0] ||
                                std::lround(text.y * static_cast<float>(game.height())) != command.numbers[1]))
      continue;
    return;
  }
  std::string wanted = quoteText(command.text);
  if (command.hasPosition)
    wanted += " at " + std::to_string(command.numbers[0]) + " " + std::to_string(command.numbers[1]);
  if (command.colour != TextColourCheck::Any)
    wanted += command.colour == TextColourCheck::White ? " white" : " highlight";
  std::string got;
  for (const DrawnText& text : texts) got += (got.empty() ? "" : "; ") + textAt(text);
  throw Failure{"expected " + wanted + " in frame " + std::to_string(host_.frameNumber()) + ", got " +
                (got.empty() ? "nothing drawn" : got)};
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
  const std::string text = readWholeFile(SETTINGS_PATH, exists);
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

// ---- The command line ----

struct Options {
  std::string traceFolder;
  bool keep = false;
  std::vector<std::string> files;
};

std::string uniqueFolder() {
  static std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[48];
    std::snprintf(name, sizeof name, "horavane-scenario-%016llx",
                  static_cast<unsigned long long>(random()));
    const fs::path folder = fs::temp_directory_path() / name;
    if (fs::create_directory(folder)) return folder.string();
  }
  throw std::runtime_error("could not make a temporary folder in " + fs::temp_directory_path().string());
}

bool readAll(const Options& options, const std::string& startFolder, std::vector<Scenario>& scenarios) {
  std::vector<std::string> errors;
  std::map<std::string, std::string> names;
  for (const std::string& file : options.files) {
    const std::string path = (fs::path(startFolder) / file).lexically_normal().string();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      errors.push_back(file + ": cannot open the scenario file");
      continue;
    }
    Scenario scenario;
    readScenario(in, file, scenario, errors);
    if (!names.emplace(scenario.name, file).second)
      errors.push_back(file + ": same name as " + names[scenario.name] + " (traces would collide)");
    scenarios.push_back(std::move(scenario));
  }
  for (const std::string& error : errors) std::cerr << error << '\n';
  return errors.empty();
}

bool runOne(const Scenario& scenario, ScenarioHost& host, const Options& options, const std::string& startFolder) {
  std::ofstream trace;
  if (!options.traceFolder.empty()) {
    const fs::path path = fs::path(startFolder) / options.traceFolder / (scenario.name + ".trace");
    trace.open(path, std::ios::binary | std::ios::trunc);
    if (!trace) throw std::runtime_error("cannot write the trace " + path.string());
  }
  const std::string folder = uniqueFolder();
  fs::current_path(folder);
  const std::string failure = runScenario(scenario, host, trace.is_open() ? &trace : nullptr, startFolder);
  fs::current_path(startFolder);
  if (failure.empty() || !options.keep) fs::remove_all(folder);
  if (failure.empty()) {
    std::cout << "pass " << scenario.path << " (" << host.frameNumber() << " frames)\n";
    return true;
  }
  std::cerr << failure << '\n';
  std::cout << "FAIL " << scenario.path << (options.keep ? " (folder kept: " + folder + ")" : "") << '\n';
  return false;
}

int runFiles(ScenarioHost& host, const Options& options) {
  const std::string startFolder = fs::current_path().string();
  std::vector<Scenario> scenarios;
  if (!readAll(options, startFolder, scenarios)) return 1;
  if (!options.traceFolder.empty()) fs::create_directories(fs::path(startFolder) / options.traceFolder);
  size_t failed = 0;
  for (const Scenario& scenario : scenarios)
    if (!runOne(scenario, host, options, startFolder)) ++failed;
  std::cout << scenarios.size() << " scenarios, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

std::vector<std::string> traceNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".trace") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int compareFolders(const std::string& a, const std::string& b) {
  const std::vector<std::string> namesA = traceNames(a), namesB = traceNames(b);
  if (namesA.empty()) {
    std::cerr << a << ": no traces to compare\n";
    return 1;
  }
  if (namesA != namesB) {
    std::cerr << "the trace folders hold different scenarios: " << a << " has " << namesA.size() << ", " << b
              << " has " << namesB.size() << '\n';
    return 1;
  }
  int status = 0;
  for (const std::string& name : namesA) {
    const std::string pathA = (fs::path(a) / name).string(), pathB = (fs::path(b) / name).string();
    std::ifstream inA(pathA, std::ios::binary), inB(pathB, std::ios::binary);
    const std::string difference = compareTraces(inA, pathA, inB, pathB);
    if (!difference.empty()) {
      std::cerr << "traces differ:\n" << difference << '\n';
      status = 1;
    }
  }
  if (status == 0) std::cout << "traces equal: " << namesA.size() << " scenarios in " << a << " and " << b << '\n';
  return status;
}

const char* const USAGE =
    "usage: <program> [--trace <folder>] [--keep] <scenario.scn>...\n"
    "       <program> compare <trace folder> <trace folder>\n";

}  // namespace

bool readScenario(std::istream& in, const std::string& source, Scenario& scenario,
                  std::vector<std::string>& errors) {
  scenario.path = source;
  scenario.name = baseName(source);
  const size_t errorsBefore = errors.size();
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    Command command{};
    command.line = lineNumber;
    command.source = text;
    try {
      const std::vector<std::string> words = splitWords(text);
      if (words[0] == "settings") {
        command.kind = CommandKind::Settings;
        argumentCount(words, 1, 1, "settings");
        bool closed = false;
        while (!closed && std::getline(in, line)) {
          ++lineNumber;
          if (!line.empty() && line.back() == '\r') line.pop_back();
          closed = trimmed(line) == "end";
          if (!closed) command.text += line + "\r\n";
        }
        if (!closed) throw ParseError{"settings block never closed by a line \"end\""};
      } else {
        parseStep(words, command);
      }
      scenario.commands.push_back(command);
    } catch (const ParseError& error) {
      errors.push_back(source + ":" + std::to_string(command.line) + ": " + error.what);
    }
  }
  if (scenario.commands.empty() && errors.size() == errorsBefore)
    errors.push_back(source + ":" + std::to_string(lineNumber) + ": expected at least one command, got none");
  return errors.size() == errorsBefore;
}

std::string runScenario(const Scenario& scenario, ScenarioHost& host, std::ostream* trace,
                        const std::string& startFolder) {
  return Runner(scenario, host, trace, startFolder).run();
}

std::string compareTraces(std::istream& a, const std::string& nameA, std::istream& b,
                          const std::string& nameB) {
  std::string lineA, lineB;
  for (int number = 1;; ++number) {
    const bool moreA = static_cast<bool>(std::getline(a, lineA));
    const bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "";
    if (moreA && moreB && lineA == lineB) continue;
    const std::string at = ":" + std::to_string(number) + ": ";
    return nameA + at + (moreA ? lineA : "(end of trace)") + "\n" + nameB + at + (moreB ? lineB : "(end of trace)");
  }
}

bool findSetting(const std::string& text, const std::string& section, const std::string& key,
                 std::string& value) {
  std::istringstream lines(text);
  std::string line;
  bool inSection = section.empty();  // lines before the first header form section ""
  while (std::getline(lines, line)) {
    const std::string content = trimmed(line);
    if (!content.empty() && content[0] == '[' && content.find(']') != std::string::npos) {
      if (inSection) return false;  // only the first section of a name counts
      inSection = sameName(trimmed(content.substr(1, content.rfind(']') - 1)), section);
      continue;
    }
    const size_t equals = content.find('=');
    if (!inSection || equals == std::string::npos) continue;
    if (sameName(trimmed(content.substr(0, equals)), key)) {
      value = trimmed(content.substr(equals + 1));
      return true;
    }
  }
  return false;
}

int scenarioMain(ScenarioHost& host, const std::vector<std::string>& arguments) {
  try {
    if (!arguments.empty() && arguments[0] == "compare") {
      if (arguments.size() != 3) {
        std::cerr << USAGE;
        return 2;
      }
      return compareFolders(arguments[1], arguments[2]);
    }
    Options options;
    for (size_t i = 0; i < arguments.size(); ++i) {
      if (arguments[i] == "--trace" && i + 1 < arguments.size()) {
        options.traceFolder = arguments[++i];
      } else if (arguments[i] == "--keep") {
        options.keep = true;
      } else if (!arguments[i].empty() && arguments[i][0] == '-') {
        std::cerr << "unknown option " << arguments[i] << '\n' << USAGE;
        return 2;
      } else {
        options.files.push_back(arguments[i]);
      }
    }
    if (options.files.empty()) {
      std::cerr << USAGE;
      return 2;
    }
    return runFiles(host, options);
  } catch (const std::exception& error) {
    std::cerr << "error: " << error.what() << '\n';
    return 1;
  }
}
