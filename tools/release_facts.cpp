// Release facts: key names and loaded settings, from the plug-in.

#include "tools/release_facts.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "clock/clock.h"
#include "input/keys.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "sim/scratch_folder.h"
#include "virtual_tick.h"

namespace {

constexpr size_t MARKDOWN_COLUMNS = 92;

// Names of keys no keyboard message carries (see writeSilentKeyNames).
const char* const SILENT_KEY_NAMES[] = {"VK_LBUTTON", "VK_RBUTTON", "VK_MBUTTON", "VK_XBUTTON1", "VK_XBUTTON2",
                                        "VK_LSHIFT",  "VK_RSHIFT",  "VK_LCONTROL", "VK_RCONTROL", "VK_LMENU",
                                        "VK_RMENU"};

bool silent(const KeyName& key) {
  for (const char* name : SILENT_KEY_NAMES)
    if (std::strcmp(key.name, name) == 0) return true;
  return false;
}

// The name's trailing number ("VK_F16": 16), -1 without one; `prefix` gets the rest.
long trailingNumber(const std::string& name, std::string& prefix) {
  const size_t digits = name.find_last_not_of("0123456789") + 1;  // 0 when all digits
  prefix = name.substr(0, digits);
  return digits == name.size() ? -1 : std::stol(name.substr(digits));
}

// `b` continues a run that `a` is in: the next key code under the next letter ("A",
// "B") or the same prefix with the next number ("VK_F1", "VK_F2").
bool follows(const KeyName& a, const KeyName& b) {
  if (b.code != a.code + 1) return false;
  const std::string x = a.name, y = b.name;
  if (x.size() == 1 && y.size() == 1 && std::isupper(static_cast<unsigned char>(x[0])))
    return y[0] == x[0] + 1;
  std::string prefixX, prefixY;
  const long numberX = trailingNumber(x, prefixX), numberY = trailingNumber(y, prefixY);
  return numberX >= 0 && prefixX == prefixY && numberY == numberX + 1;
}

std::string quoted(const char* name) { return std::string("`") + name + "`"; }

// The words of the list: single names, and runs of three or more as "`first`..`last`,"
// (digits and letters named as such); a comma also ends each stretch of single names.
std::vector<std::string> keyNameWords() {
  std::vector<std::string> words;
  uint32_t i = 0;
  while (i < KEY_NAME_COUNT) {
    if (KEY_NAMES[i].code == 0) {  // NO_KEY, named last
      ++i;
      continue;
    }
    uint32_t end = i + 1;
    while (end < KEY_NAME_COUNT && follows(KEY_NAMES[end - 1], KEY_NAMES[end])) ++end;
    if (end - i >= 3) {
      if (!words.empty() && words.back().back() != ',') words.back() += ',';
      const char first = KEY_NAMES[i].name[0];
      if (std::strlen(KEY_NAMES[i].name) == 1) {
        words.push_back("the");
        words.push_back(std::isdigit(static_cast<unsigned char>(first)) ? "digits" : "letters");
      }
      words.push_back(quoted(KEY_NAMES[i].name) + ".." + quoted(KEY_NAMES[end - 1].name) + ",");
      i = end;
    } else {
      words.push_back(quoted(KEY_NAMES[i].name));
      ++i;
    }
  }
  if (!words.empty() && words.back().back() != ',') words.back() += ',';
  return words;
}

}  // namespace

std::string keyName(uint32_t code) {
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (KEY_NAMES[i].code == code) return KEY_NAMES[i].name;
  return "?";
}

void writeKeyNames(std::ostream& out) {
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i) out << KEY_NAMES[i].name << '\n';
}

void writeSilentKeyNames(std::ostream& out) {
  for (const char* name : SILENT_KEY_NAMES)
    if (keyCodeFromName(name) == 0) throw std::logic_error(std::string(name) + ": not in the key-name table");
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (silent(KEY_NAMES[i])) out << KEY_NAMES[i].name << '\n';
}

void writeKeyNamesMarkdown(std::ostream& out) {
  std::vector<std::string> words;
  std::istringstream opening("Key names are the Windows virtual-key names, written exactly (capital "
                             "letters, no blanks):");
  for (std::string word; opening >> word;) words.push_back(word);
  for (const std::string& word : keyNameWords()) words.push_back(word);
  std::istringstream closing("and " + quoted(keyName(0).c_str()) +
                             " for none. Digits and letters are those of the main keyboard. Any other "
                             "text (lower case, `F5` without `VK_`) means no key for that action. These "
                             "names are accepted but never act, since keyboard messages carry `VK_SHIFT`, "
                             "`VK_CONTROL` and `VK_MENU` for either side's key and mouse buttons send none:");
  for (std::string word; closing >> word;) words.push_back(word);
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (silent(KEY_NAMES[i])) words.push_back(quoted(KEY_NAMES[i].name));
  words.back() += '.';
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty() && line.size() + 1 + word.size() > MARKDOWN_COLUMNS) {
      out << line << '\n';
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  out << line << '\n';
}

bool writeLoadedSettings(const std::string& iniPath, std::ostream& out, std::string& error) {
  // Without a path, the current folder's settings file, the one the game reads at start.
  std::error_code ignored;
  std::string path = iniPath;
  if (path.empty() && std::filesystem::exists(SETTINGS_FILE_NAME, ignored)) path = SETTINGS_FILE_NAME;
  std::string content;
  if (!path.empty()) {
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path, ignored)) {
      error = path + ": cannot read the settings file";
      return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    content = text.str();
  }
  out << "settings file: "
      << (path.empty() ? "none (./" + std::string(SETTINGS_FILE_NAME) + " not found): the defaults apply" : path)
      << '\n';
  ScratchFolder folder;
  if (!path.empty()) std::ofstream(SETTINGS_FILE_NAME, std::ios::binary) << content;
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
