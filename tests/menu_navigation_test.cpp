// Moving through the menu, frame by frame: when each step polls the keys, the order of
// keys within one step, and which keys close it. What a player sees of scrolling,
// the ends of the list and the release window is in tests/scenarios/.

#include <algorithm>
#include <cmath>

#include "input/keys.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "support/menu_contract.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

class MenuNavigation : public PluginTest {
 protected:
  // Frames of frameMs until the selection moves; how many it took.
  int framesUntilSelectionMoves(int32_t from, uint32_t frameMs = 10) {
    for (int frames = 1; frames < 100; ++frames) {
      host.runFrame(frameMs);
      if (selectedIndex != from) return frames;
    }
    return -1;
  }
};

// Frames of 1 ms pin each delay to the millisecond: a step polls on the frame its
// delay has passed, and not one frame sooner.
// The three delays are pinned here, and in the action test below, in the milliseconds a
// player feels, on purpose: every other test takes them from menu.h.
TEST_F(MenuNavigation, FirstPollComesAfterTheOpeningDelayAndReleasesOlderThanTheWindowAreLost) {
  start();
  host.tap(settings.openKey);
  host.runFrame(1);  // the menu opens on this frame
  host.runFrames(50, 1);
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(0, 1), 100 - 50) << "polled when the 100 ms have passed";

  // After a move the next poll is 150 ms away: a release at once is too old by then.
  host.tap(settings.downKey);
  host.runFor(300, 10);
  EXPECT_EQ(selectedIndex, 1);
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(1, 1), 1) << "with no delay pending, keys act at once";
  host.runFrames(100, 1);
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(2, 1), 150 - 100) << "the rest of the move's 150 ms";
}

TEST_F(MenuNavigation, ActionIsFollowedByItsDelayOfDrawing) {
  start();
  player.openMenu();
  host.runFor(100, 10);
  const std::string rememberLine = player.lastFrameLines().at(2 + REMEMBER_LINE);
  host.tap(settings.enterKey);  // remembering on
  host.runFrame(1);
  EXPECT_NE(player.lastFrameLines().at(2 + REMEMBER_LINE), rememberLine) << "shown at once";
  host.runFrames(150, 1);
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(0, 1), 200 - 150) << "polled again when the 200 ms have passed";
}

TEST_F(MenuNavigation, StepDelayEndsOnTimeAcrossTheTickWrap) {
  setVirtualTickCount(0xFFFFFF00u);
  start();
  host.runFor(0xE0, 16);
  player.openMenu();  // the opening step's delay spans the wrap
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(0), 1);
  host.runFrames(5, 10);
  host.tap(settings.downKey);
  EXPECT_EQ(framesUntilSelectionMoves(1), MOVE_DELAY_MS / 10 - 5);
}

TEST_F(MenuNavigation, KeysInOneStepFollowTheirOrder) {
  start();
  player.openMenu();
  host.tap(settings.downKey);
  host.tap(settings.upKey);
  host.runFrame(10);
  EXPECT_EQ(selectedIndex, 0) << "UP wins over DOWN";
  host.runFor(200, 10);
  host.tap(settings.enterKey);
  host.tap(settings.backKey);
  host.runFrame(10);
  EXPECT_EQ(settings.rememberRate, 1) << "ENTER acted";
  host.runFor(300, 10);
  EXPECT_TRUE(player.menuShown()) << "ENTER acted and its step swallowed BACK";
  host.tap(settings.backKey);
  host.tap(settings.downKey);
  host.runFrame(10);
  EXPECT_FALSE(player.menuShown()) << "BACK with DOWN closes";
  EXPECT_EQ(selectedIndex, 0);
}

// The keyboard handler delivers an OPEN release while the step polls UP, after OPEN was
// polled: the step asks OPEN once more, and the menu closes there without moving. Left
// for the next step, 150 ms after the move, the release would be too old to count.
TEST_F(MenuNavigation, OpenReleasedWhileUpIsPolledClosesTheMenuInThatStep) {
  start();
  player.openMenu();
  player.down();
  host.runFrame();  // a step without keys: the next one polls on its first frame
  ASSERT_TRUE(player.menuShown());
  host.tap(settings.upKey);
  interruptNextTickRead([] {  // the step's check of its delay
    interruptNextTickRead([] {  // the poll of UP, which has a release to judge
      onKeyboardMessage(settings.openKey, 1, 0, FALSE, FALSE, FALSE, FALSE);
      onKeyboardMessage(settings.openKey, 1, 0, FALSE, FALSE, TRUE, TRUE);
    });
  });
  host.runFrame();
  EXPECT_FALSE(player.menuShown()) << "closed in the step that polled UP";
  EXPECT_EQ(selectedIndex, 1) << "the UP of the closing step is dropped";
}

