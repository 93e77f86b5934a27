// The measured frames, checked without a clock: the plug-in and its floor issue the same
// calls, the menu frame draws every line, and steady frames allocate nothing.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "frame_cases.h"
#include "host/native_catalogue.h"
#include "host/natives.h"
#include "menu/menu.h"

namespace {

uint64_t allocationsAtStart = 0;
uint64_t allocationsAtEnd = 0;

void* volatile sink;  // keeps the compiler from leaving out allocations it could prove unused

class FrameCheck : public ::testing::TestWithParam<bench::Frame> {
 protected:
  void TearDown() override { bench::leaveWorkFolder(); }
};

std::string frameParamName(const ::testing::TestParamInfo<bench::Frame>& info) {
  return bench::frameName(info.param);
}

std::vector<bench::RecordedCall> recordPluginFrames(bench::Frame frame, uint32_t frames) {
  bench::preparePlugin(frame, frames);
  bench::startRecording();
  bench::runPlugin();  // the recording holds the warm-up too: the last frames are steady
  return bench::stopRecording();
}

}  // namespace

extern "C" void scriptWait(DWORD) {
  switch (bench::passFrame()) {
    case bench::Boundary::WarmingUp:
    case bench::Boundary::Steady:
      return;
    case bench::Boundary::Start:
      allocationsAtStart = bench::allocationCount();
      return;
    case bench::Boundary::End:
      allocationsAtEnd = bench::allocationCount();
      throw bench::FramesDone{};
  }
}

TEST_P(FrameCheck, PluginAndFloorIssueTheSameCalls) {
  uint64_t sum = 0;
  EXPECT_EQ(bench::compareWithFloor(GetParam(), 50, sum), "");
}

TEST_P(FrameCheck, SteadyFramesAllocateNothing) {
  bench::preparePlugin(GetParam(), 2000);
  bench::runPlugin();
  EXPECT_EQ(allocationsAtEnd - allocationsAtStart, 0u) << "over 2000 frames";
}

INSTANTIATE_TEST_SUITE_P(EveryFrame, FrameCheck, ::testing::ValuesIn(bench::ALL_FRAMES),
                         frameParamName);

// What each text says is pinned in tests/menu_lines_test.cpp; here, that the measured
// frame is the whole menu, the same from frame to frame.
TEST(FrameShape, MenuFrameDrawsTitleTimeAndAllLinesAt1280x720) {
  const std::vector<bench::RecordedCall> calls = recordPluginFrames(bench::Frame::Menu, 3);
  std::vector<std::vector<std::string>> frames(1);
  for (const bench::RecordedCall& call : calls) {
    if (call.hash == 0)
      frames.emplace_back();
    else if (bench::describe(call).rfind("TextAddString", 0) == 0)
      frames.back().push_back(call.text);
  }
  frames.pop_back();  // nothing follows the last frame end
  ASSERT_GE(frames.size(), 2u);
  ASSERT_EQ(frames.back().size(), 2u + MENU_LINE_COUNT);
  EXPECT_EQ(frames.back()[1], std::string(TIME_PREFIX) + "12:12:12") << "every clock query reads 12";
  EXPECT_EQ(frames[frames.size() - 2], frames.back()) << "steady frames draw the same";
}

TEST(FrameShape, PacedFrameFreezesAndAddsTheFramesGap) {
  const std::vector<bench::RecordedCall> calls = recordPluginFrames(bench::Frame::Paced, 2);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(bench::describe(calls[calls.size() - 3]), "ClockPause 1");
  EXPECT_EQ(bench::describe(calls[calls.size() - 2]), "ClockAdd 0 0 33");
}

TEST(FrameShape, FloorRefusesAFrameOfAnotherShape) {
  const std::vector<bench::RecordedCall> pauseOnly = {{HASH_CLOCK_PAUSE, {1}, ""}};
  try {
    bench::loadFloor(bench::Frame::Paced, pauseOnly);
    FAIL() << "a paced frame without ClockAdd was taken";
  } catch (const std::runtime_error& fault) {
    EXPECT_STREQ(fault.what(),
                 "floor of the paced frame: call 2 of the plug-in's frame should be ClockAdd, is missing");
  }
  EXPECT_THROW(bench::loadFloor(bench::Frame::Idle, pauseOnly), std::runtime_error)
      << "an idle frame issues no call at all";
}

// The comparison is only as good as the checksum: it must see every hash, integer and
// float slot and text, and nothing of where a text or an output lives.
TEST(Recorder, ChecksumSeesHashesSlotsAndTextsButNotAddresses) {
  const auto sumOf = [](const char* text, int32_t seconds, float x) {
    char copy[32];
    std::snprintf(copy, sizeof copy, "%s", text);  // a fresh address every time
    int32_t width = 0;
    int32_t height = 0;
    bench::startRecording();
    ScreenResolution(&width, &height);
    TextAddString(copy);
    ClockAdd(0, 0, seconds);
    TextDraw(x, 0.5f);
    bench::recordFrameEnd();
    const uint64_t sum = bench::checksum(bench::stopRecording());
    EXPECT_EQ(width, bench::SCREEN_WIDTH) << "the recorder answers the screen size";
    EXPECT_EQ(height, bench::SCREEN_HEIGHT);
    return sum;
  };
  const uint64_t base = sumOf("Some text", 33, 0.25f);
  EXPECT_EQ(sumOf("Some text", 33, 0.25f), base);
  EXPECT_NE(sumOf("Some tex", 33, 0.25f), base) << "text";
  EXPECT_NE(sumOf("Some text", -33, 0.25f), base) << "integer slot";
  EXPECT_NE(sumOf("Some text", 33, 0.2500001f), base) << "float slot";
  bench::startRecording();
  ClockAdd(0, 33, 0);
  const std::vector<bench::RecordedCall> minutes = bench::stopRecording();
  bench::startRecording();
  ClockSet(0, 33, 0);
  const std::vector<bench::RecordedCall> set = bench::stopRecording();
  EXPECT_NE(bench::checksum(minutes), bench::checksum(set)) << "hash";
  EXPECT_EQ(bench::describe(minutes.at(0)), "ClockAdd 0 33 0");
}

// Without this, zero allocations could mean a counter that never counts.
TEST(AllocationCount, CountsEveryKindOfAllocation) {
  const auto counted = [](auto allocateAndFree) {
    const uint64_t before = bench::allocationCount();
    allocateAndFree();
    return bench::allocationCount() - before;
  };
  EXPECT_EQ(counted([] { sink = std::malloc(24); std::free(sink); }), 1u);
  EXPECT_EQ(counted([] { sink = std::calloc(3, 8); std::free(sink); }), 1u);
  EXPECT_EQ(counted([] { sink = std::realloc(nullptr, 4096); std::free(sink); }), 1u);
  EXPECT_EQ(counted([] { sink = new std::string(100, 'x'); delete static_cast<std::string*>(sink); }), 2u)
      << "the string and its characters";
  EXPECT_EQ(counted([] {
              sink = ::operator new(64, std::align_val_t{64});
              ::operator delete(sink, std::align_val_t{64});
            }), 1u);
  EXPECT_EQ(counted([] {
              void* block = nullptr;
              if (posix_memalign(&block, 64, 64) == 0) sink = block;
              std::free(block);
            }), 1u);
}

TEST(AllocationCount, SeesThePluginReadingItsSettings) {
  const uint64_t before = bench::allocationCount();
  bench::preparePlugin(bench::Frame::Paced, 1);
  bench::runPlugin();  // loadSettings reads the file into a string
  EXPECT_GT(allocationsAtStart - before, 0u);
  bench::leaveWorkFolder();
}
