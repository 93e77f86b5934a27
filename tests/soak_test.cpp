// Soak: days of play in virtual time at every preset rate, across the tick count's
// wrap, with irregular frames and the player opening the menu, moving, choosing and
// closing: no drift, no lost or extra clock step, the menu always answers, and the
// heap does not grow.
//
// The normal run covers a few simulated hours (it crosses the wrap once). For the long
// run set HORAVANE_SOAK_DAYS, e.g. HORAVANE_SOAK_DAYS=50 (about 35 million frames,
// several minutes in an optimised build; `make soak` does that).

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>

#include "clock/clock.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

// ---- Heap accounting: every operator new of this program, in usable bytes ----

namespace {
std::atomic<int64_t> liveHeapBytes{0};

void* counted(size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  liveHeapBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(block)));
  return block;
}

void released(void* block) {
  if (block == nullptr) return;
  liveHeapBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)));
  std::free(block);
}
}  // namespace

void* operator new(size_t size) { return counted(size); }
void* operator new[](size_t size) { return counted(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return counted(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { released(block); }
void operator delete[](void* block) noexcept { released(block); }
void operator delete(void* block, size_t) noexcept { released(block); }
void operator delete[](void* block, size_t) noexcept { released(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { released(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { released(block); }

namespace {

double soakDays() {
  const char* text = std::getenv("HORAVANE_SOAK_DAYS");
  if (text == nullptr || *text == '\0') return 0.125;  // three hours
  char* end = nullptr;
  const double days = std::strtod(text, &end);
  if (*end != '\0' || !(days > 0) || days > 400) {
    ADD_FAILURE() << "HORAVANE_SOAK_DAYS=\"" << text << "\": expected a number of days above 0, at most 400";
    return 0;
  }
  return days;
}

}  // namespace

class Soak : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    player.setFrameLengths([this] { return nextFrame(); });
  }

  std::mt19937 random{20240601};
  uint32_t lastGapMs = 0;   // the time that passed after the latest frame
  uint32_t tickSeen = 0;    // the tick when realMs was last brought up to date
  uint64_t realMs = 0;      // virtual time since the start, not wrapped

  // The length of the next frame, the player's too; the frame starts with empty records,
  // so they never hold more than the latest frame, however many days are played.
  uint32_t nextFrame() {
    host.game().clearRecords();
    lastGapMs = std::uniform_int_distribution<uint32_t>(1, 250)(random);
    return lastGapMs;
  }

  // Brings realMs up to the tick; each call covers less than 2^32 ms.
  void catchUp() {
    realMs += virtualTickCount() - tickSeen;
    tickSeen = virtualTickCount();
  }

  void openMenu() {
    host.game().setRecording(true);
    player.openMenu();
    catchUp();
    ASSERT_TRUE(player.menuShown()) << "the menu did not open";
  }

  void closeMenu() {
    player.closeMenu();
    catchUp();
    ASSERT_FALSE(player.menuShown()) << "the menu did not close";
    host.game().clearRecords();
    host.game().setRecording(false);
  }
};

TEST_F(Soak, DaysOfPlayAtEveryRateKeepThePaceTheMenuAndTheHeap) {
  const double days = soakDays();
  ASSERT_GT(days, 0);
  const uint64_t totalMs = static_cast<uint64_t>(days * 24 * 3600 * 1000);
  std::vector<uint32_t> order = pacedPresetRates();
  // A round: each preset rate in turn (shuffled each round), a stop, a return to the
  // normal rate, and one preset more. Each preset at least once, more rounds on longer runs.
  const size_t round = order.size() + 3;
  const size_t segments = std::max<size_t>(1, static_cast<size_t>(days * 2)) * round;
  const uint64_t segmentMs = totalMs / segments;
  const Settings defaults = defaultSettings();
  const uint32_t ignoredKeys[] = {defaults.enterKey, defaults.downKey, keyCodeFromName("A")};

  setVirtualTickCount(0xFFFFFFFFu - 20 * 60 * 1000);  // the wrap comes after 20 minutes
  tickSeen = virtualTickCount();
  start();
  catchUp();
  host.game().setRecording(false);

  uint64_t frames = 0;
  uint64_t checks = 0;
  uint64_t sessions = 0;
  uint32_t wraps = 0;
  int64_t heapAfterFirstSegment = 0;
  int64_t heapHighest = 0;
  for (size_t segment = 0; segment < segments; ++segment) {
    const size_t slot = segment % round;
    if (slot == 0) std::shuffle(order.begin(), order.end(), random);
    uint32_t rate = slot < order.size()       ? order[slot]
                    : slot == order.size()     ? 0
                    : slot == order.size() + 1 ? NORMAL_RATE
                                               : order[segment % order.size()];
    if (rate == currentRate) rate = order[0] != rate ? order[0] : order[1];  // choosing the current rate shows nothing

    openMenu();
    ++sessions;
    const int32_t line = lineOfRate(rate);
    ASSERT_TRUE(player.moveTo(line)) << "moving the selection to line " << line << ", one line per release";
    catchUp();
    // The menu acts on ENTER in the frame after the release: pacing counts from there.
    const uint64_t chosenFrameMs = realMs;
    host.tap(settings.enterKey);
    host.runFrame(nextFrame());
    ASSERT_EQ(currentRate, rate) << "choosing line " << line;
    const int64_t addedBefore = host.game().secondsAdded();
    player.waitForMenu();
    closeMenu();
    if (HasFatalFailure()) return;

    const uint32_t periodMs = rate / 60 != 0 ? rate / 60 : rate;  // one game second, or below 60 ms a minute
    const int64_t secondsPerPeriod = rate / 60 != 0 ? 1 : 60;
    const uint64_t segmentEnd = realMs + segmentMs;
    while (realMs < segmentEnd) {
      // Now and then the player opens the menu, wanders and closes it again, or
      // presses keys the plug-in ignores while its menu is closed.
      const uint32_t dice = random() % 4000;
      if (dice == 0) {
        openMenu();
        ++sessions;
        for (int moves = random() % 6; moves > 0; --moves) random() % 2 ? player.down() : player.up();
        closeMenu();
        if (HasFatalFailure()) return;
        continue;
      }
      if (dice < 40) host.tap(ignoredKeys[dice % 3]);

      // At least 31 ms after the last pacing, a frame's pacing consumes time, so the
      // added seconds are then exactly the whole periods since the choice.
      const bool consumes = lastGapMs >= 31;
      const uint32_t before = virtualTickCount();
      host.runFrame(nextFrame());
      catchUp();
      ++frames;
      wraps += virtualTickCount() < before;
      if (!consumes || rate == 0 || rate == NORMAL_RATE) continue;
      const uint64_t pacedMs = realMs - lastGapMs - chosenFrameMs;
      const int64_t expected = static_cast<int64_t>(pacedMs / periodMs) * secondsPerPeriod;
      ++checks;
      ASSERT_EQ(host.game().secondsAdded() - addedBefore, expected)
          << "rate " << rate << ", " << pacedMs << " ms after choosing it, day "
          << static_cast<double>(realMs) / 86400000.0;
    }
    EXPECT_EQ(host.game().paused(), rate != NORMAL_RATE) << "rate " << rate;
    if (rate == 0 || rate == NORMAL_RATE) {
      EXPECT_EQ(host.game().secondsAdded(), addedBefore) << "rate " << rate << " adds nothing";
    }

    const int64_t heap = liveHeapBytes.load();
    if (segment == 0) heapAfterFirstSegment = heap;
    heapHighest = std::max(heapHighest, heap);
  }
  EXPECT_LE(heapHighest, heapAfterFirstSegment) << "the heap grew during the run";
  EXPECT_GE(wraps, 1u) << "the run never crossed the tick count's wrap";
  std::printf("soak: %.3f days, %llu idle frames, %llu pace checks, %llu menu sessions, %u wraps, heap %lld bytes\n",
              static_cast<double>(realMs) / 86400000.0, static_cast<unsigned long long>(frames),
              static_cast<unsigned long long>(checks), static_cast<unsigned long long>(sessions), wraps,
              static_cast<long long>(heapHighest));
}
