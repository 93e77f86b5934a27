// Moving through the menu: step delays, the release window, scrolling, closing.

#include <algorithm>

#include "menu/menu.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

class MenuNavigation : public PluginTest {
 protected:
  // The highlighted line's text in the last frame, or "" when none is highlighted.
  std::string highlighted() const {
    for (const DrawnText& text : textsOfLastFrame())
      if (text.green == 156) return text.text;
    return "";
  }
  // The menu lines (not title or time) of the last frame, with their y in pixels.
  std::vector<std::pair<std::string, int>> window() const {
    std::vector<std::pair<std::string, int>> out;
    const std::vector<DrawnText> texts = textsOfLastFrame();
    for (size_t i = 2; i < texts.size(); ++i)
      out.emplace_back(texts[i].text, static_cast<int>(texts[i].y * host.game().height() + 0.5f));
    return out;
  }
  // Frames of frameMs until the selection moves; how many it took.
  int framesUntilSelectionMoves(int32_t from, uint32_t frameMs = 10) {
    for (int frames = 1; frames < 100; ++frames) {
      host.runFrame(frameMs);
      if (selectedIndex != from) return frames;
    }
    return -1;
  }
};

TEST_F(MenuNavigation, SelectionStopsAtBothEndsAndSurvivesReopening) {
  start();
  openTheMenu();
  press(KEY_NUMPAD8);
  EXPECT_EQ(selectedIndex, 0);
  for (int i = 0; i < 25; ++i) press(KEY_NUMPAD2);
  EXPECT_EQ(selectedIndex, 21);
  EXPECT_EQ(highlighted(), "Set to system time");
  press(KEY_NUMPAD0);
  EXPECT_FALSE(menuShown());
  openTheMenu();
  EXPECT_EQ(highlighted(), "Set to system time");
}

// Frames of 1 ms pin each delay to the millisecond: a step polls on the frame its
// delay has passed, and not one frame sooner.
TEST_F(MenuNavigation, FirstPollComesAfter100MsAndReleasesOlderThan100MsAreLost) {
  start();
  host.tap(KEY_F5);
  host.runFrame(1);  // the menu opens on this frame
  host.runFrames(50, 1);
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(0, 1), 50) << "polled when 100 ms have passed";

  // After a move the next poll is 150 ms away: a release at once is too old by then.
  host.tap(KEY_NUMPAD2);
  host.runFor(300, 10);
  EXPECT_EQ(selectedIndex, 1);
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(1, 1), 1) << "with no delay pending, keys act at once";
  host.runFrames(100, 1);
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(2, 1), 50) << "the rest of the 150 ms delay";
}

TEST_F(MenuNavigation, ActionIsFollowedBy200MsOfDrawing) {
  start();
  openTheMenu();
  host.runFor(100, 10);
  host.tap(KEY_NUMPAD5);  // remember: ON
  host.runFrame(1);
  EXPECT_EQ(textsOfLastFrame()[2].text, "Remember on next game start: ON") << "shown at once";
  host.runFrames(150, 1);
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(0, 1), 50) << "polled again when 200 ms have passed";
}

TEST_F(MenuNavigation, StepDelayEndsOnTimeAcrossTheTickWrap) {
  setVirtualTickCount(0xFFFFFF00u);
  start();
  host.runFor(0xE0, 16);
  openTheMenu();  // the opening step's 100 ms span the wrap
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(0), 1);
  host.runFrames(5, 10);
  host.tap(KEY_NUMPAD2);
  EXPECT_EQ(framesUntilSelectionMoves(1), 10);
}

