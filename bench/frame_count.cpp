// horavane-frame-count: instructions per frame, plug-in and floor, counted by callgrind.
//
//   valgrind --tool=callgrind --callgrind-out-file=DIR/frames.%p horavane-frame-count [FRAMES]
//
// For each frame it runs FRAMES measured frames (10000 by default) of the plug-in and
// then of the floor, after the same warm-up; callgrind's counts are zeroed when the
// measured frames start and dumped when they end, one dump per run, named
// "<frame> plugin|floor <FRAMES>". Instruction counts do not depend on the machine's
// load, so they hold still where times do not.

#include <valgrind/callgrind.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "frame_cases.h"

namespace {

std::string dumpName;  // the run being counted; empty for runs that only prepare or compare

}  // namespace

extern "C" void scriptWait(DWORD) {
  switch (bench::passFrame()) {
    case bench::Boundary::WarmingUp:
    case bench::Boundary::Steady:
      return;
    case bench::Boundary::Start:
      if (!dumpName.empty()) CALLGRIND_ZERO_STATS;
      return;
    case bench::Boundary::End:
      if (!dumpName.empty()) CALLGRIND_DUMP_STATS_AT(dumpName.c_str());
      throw bench::FramesDone{};
  }
}

int main(int argc, char** argv) {
  char* end = nullptr;
  const unsigned long frames = argc > 1 ? std::strtoul(argv[1], &end, 10) : 10000;
  if (argc > 2 || (argc == 2 && (*end != '\0' || frames == 0 || frames > 10000000))) {
    std::fprintf(stderr, "usage: %s [FRAMES]   (FRAMES: 1 to 10000000, got \"%s\")\n", argv[0],
                 argc > 1 ? argv[1] : "");
    return 2;
  }
  if (RUNNING_ON_VALGRIND == 0)
    std::fprintf(stderr, "horavane-frame-count: not under callgrind, nothing is counted\n");
  try {
    for (bench::Frame frame : bench::ALL_FRAMES) {
      uint64_t sum = 0;
      const std::string difference = bench::compareWithFloor(frame, 16, sum);
      if (!difference.empty()) {
        std::fprintf(stderr, "horavane-frame-count: plug-in and floor differ: %s\n", difference.c_str());
        bench::leaveWorkFolder();
        return 1;
      }
      const std::string name = std::string(bench::frameName(frame)) + " ";
      bench::preparePlugin(frame, frames);
      dumpName = name + "plugin " + std::to_string(frames);
      bench::runPlugin();
      dumpName.clear();
      bench::prepareFloor(frame, frames);
      dumpName = name + "floor " + std::to_string(frames);
      bench::runFloor(frame);
      dumpName.clear();
    }
  } catch (const std::exception& fault) {
    std::fprintf(stderr, "horavane-frame-count: %s\n", fault.what());
    bench::leaveWorkFolder();
    return 1;
  }
  bench::leaveWorkFolder();
  return 0;
}
