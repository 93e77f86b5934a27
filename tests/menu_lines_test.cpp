// The menu's lines: every caption as the player reads it, which lines carry the mark
// of the current rate, and what the clock lines leave alone. What a player sees of
// choosing each line is in tests/scenarios/ (rate_lines, clock_lines, remember_rate).

#include "clock/clock.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "support/menu_contract.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

class MenuLines : public PluginTest {};

// The contract of every word the menu shows: its lines' captions and rates, the title,
// the time line's prefix (then hours:minutes:seconds), the mark of the current rate
// and the remember line's OFF and ON.
TEST_F(MenuLines, TitleTimeLineCaptionsRatesAndMarksAreThoseOfTheContract) {
  host.game().setClock(7, 5, 9);
  start();
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  ASSERT_EQ(MENU_LINE_COUNT, CONTRACT_LINE_COUNT) << "lines in the menu";
  std::vector<std::string> expected = {"Horavane", "Current time: 7:5:9"};
  for (int32_t line = 0; line < CONTRACT_LINE_COUNT; ++line) {
    const auto& [caption, rate, group] = MENU_CONTRACT[line];
    EXPECT_STREQ(items[line].caption, caption) << "caption of line " << line;
    EXPECT_EQ(items[line].rate, rate) << "rate of line " << line << " (" << caption << ")";
    expected.push_back(caption + std::string(group == ContractGroup::Remember ? "OFF" : rate == 2000 ? " (NOW ACTIVE)" : ""));
  }
  player.openMenu();
  EXPECT_EQ(player.lastFrameLines(), expected) << "title, time line and lines at the first opening";
  player.choose();
  ASSERT_GE(player.lastFrameLines().size(), 3u);
  EXPECT_EQ(player.lastFrameLines()[2], "Remember on next game start: ON");
}

TEST_F(MenuLines, RateMatchingNoLineMarksNone) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=500\n");
  start();
  player.openMenu();
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  const std::vector<std::string> lines = player.lastFrameLines();
  ASSERT_EQ(lines.size(), 2u + MENU_LINE_COUNT);
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line)
    EXPECT_EQ(lines[2 + line], items[line].caption) << "line " << line << " carries a mark";
}

TEST_F(MenuLines, TimeLineReadsANullResultSlotAsZero) {
  start();
  player.openMenu();
  host.game().setNullResults(true);
  host.runFrame();
  EXPECT_EQ(player.lastFrameLines().at(1), std::string(TIME_PREFIX) + "0:0:0");
}

// At a paced rate each clock line moves the clock (what it sends: native_order_test.cpp)
// and leaves pacing untouched.
TEST_F(MenuLines, ClockLinesMoveTheClockAndLeavePacingAlone) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");  // 66 ms per game second
  const uint32_t chosenAt = virtualTickCount();
  start();
  player.openMenu();
  for (const char* caption : {"Go 1 hour forward", "Go 1 hour backward", "Go 1 minute forward", "Go 1 minute backward"}) {
    ASSERT_TRUE(player.moveTo(contractLine(caption))) << caption;
    player.choose();
  }
  EXPECT_EQ(currentRate, 4000u);
  EXPECT_TRUE(host.game().paused());
  // The moves cancel out: every second added is a whole period paced since the start.
  EXPECT_EQ(lastStepTick - chosenAt, 66 * host.game().secondsAdded());
}

TEST(RememberToggle, NextValueFollowsTheTruncatedRemainder) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 1}, {1, 0}, {2, 1}, {3, 0}, {-1, 0}, {-2, -1},
                                               {-3, 0}, {-4, -1}, {2147483647, 0},
                                               {-2147483647 - 1, -1}};
  for (const auto& [old, next] : cases) EXPECT_EQ(nextRememberRate(old), next) << old;
}
