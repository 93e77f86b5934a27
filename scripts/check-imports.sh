#!/bin/bash
# Checks that the DLL imports nothing a player's machine lacks: only the runtime,
# kernel32 and the C runtime (as msvcrt or its API sets).
set -euo pipefail
dll=${1:?usage: check-imports.sh Horavane.asi}
[ -f "$dll" ] || { echo "check-imports: $dll: no such file" >&2; exit 1; }
table=$(x86_64-w64-mingw32-objdump -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$table")
status=0
while read -r name; do
  case "${name,,}" in
    scripthookv.dll | kernel32.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *) echo "check-imports: $dll imports $name, which a player's machine may not have" >&2; status=1 ;;
  esac
done <<< "$imports"
for needed in '?scriptRegister@@YAXPEAUHINSTANCE__@@P6AXXZ@Z' '?scriptWait@@YAXK@Z' '?nativeCall@@YAPEA_KXZ'; do
  grep -qF "$needed" <<< "$table" ||
    { echo "check-imports: $dll does not import $needed from the runtime" >&2; status=1; }
done
[ $status -eq 0 ] && echo "check-imports: $dll imports only: $(echo $imports)"
exit $status
