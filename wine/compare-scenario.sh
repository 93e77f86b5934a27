#!/bin/bash
# One scenario against the plug-in's sources in the native simulated host and against
# the real Horavane.asi under Wine (in the prefix WINEPREFIX names: run it through
# `wine/wine-prefix.sh run`); the two traces must be equal line for line.
#
#   compare-scenario.sh <horavane-scenario> <windows build folder> <scenario.scn> <work folder>
set -euo pipefail
usage="usage: compare-scenario.sh <horavane-scenario> <windows build folder> <scenario.scn> <work folder>"
runner=${1:?$usage}
windows=${2:?$usage}
scenario=${3:?$usage}
work=${4:?$usage}
host=$windows/wine/horavane-wine-host.exe
plugin=$windows/Horavane.asi
for file in "$runner" "$host" "$plugin" "$scenario"; do
  [ -f "$file" ] || { echo "compare-scenario: $file: no such file (cmake --workflow --preset windows builds the Wine host)" >&2; exit 1; }
done

# A read-only settings file means nothing to a Wine server that writes it all the same.
marker=$WINEPREFIX.root-writes-read-only
if [ -f "$marker" ] && grep -q '^[[:space:]]*settings-file[[:space:]]\+read-only' "$scenario"; then
  echo "compare-scenario: skipped: $(cat "$marker")"
  exit 77
fi

"$(dirname "$0")/../scripts/fresh-folder.sh" "$work" compare-scenario
if ! "$runner" --trace "$work/native" "$scenario" > "$work/native.log" 2>&1; then
  cat "$work/native.log" >&2
  echo "compare-scenario: $scenario failed in the native simulated host" >&2
  exit 1
fi
if ! wine "$host" --plugin "$plugin" --trace "$work/wine" "$scenario" > "$work/wine.log" 2>&1; then
  cat "$work/wine.log" >&2
  echo "compare-scenario: $scenario failed under Wine" >&2
  exit 1
fi
"$runner" compare "$work/native" "$work/wine"
