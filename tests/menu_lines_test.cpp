// The menu's lines: every caption as the player reads it, which lines carry the mark
// of the current rate, and what the clock lines leave alone. What a player sees of
// choosing each line is in tests/scenarios/ (rate_lines, clock_lines, remember_rate).

#include <algorithm>

#include "clock/clock.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

class MenuLines : public PluginTest {};

// The one place that pins every caption byte for byte, against what players were
// shown before: a changed caption must fail here, and be changed here on purpose.
TEST_F(MenuLines, FirstOpeningShowsTitleTimeAndEveryCaptionAsPlayersKnowThem) {
  start();
  player.openMenu();
  EXPECT_EQ(player.lastFrameLines(), std::vector<std::string>({
                                         "Horavane",
                                         "Current time: 12:0:0",
                                         "Remember on next game start: OFF",
                                         "Reset to Normal (2s = 1m) (NOW ACTIVE)",
                                         "Stop Time",
                                         "Time x 2 (1s = 1m)",
                                         "Time x 30 (1s = 15m)",
                                         "Time x 60 (1s  = 30m)",
                                         "Time x 120 (1s  = 1h)",
                                         "Time x 240 (1s  = 2h)",
                                         "Time x 480 (1s  = 4h)",
                                         "Time x 960 (1s  = 8h)",
                                         "Time / 2 (4s = 1m)",
                                         "Time / 4 (8s = 1m)",
                                         "Time / 8 (16s = 1m)",
                                         "Time / 15 (30s = 1m)",
                                         "Time / 30 (1m = 1m)",
                                         "Time / 60 (2m = 1m)",
                                         "Own rate (NOW ACTIVE)",
                                         "Go 1 hour forward",
                                         "Go 1 hour backward",
                                         "Go 1 minute forward",
                                         "Go 1 minute backward",
                                         "Set to system time",
                                     }));
  // The title large in the title font, the rest small in the body font; the first
  // line selected at the first opening. Where each stands is in first_start.scn.
  const std::vector<DrawnText> texts = player.lastFrame();
  ASSERT_EQ(texts.size(), 2u + MENU_LINE_COUNT);
  EXPECT_FLOAT_EQ(texts[0].scale, 0.9f);
  EXPECT_EQ(texts[0].font, 1);
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) {
      EXPECT_FLOAT_EQ(texts[i].scale, 0.45f) << texts[i].text;
      EXPECT_EQ(texts[i].font, 0) << texts[i].text;
    }
    const bool selected = i == 2 + REMEMBER_LINE;
    EXPECT_EQ(drawnIn(texts[i], HIGHLIGHT), selected) << texts[i].text;
    EXPECT_EQ(drawnIn(texts[i], WHITE), !selected) << texts[i].text;
  }
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

// At a paced rate, as its own line moves the clock, each clock line makes its one call
// and leaves pacing untouched.
TEST_F(MenuLines, ClockLinesMoveTheClockAndLeavePacingAlone) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");  // 66 ms per game second
  const uint32_t chosenAt = virtualTickCount();
  start();
  player.openMenu();
  const std::pair<int32_t, const char*> lines[] = {{HOUR_FORWARD_LINE, "ClockAdd 1 0 0"},
                                                   {HOUR_BACK_LINE, "ClockAdd -1 0 0"},
                                                   {MINUTE_FORWARD_LINE, "ClockAdd 0 1 0"},
                                                   {MINUTE_BACK_LINE, "ClockAdd 0 -1 0"},
                                                   {SYSTEM_TIME_LINE, "ClockSet"}};
  for (const auto& [line, call] : lines) {
    ASSERT_TRUE(player.moveTo(line));
    const size_t before = callCount();
    player.choose();
    const std::vector<std::string> calls = callsSince(before);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [&](const std::string& c) { return c.rfind(call, 0) == 0; }),
              1)
        << "line " << line;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockPause 0"), 0) << "line " << line;
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
