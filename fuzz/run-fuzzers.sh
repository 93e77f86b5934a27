#!/bin/bash
# Runs each libFuzzer target of a `fuzz` preset build for a bounded time, starting
# from a copy of its committed corpus so the run never grows the committed one.
#
#   fuzz/run-fuzzers.sh <build dir> <seconds per target> <target>...
#
# A failing input is kept in <build dir>/fuzz-findings/<target>/ and the script fails,
# naming it; `<build dir>/fuzz/<target>_fuzz <file>` replays it. To keep it as a
# regression input, copy it into fuzz/corpus/<target>/ (the plain builds replay every
# corpus file as a test).
set -euo pipefail

usage() { echo "usage: $0 <build dir> <seconds per target> <target>..." >&2; exit 2; }
[ $# -ge 3 ] || usage
build=$1
seconds=$2
shift 2
[[ $seconds =~ ^[0-9]+$ ]] || { echo "$0: seconds must be a whole number, got '$seconds'" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")" && pwd)
targets=("$@")

# On a memory file system where there is one: the targets write and sync files.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
export HORAVANE_FUZZ_SCRATCH=$work/scratch
mkdir "$HORAVANE_FUZZ_SCRATCH"

failed=0
for target in "${targets[@]}"; do
  program=$build/fuzz/${target}_fuzz
  [ -x "$program" ] || { echo "$0: $program not built (cmake --preset fuzz, then build target ${target}_fuzz)" >&2; exit 2; }
  [ -d "$source_dir/corpus/$target" ] || { echo "$0: no corpus folder $source_dir/corpus/$target" >&2; exit 2; }
  corpus=$work/$target/corpus
  mkdir -p "$corpus"
  cp "$source_dir/corpus/$target/"* "$corpus/"
  # -timeout catches an input that hangs; an input that is merely slow on a busy
  # machine (every input runs in well under a second here) must not count as one.
  options=(-max_total_time="$seconds" -timeout=60 -print_final_stats=1 -artifact_prefix="$work/$target/")
  [ -f "$source_dir/$target.dict" ] && options+=(-dict="$source_dir/$target.dict")
  log=$work/$target/log
  if "$program" "${options[@]}" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
    echo "fuzz $target: ${runs:-?} inputs in ${seconds} s, ${added:-0} new, no failure"
    continue
  fi
  failed=1
  findings=$build/fuzz-findings/$target
  mkdir -p "$findings"
  found=$(find "$work/$target" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \))
  [ -n "$found" ] && cp $found "$findings/"
  echo "fuzz $target: FAILED" >&2
  grep -a -E -A3 'check failed|ERROR|SUMMARY' "$log" | head -40 >&2 || tail -40 "$log" >&2
  for file in $found; do echo "  failing input kept as $findings/$(basename "$file")" >&2; done
done
exit $failed
