#!/bin/bash
# Line and branch coverage of the plug-in's own sources (src/) by the native tests:
# builds the `coverage` preset, runs every test, and reports to the terminal (totals,
# each file, and every line and branch never taken) and as HTML.
#
#   scripts/coverage.sh            build/coverage, HTML in build/coverage/html/index.html
#
# Branches that exist only for an exception thrown through a call are left out: the
# plug-in throws none of its own, and the calls it makes (natives, profile functions)
# throw none either.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/coverage
jobs=${JOBS:-2}
sources="$PWD/src/*"  # what is reported
# lcov 2 (Debian 13) renamed the options of lcov 1.16 (Debian 12), and checks the end
# line gcc gives each function, which gcc 14 gets wrong for the tests' macro-made bodies:
# only src/ is captured there, and that check left to the files reported.
if lcov --version | grep -q 'version 1\.'; then
  rc=(--rc lcov_branch_coverage=1 --rc geninfo_no_exception_branch=1)
  capture=()
else
  rc=(--rc branch_coverage=1 --rc no_exception_branch=1)
  capture=(--include "$sources")
fi

cmake --preset coverage >/dev/null
mkdir -p "$build"
cmake --build "$build" -j "$jobs" > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
# Each lcov's chatter about itself, not about the coverage: lcov 1.16 warns about its own
# redefined subroutines, lcov 2 reports its filters, its JSON module and an empty
# message summary after every command.
chatter='redefined at|JSON::PP|^Message summary|no messages were reported|^Apply filtering|^Finished filter|^Filter suppressions|^  exception:|^    [0-9]+ (instances|coverpoints)$'
quietly() {
  local output status=0
  output=$("$@" 2>&1) || status=$?
  grep -Ev "$chatter" <<< "$output" || true
  return $status
}
quietly lcov --quiet --zerocounters --directory "$build"
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 | tail -n 3

raw=$build/coverage-all.info
withThrows=$build/coverage-src-with-throws.info
info=$build/coverage-src.info
quietly lcov --quiet "${rc[@]}" "${capture[@]}" --capture --directory "$build" --output-file "$raw" >&2 || true
[ -s "$raw" ] || { echo "coverage: lcov captured nothing from $build" >&2; exit 1; }
quietly lcov --quiet "${rc[@]}" --extract "$raw" "$sources" --output-file "$withThrows"

# lcov 1.16 reads gcc 12's JSON output and keeps the exception edges of every call as
# branches; gcov's own listing marks them "(throw)". Drop those from the trace.
throws=$build/throw-branches.txt
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
: > "$throws"
root=$PWD
for source in $(sed -n "s|^SF:$root/||p" "$withThrows" | grep '\.cpp$'); do
  data=$(find "$root/$build" -path "*/$source.gcda" | head -n 1)
  [ -n "$data" ] || continue
  (cd "$scratch" && gcov -b -c -o "$data" "$root/$source" >/dev/null 2>&1) || true
  awk -v file="$PWD/$source" '
    /^ *[^ :]+: *[0-9]+:/ { split($0, f, ":"); line = f[2] + 0; index_ = 0; next }
    /^branch/ { if ($0 ~ /\(throw\)/) print file, line, index_; index_++ }
  ' "$scratch/$(basename "$source").gcov" >> "$throws"
done
awk '
  FNR == NR { throw[$1 " " $2 " " $3] = 1; next }
  /^SF:/ { file = substr($0, 4); found = 0; hit = 0 }
  /^BRDA:/ {
    split(substr($0, 6), f, ",")
    if ((file " " f[1] " " f[3]) in throw) next
    found++; if (f[4] != "-" && f[4] > 0) hit++
  }
  /^BRF:/ { print "BRF:" found; next }
  /^BRH:/ { print "BRH:" hit; next }
  { print }
' "$throws" "$withThrows" > "$info"
genhtml --quiet "${rc[@]}" --branch-coverage --title "Horavane src/" --output-directory "$build/html" "$info" >/dev/null

echo
echo "Coverage of src/ by the native tests:"
quietly lcov "${rc[@]}" --list "$info" | sed "s|$PWD/||"
lcov "${rc[@]}" --summary "$info" 2>&1 | grep -E 'lines|functions|branches'

# Every source line never run and every branch never taken, as file:line.
awk -v root="$PWD/" '
  /^SF:/ { file = substr($0, 4); sub(root, "", file) }
  /^DA:/ { split(substr($0, 4), f, ","); if (f[2] == 0) print file ":" f[1] ": line never run" }
  /^BRDA:/ { split(substr($0, 6), f, ","); if (f[4] == "-" || f[4] == 0)
               print file ":" f[1] ": branch " f[2] "." f[3] " never taken" }
' "$info" | sort -t: -k1,1 -k2,2n | uniq > "$build/not-covered.txt"
if [ -s "$build/not-covered.txt" ]; then
  echo "Not covered ($(wc -l < "$build/not-covered.txt") items, also in $build/not-covered.txt):"
  cat "$build/not-covered.txt"
else
  echo "Every line and branch of src/ is covered."
fi
echo "HTML report: $build/html/index.html"
