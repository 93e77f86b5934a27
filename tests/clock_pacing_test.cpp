// Clock pacing: whole steps from elapsed real time, carried remainders, no drift.

#include <random>

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
  for (uint32_t rate : {0u, 2000u}) {
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

// Over a simulated day of irregular frames the clock never strays more than one step
// from the ideal pace, at every preset rate.
TEST_F(ClockPacing, IrregularFramesDoNotDrift) {
  std::mt19937 random(7);
  for (uint32_t rate : {2u, 4u, 8u, 16u, 33u, 66u, 1000u, 4000u, 30000u, 120000u}) {
    host.game().clearRecords();
    currentRate = rate;
    const uint32_t start = virtualTickCount();
    lastStepTick = start;
    const int64_t before = host.game().secondsAdded();
    const uint32_t stepMs = rate / 60 != 0 ? rate / 60 : rate;
    const int64_t secondsPerStep = rate / 60 != 0 ? 1 : 60;
    uint32_t passed = 0;
    host.game().setRecording(false);
    while (passed < 24u * 3600 * 1000 / 8) {  // three hours per rate keeps it quick
      const uint32_t gap = std::uniform_int_distribution<uint32_t>(1, 250)(random);
      advanceVirtualTickCount(gap);
      passed += gap;
      paceClock();
      const int64_t added = host.game().secondsAdded() - before;
      const int64_t ideal = int64_t{passed / stepMs} * secondsPerStep;
      ASSERT_LE(added, ideal) << "rate " << rate << " after " << passed << " ms";
      ASSERT_GE(added, ideal - int64_t{2} * secondsPerStep * (31 / stepMs + 1))
          << "rate " << rate << " after " << passed << " ms";
    }
    // Whatever is left unpaced is less than one period plus the 30 ms threshold.
    EXPECT_LT(virtualTickCount() - lastStepTick, stepMs + 31) << "rate " << rate;
    host.game().setRecording(true);
  }
}

TEST_F(PluginTest, AdjustmentsMoveTheClockBySignedAmountsAcrossMidnight) {
  host.game().setClock(23, 59, 0);
  addToClock(1, 0, 0);
  EXPECT_EQ(host.game().hours(), 0);
  addToClock(0, -1, 0);
  addToClock(-1, 0, 0);
  EXPECT_EQ(host.game().hours(), 23);
  EXPECT_EQ(host.game().minutes(), 58);
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockAdd 1 0 0", "ClockAdd 0 -1 0",
                                                     "ClockAdd -1 0 0"}));
  EXPECT_EQ(host.game().calls()[1].slots[1], 0x00000000FFFFFFFFull) << "no sign extension";
}

TEST_F(PluginTest, SystemTimeSetsTheClockToTheLocalTimeOfDay) {
  setenv("TZ", "UTC-3", 1);  // three hours east of UTC, so local and UTC differ
  tzset();
  for (;;) {
    const std::time_t before = std::time(nullptr);
    setClockToLocalTime();
    if (std::time(nullptr) != before) continue;  // a second boundary passed: try again
    std::tm local = *std::localtime(&before);
    EXPECT_EQ(callsSince(callCount() - 1).front(),
              "ClockSet " + std::to_string(local.tm_hour) + " " + std::to_string(local.tm_min) +
                  " " + std::to_string(local.tm_sec));
    std::tm utc = *std::gmtime(&before);
    EXPECT_EQ((local.tm_hour - utc.tm_hour + 24) % 24, 3);
    break;
  }
  unsetenv("TZ");
  tzset();
  // The game's clock has no leap second, whatever the system reports.
  SYSTEMTIME leapSecond{};
  leapSecond.wHour = 23;
  leapSecond.wMinute = 59;
  leapSecond.wSecond = 60;
  const size_t before = callCount();
  setVirtualLocalTime(leapSecond);
  setClockToLocalTime();
  EXPECT_EQ(callsSince(before), std::vector<std::string>({"ClockSet 23 59 59"}));
}
