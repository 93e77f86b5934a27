// Clock pacing: whole steps from elapsed real time, carried remainders, and no drift
// over a simulated day at every paced rate; and the one-shot clock adjustments.

#include <algorithm>
#include <ctime>
#include <random>

#include "clock/clock.h"
#include "menu/menu.h"
#include "plugin/plugin.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

constexpr uint32_t DAY_MS = 24u * 60 * 60 * 1000;
constexpr uint32_t THRESHOLD_MS = 30;  // a pacing call adds nothing until more than this has passed

// Every paced rate of the menu's lines (all but Normal, Stop and the own rate), and own
// rates where the step changes kind or length: minute steps below 60, 1 ms steps from
// 60 to 119, steps of 30 ms (at the threshold) and 31 ms (just above it).
std::vector<uint32_t> pacedRates() {
  std::vector<uint32_t> rates = pacedPresetRates();
  // Own rates at the edges of the two modes; one a preset line has already is not
  // repeated, since every rate names a test of its own.
  for (uint32_t ownRate : {1u, 59u, 60u, 119u, 1859u, 1860u, 2001u})
    if (std::find(rates.begin(), rates.end(), ownRate) == rates.end()) rates.push_back(ownRate);
  return rates;
}

// Frame gaps as a game gives them: mostly fast frames, many shorter than the threshold,
// some slow ones, and now and then a hitch of seconds.
uint32_t nextGapMs(std::mt19937& random) {
  const uint32_t kind = std::uniform_int_distribution<uint32_t>(0, 99)(random);
  if (kind < 70) return std::uniform_int_distribution<uint32_t>(1, 40)(random);
  if (kind < 99) return std::uniform_int_distribution<uint32_t>(41, 250)(random);
  return std::uniform_int_distribution<uint32_t>(1000, 10000)(random);
}

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

class ClockPacingDay : public PluginTest, public ::testing::WithParamInterface<uint32_t> {};

// The ideal at a pacing call at tick T is the number of whole steps in the real time
// from the moment the rate was chosen (t0) up to T: floor((T - t0) / step). A call adds
// every whole step once more than 30 ms have passed since the last step stamp, and
// nothing otherwise. So right after any call the real time not yet turned into game
// time, lag = (T - t0) - steps * step, is at least 0 (never ahead: no step twice) and
// below one step, or at most the 30 ms the plug-in waits for when a step is shorter
// than that: lag <= max(step - 1, 30). A lost step, a dropped remainder or a longer
// wait makes the lag grow past that bound; a duplicated step makes it negative. For
// steps longer than 30 ms this means the clock is exactly on the ideal after each call.
TEST_P(ClockPacingDay, ADayOfIrregularFramesKeepsTheClockWithinOneStepOfTheIdeal) {
  const uint32_t rate = GetParam();
  const bool minuteSteps = rate / 60 == 0;
  const uint32_t stepMs = minuteSteps ? rate : rate / 60;
  const int64_t stepSeconds = minuteSteps ? 60 : 1;
  const int64_t allowedLag = std::max<int64_t>(stepMs - 1, THRESHOLD_MS);

  resetPluginState();
  setVirtualTickCount(0u - DAY_MS / 2);  // the day crosses the tick count's wrap
  const uint32_t t0 = virtualTickCount();
  selectRate(rate);  // as the menu chooses it: the clock frozen, pacing counts from now
  ASSERT_TRUE(host.game().paused());
  host.game().setRecording(false);

  std::mt19937 random(rate);
  uint32_t passed = 0;
  int64_t calls = 0;
  while (passed < DAY_MS) {
    const uint32_t gap = nextGapMs(random);
    host.elapse(gap);  // the tick and the game's own (frozen) clock
    passed += gap;
    paceClock();
    ++calls;
    const int64_t added = host.game().secondsAdded();
    ASSERT_EQ(added % stepSeconds, 0) << "rate " << rate << ": a part of a step was added";
    const int64_t steps = added / stepSeconds;
    const int64_t lag = int64_t{passed} - steps * stepMs;
    ASSERT_GE(lag, 0) << "rate " << rate << ", " << passed << " ms in: ahead of the ideal by "
                      << (-lag + stepMs - 1) / stepMs << " steps";
    ASSERT_LE(lag, allowedLag) << "rate " << rate << ", " << passed << " ms in: "
                               << steps << " steps given, " << passed / stepMs << " ideal";
    ASSERT_EQ(lastStepTick, t0 + static_cast<uint32_t>(steps) * stepMs)
        << "rate " << rate << ": the plug-in consumed other time than the game received";
  }
  EXPECT_GT(calls, 100000) << "a day of frames";
  // The day's steps and nothing else moved the clock from 12:00:00.
  const int64_t secondOfDay = (12 * 3600 + host.game().secondsAdded()) % 86400;
  EXPECT_EQ(host.game().hours() * 3600 + host.game().minutes() * 60 + host.game().seconds(),
            secondOfDay) << "rate " << rate;
}

INSTANTIATE_TEST_SUITE_P(EveryPacedRate, ClockPacingDay, ::testing::ValuesIn(pacedRates()),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return "rate_" + std::to_string(info.param);
                         });

// The same bound through the plug-in's own frame loop, threads and all: a rate
// remembered in the settings file is paced from the first frame, once per frame.
TEST_F(ClockPacing, TheFrameLoopPacesARememberedRateWithinTheSameBound) {
  for (uint32_t rate : pacedRates()) {
    const bool minuteSteps = rate / 60 == 0;
    const int64_t stepMs = minuteSteps ? rate : rate / 60;
    const int64_t stepSeconds = minuteSteps ? 60 : 1;
    writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=" + std::to_string(rate) + "\n");
    host.load();
    host.game().reset();
    host.game().setRecording(false);
    std::mt19937 random(rate);
    int64_t pacedAt = 0;  // real time since the script started, at this frame's pacing
    while (pacedAt < 10 * 60 * 1000) {
      const uint32_t gap = nextGapMs(random);
      host.runFrame(gap);  // the script runs, then `gap` passes
      const int64_t steps = host.game().secondsAdded() / stepSeconds;
      const int64_t lag = pacedAt - steps * stepMs;
      ASSERT_GE(lag, 0) << "rate " << rate << ", " << pacedAt << " ms in";
      ASSERT_LE(lag, std::max<int64_t>(stepMs - 1, THRESHOLD_MS))
          << "rate " << rate << ", " << pacedAt << " ms in";
      pacedAt += gap;
    }
    EXPECT_TRUE(host.game().paused()) << "rate " << rate;
    host.unload();
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

TEST_F(ClockAdjustments, SystemTimeSetsTheClockToTheLocalTimeOfDay) {
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
