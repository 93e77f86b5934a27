// The natives' hashes: the catalogue holds the game's own values.

#include <cstdint>
#include <iterator>
#include <utility>

#include <gtest/gtest.h>

#include "host/native_catalogue.h"

// The simulated game knows the natives by the plug-in's own catalogue, so no other test
// would notice a wrong hash. These are the values the game defines, written here on purpose.
TEST(NativeCatalogue, HashesAreTheGamesOwn) {
  const std::pair<const char*, uint64_t> game[] = {
      {"ClockAdd", 0xD716F30D8C8980E2}, {"ClockSet", 0x47C3B5848C3E45D8},
      {"ClockPause", 0x4055E40BD2DBEC1D}, {"ClockHours", 0x25223CA6B4D20B7F},
      {"ClockMinutes", 0x13D2B8ADD79640F2}, {"ClockSeconds", 0x494E97C2EF27C470},
      {"ScreenResolution", 0x888D57E407E63624}, {"TextFont", 0x66E0276CC5F6B9DA},
      {"TextScale", 0x07C837F9A01C34C9}, {"TextRgba", 0xBE6B23FFA53FB442},
      {"TextFlag", 0xC02F4DBFB51D988B}, {"TextEffectA", 0x465C84BC39F1C351},
      {"TextEffectB", 0x441603240D202FA6}, {"TextBegin", 0x25FBB336DF1804CB},
      {"TextAddString", 0x6C188BE134E074AA}, {"TextDraw", 0xCD015E5BB0D96A57},
  };
  ASSERT_EQ(NATIVE_COUNT, std::size(game));
  for (const auto& [name, hash] : game) {
    const NativeInfo* info = findNative(hash);
    ASSERT_NE(info, nullptr) << name << " is not in the catalogue under its hash";
    EXPECT_STREQ(info->name, name);
  }
}
