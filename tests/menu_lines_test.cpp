// The menu's lines as the player sees them, and what ENTER does on each.

#include <algorithm>

#include "clock/clock.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

const std::vector<std::string> DEFAULT_LINES = {
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
};

const uint32_t LINE_RATES[] = {0, 2000, 0, 1000, 66, 33, 16, 8, 4, 2, 4000, 8000, 16000, 30000, 60000, 120000};

}  // namespace

class MenuLines : public PluginTest {
 protected:
  void selectLine(int32_t line) {
    while (selectedIndex < line) press(KEY_NUMPAD2);
    while (selectedIndex > line) press(KEY_NUMPAD8);
  }
  std::vector<std::string> activeLines() const {
    std::vector<std::string> out;
    for (const std::string& text : linesOfLastFrame())
      if (text.find(" (NOW ACTIVE)") != std::string::npos) out.push_back(text);
    return out;
  }
};

TEST_F(MenuLines, OpenMenuShowsTitleTimeAndEveryLineInPlace) {
  host.game().setClock(12, 0, 0);
  start();
  host.game().setClock(12, 0, 0);
  openTheMenu();
  const std::vector<DrawnText> texts = textsOfLastFrame();
  ASSERT_EQ(linesOfLastFrame(), DEFAULT_LINES);
  auto at = [&](size_t i, int x, int y) {
    EXPECT_FLOAT_EQ(texts[i].x, x / 1280.0f) << texts[i].text;
    EXPECT_FLOAT_EQ(texts[i].y, y / 720.0f) << texts[i].text;
  };
  at(0, 40, 60);
  at(1, 60, 100);
  at(2, 60, 140);
  at(3, 60, 180);
  at(18, 60, 480);
  at(19, 60, 520);
  at(23, 60, 600);
  EXPECT_FLOAT_EQ(texts[0].scale, 0.9f);
  EXPECT_EQ(texts[0].font, 1);
  for (size_t i = 1; i < texts.size(); ++i) {
    EXPECT_FLOAT_EQ(texts[i].scale, 0.45f);
    EXPECT_EQ(texts[i].font, 0);
    const bool highlighted = i == 2;  // line 0 is selected at the first opening
    EXPECT_EQ(texts[i].green, highlighted ? 156 : 255) << texts[i].text;
    EXPECT_EQ(texts[i].blue, highlighted ? 8 : 255) << texts[i].text;
  }
}

TEST_F(MenuLines, TimeLineShowsNumbersWithoutLeadingZeros) {
  start();
  host.game().setClock(7, 5, 9);
  openTheMenu();
  EXPECT_EQ(linesOfLastFrame()[1], "Current time: 7:5:9");
  host.game().setClock(23, 0, 0);
  host.runFrame();
  EXPECT_EQ(linesOfLastFrame()[1], "Current time: 23:0:0");
  host.game().setNullResults(true);
  host.runFrame();
  EXPECT_EQ(linesOfLastFrame()[1], "Current time: 0:0:0") << "a null result slot reads as 0";
}

TEST_F(MenuLines, EveryRateLineMakesItsRateCurrent) {
  const std::string file = "[SETTINGS]\nOWNRATE=500\n";
  writeSettings(file);
  start();
  openTheMenu();
  for (int32_t line = 1; line <= 16; ++line) {
    selectLine(line);
    const size_t before = callCount();
    const uint32_t rate = line == 16 ? 500 : LINE_RATES[line];
    press(KEY_NUMPAD5);
    EXPECT_EQ(currentRate, rate) << "line " << line;
    const std::string pause = rate == 2000 ? "ClockPause 0" : "ClockPause 1";
    const std::vector<std::string> calls = callsSince(before);
    EXPECT_NE(std::find(calls.begin(), calls.end(), pause), calls.end()) << "line " << line;
    EXPECT_EQ(host.game().paused(), rate != 2000) << "line " << line;
    const std::vector<std::string> active = activeLines();
    ASSERT_EQ(active.size(), 1u) << "line " << line;
    EXPECT_EQ(linesOfLastFrame()[line + 2], active[0]) << "the chosen line carries the suffix";
  }
  EXPECT_TRUE(menuShown()) << "actions leave the menu open";
  EXPECT_EQ(readSettings(), file) << "nothing is written while not remembering";
}

TEST_F(MenuLines, PacedRateStartsCountingWhenChosen) {
  start();
  openTheMenu();
  selectLine(3);  // x2: 16 ms per game second
  host.runFor(5000);  // time the game's clock would otherwise have run
  host.game().setClock(6, 0, 0);
  const uint32_t chosenAt = virtualTickCount();  // ENTER acts on the next frame, at this tick
  press(KEY_NUMPAD5);
  host.runFor(1600);
  const int32_t paced = (host.game().hours() - 6) * 3600 + host.game().minutes() * 60 + host.game().seconds();
  const int32_t ideal = static_cast<int32_t>((virtualTickCount() - chosenAt) / 16);
  EXPECT_LE(paced, ideal) << "the time before the choice is not paced";
  EXPECT_GE(paced, ideal - 3) << "at most the last frames are not paced yet";
}

