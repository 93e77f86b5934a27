// The contract of the natives each action sends, in order, written out here on purpose:
// a frame of the open menu reads the clock as seconds, minutes, hours and then draws
// each text with its ten calls; each line's action sends its own calls and no other.
// The ten calls of one text, with their arguments, are in text_drawing_test.cpp.

#include <string>
#include <vector>

#include "support/menu_contract.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

std::string nameOf(const std::string& call) { return call.substr(0, call.find(' ')); }

bool isDrawing(const std::string& call) {
  const std::string name = nameOf(call);
  return name.rfind("Text", 0) == 0 || name == "ScreenResolution" || name == "ClockSeconds" ||
         name == "ClockMinutes" || name == "ClockHours";
}

}  // namespace

class NativeOrder : public PluginTest {
 protected:
  std::vector<std::string> actionCallsSince(size_t first) const {
    std::vector<std::string> out;
    for (const std::string& call : callsSince(first))
      if (!isDrawing(call)) out.push_back(call);
    return out;
  }
};

TEST_F(NativeOrder, OpeningAsksTheScreenThenEachFrameReadsTheClockAndDrawsEveryText) {
  start();
  const size_t opened = callCount();
  player.openMenu();
  ASSERT_GT(callCount(), opened + 1);
  EXPECT_EQ(callsSince(opened)[0], "ScreenResolution &int &int") << "the window's size, before any frame";
  EXPECT_EQ(nameOf(callsSince(opened)[1]), "ClockSeconds") << "the first frame's first call";
  const size_t before = callCount();
  host.runFrame();
  const std::vector<std::string> frame = callsSince(before);
  const std::vector<std::string> text = {"ScreenResolution", "TextFont", "TextScale", "TextRgba", "TextFlag",
                                         "TextEffectA", "TextEffectB", "TextBegin", "TextAddString", "TextDraw"};
  const size_t texts = 2 + CONTRACT_LINE_COUNT;  // the title, the time line, every line
  ASSERT_EQ(frame.size(), 3 + texts * text.size()) << "calls in a frame of " << texts << " texts";
  EXPECT_EQ(std::vector<std::string>({nameOf(frame[0]), nameOf(frame[1]), nameOf(frame[2])}),
            std::vector<std::string>({"ClockSeconds", "ClockMinutes", "ClockHours"}))
      << "the time line's clock reads";
  for (size_t i = 3; i < frame.size(); ++i)
    ASSERT_EQ(nameOf(frame[i]), text[(i - 3) % text.size()]) << "call " << i << " of the frame";
}

TEST_F(NativeOrder, EachLineSendsItsOwnCallsAndNoOther) {
  setVirtualLocalTime(21, 34, 56);
  start();
  player.openMenu();
  // Stopped or at the normal rate, the menu's pacing sends nothing: only the actions do.
  const std::pair<const char*, std::vector<std::string>> lines[] = {
      {"Stop Time", {"ClockPause 1"}},
      {"Go 1 hour forward", {"ClockAdd 1 0 0"}},
      {"Go 1 hour backward", {"ClockAdd -1 0 0"}},
      {"Go 1 minute forward", {"ClockAdd 0 1 0"}},
      {"Go 1 minute backward", {"ClockAdd 0 -1 0"}},
      {"Set to system time", {"ClockSet 21 34 56"}},
      {"Reset to Normal (2s = 1m)", {"ClockPause 0"}},
      {"Reset to Normal (2s = 1m)", {"ClockPause 0"}},
      {"Remember on next game start: ", {}},
  };
  for (const auto& [caption, calls] : lines) {
    const int32_t line = contractLine(caption);
    ASSERT_TRUE(line >= 0 && player.moveTo(line)) << caption;
    const size_t before = callCount();
    player.choose();
    EXPECT_EQ(actionCallsSince(before), calls) << caption;
  }
}
