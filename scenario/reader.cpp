// Scenario files: reading them into commands, every malformed line reported with its place.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "input/keys.h"
#include "menu/menu.h"
#include "scenario/frame_file.h"
#include "scenario/scenario.h"
#include "scenario/words.h"

namespace fs = std::filesystem;

namespace {




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
  // A leading '*' before any escape stands for any beginning: "*" matches every text.
  command.textIsEnding = words[2].rfind("\"*", 0) == 0;
  command.text = quoted(command.textIsEnding ? "\"" + words[2].substr(2) : words[2]);
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
  } else if (what == "on-screen") {
    command.kind = CommandKind::ExpectOnScreen;
    argumentCount(words, 2, 2, "expect on-screen");
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

// The menu line a caption names: the line of exactly this caption, else the one line whose
// caption begins with these words ("Time x 2" names "Time x 2 (1s = 1m)", not "Time x 240").
int64_t menuLineNamed(const std::string& words) {
  int64_t found = -1;
  int matches = 0;
  for (int32_t line = 0; line < MENU_LINE_COUNT; ++line) {
    const std::string caption = MENU_LINES[line].caption;
    if (caption == words) return line;
    if (!words.empty() && caption.compare(0, words.size(), words) == 0 && caption[words.size()] == ' ') {
      found = line;
      ++matches;
    }
  }
  if (matches == 1) return found;
  throw ParseError{(matches == 0 ? "expected the caption of a menu line, or its first words, got "
                                 : "expected words that begin one menu line's caption, got ") +
                   quoteText(words) + (matches == 0 ? "" : ", which begin " + std::to_string(matches))};
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
  } else if (name == "settings-file") {
    command.kind = CommandKind::SettingsFile;
    argumentCount(words, 2, 2, "settings-file read-only|folder|writable|deleted");
    if (words[1] != "read-only" && words[1] != "folder" && words[1] != "writable" && words[1] != "deleted")
      throw ParseError{"expected read-only, folder, writable or deleted after settings-file, got \"" + words[1] +
                       "\""};
    command.text = words[1];
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
  } else if (name == "start" || name == "restart" || name == "restart-script") {
    command.kind = name == "start" ? CommandKind::Start
                   : name == "restart" ? CommandKind::Restart
                                       : CommandKind::RestartScript;
    argumentCount(words, 1, 1, name.c_str());
  } else if (name == "press" || name == "release" || name == "tap") {
    command.kind = name == "press" ? CommandKind::Press : name == "tap" ? CommandKind::Tap : CommandKind::Release;
    argumentCount(words, 2, 2, "press|release|tap <key>");
    command.numbers = {keyCode(words[1])};
  } else if (name == "select") {
    command.kind = CommandKind::Select;
    argumentCount(words, 2, 2, "select \\\"<caption>\\\"");
    command.text = quoted(words[1]);
    command.numbers = {menuLineNamed(command.text)};
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
