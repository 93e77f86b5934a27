#include "scenario/frame_file.h"

#include <cctype>
#include <cstdio>
#include <sstream>

Frame captureFrame(const SimGame& game, uint64_t frame) {
  Frame out;
  out.width = game.width();
  out.height = game.height();
  for (const DrawnText& text : game.texts())
    if (text.frame == frame) out.texts.push_back(text);
  return out;
}

bool unquoteText(const std::string& quoted, std::string& text) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
  const std::string body = quoted.substr(1, quoted.size() - 2);
  text.clear();
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '"') return false;
    if (c != '\\') {
      text += c;
      continue;
    }
    if (i + 1 >= body.size()) return false;
    const char escaped = body[++i];
    if (escaped == '"' || escaped == '\\') {
      text += escaped;
    } else if (escaped == 'x' && i + 2 < body.size() && std::isxdigit(static_cast<unsigned char>(body[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(body[i + 2]))) {
      text += static_cast<char>(std::stoi(body.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

void writeFrame(const Frame& frame, std::ostream& out) {
  out << "horavane-frame 1\n";
  out << "resolution " << frame.width << ' ' << frame.height << '\n';
  char numbers[160];
  for (const DrawnText& text : frame.texts) {
    std::snprintf(numbers, sizeof numbers, "text %.9g %.9g %.9g %d %d %d %d %d ",
                  static_cast<double>(text.x), static_cast<double>(text.y),
                  static_cast<double>(text.scale), text.font, text.red, text.green, text.blue,
                  text.alpha);
    out << numbers << quoteText(text.text) << '\n';
  }
}

bool readFrame(std::istream& in, const std::string& source, Frame& frame, std::string& error) {
  frame = Frame{};
  std::string line;
  int number = 0;
  bool sawHeader = false;
  bool sawResolution = false;
  auto fail = [&](const std::string& what) {
    error = source + ":" + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::string word;
    fields >> word;
    if (!sawHeader) {
      int version = 0;
      if (word != "horavane-frame" || !(fields >> version) || version != 1)
        return fail("expected \"horavane-frame 1\", found \"" + line + "\"");
      sawHeader = true;
    } else if (word == "resolution") {
      if (!(fields >> frame.width >> frame.height)) return fail("expected \"resolution <width> <height>\"");
      sawResolution = true;
    } else if (word == "text") {
      DrawnText text{};
      if (!(fields >> text.x >> text.y >> text.scale >> text.font >> text.red >> text.green >>
            text.blue >> text.alpha))
        return fail("expected \"text <x> <y> <scale> <font> <r> <g> <b> <a> \\\"...\\\"\"");
      std::string rest;
      std::getline(fields >> std::ws, rest);
      if (!unquoteText(rest, text.text)) return fail("malformed quoted text: " + rest);
      frame.texts.push_back(text);
    } else {
      return fail("unknown record \"" + word + "\"");
    }
  }
  if (!sawHeader) return fail("empty frame file");
  if (!sawResolution) return fail("no resolution line");
  return true;
}
