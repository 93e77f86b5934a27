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

constexpr uint32_t PRESET_RATES[] = {2, 4, 8, 16, 33, 66, 1000, 4000, 8000, 16000, 30000, 60000, 120000};
constexpr uint32_t KEY_A = 0x41;

// The menu line that chooses `rate`.
int32_t lineOfRate(uint32_t rate) {
  const uint32_t lines[] = {0, 2000, 0, 1000, 66, 33, 16, 8, 4, 2, 4000, 8000, 16000, 30000, 60000, 120000};
  for (int32_t line = 1; line <= 15; ++line)
    if (lines[line] == rate) return line;
  return -1;
}

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
  std::mt19937 random{20240601};
  uint64_t realMs = 0;      // virtual time since the start, not wrapped
  uint32_t lastGapMs = 0;   // the time that passed after the latest frame

  uint32_t gap() { return std::uniform_int_distribution<uint32_t>(1, 250)(random); }

  // One frame; returns the tick at which the script ran it.
  uint32_t frame(uint32_t ms) {
    const uint32_t ranAt = virtualTickCount();
    host.runFrame(ms);
    realMs += ms;
    lastGapMs = ms;
    return ranAt;
  }

  // A frame whose drawing is looked at: recorded, judged, then forgotten, so the
  // records never hold more than one frame.
  uint32_t watchedFrame(uint32_t ms, bool& drawn) {
    host.game().setRecording(true);
    const uint32_t ranAt = frame(ms);
    drawn = menuShown();
    host.game().clearRecords();
    host.game().setRecording(false);
    return ranAt;
  }

  // Taps `key` and runs frames until `effect` shows or the release is too old to act.
  // Returns whether it showed; `ranAt` is the tick of the frame where it did.
  template <typename Effect>
  bool tapUntil(uint32_t key, Effect effect, uint32_t* ranAt = nullptr) {
    const uint32_t tapped = virtualTickCount();
    host.tap(key);
    for (;;) {
      bool drawn = false;
      const uint32_t at = watchedFrame(gap(), drawn);
      if (effect(drawn)) {
        if (ranAt != nullptr) *ranAt = at;
        return true;
      }
      if (at - tapped >= RELEASE_WINDOW_MS) return false;
    }
  }

  template <typename Effect>
  void insist(uint32_t key, Effect effect, const char* what) {
    for (int attempt = 0; attempt < 100; ++attempt)
      if (tapUntil(key, effect)) return;
    FAIL() << what << " never happened in 100 releases";
  }

  void openMenu() {
    // In the idle loop the open key is asked on every frame: the next frame opens it.
    ASSERT_TRUE(tapUntil(KEY_F5, [](bool drawn) { return drawn; })) << "the menu did not open";
  }

  void closeMenu() { insist(KEY_NUMPAD0, [](bool drawn) { return !drawn; }, "closing the menu"); }

  void moveTo(int32_t line) {
    while (selectedIndex != line && !::testing::Test::HasFatalFailure()) {
      const int32_t from = selectedIndex;
      insist(line < from ? KEY_NUMPAD8 : KEY_NUMPAD2, [&](bool) { return selectedIndex != from; },
             "moving the selection");
      ASSERT_EQ(std::abs(selectedIndex - from), 1) << "one line per release";
    }
  }
};

TEST_F(Soak, DaysOfPlayAtEveryRateKeepThePaceTheMenuAndTheHeap) {
  const double days = soakDays();
  ASSERT_GT(days, 0);
  const uint64_t totalMs = static_cast<uint64_t>(days * 24 * 3600 * 1000);
  // Each preset rate at least once, more segments on longer runs.
  const size_t segments = std::max<size_t>(16, static_cast<size_t>(days * 2) * 16);
  const uint64_t segmentMs = totalMs / segments;

  setVirtualTickCount(0xFFFFFFFFu - 20 * 60 * 1000);  // the wrap comes after 20 minutes
  start();
  host.game().setRecording(false);

  uint64_t frames = 0;
  uint64_t checks = 0;
  uint64_t sessions = 0;
  uint32_t wraps = 0;
  int64_t heapAfterFirstSegment = 0;
  int64_t heapHighest = 0;
  std::vector<uint32_t> order(std::begin(PRESET_RATES), std::end(PRESET_RATES));
  for (size_t segment = 0; segment < segments; ++segment) {
    // Which rate: each preset in turn (shuffled each round), with a stop and a
    // return to the normal rate now and then.
    const size_t slot = segment % 16;
    if (slot == 0) std::shuffle(order.begin(), order.end(), random);
    uint32_t rate = slot < 13 ? order[slot] : slot == 13 ? 0 : slot == 14 ? 2000 : order[segment % 13];
    if (rate == currentRate) rate = rate == 2 ? 4 : 2;  // choosing the current rate shows nothing

    openMenu();
    ++sessions;
    moveTo(rate == 0 ? 2 : rate == 2000 ? 1 : lineOfRate(rate));
    uint32_t chosenAt = 0;
    for (int attempt = 0; attempt < 100 && currentRate != rate; ++attempt)
      tapUntil(KEY_NUMPAD5, [&](bool) { return currentRate == rate; }, &chosenAt);
    ASSERT_EQ(currentRate, rate) << "choosing line " << selectedIndex;
    const int64_t addedBefore = host.game().secondsAdded();
    // Real time, unwrapped, at which the choosing frame ran.
    const uint64_t chosenFrameMs = realMs - static_cast<uint32_t>(virtualTickCount() - chosenAt);
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
        for (int moves = random() % 6; moves > 0; --moves)
          tapUntil(random() % 2 ? KEY_NUMPAD2 : KEY_NUMPAD8, [](bool) { return false; });
        closeMenu();
        if (HasFatalFailure()) return;
        continue;
      }
      if (dice < 40) host.tap(dice % 2 ? KEY_A : (dice % 4 == 0 ? KEY_NUMPAD5 : KEY_NUMPAD2));

      // At least 31 ms after the last pacing, a frame's pacing consumes time, so the
      // added seconds are then exactly the whole periods since the choice.
      const bool consumes = lastGapMs >= 31;
      const uint32_t ms = gap();
      const uint32_t before = virtualTickCount();
      frame(ms);
      ++frames;
      wraps += virtualTickCount() < before;
      if (!consumes || rate == 0 || rate == NORMAL_RATE) continue;
      const uint64_t pacedMs = realMs - ms - chosenFrameMs;
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
