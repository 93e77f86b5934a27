// The key-name table: the names a settings file may bind, and their virtual-key codes.

#include "input/keys.h"

// In ascending code order; names that share a code follow the first one.
const KeyName KEY_NAMES[] = {
    {"NO_KEY", 0x00},
    {"VK_LBUTTON", 0x01}, {"VK_RBUTTON", 0x02}, {"VK_CANCEL", 0x03}, {"VK_MBUTTON", 0x04},
    {"VK_XBUTTON1", 0x05}, {"VK_XBUTTON2", 0x06},
    {"VK_BACK", 0x08}, {"VK_TAB", 0x09},
    {"VK_CLEAR", 0x0C}, {"VK_RETURN", 0x0D},
    {"VK_SHIFT", 0x10}, {"VK_CONTROL", 0x11}, {"VK_MENU", 0x12}, {"VK_PAUSE", 0x13},
    {"VK_CAPITAL", 0x14},
    {"VK_KANA", 0x15}, {"VK_HANGUEL", 0x15}, {"VK_HANGUL", 0x15},
    {"VK_JUNJA", 0x17}, {"VK_FINAL", 0x18},
    {"VK_HANJA", 0x19}, {"VK_KANJI", 0x19},
    {"VK_ESCAPE", 0x1B}, {"VK_CONVERT", 0x1C}, {"VK_NONCONVERT", 0x1D}, {"VK_ACCEPT", 0x1E},
    {"VK_MODECHANGE", 0x1F},
    {"VK_SPACE", 0x20}, {"VK_PRIOR", 0x21}, {"VK_NEXT", 0x22}, {"VK_END", 0x23},
    {"VK_HOME", 0x24}, {"VK_LEFT", 0x25}, {"VK_UP", 0x26}, {"VK_RIGHT", 0x27},
    {"VK_DOWN", 0x28}, {"VK_SELECT", 0x29}, {"VK_PRINT", 0x2A}, {"VK_EXECUTE", 0x2B},
    {"VK_SNAPSHOT", 0x2C}, {"VK_INSERT", 0x2D}, {"VK_DELETE", 0x2E}, {"VK_HELP", 0x2F},
    {"0", 0x30}, {"1", 0x31}, {"2", 0x32}, {"3", 0x33}, {"4", 0x34},
    {"5", 0x35}, {"6", 0x36}, {"7", 0x37}, {"8", 0x38}, {"9", 0x39},
    {"A", 0x41}, {"B", 0x42}, {"C", 0x43}, {"D", 0x44}, {"E", 0x45}, {"F", 0x46},
    {"G", 0x47}, {"H", 0x48}, {"I", 0x49}, {"J", 0x4A}, {"K", 0x4B}, {"L", 0x4C},
    {"M", 0x4D}, {"N", 0x4E}, {"O", 0x4F}, {"P", 0x50}, {"Q", 0x51}, {"R", 0x52},
    {"S", 0x53}, {"T", 0x54}, {"U", 0x55}, {"V", 0x56}, {"W", 0x57}, {"X", 0x58},
    {"Y", 0x59}, {"Z", 0x5A},
    {"VK_LWIN", 0x5B}, {"VK_RWIN", 0x5C}, {"VK_APPS", 0x5D},
    {"VK_SLEEP", 0x5F},
    {"VK_NUMPAD0", 0x60}, {"VK_NUMPAD1", 0x61}, {"VK_NUMPAD2", 0x62}, {"VK_NUMPAD3", 0x63},
    {"VK_NUMPAD4", 0x64}, {"VK_NUMPAD5", 0x65}, {"VK_NUMPAD6", 0x66}, {"VK_NUMPAD7", 0x67},
    {"VK_NUMPAD8", 0x68}, {"VK_NUMPAD9", 0x69},
    {"VK_MULTIPLY", 0x6A}, {"VK_ADD", 0x6B}, {"VK_SEPARATOR", 0x6C}, {"VK_SUBTRACT", 0x6D},
    {"VK_DECIMAL", 0x6E}, {"VK_DIVIDE", 0x6F},
    {"VK_F1", 0x70}, {"VK_F2", 0x71}, {"VK_F3", 0x72}, {"VK_F4", 0x73}, {"VK_F5", 0x74},
    {"VK_F6", 0x75}, {"VK_F7", 0x76}, {"VK_F8", 0x77}, {"VK_F9", 0x78}, {"VK_F10", 0x79},
    {"VK_F11", 0x7A}, {"VK_F12", 0x7B}, {"VK_F13", 0x7C}, {"VK_F14", 0x7D}, {"VK_F15", 0x7E},
    {"VK_F16", 0x7F},
    {"VK_NUMLOCK", 0x90}, {"VK_SCROLL", 0x91},
    {"VK_LSHIFT", 0xA0}, {"VK_RSHIFT", 0xA1}, {"VK_LCONTROL", 0xA2}, {"VK_RCONTROL", 0xA3},
    {"VK_LMENU", 0xA4}, {"VK_RMENU", 0xA5},
};

const uint32_t KEY_NAME_COUNT = sizeof KEY_NAMES / sizeof KEY_NAMES[0];

namespace {

// Equal text, byte for byte: the DLL links no C library to call strcmp in.
bool sameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

uint32_t keyCodeFromName(const char* name) {
  if (name == nullptr) return 0;
  for (const KeyName& entry : KEY_NAMES)
    if (sameText(entry.name, name)) return entry.code;
  return 0;
}
