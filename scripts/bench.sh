#!/bin/bash
# The plug-in's cost per frame against the floor, in one table: time (Google Benchmark,
# median CPU time of interleaved repetitions), heap allocations, and instructions
# (callgrind, which a busy machine does not disturb).
#
#   scripts/bench.sh [BUILD_DIR]     BUILD_DIR defaults to build/bench, built beforehand
#
# Environment: BENCH_REPETITIONS (5), BENCH_MIN_TIME in seconds per repetition (0.5),
# BENCH_FRAMES counted by callgrind per run (10000).
set -euo pipefail

build_dir=${1:-build/bench}
bin=$build_dir/bench
repetitions=${BENCH_REPETITIONS:-5}
min_time=${BENCH_MIN_TIME:-0.5}
frames=${BENCH_FRAMES:-10000}

fail() {
  echo "bench.sh: $*" >&2
  exit 1
}

for program in horavane-bench horavane-frame-count; do
  [ -x "$bin/$program" ] || fail "$bin/$program: no such program (build it with: make bench)"
done
command -v valgrind >/dev/null || fail "valgrind: not installed (scripts/setup.sh installs it)"

work=$(mktemp -d "${TMPDIR:-/tmp}/horavane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
time_log=$build_dir/bench-time.log
count_log=$build_dir/bench-count.log

echo "bench.sh: timing frames ($repetitions interleaved repetitions of ${min_time}s; log: $time_log)"
"$bin/horavane-bench" --benchmark_repetitions="$repetitions" --benchmark_min_time="$min_time" \
  --benchmark_enable_random_interleaving=true --benchmark_color=false \
  --summary="$work/time.tsv" >"$time_log" 2>&1 ||
  fail "$bin/horavane-bench failed; its last lines, from $time_log:
$(tail -n 5 "$time_log")"

echo "bench.sh: counting instructions under callgrind ($frames frames per run; log: $count_log)"
valgrind --tool=callgrind --callgrind-out-file="$work/frames.%p" \
  "$bin/horavane-frame-count" "$frames" >"$count_log" 2>&1 ||
  fail "callgrind run of $bin/horavane-frame-count failed; its last lines, from $count_log:
$(tail -n 5 "$count_log")"

# One line per counted run: "<frame> plugin|floor <instructions per frame>".
for dump in "$work"/frames.*; do
  awk '
    /^desc: Trigger: Client Request: / { n = split(substr($0, 32), w, " "); name = w[1] " " w[2]; runs = w[3] }
    /^totals: / { total = $2 }
    END { if (name != "" && runs > 0 && total != "") printf "%s %.1f\n", name, total / runs }
  ' "$dump"
done >"$work/count.txt"

figure() {  # figure FILE FRAME FIELD
  awk -v frame="$2" -v field="$3" '$1 == frame { print $field; found = 1 } END { exit !found }' "$1" ||
    fail "$1: no figure for the $2 frame"
}
instructions() {  # instructions FRAME plugin|floor
  awk -v frame="$1" -v kind="$2" '$1 == frame && $2 == kind { print $3; found = 1 } END { exit !found }' \
    "$work/count.txt" || fail "callgrind gave no count for the $1 frame's $2 run (see $count_log)"
}

model=$(lscpu | awk -F: '/^Model name/ { gsub(/^ +/, "", $2); print $2; exit }')
cores=$(nproc)
compiler_path=$(awk -F= '/^CMAKE_CXX_COMPILER:/ { print $2 }' "$build_dir/CMakeCache.txt")
compiler=$("${compiler_path:-c++}" --version | head -n 1)

echo
echo "| Frame | Plug-in ns/frame | Floor ns/frame | Ratio | Allocs/frame | Plug-in instr/frame | Floor instr/frame | Ratio | Goal |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
for frame in idle paced menu; do
  case $frame in
    idle | paced) goal=2 ;;
    menu) goal=1.5 ;;
  esac
  title=$(awk -F'\t' -v frame=$frame '$1 == frame { print $6 }' "$work/time.tsv")
  plugin_ns=$(figure "$work/time.tsv" $frame 2)
  floor_ns=$(figure "$work/time.tsv" $frame 3)
  ratio=$(figure "$work/time.tsv" $frame 4)
  allocs=$(figure "$work/time.tsv" $frame 5)
  plugin_ir=$(instructions $frame plugin)
  floor_ir=$(instructions $frame floor)
  awk -v t="$title" -v pn="$plugin_ns" -v fn="$floor_ns" -v r="$ratio" -v a="$allocs" \
    -v pi="$plugin_ir" -v fi="$floor_ir" -v g="$goal" 'BEGIN {
      ri = fi > 0 ? pi / fi : 0
      verdict = "time " (r <= g ? "met" : "missed") ", instructions " (ri <= g ? "met" : "missed") \
                ", allocations " (a == 0 ? "met" : "missed")
      printf "| %s | %.1f | %.1f | %.2f | %s | %.0f | %.0f | %.2f | <= %sx, 0 allocs: %s |\n", t, pn, fn, r, a, pi, fi, ri, g, verdict
    }'
done
echo
echo "Machine: $model, $cores cores; $compiler, Release at -O2 for plug-in and floor."
echo "Time: median CPU time of $repetitions interleaved repetitions (Google Benchmark); instructions:"
echo "callgrind over $frames frames per run. Floor: the same native calls from straight-line code."
