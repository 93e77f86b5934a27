// Text drawing: the ten native calls per line, their order and their slots; and the
// contract of where, how large, in which font and colour the menu draws each text.

#include <cstring>

#include "host/runtime.h"
#include "menu/menu.h"
#include "support/menu_contract.h"
#include "support/plugin_fixture.h"

namespace {

uint64_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

class TextDrawing : public PluginTest {};

// Written out here on purpose: the title at (40, 60), large in font 1; the time line at
// (60, 100) and line i at (60, 100 + 20 * (i + 2 rows, and one more for each group above
// its own)), small in font 0; white, the selected line in the highlight colour. At
// 1280x720 the window holds every line.
TEST_F(TextDrawing, MenuTextsStandWhereTheContractPutsThemInItsScaleFontAndColours) {
  struct Contract { int x, y; float scale; int font; };
  std::vector<Contract> contract = {{40, 60, 0.9f, 1}, {60, 100, 0.45f, 0}};
  for (int line = 0; line < CONTRACT_LINE_COUNT; ++line)
    contract.push_back({60, 100 + 20 * (line + 2 + static_cast<int>(MENU_CONTRACT[line].group)), 0.45f, 0});
  start();
  player.openMenu();
  const std::vector<DrawnText> texts = player.lastFrame();
  ASSERT_EQ(texts.size(), contract.size()) << "texts in a frame of the open menu";
  for (size_t i = 0; i < texts.size(); ++i) {
    const DrawnText& t = texts[i];
    EXPECT_EQ(t.x, float(contract[i].x) / 1280.0f) << t.text << ": x " << contract[i].x << " px, got " << t.x * 1280;
    EXPECT_EQ(t.y, float(contract[i].y) / 720.0f) << t.text << ": y " << contract[i].y << " px, got " << t.y * 720;
    EXPECT_EQ(t.scale, contract[i].scale) << t.text << ": scale";
    EXPECT_EQ(t.font, contract[i].font) << t.text << ": font";
    const bool highlighted = i == 2;  // line 0, selected at the first opening
    const int red = highlighted ? 246 : 255, green = highlighted ? 156 : 255, blue = highlighted ? 8 : 255;
    EXPECT_EQ(std::vector<int>({t.red, t.green, t.blue, t.alpha}), std::vector<int>({red, green, blue, 255}))
        << t.text << ": colour (red, green, blue, alpha), " << (highlighted ? "highlight" : "white");
  }
}

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
  host.game().clearRecords();
  host.game().setResolution(1, 1);
  drawText("x", 10, 10, 0.45f, 0, WHITE);
  EXPECT_EQ(host.game().calls().size(), 10u) << "the smallest screen is a screen";
  host.game().clearRecords();
  host.game().setResolution(1280, 0);
  start();
  player.openMenu();
  host.runFor(1000);
  EXPECT_TRUE(host.game().texts().empty()) << "the menu runs but draws nothing";
}