TEST_F(MenuNavigation, KeysInOneStepFollowTheirOrder) {
  start();
  openTheMenu();
  host.tap(KEY_NUMPAD2);
  host.tap(KEY_NUMPAD8);
  host.runFrame(10);
  EXPECT_EQ(selectedIndex, 0) << "UP wins over DOWN";
  host.runFor(200, 10);
  host.tap(KEY_NUMPAD5);
  host.tap(KEY_NUMPAD0);
  host.runFrame(10);
  EXPECT_EQ(textsOfLastFrame()[2].text, "Remember on next game start: ON");
  host.runFor(300, 10);
  EXPECT_TRUE(menuShown()) << "ENTER acted and its step swallowed BACK";
  host.tap(KEY_NUMPAD0);
  host.tap(KEY_NUMPAD2);
  host.runFrame(10);
  EXPECT_FALSE(menuShown()) << "BACK with DOWN closes";
  EXPECT_EQ(selectedIndex, 0);
}

TEST_F(MenuNavigation, OpenKeyClosesTheMenuToo) {
  start();
  openTheMenu();
  host.tap(KEY_F5);
  host.runFrame();
  EXPECT_FALSE(menuShown());
  host.runFor(200);
  EXPECT_FALSE(menuShown()) << "the closing release does not reopen it";
}

TEST_F(MenuNavigation, WithBackUnboundOnlyTheOpenKeyCloses) {
  writeSettings("[CONTROLS]\nBACK=NO_KEY\n");
  start();
  openTheMenu();
  press(KEY_NUMPAD0);
  EXPECT_TRUE(menuShown());
  press(KEY_F5);
  EXPECT_FALSE(menuShown());
}

TEST_F(MenuNavigation, ShortScreenScrollsTheWindowWithTheSelection) {
  host.game().setResolution(640, 480);  // 18 lines fit
  start();
  openTheMenu();
  std::vector<std::pair<std::string, int>> lines = window();
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[16], std::make_pair(std::string("Own rate (NOW ACTIVE)"), 480));
  EXPECT_EQ(lines[17], std::make_pair(std::string("Go 1 hour forward"), 520));
  for (int i = 0; i < 18; ++i) press(KEY_NUMPAD2);
  lines = window();
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines.front(), std::make_pair(std::string("Reset to Normal (2s = 1m) (NOW ACTIVE)"), 160));
  EXPECT_EQ(lines.back().first, "Go 1 hour backward");
  for (int i = 0; i < 5; ++i) press(KEY_NUMPAD2);
  EXPECT_EQ(window().front().first, "Time x 30 (1s = 15m)") << "lines 4..21";
  for (int i = 0; i < 21; ++i) press(KEY_NUMPAD8);
  EXPECT_EQ(window().front().first, "Remember on next game start: OFF");
  EXPECT_EQ(window().size(), 18u);
}

TEST_F(MenuNavigation, ReopeningStartsAtTheTopUntilTheFirstStepEnds) {
  host.game().setResolution(640, 480);
  start();
  openTheMenu();
  for (int i = 0; i < 21; ++i) press(KEY_NUMPAD2);
  press(KEY_NUMPAD0);
  host.tap(KEY_F5);
  host.runFrame(10);
  EXPECT_EQ(window().front().first, "Remember on next game start: OFF");
  EXPECT_EQ(highlighted(), "") << "the selected line is outside the first window";
  host.runFor(100, 10);
  EXPECT_EQ(window().front().first, "Time x 30 (1s = 15m)");
  EXPECT_EQ(highlighted(), "Set to system time");
}

TEST_F(MenuNavigation, TallScreenDrawsAllLinesAndTinyScreenNone) {
  host.game().setResolution(1920, 1080);
  start();
  openTheMenu();
  EXPECT_EQ(window().size(), 22u);
  press(KEY_NUMPAD0);
  host.game().setResolution(320, 139);  // no room for a single line
  openTheMenu();
  EXPECT_EQ(linesOfLastFrame().size(), 2u);
  press(KEY_NUMPAD2);
  const size_t before = callCount();
  press(KEY_NUMPAD5);
  EXPECT_EQ(selectedIndex, 1) << "keys still work";
  const std::vector<std::string> calls = callsSince(before);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "ClockPause 0"), calls.end());
}
