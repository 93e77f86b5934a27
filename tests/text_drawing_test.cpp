// Text drawing: the ten native calls per line, their order and their slots; and the
// hashes every native call goes by.

#include <cstring>
#include <iterator>

#include "host/native_catalogue.h"
#include "host/runtime.h"
#include "menu/menu.h"
#include "support/plugin_fixture.h"

namespace {

uint64_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

class TextDrawing : public PluginTest {};
class SimulatedGame : public PluginTest {};

TEST_F(TextDrawing, DrawTextIssuesTenCallsInOrderWithEncodedSlots) {
  host.game().setResolution(1920, 1080);
  drawText("Horavane", 60, 100, 0.45f, 0, TextColour{255.9f, 8.0f, 0.5f, 255.0f});
  EXPECT_EQ(callsSince(0), std::vector<std::string>({
                               "ScreenResolution &int &int",
                               "TextFont 0",
                               "TextScale 0 0.449999988",
                               "TextRgba 255 8 0 255",
                               "TextFlag 0",
                               "TextEffectA 5 5 5 5 5",
                               "TextEffectB 0 0 0 0 0",
                               "TextBegin \"STRING\"",
                               "TextAddString \"Horavane\"",
                               "TextDraw 0.03125 0.0925925896",
                           }));
  const std::vector<NativeCall>& calls = host.game().calls();
  EXPECT_EQ(calls[2].slots[1], floatBits(0.45f)) << "a float in the low half, high half zero";
  EXPECT_EQ(calls[9].slots[0], floatBits(60.0f / 1920.0f));
  EXPECT_EQ(calls[9].slots[1], floatBits(100.0f / 1080.0f));
  ASSERT_EQ(host.game().texts().size(), 1u);
  EXPECT_EQ(host.game().texts()[0].red, 255) << "colour components are truncated";
}

TEST_F(TextDrawing, EmptyTextIsStillDrawn) {
  drawText("", 0, 0, 1.0f, 4, WHITE);
  EXPECT_EQ(host.game().calls().size(), 10u);
  EXPECT_EQ(callsSince(8).front(), "TextAddString \"\"");
}

TEST_F(TextDrawing, ScreenWithoutSizeGetsNoText) {
  for (const auto& [width, height] : {std::pair{0, 720}, {1280, 0}, {-1280, 720}, {1280, -1}}) {
    host.game().clearRecords();
    host.game().setResolution(width, height);
    drawText("x", 10, 10, 0.45f, 0, WHITE);
    EXPECT_EQ(callsSince(0), std::vector<std::string>({"ScreenResolution &int &int"}))
        << width << "x" << height;
  }
  host.game().setResolution(1280, 0);
  start();
  player.openMenu();
  host.runFor(1000);
  EXPECT_TRUE(host.game().texts().empty()) << "the menu runs but draws nothing";
}

TEST_F(SimulatedGame, UnknownNativeIsReported) {
  // The simulated game's own check: a hash outside the catalogue is an error.
  nativeInit(0x1234);
  nativeCall();
  ASSERT_EQ(host.game().errors().size(), 1u);
  EXPECT_NE(host.game().errors()[0].find("unknown native hash 0x0000000000001234"), std::string::npos);
  host.game().clearErrors();
}

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
