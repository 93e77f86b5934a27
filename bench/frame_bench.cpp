// horavane-bench: time per frame of the plug-in and of its floor, side by side.
//
//   horavane-bench [--summary=FILE] [Google Benchmark flags]
//
// Before anything is timed, each frame's plug-in and floor runs are recorded and must
// issue the same native calls; otherwise the program stops with the first difference.
// After the runs it prints, per frame, the median time of the plug-in and of the floor,
// their ratio and the heap allocations per frame; --summary also writes them to FILE
// as tab-separated lines: frame, plug-in ns, floor ns, ratio, allocations per frame,
// and the frame in words.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "frame_cases.h"

namespace {

benchmark::State* timed = nullptr;  // the run Google Benchmark is timing, if any
uint64_t allocationsAtStart = 0;
uint64_t allocationsAtEnd = 0;
uint64_t callsAtStart = 0;
uint64_t callsAtEnd = 0;

constexpr uint32_t COMPARED_FRAMES = 64;

void measure(benchmark::State& state, bench::Frame frame, bool floor) {
  if (floor)
    bench::prepareFloor(frame, 0);
  else
    bench::preparePlugin(frame, 0);
  timed = &state;
  if (floor)
    bench::runFloor(frame);
  else
    bench::runPlugin();
  timed = nullptr;
  const double frames = static_cast<double>(state.iterations());
  if (frames == 0) return;
  state.counters["allocs/frame"] = static_cast<double>(allocationsAtEnd - allocationsAtStart) / frames;
  state.counters["natives/frame"] = static_cast<double>(callsAtEnd - callsAtStart) / frames;
}

// Whether a run ended without figures (an error, or skipped). Google Benchmark 1.8 put
// Run::skipped in place of Run::error_occurred; the first overload is taken where the
// library has `skipped`.
template <typename BenchmarkRun>
auto withoutFigures(const BenchmarkRun& run, int) -> decltype(static_cast<bool>(run.skipped)) {
  return static_cast<bool>(run.skipped);
}
template <typename BenchmarkRun>
bool withoutFigures(const BenchmarkRun& run, long) {
  return run.error_occurred;
}

// Keeps every repetition's figures while the console shows them as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  struct Figures {
    std::vector<double> cpuNs;
    double allocsPerFrame = 0;
    std::vector<double> nativesPerFrame;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || withoutFigures(run, 0)) continue;
      Figures& figures = collected[run.run_name.function_name];
      figures.cpuNs.push_back(run.GetAdjustedCPUTime());
      const auto allocs = run.counters.find("allocs/frame");
      if (allocs != run.counters.end())
        figures.allocsPerFrame = std::max(figures.allocsPerFrame, allocs->second.value);
      const auto natives = run.counters.find("natives/frame");
      if (natives != run.counters.end()) figures.nativesPerFrame.push_back(natives->second.value);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::map<std::string, Figures> collected;
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string benchmarkName(bench::Frame frame, bool floor) {
  return std::string(bench::frameName(frame)) + (floor ? "/floor" : "/plugin");
}

bool checkCallSequences() {
  for (bench::Frame frame : bench::ALL_FRAMES) {
    uint64_t sum = 0;
    const std::string difference = bench::compareWithFloor(frame, COMPARED_FRAMES, sum);
    if (!difference.empty()) {
      std::fprintf(stderr, "horavane-bench: plug-in and floor differ: %s\n", difference.c_str());
      return false;
    }
    std::printf("%-5s frame: plug-in and floor issue the same calls over %" PRIu32
                " frames (checksum %016" PRIx64 ")\n",
                bench::frameName(frame), COMPARED_FRAMES, sum);
  }
  return true;
}

bool printSummary(const CollectingReporter& reporter, const char* summaryPath) {
  std::FILE* summary = nullptr;
  if (summaryPath != nullptr && (summary = std::fopen(summaryPath, "w")) == nullptr) {
    std::fprintf(stderr, "horavane-bench: cannot write %s: %s\n", summaryPath, std::strerror(errno));
    return false;
  }
  std::printf("\n%-6s %14s %14s %7s %13s\n", "frame", "plug-in ns", "floor ns", "ratio", "allocs/frame");
  bool complete = true;
  for (bench::Frame frame : bench::ALL_FRAMES) {
    const auto plugin = reporter.collected.find(benchmarkName(frame, false));
    const auto floor = reporter.collected.find(benchmarkName(frame, true));
    if (plugin == reporter.collected.end() || floor == reporter.collected.end()) {
      complete = false;  // filtered out by --benchmark_filter
      continue;
    }
    if (plugin->second.nativesPerFrame != floor->second.nativesPerFrame) {
      std::fprintf(stderr, "horavane-bench: the %s frame's timed runs made different numbers of native "
                   "calls per frame, plug-in %g, floor %g: the figures compare unlike work\n",
                   bench::frameName(frame), median(plugin->second.nativesPerFrame),
                   median(floor->second.nativesPerFrame));
      return false;
    }
    const double pluginNs = median(plugin->second.cpuNs);
    const double floorNs = median(floor->second.cpuNs);
    const double ratio = floorNs > 0 ? pluginNs / floorNs : 0;
    std::printf("%-6s %14.1f %14.1f %7.2f %13.6g\n", bench::frameName(frame), pluginNs, floorNs,
                ratio, plugin->second.allocsPerFrame);
    if (summary != nullptr)
      std::fprintf(summary, "%s\t%.1f\t%.1f\t%.3f\t%.6g\t%s\n", bench::frameName(frame), pluginNs,
                   floorNs, ratio, plugin->second.allocsPerFrame, bench::frameTitle(frame).c_str());
  }
  if (summary != nullptr) std::fclose(summary);
  if (summaryPath != nullptr && !complete) {
    std::fprintf(stderr, "horavane-bench: %s lacks frames: a filter left out the plug-in or its floor\n",
                 summaryPath);
    return false;
  }
  return true;
}

// Our own flag, taken out before Google Benchmark sees the arguments.
const char* takeSummaryFlag(int& argc, char** argv) {
  const char* path = nullptr;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--summary=", 10) == 0)
      path = argv[i] + 10;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  return path;
}

}  // namespace

extern "C" void scriptWait(DWORD) {
  switch (bench::passFrame()) {
    case bench::Boundary::WarmingUp:
      return;
    case bench::Boundary::Start:
      if (timed == nullptr || timed->KeepRunning()) {
        allocationsAtStart = bench::allocationCount();
        callsAtStart = bench::nativeCallCount;
        return;
      }
      break;
    case bench::Boundary::Steady:
      if (timed == nullptr || timed->KeepRunning()) return;
      break;
    case bench::Boundary::End:
      break;
  }
  allocationsAtEnd = bench::allocationCount();
  callsAtEnd = bench::nativeCallCount;
  throw bench::FramesDone{};
}

int main(int argc, char** argv) {
  const char* summaryPath = takeSummaryFlag(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  try {
    if (!checkCallSequences()) return 1;
    for (bench::Frame frame : bench::ALL_FRAMES) {
      for (bool floor : {false, true}) {
        benchmark::RegisterBenchmark(benchmarkName(frame, floor).c_str(), measure, frame, floor)
            ->Unit(benchmark::kNanosecond);
      }
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bench::leaveWorkFolder();
    return printSummary(reporter, summaryPath) ? 0 : 1;
  } catch (const std::exception& fault) {
    std::fprintf(stderr, "horavane-bench: %s\n", fault.what());
    bench::leaveWorkFolder();
    return 1;
  }
}
