#!/bin/bash
# Screenshots of the menu as a player sees it. The scenarios in packaging/demo/ run the
# real Horavane.asi under Wine (in a fresh Wine prefix) and write frame files with
# `snapshot`; each frame is rendered to a PNG of the same name. Without the Wine host in
# the Windows build, the same scenarios run the plug-in's sources in the native
# simulated host instead, and the script says so.
#
#   screenshots.sh <native build folder> <windows build folder> <output folder>
set -euo pipefail

usage="usage: screenshots.sh <native build folder> <windows build folder> <output folder>"
native=$(realpath "${1:?$usage}")
windows=$(realpath "${2:?$usage}")
out=${3:?$usage}
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "screenshots: $*" >&2
  exit 1
}

sim=$native/tools/horavane-sim
runner=$native/scenario/horavane-scenario
host=$windows/wine/horavane-wine-host.exe
plugin=$windows/Horavane.asi
scenarios=("$here"/demo/*.scn)
[ -f "${scenarios[0]}" ] || fail "$here/demo: no scenario files"
[ -x "$sim" ] || fail "$sim: no such program; build the native tools first (make native)"

shown=${out%/}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.frame "$out"/*.png "$out"/scenarios.log

prefix=
cleanup() {
  if [ -n "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
}
trap cleanup EXIT

if [ -f "$host" ] && [ -f "$plugin" ]; then
  via="the real Horavane.asi under Wine"
  prefix=$(mktemp -d)
  export WINEPREFIX=$prefix WINEDEBUG=-all
  wineboot --init > "$out/scenarios.log" 2>&1 || { cat "$out/scenarios.log" >&2; fail "wineboot failed"; }
  (cd "$out" && wine "$host" --plugin "$plugin" "${scenarios[@]}") >> "$out/scenarios.log" 2>&1 ||
    { cat "$out/scenarios.log" >&2; fail "the demo scenarios failed under Wine"; }
elif [ -x "$runner" ]; then
  via="the plug-in's sources in the native simulated host: this Windows build has no Wine host"
  (cd "$out" && "$runner" "${scenarios[@]}") > "$out/scenarios.log" 2>&1 ||
    { cat "$out/scenarios.log" >&2; fail "the demo scenarios failed in the native simulated host"; }
else
  fail "neither $host nor $runner exists: nothing can run the demo scenarios"
fi

frames=("$out"/*.frame)
[ -f "${frames[0]}" ] || fail "the demo scenarios wrote no frame files into $out"
echo "screenshots: the menu as a player sees it, from $via:"
for frame in "${frames[@]}"; do
  png=$(basename "${frame%.frame}").png
  "$sim" render "$frame" "$out/$png"
  echo "  $shown/$png"
done
