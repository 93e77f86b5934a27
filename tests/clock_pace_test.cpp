// The clock's pace over a whole simulated day: at every paced rate, through irregular
// frames, the game clock keeps to the ideal as closely as the pacing rules allow.

#include <algorithm>
#include <random>

#include "clock/clock.h"
#include "menu/menu.h"
#include "plugin/plugin.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

constexpr uint32_t DAY_MS = 24u * 60 * 60 * 1000;
constexpr uint32_t THRESHOLD_MS = 30;  // a pacing call adds nothing until more than this has passed

// Every rate line's rate that is paced (all but Normal and Stop), and own rates where
// the step changes kind or length: minute steps below 60, 1 ms steps from 60 to 119,
// steps of 30 ms (at the threshold) and 31 ms (just above it).
constexpr uint32_t PACED_RATES[] = {1000, 66,   33,    16,    8,     4,      2,  4000, 8000, 16000,
                                    30000, 60000, 120000, 1,  59,    60,     119, 1859, 1860, 2001};

// Frame gaps as a game gives them: mostly fast frames, many shorter than the threshold,
// some slow ones, and now and then a hitch of seconds.
uint32_t nextGapMs(std::mt19937& random) {
  const uint32_t kind = std::uniform_int_distribution<uint32_t>(0, 99)(random);
  if (kind < 70) return std::uniform_int_distribution<uint32_t>(1, 40)(random);
  if (kind < 99) return std::uniform_int_distribution<uint32_t>(41, 250)(random);
  return std::uniform_int_distribution<uint32_t>(1000, 10000)(random);
}

}  // namespace

class ClockPace : public PluginTest, public ::testing::WithParamInterface<uint32_t> {};

// The ideal at a pacing call at tick T is the number of whole steps in the real time
// from the moment the rate was chosen (t0) up to T: floor((T - t0) / step). A call adds
// every whole step once more than 30 ms have passed since the last step stamp, and
// nothing otherwise. So right after any call the real time not yet turned into game
// time, lag = (T - t0) - steps * step, is at least 0 (never ahead: no step twice) and
// below one step, or at most the 30 ms the plug-in waits for when a step is shorter
// than that: lag <= max(step - 1, 30). A lost step, a dropped remainder or a longer
// wait makes the lag grow past that bound; a duplicated step makes it negative. For
// steps longer than 30 ms this means the clock is exactly on the ideal after each call.
TEST_P(ClockPace, ADayOfIrregularFramesKeepsTheClockWithinOneStepOfTheIdeal) {
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

INSTANTIATE_TEST_SUITE_P(EveryPacedRate, ClockPace, ::testing::ValuesIn(PACED_RATES),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return "rate_" + std::to_string(info.param);
                         });

// The same bound through the plug-in's own frame loop, threads and all: a rate
// remembered in the settings file is paced from the first frame, once per frame.
TEST_F(PluginTest, TheFrameLoopPacesARememberedRateWithinTheSameBound) {
  for (uint32_t rate : {66u, 33u, 1000u, 4000u}) {
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

TEST_F(PluginTest, EveryPacedRateLineOfTheMenuIsCoveredByTheDay) {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line) {
    const uint32_t rate = static_cast<uint32_t>(items[line].rate);
    if (rate == 0 || rate == NORMAL_RATE) continue;  // the clock stopped, or the game's own
    EXPECT_NE(std::find(std::begin(PACED_RATES), std::end(PACED_RATES), rate), std::end(PACED_RATES))
        << "line " << line << ", \"" << items[line].caption << "\", rate " << rate;
  }
}