// Written out here on purpose: a menu line's row of 20 px must end on the screen. The
// window holds (height - 180) / 20 lines, at least one, so that it fits below the time
// line with the three blank rows above the lowest lines; from 620 px on, all 22. Every
// height where that count changes is tried, and the pixel below it, from 200 px on.
TEST_F(MenuNavigation, EveryDrawnLineStaysOnTheScreenWhileTheSelectionWalksTheList) {
  std::vector<int32_t> heights = {200, 201, 700, 720, 768, 1080};
  for (int32_t height = 220; height <= 640; height += 20)
    for (int32_t near : {height - 1, height}) heights.push_back(near);
  player.setFrameLengths([] { return 50u; });  // long frames, so the walk takes few of them
  start();
  for (int32_t height : heights) {
    host.game().setResolution(1280, height);
    player.openMenu();
    const size_t windowLines = std::min<size_t>(22, std::max(1, (height - 180) / 20));
    const auto check = [&](const char* way) {
      const std::vector<DrawnText> texts = player.lastFrame();
      ASSERT_EQ(texts.size(), 2 + windowLines) << height << " px, line " << selectedIndex << way;
      for (const DrawnText& text : texts) {
        const long y = std::lround(text.y * static_cast<float>(height));
        EXPECT_LE(y + 20, height) << text.text << " at y " << y << ", line " << selectedIndex << way;
      }
      EXPECT_EQ(player.highlightedLine(), selectedIndex) << height << " px" << way;
    };
    while (selectedIndex < 21) {
      player.down();
      check(", going down");
    }
    while (selectedIndex > 0) {
      player.up();
      check(", going up");
    }
    player.closeMenu();
  }
}

// A windowed game resized while the menu is open: on the first frame at the new height
// the window holds as many lines as fit, (height - 180) / 20 and at least one, and
// shows the selection. Rows written out here: line 0 stands on row 2 below the time
// line at y 100, lines 1..16 from row 4, lines 17..21 from row 6, 20 px a row.
TEST_F(MenuNavigation, ScreenResizedWhileOpenRefitsTheWindowOnTheNextFrame) {
  const auto rowOf = [](int32_t line) { return line == 0 ? 2 : line <= 16 ? 3 : 4; };
  // The last frame shows `count` lines from `first`, the selection at its place.
  const auto expectWindow = [&](int32_t height, int32_t first, int32_t count, const char* when) {
    const std::vector<DrawnText> texts = player.lastFrame();
    ASSERT_EQ(texts.size(), 2u + count) << when;
    EXPECT_EQ(texts[2].text.rfind(MENU_CONTRACT[first].caption, 0), 0u) << when << ": " << texts[2].text;
    ASSERT_EQ(player.highlightedLine(), selectedIndex) << when;
    const DrawnText& selected = texts[2 + selectedIndex - first];
    EXPECT_EQ(std::lround(selected.y * static_cast<float>(height)),
              (rowOf(selectedIndex) + selectedIndex - first) * 20 + 100)
        << when;
    for (const DrawnText& text : texts)
      EXPECT_LE(std::lround(text.y * static_cast<float>(height)) + 20, height) << when << ": " << text.text;
  };
  struct Case {
    int32_t line, firstAt480;
  };
  const Case cases[] = {{0, 0}, {contractLine("Own rate"), 2}, {21, 7}};
  start();
  for (const Case& c : cases) {
    host.game().setResolution(1280, 720);
    player.openMenu();
    ASSERT_TRUE(player.moveTo(c.line));
    expectWindow(720, 0, 22, "opened at 720 px");
    host.game().setResolution(640, 480);
    host.runFrame();
    expectWindow(480, c.firstAt480, 15, "the first frame at 480 px");
    host.runFor(500);
    expectWindow(480, c.firstAt480, 15, "later at 480 px");
    host.game().setResolution(1280, 720);
    host.runFrame();
    expectWindow(720, 0, 22, "back at 720 px");
    player.closeMenu();
  }

  // Opened while the screen has no size, the menu has a window for the screen it gets.
  host.game().setResolution(0, 0);
  player.openMenu();
  EXPECT_FALSE(player.menuShown());
  host.game().setResolution(1280, 720);
  host.runFrame();
  expectWindow(720, 0, 22, "from 0x0 to 720 px");
  player.closeMenu();

  // A new width alone changes nothing, not even a frame with no width at all: the
  // window stays where scrolling left it.
  host.game().setResolution(640, 480);
  player.openMenu();
  ASSERT_TRUE(player.moveTo(12));
  expectWindow(480, 7, 15, "scrolled up from the last line");
  host.game().setResolution(0, 480);
  host.runFrame();
  EXPECT_FALSE(player.menuShown()) << "no width to draw on";
  host.game().setResolution(800, 480);
  host.runFrame();
  expectWindow(480, 7, 15, "800 px wide");
}

TEST_F(MenuNavigation, WithBackUnboundOnlyTheOpenKeyCloses) {
  const uint32_t defaultBackKey = defaultSettings().backKey;
  writeSettings("[CONTROLS]\nBACK=NO_KEY\n");
  start();
  player.openMenu();
  player.press(defaultBackKey);
  EXPECT_TRUE(player.menuShown());
  player.press(settings.openKey);
  EXPECT_FALSE(player.menuShown());
}

// The tick count is coarser than a frame (some 16 ms on Windows), so a game at a high
// frame rate runs several frames on one tick: the script runs on every one of them, in
// the idle loop (a paced rate asserts the freeze each frame) and in the menu (drawn each
// frame, or it would flicker). A step without a key is that one frame: the menu paces
// and polls the keys on every frame, not only when the tick moves.
TEST_F(MenuNavigation, ScriptRunsOnEveryFrameWhileTheTickStandsStill) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");
  start();
  size_t before = callCount();
  host.runFrames(5, 0);
  std::vector<std::string> calls = callsSince(before);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockPause 1"), 5) << "idle frames on one tick";
  player.openMenu();
  before = callCount();
  host.runFrames(5, 0);
  calls = callsSince(before);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockSeconds"), 5) << "menu frames on one tick";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClockPause 1"), 5) << "a step, paced, per frame";
  host.tap(settings.downKey);
  host.runFrame(0);
  EXPECT_EQ(player.highlightedLine(), 1) << "the key polled and acted on in the next frame";
}
