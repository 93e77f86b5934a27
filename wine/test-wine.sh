#!/bin/bash
# Runs every scenario against the plug-in's sources (native simulated host) and against
# the real Horavane.asi under Wine, then requires the two traces to be equal.
#
#   wine/test-wine.sh <native build folder> <windows build folder> <scenario.scn>...
set -euo pipefail
native=${1:?usage: test-wine.sh <native build> <windows build> <scenario>...}
windows=${2:?usage: test-wine.sh <native build> <windows build> <scenario>...}
shift 2
[ $# -gt 0 ] || { echo "test-wine: no scenario files given" >&2; exit 1; }
runner=$native/scenario/horavane-scenario
host=$windows/wine/horavane-wine-host.exe
standin=$windows/wine/ScriptHookV.dll
plugin=$windows/Horavane.asi
for file in "$runner" "$host" "$standin" "$plugin"; do
  [ -f "$file" ] || { echo "test-wine: $file: no such file (build the native and windows targets first)" >&2; exit 1; }
done
out=build/wine-out

# The stand-in must export every decorated name the plug-in binds to.
exports=$(x86_64-w64-mingw32-objdump -p "$standin" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
for name in $(sed -n 's/^[^;].* == //p' src/host/ScriptHookV.def); do
  grep -qxF "$name" <<< "$exports" || { echo "test-wine: $standin does not export $name" >&2; exit 1; }
done

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

rm -rf "$out"
mkdir -p "$out"
start=$(now)
if ! "$runner" --trace "$out/native" "$@" > "$out/native.log"; then
  cat "$out/native.log"
  echo "test-wine: scenarios failed in the native simulated host" >&2
  exit 1
fi
native_done=$(now)

prefix=$(mktemp -d)
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all
wineboot --init > "$out/wineboot.log" 2>&1 || { cat "$out/wineboot.log" >&2; echo "test-wine: wineboot failed" >&2; exit 1; }
prefix_done=$(now)
if ! wine "$host" --plugin "$plugin" --trace "$out/wine" "$@" > "$out/wine.log"; then
  cat "$out/wine.log"
  echo "test-wine: scenarios failed under Wine" >&2
  exit 1
fi
wine_done=$(now)

"$runner" compare "$out/native" "$out/wine"
echo "test-wine: $# scenarios; native $(seconds "$start" "$native_done") s," \
  "Wine prefix $(seconds "$native_done" "$prefix_done") s," \
  "Wine run $(seconds "$prefix_done" "$wine_done") s"
