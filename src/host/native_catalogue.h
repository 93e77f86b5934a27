// The game's natives the plug-in uses: hash, name and argument kinds.
//
// The plug-in itself goes through the typed calls of natives.h; a simulated game
// uses this catalogue to recognise and check the calls it receives.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint64_t {
  HASH_CLOCK_ADD = 0xD716F30D8C8980E2ull,
  HASH_CLOCK_SET = 0x47C3B5848C3E45D8ull,
  HASH_CLOCK_PAUSE = 0x4055E40BD2DBEC1Dull,
  HASH_CLOCK_HOURS = 0x25223CA6B4D20B7Full,
  HASH_CLOCK_MINUTES = 0x13D2B8ADD79640F2ull,
  HASH_CLOCK_SECONDS = 0x494E97C2EF27C470ull,
  HASH_SCREEN_RESOLUTION = 0x888D57E407E63624ull,
  HASH_TEXT_FONT = 0x66E0276CC5F6B9DAull,
  HASH_TEXT_SCALE = 0x07C837F9A01C34C9ull,
  HASH_TEXT_RGBA = 0xBE6B23FFA53FB442ull,
  HASH_TEXT_FLAG = 0xC02F4DBFB51D988Bull,
  HASH_TEXT_EFFECT_A = 0x465C84BC39F1C351ull,
  HASH_TEXT_EFFECT_B = 0x441603240D202FA6ull,
  HASH_TEXT_BEGIN = 0x25FBB336DF1804CBull,
  HASH_TEXT_ADD_STRING = 0x6C188BE134E074AAull,
  HASH_TEXT_DRAW = 0xCD015E5BB0D96A57ull,
};

struct NativeInfo {
  uint64_t hash;
  const char* name;
  const char* arguments;  // one letter per slot: i = int, f = float, p = pointer to int, s = text
};

constexpr NativeInfo NATIVE_CATALOGUE[] = {
    {HASH_CLOCK_ADD, "ClockAdd", "iii"},
    {HASH_CLOCK_SET, "ClockSet", "iii"},
    {HASH_CLOCK_PAUSE, "ClockPause", "i"},
    {HASH_CLOCK_HOURS, "ClockHours", ""},
    {HASH_CLOCK_MINUTES, "ClockMinutes", ""},
    {HASH_CLOCK_SECONDS, "ClockSeconds", ""},
    {HASH_SCREEN_RESOLUTION, "ScreenResolution", "pp"},
    {HASH_TEXT_FONT, "TextFont", "i"},
    {HASH_TEXT_SCALE, "TextScale", "ff"},
    {HASH_TEXT_RGBA, "TextRgba", "iiii"},
    {HASH_TEXT_FLAG, "TextFlag", "i"},
    {HASH_TEXT_EFFECT_A, "TextEffectA", "iiiii"},
    {HASH_TEXT_EFFECT_B, "TextEffectB", "iiiii"},
    {HASH_TEXT_BEGIN, "TextBegin", "s"},
    {HASH_TEXT_ADD_STRING, "TextAddString", "s"},
    {HASH_TEXT_DRAW, "TextDraw", "ff"},
};

constexpr size_t NATIVE_COUNT = sizeof NATIVE_CATALOGUE / sizeof NATIVE_CATALOGUE[0];

// The catalogue entry for `hash`, or nullptr for a hash the plug-in never uses.
inline const NativeInfo* findNative(uint64_t hash) {
  for (const NativeInfo& info : NATIVE_CATALOGUE)
    if (info.hash == hash) return &info;
  return nullptr;
}
