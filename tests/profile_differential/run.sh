#!/usr/bin/env bash
# Differential test of the settings-file functions: platform/posix/profile.cpp
# against the Windows profile functions of kernel32, run under Wine.
#
# Usage: tests/profile_differential/run.sh <profile_cases> <profile_cases.exe> <work folder>
#
# Runs the two builds of profile_cases.cpp (the native one over platform/posix, the
# Windows one over kernel32, under Wine in the prefix WINEPREFIX names: run this
# through `wine/wine-prefix.sh run`) in fresh
# folders and compares their outputs line by line. Reads must agree exactly; written
# files are compared after the normalisation described at the top of
# profile_cases.cpp. Prints the first mismatch (case, input file, what each side
# gave) and exits 1 on any mismatch.
set -euo pipefail

usage="usage: $0 <profile_cases> <profile_cases.exe> <work folder>"
linux_program=$(realpath "${1:?$usage}")
windows_program=$(realpath "${2:?$usage}")
"$(dirname "$0")/../../scripts/fresh-folder.sh" "${3:?$usage}" profile-differential
out=$(cd "$3" && pwd)
mkdir -p "$out/linux" "$out/wine"
(cd "$out/linux" && "$linux_program" >../linux.txt)
if ! (cd "$out/wine" && wine "$windows_program" >../wine.raw 2>../wine.log); then
  echo "profile differential: the Windows program failed under Wine; see $out/wine.log" >&2
  cat "$out/wine.log" >&2
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