TEST_F(MenuLines, NormalRateReleasesTheClockEveryTimeItIsChosen) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n");
  start();
  openTheMenu();
  selectLine(1);
  for (int i = 0; i < 2; ++i) {
    const size_t before = callCount();
    press(KEY_NUMPAD5);
    const std::vector<std::string> calls = callsSince(before);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockPause 0"), 1);
    EXPECT_FALSE(host.game().paused());
    if (i == 1) {
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockPause 1"), 0) << "no pacing";
    }
  }
}

TEST_F(MenuLines, OwnRateSharesTheSuffixWithEqualPresets) {
  writeSettings("[SETTINGS]\nOWNRATE=0\n");
  start();
  openTheMenu();
  selectLine(2);
  press(KEY_NUMPAD5);
  EXPECT_EQ(activeLines(), std::vector<std::string>({"Stop Time (NOW ACTIVE)", "Own rate (NOW ACTIVE)"}));
  EXPECT_EQ(linesOfLastFrame()[2], "Remember on next game start: OFF") << "line 0 never carries it";
}

TEST_F(MenuLines, RateMatchingNoLineMarksNone) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=500\n");
  start();
  openTheMenu();
  EXPECT_TRUE(activeLines().empty());
}

TEST_F(MenuLines, ClockLinesMoveTheClockAndLeavePacingAlone) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");  // 66 ms per game second
  const uint32_t chosenAt = virtualTickCount();
  start();
  openTheMenu();
  const std::pair<int32_t, const char*> lines[] = {{17, "ClockAdd 1 0 0"}, {18, "ClockAdd -1 0 0"},
                                                   {19, "ClockAdd 0 1 0"}, {20, "ClockAdd 0 -1 0"},
                                                   {21, "ClockSet"}};
  for (const auto& [line, call] : lines) {
    selectLine(line);
    const size_t before = callCount();
    press(KEY_NUMPAD5);
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

TEST_F(MenuLines, RememberLineTogglesAndWritesOnlyItsOwnKey) {
  writeSettings("; my settings\r\n[CONTROLS]\r\nOPEN = VK_F5\r\n\r\n[SETTINGS]\r\nREMEMBER_RATE=0\r\nUPDATERATE=33\r\n");
  start();
  openTheMenu();
  press(KEY_NUMPAD5);
  EXPECT_EQ(linesOfLastFrame()[2], "Remember on next game start: ON");
  EXPECT_EQ(readSettings(),
            "; my settings\r\n[CONTROLS]\r\nOPEN = VK_F5\r\n\r\n[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=33\r\n");
  EXPECT_EQ(currentRate, 2000u) << "turning remembering on changes no rate";
  selectLine(4);
  press(KEY_NUMPAD5);
  EXPECT_NE(readSettings().find("UPDATERATE=66\r\n"), std::string::npos);
  selectLine(0);
  press(KEY_NUMPAD5);
  EXPECT_EQ(linesOfLastFrame()[2], "Remember on next game start: OFF");
  EXPECT_NE(readSettings().find("REMEMBER_RATE=0\r\nUPDATERATE=66\r\n"), std::string::npos)
      << "turning it off leaves the stored rate";
  selectLine(1);
  press(KEY_NUMPAD5);
  EXPECT_NE(readSettings().find("UPDATERATE=66\r\n"), std::string::npos) << "not remembering";
}

TEST_F(MenuLines, RememberedRateCarriesOverToTheNextStart) {
  start();
  openTheMenu();
  press(KEY_NUMPAD5);  // remember: ON
  selectLine(15);      // 120000
  press(KEY_NUMPAD5);
  host.unload();
  EXPECT_EQ(readSettings(), "[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=120000\r\n");
  host.game().reset();
  start();
  EXPECT_EQ(currentRate, 120000u);
  EXPECT_TRUE(host.game().paused());
}

TEST(RememberToggle, NextValueFollowsTheTruncatedRemainder) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 1}, {1, 0}, {2, 1}, {3, 0}, {-1, 0}, {-2, -1},
                                               {-3, 0}, {-4, -1}, {2147483647, 0},
                                               {-2147483647 - 1, -1}};
  for (const auto& [old, next] : cases) EXPECT_EQ(nextRememberRate(old), next) << old;
}

TEST_F(MenuLines, OddRememberValuesToggleAsStoredAndAreWrittenSigned) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=-2\n");
  start();
  openTheMenu();
  EXPECT_EQ(linesOfLastFrame()[2], "Remember on next game start: OFF");
  press(KEY_NUMPAD5);
  EXPECT_EQ(settings.rememberRate, -1);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=-1\n");
}
