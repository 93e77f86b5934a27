#!/bin/bash
# Screenshots of the menu as a player sees it, rendered by the simulated host from the
# plug-in's calls. The scenarios in packaging/demo/ run the real Horavane.asi under Wine
# (in a Wine prefix made fresh at the given folder, with its server's folder beside it,
# through wine/wine-prefix.sh) and write frame files with
# `snapshot`; each frame is rendered to a PNG of the same name and folder: the
# download-page set at the top of the output folder, the README's pictures in readme/.
# Without the Wine host in the Windows build, the same scenarios run the plug-in's
# sources in the native simulated host instead, and the script says so.
#
#   screenshots.sh <native build folder> <windows build folder> <output folder> <wine prefix folder>
set -euo pipefail

usage="usage: screenshots.sh <native build folder> <windows build folder> <output folder> <wine prefix folder>"
native=$(realpath "${1:?$usage}")
windows=$(realpath "${2:?$usage}")
out=${3:?$usage}
wine_prefix=${4:?$usage}
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
"$here/../scripts/fresh-folder.sh" "$out" screenshots
out=$(cd "$out" && pwd)

wine_prefix() { "$here/../wine/wine-prefix.sh" "$1" "$wine_prefix"; }

if [ -f "$host" ] && [ -f "$plugin" ]; then
  via="the real Horavane.asi under Wine"
  wine_prefix start > "$out/scenarios.log" || fail "no Wine prefix to run the demo scenarios in"
  trap 'wine_prefix stop > /dev/null' EXIT
  (cd "$out" && "$here/../wine/wine-prefix.sh" run "$wine_prefix" wine "$host" --plugin "$plugin" "${scenarios[@]}") \
    >> "$out/scenarios.log" 2>&1 ||
    { cat "$out/scenarios.log" >&2; fail "the demo scenarios failed under Wine"; }
elif [ -x "$runner" ]; then
  via="the plug-in's sources in the native simulated host: this Windows build has no Wine host"
  (cd "$out" && "$runner" "${scenarios[@]}") > "$out/scenarios.log" 2>&1 ||
    { cat "$out/scenarios.log" >&2; fail "the demo scenarios failed in the native simulated host"; }
else
  fail "neither $host nor $runner exists: nothing can run the demo scenarios"
fi

mapfile -t frames < <(cd "$out" && find . -name '*.frame' | sed 's|^\./||' | LC_ALL=C sort)
[ "${#frames[@]}" -gt 0 ] || fail "the demo scenarios wrote no frame files into $out"
echo "screenshots: the menu as a player sees it, rendered by the simulated host from $via:"
for frame in "${frames[@]}"; do
  png=${frame%.frame}.png
  "$sim" render "$out/$frame" "$out/$png"
  echo "  $shown/$png"
done
