// Key names: the contract of every name the settings file accepts and the Windows
// virtual-key code it gives, written out here on purpose, and every code of 1..165
// that no name gives. Exact lookups: letter case and blanks count.

#include <gtest/gtest.h>

#include <map>
#include <vector>
#include <string>

#include "input/keys.h"

namespace {

// Each row: names taking consecutive codes from `first`, or all `first` when `same`.
struct NameRow {
  std::vector<std::string> names;
  uint32_t first;
  bool same = false;
};

const NameRow WINDOWS_KEY_NAMES[] = {
    {{"NO_KEY"}, 0x00},
    {{"VK_LBUTTON", "VK_RBUTTON", "VK_CANCEL", "VK_MBUTTON", "VK_XBUTTON1", "VK_XBUTTON2"}, 0x01},
    {{"VK_BACK", "VK_TAB"}, 0x08},
    {{"VK_CLEAR", "VK_RETURN"}, 0x0C},
    {{"VK_SHIFT", "VK_CONTROL", "VK_MENU", "VK_PAUSE", "VK_CAPITAL"}, 0x10},
    {{"VK_KANA", "VK_HANGUEL", "VK_HANGUL"}, 0x15, true},
    {{"VK_JUNJA", "VK_FINAL"}, 0x17},
    {{"VK_HANJA", "VK_KANJI"}, 0x19, true},
    {{"VK_ESCAPE", "VK_CONVERT", "VK_NONCONVERT", "VK_ACCEPT", "VK_MODECHANGE"}, 0x1B},
    {{"VK_SPACE", "VK_PRIOR", "VK_NEXT", "VK_END", "VK_HOME", "VK_LEFT", "VK_UP", "VK_RIGHT", "VK_DOWN",
      "VK_SELECT", "VK_PRINT", "VK_EXECUTE", "VK_SNAPSHOT", "VK_INSERT", "VK_DELETE", "VK_HELP"},
     0x20},
    {{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}, 0x30},
    {{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", "P", "Q", "R", "S",
      "T", "U", "V", "W", "X", "Y", "Z"},
     0x41},
    {{"VK_LWIN", "VK_RWIN", "VK_APPS"}, 0x5B},
    {{"VK_SLEEP"}, 0x5F},
    {{"VK_NUMPAD0", "VK_NUMPAD1", "VK_NUMPAD2", "VK_NUMPAD3", "VK_NUMPAD4", "VK_NUMPAD5", "VK_NUMPAD6",
      "VK_NUMPAD7", "VK_NUMPAD8", "VK_NUMPAD9"},
     0x60},
    {{"VK_MULTIPLY", "VK_ADD", "VK_SEPARATOR", "VK_SUBTRACT", "VK_DECIMAL", "VK_DIVIDE"}, 0x6A},
    {{"VK_F1", "VK_F2", "VK_F3", "VK_F4", "VK_F5", "VK_F6", "VK_F7", "VK_F8", "VK_F9", "VK_F10",
      "VK_F11", "VK_F12", "VK_F13", "VK_F14", "VK_F15", "VK_F16"},
     0x70},
    {{"VK_NUMLOCK", "VK_SCROLL"}, 0x90},
    {{"VK_LSHIFT", "VK_RSHIFT", "VK_LCONTROL", "VK_RCONTROL", "VK_LMENU", "VK_RMENU"}, 0xA0},
};

}  // namespace

TEST(KeyNames, EveryNameGivesItsWindowsCodeAndNoOtherCodeOfOneTo165HasAName) {
  std::map<std::string, uint32_t> contract;
  for (const NameRow& row : WINDOWS_KEY_NAMES)
    for (size_t i = 0; i < row.names.size(); ++i)
      contract[row.names[i]] = row.first + (row.same ? 0 : static_cast<uint32_t>(i));
  ASSERT_EQ(contract.size(), 124u) << "names in the contract";
  std::map<uint32_t, std::string> named;  // code -> a name that gives it
  for (const auto& [name, code] : contract) {
    EXPECT_EQ(keyCodeFromName(name.c_str()), code) << "key name \"" << name << "\": contract code "
                                                   << code << ", plug-in code shown";
    named.emplace(code, name);
  }
  // The plug-in's table holds exactly these names, so the README lists no other.
  ASSERT_EQ(KEY_NAME_COUNT, 124u) << "names in the plug-in's table";
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    EXPECT_EQ(contract.count(KEY_NAMES[i].name), 1u) << "\"" << KEY_NAMES[i].name << "\" is no key name";
  for (uint32_t code = 1; code <= 165; ++code) {
    if (named.count(code) != 0) continue;
    for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
      EXPECT_NE(KEY_NAMES[i].code, code) << "code " << code << " has no name, but \"" << KEY_NAMES[i].name
                                         << "\" gives it";
  }
}

TEST(KeyNames, AnythingElseIsNoKey) {
  for (const char* name : {"NO_KEY", "", "c", "vk_f5", "VK_F5 ", " VK_F5", "F5", "NUMPAD5",
                           "VK_F17", "VK_F24", "VK_OEM_1", "VK_", "AA", "VK_F5\t"})
    EXPECT_EQ(keyCodeFromName(name), 0u) << '"' << name << '"';
  EXPECT_EQ(keyCodeFromName(nullptr), 0u);
}
