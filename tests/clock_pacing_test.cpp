// Clock pacing: whole steps from elapsed real time and carried remainders (no drift over
// days at every preset rate, through the frame loop and the menu: soak_test.cpp); and
// the one-shot clock adjustments.

#include "clock/clock.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

struct PacingCase {
  uint32_t rate;
  uint32_t elapsedMs;
  const char* clockAdd;  // the ClockAdd sent, or nullptr for none
  uint32_t consumedMs;   // how far lastStepTick moves
};

}  // namespace

class ClockPacing : public PluginTest {
 protected:
  void paceAfter(uint32_t rate, uint32_t elapsedMs) {
    currentRate = rate;
    lastStepTick = virtualTickCount();
    advanceVirtualTickCount(elapsedMs);
    paceClock();
  }
};

TEST_F(ClockPacing, WholeStepsAreAddedAndTheRemainderCarriesOver) {
  const PacingCase cases[] = {
      {1000, 50, "ClockAdd 0 0 3", 48},   // 16 ms per game second
      {33, 100, "ClockAdd 0 3 0", 99},    // below 60: whole game minutes
      {60000, 31, "ClockAdd 0 0 0", 0},   // sent even when nothing is whole yet
      {66, 31, "ClockAdd 0 0 31", 31},    // 1 ms per game second
      {59, 200, "ClockAdd 0 3 0", 177},
      {120000, 5000, "ClockAdd 0 0 2", 4000},
      {1, 31, "ClockAdd 0 31 0", 31},
      {1859, 31, "ClockAdd 0 0 1", 30},   // 30 ms per game second, 31 at 1860
      {1000, 30, nullptr, 0},             // 30 ms or less adds nothing
  };
  for (const PacingCase& c : cases) {
    host.game().clearRecords();
    paceAfter(c.rate, c.elapsedMs);
    const uint32_t start = virtualTickCount() - c.elapsedMs;
    std::vector<std::string> expected = {"ClockPause 1"};
    if (c.clockAdd != nullptr) expected.push_back(c.clockAdd);
    EXPECT_EQ(callsSince(0), expected) << "rate " << c.rate << ", " << c.elapsedMs << " ms";
    EXPECT_EQ(lastStepTick - start, c.consumedMs) << "rate " << c.rate;
  }
}

TEST_F(ClockPacing, NormalRateAndStopCallNoNativeAtAll) {
  for (uint32_t rate : {0u, NORMAL_RATE}) {
    paceAfter(rate, 5000);
    EXPECT_EQ(host.game().callCount(), 0u) << "rate " << rate;
  }
}

TEST_F(ClockPacing, ElapsedTimeIsMeasuredAcrossTheTickWrap) {
  setVirtualTickCount(0xFFFFFFF0u);
  paceAfter(1000, 64);  // from 2^32 - 16 to 48
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockPause 1", "ClockAdd 0 0 4"}));
  EXPECT_EQ(lastStepTick, 48u);
}

TEST_F(ClockPacing, WeeksWithoutAFrameNeverTurnTheClockBack) {
  // 1 ms per game second, and per game minute: 2^31 + 5 ms give more steps than an int holds.
  for (const auto& [rate, stepSeconds] : {std::pair{66u, 1}, std::pair{1u, 60}}) {
    currentRate = rate;
    lastStepTick = 0;
    setVirtualTickCount(0x80000005u);
    host.game().setClock(0, 0, 0);
    paceClock();
    const std::string steps = std::to_string(int64_t{0x80000005} % (86400 / stepSeconds));
    EXPECT_EQ(callsSince(0).back(),
              stepSeconds == 1 ? "ClockAdd 0 0 " + steps : "ClockAdd 0 " + steps + " 0");
    EXPECT_EQ(host.game().hours() * 3600 + host.game().minutes() * 60 + host.game().seconds(),
              int64_t{0x80000005} * stepSeconds % 86400)
        << "rate " << rate << ": the same time of day as all the steps would give";
  }
}

class ClockAdjustments : public PluginTest {};

// The clock lines' effect on the game clock, midnight included, is in
// tests/scenarios/clock_lines.scn; here, how a negative amount reaches the game.
TEST_F(ClockAdjustments, NegativeAmountsTravelAsThirtyTwoBitsWithoutSignExtension) {
  addToClock(0, -1, 0);
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockAdd 0 -1 0"}));
  EXPECT_EQ(host.game().calls()[0].slots[1], 0x00000000FFFFFFFFull);
}

// The local time reaching the game is in native_order_test.cpp; here, the one it cannot take.
TEST_F(ClockAdjustments, TheGamesClockHasNoLeapSecond) {
  setVirtualLocalTime(23, 59, 60);  // a leap second
  setClockToLocalTime();
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockSet 23 59 59"}));
}
