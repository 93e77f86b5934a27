// Text drawing: the ten native calls per line, their order and their slots.

#include <cstring>

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
