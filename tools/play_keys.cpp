// Play mode's keys: the bytes a terminal sends turned into the virtual keys a player
// would press, and the label of a key for the on-screen help.

#include <string>
#include <vector>

#include "input/keys.h"
#include "tools/play.h"

namespace {

constexpr char ESC = '\x1b';
constexpr size_t LONGEST_SEQUENCE = 32;  // a longer unfinished sequence is noise and dropped

uint32_t vk(const char* name) { return keyCodeFromName(name); }

uint32_t functionKey(int number) { return vk(("VK_F" + std::to_string(number)).c_str()); }

// The key of a plain byte; 0 for a byte that is no key.
uint32_t plainKey(unsigned char c) {
  if (c >= '0' && c <= '9') return vk("VK_NUMPAD0") + (c - '0');
  if (c >= 'a' && c <= 'z') return 'A' + (c - 'a');
  if (c >= 'A' && c <= 'Z') return c;
  switch (c) {
    case '\r': case '\n': return vk("VK_RETURN");
    case '\t': return vk("VK_TAB");
    case 0x7F: case 0x08: return vk("VK_BACK");
    case ' ': return vk("VK_SPACE");
    case '*': return vk("VK_MULTIPLY");
    case '+': return vk("VK_ADD");
    case '-': return vk("VK_SUBTRACT");
    case '.': return vk("VK_DECIMAL");
    case '/': return vk("VK_DIVIDE");
    default: return 0;
  }
}

// Final letters shared by "ESC [" and "ESC O" sequences: arrows, Home, End, F1..F4.
uint32_t letterKey(char final) {
  switch (final) {
    case 'A': return vk("VK_UP");
    case 'B': return vk("VK_DOWN");
    case 'C': return vk("VK_RIGHT");
    case 'D': return vk("VK_LEFT");
    case 'H': return vk("VK_HOME");
    case 'F': return vk("VK_END");
    case 'P': case 'Q': case 'R': case 'S': return functionKey(1 + (final - 'P'));
    default: return 0;
  }
}

// "ESC O x": the keypad in application mode, and the letters above.
uint32_t ss3Key(char c) {
  if (c >= 'p' && c <= 'y') return vk("VK_NUMPAD0") + (c - 'p');
  switch (c) {
    case 'M': return vk("VK_RETURN");
    case 'j': return vk("VK_MULTIPLY");
    case 'k': return vk("VK_ADD");
    case 'm': return vk("VK_SUBTRACT");
    case 'n': return vk("VK_DECIMAL");
    case 'o': return vk("VK_DIVIDE");
    default: return letterKey(c);
  }
}

// "ESC [ n ~": editing keys and F1..F12 as xterm and the Linux console number them.
uint32_t tildeKey(int number) {
  switch (number) {
    case 1: case 7: return vk("VK_HOME");
    case 2: return vk("VK_INSERT");
    case 3: return vk("VK_DELETE");
    case 4: case 8: return vk("VK_END");
    case 5: return vk("VK_PRIOR");
    case 6: return vk("VK_NEXT");
    default: break;
  }
  if (number >= 11 && number <= 15) return functionKey(number - 10);
  if (number >= 17 && number <= 21) return functionKey(number - 11);
  if (number == 23 || number == 24) return functionKey(number - 12);
  return 0;
}

void push(std::vector<uint32_t>& keys, uint32_t key) {
  if (key != 0) keys.push_back(key);
}

}  // namespace

size_t KeyDecoder::decodeOne(std::vector<uint32_t>& keys) {
  const std::string& p = pending_;
  if (p[0] == '\x03') {
    quit_ = true;
    return 1;
  }
  if (p[0] != ESC) {
    push(keys, plainKey(static_cast<unsigned char>(p[0])));
    return 1;
  }
  if (p.size() < 2) return 0;
  if (p[1] == ESC) {
    quit_ = true;
    return 2;
  }
  if (p[1] == 'O') {
    if (p.size() < 3) return 0;
    push(keys, ss3Key(p[2]));
    return 3;
  }
  if (p[1] != '[') {  // Alt with a key: the Esc, then the key
    push(keys, vk("VK_ESCAPE"));
    return 1;
  }
  if (p.size() >= 3 && p[2] == '[') {  // the Linux console's F1..F5: ESC [ [ A..E
    if (p.size() < 4) return 0;
    if (p[3] >= 'A' && p[3] <= 'E') push(keys, functionKey(1 + (p[3] - 'A')));
    return 4;
  }
  size_t end = 2;
  while (end < p.size() && p[end] >= 0x20 && p[end] <= 0x3F) ++end;  // parameters
  if (end == p.size()) return p.size() > LONGEST_SEQUENCE ? p.size() : 0;
  const char final = p[end];
  if (final == '~')
    push(keys, tildeKey(std::atoi(p.c_str() + 2)));
  else
    push(keys, letterKey(final));  // modifiers ("1;5A") are ignored: the key is the same
  return end + 1;
}

void KeyDecoder::feed(const std::string& bytes, uint32_t nowMs, std::vector<uint32_t>& keys) {
  if (pending_.empty()) pendingSinceMs_ = nowMs;
  pending_ += bytes;
  while (!pending_.empty() && !quit_) {
    const size_t used = decodeOne(keys);
    if (used == 0) break;
    pending_.erase(0, used);
    pendingSinceMs_ = nowMs;
  }
}

void KeyDecoder::flush(uint32_t nowMs, std::vector<uint32_t>& keys) {
  if (pending_.empty() || nowMs - pendingSinceMs_ < ESCAPE_WAIT_MS) return;
  if (pending_ == std::string(1, ESC)) push(keys, vk("VK_ESCAPE"));
  pending_.clear();  // an unfinished sequence that never completed: dropped
}

std::string terminalKeyLabel(uint32_t code) {
  if (code == 0) return "no key";
  const uint32_t numpad0 = vk("VK_NUMPAD0");
  if (code >= numpad0 && code <= numpad0 + 9) return std::string(1, static_cast<char>('0' + (code - numpad0)));
  if (code >= 'A' && code <= 'Z') return std::string(1, static_cast<char>(code));
  const uint32_t f1 = functionKey(1);
  if (code >= f1 && code < f1 + 12) return "F" + std::to_string(code - f1 + 1);
  static const struct {
    const char* name;
    const char* label;
  } TYPED[] = {
      {"VK_RETURN", "Enter"}, {"VK_TAB", "Tab"},       {"VK_BACK", "Backspace"}, {"VK_SPACE", "Space"},
      {"VK_ESCAPE", "Esc"},   {"VK_UP", "Up"},         {"VK_DOWN", "Down"},      {"VK_LEFT", "Left"},
      {"VK_RIGHT", "Right"},  {"VK_HOME", "Home"},     {"VK_END", "End"},        {"VK_INSERT", "Insert"},
      {"VK_DELETE", "Delete"}, {"VK_PRIOR", "PageUp"}, {"VK_NEXT", "PageDown"},  {"VK_MULTIPLY", "*"},
      {"VK_ADD", "+"},        {"VK_SUBTRACT", "-"},    {"VK_DECIMAL", "."},      {"VK_DIVIDE", "/"},
  };
  for (const auto& key : TYPED)
    if (vk(key.name) == code) return key.label;
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (KEY_NAMES[i].code == code) return std::string(KEY_NAMES[i].name) + " (not typeable here)";
  return "key " + std::to_string(code);
}
