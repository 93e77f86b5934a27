#!/usr/bin/env bash
# Differential test of the settings-file functions: platform/posix/profile.cpp
# against the Windows profile functions of kernel32, run under Wine.
#
# Usage: tests/profile_differential/run.sh <build-dir>
#
# Builds profile_cases.cpp twice into <build-dir>/profile_differential/ (for
# Linux with platform/posix/profile.cpp, for Windows statically with MinGW-w64),
# runs both in fresh folders and compares their outputs line by line. Reads must
# agree exactly; written files are compared after the normalisation described
# at the top of profile_cases.cpp. Prints the first mismatch (case, input file,
# what each side gave) and exits 1 on any mismatch, 77 when MinGW-w64 or Wine
# is missing. The Wine prefix is kept in the build folder, so only the first
# run pays for setting it up. Needs: g++ (or $CXX), x86_64-w64-mingw32-g++, wine.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$1/profile_differential"
out=$(cd "$1/profile_differential" && pwd)

cxx=${CXX:-g++}
mingw=x86_64-w64-mingw32-g++-posix
command -v "$mingw" >/dev/null || mingw=x86_64-w64-mingw32-g++
for tool in "$cxx" "$mingw" wine; do
  if ! command -v "$tool" >/dev/null; then
    echo "profile differential: SKIPPED, $tool is not installed"
    exit 77
  fi
done

flags=(-std=c++17 -O1 -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
"$cxx" "${flags[@]}" -I"$root/platform" "$here/profile_cases.cpp" \
  "$root/platform/posix/profile.cpp" -o "$out/profile_cases" &
linux_build=$!
"$mingw" "${flags[@]}" -static "$here/profile_cases.cpp" -o "$out/profile_cases.exe"
wait "$linux_build"

export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
rm -rf "$out/linux" "$out/wine"
mkdir -p "$out/linux" "$out/wine"
(cd "$out/linux" && ../profile_cases >../linux.txt)
if ! (cd "$out/wine" && wine ../profile_cases.exe >../wine.raw 2>../wine.log); then
  echo "profile differential: the Windows program failed under Wine; see $out/wine.log" >&2
  exit 1
fi
tr -d '\r' <"$out/wine.raw" >"$out/wine.txt"

# Line by line: count the cases, and report the first line that differs with
# its case's input file.
awk -v out="$out" '
  NR == FNR { linux[FNR] = $0; nl = FNR; next }
  { wine[FNR] = $0; nw = FNR }
  END {
    last = nl > nw ? nl : nw
    for (i = 1; i <= last; i++) {
      l = i <= nl ? linux[i] : "<no output>"
      w = i <= nw ? wine[i] : "<no output>"
      split(i <= nl ? l : w, field, " ")
      number = field[2]
      if (field[3] == "input" && !(number in input)) {
        input[number] = substr(i <= nl ? l : w, length("case " number " input ") + 1)
        cases++
      }
      if (l == w) continue
      if (!(number in bad)) failed++
      bad[number] = 1
      if (!first) { first = i; firstCase = number; firstLinux = l; firstWine = w }
    }
    if (failed) {
      print "profile differential: MISMATCH in case " firstCase " (line " first " of the outputs)"
      print "  input file: " input[firstCase]
      print "  Linux gave: " firstLinux
      print "  Wine gave:  " firstWine
      print "  full outputs: " out "/linux.txt and " out "/wine.txt"
    } else {
      print "profile differential: " cases " cases, Linux and Wine agree"
    }
    print "differential: " cases - failed " passed, " failed + 0 " failed"
    exit failed ? 1 : 0
  }' "$out/linux.txt" "$out/wine.txt"
