#!/bin/bash
# Keeps a generated section of README.md, between "<!-- NAME -->" and "<!-- /NAME -->",
# equal to a program's output.
#
#   scripts/readme-section.sh update NAME PROGRAM [ARG...]   replace the section with its output
#   scripts/readme-section.sh check NAME PROGRAM [ARG...]    fail, showing the difference, when they differ
set -euo pipefail

usage="usage: readme-section.sh update|check NAME PROGRAM [ARG...]"
mode=${1:?$usage}
name=${2:?$usage}
[ $# -ge 3 ] || { echo "$usage" >&2; exit 2; }
shift 2
readme=$(dirname "$0")/../README.md
source=$(mktemp)
trap 'rm -f "$source"' EXIT
"$@" > "$source" || { echo "readme-section: $* failed" >&2; exit 1; }
begin="<!-- $name -->"
end="<!-- /$name -->"

grep -qxF "$begin" "$readme" || { echo "readme-section: $readme has no line \"$begin\"" >&2; exit 1; }
grep -qxF "$end" "$readme" || { echo "readme-section: $readme has no line \"$end\"" >&2; exit 1; }

current=$(awk -v b="$begin" -v e="$end" '$0 == e { inside = 0 } inside { print } $0 == b { inside = 1 }' "$readme")
wanted=$(cat "$source")

case "$mode" in
  check)
    if [ "$current" != "$wanted" ]; then
      echo "readme-section: the \"$name\" section of README.md is not what its program prints now;" >&2
      echo "run: make docs" >&2
      diff <(echo "$current") <(echo "$wanted") >&2 || true
      exit 1
    fi
    echo "readme-section: README.md's \"$name\" section is up to date"
    ;;
  update)
    awk -v b="$begin" -v e="$end" -v f="$source" '
      $0 == b { print; while ((getline line < f) > 0) print line; skip = 1; next }
      $0 == e { skip = 0 }
      !skip { print }' "$readme" >"$readme.new"
    mv "$readme.new" "$readme"
    echo "readme-section: updated the \"$name\" section of README.md"
    ;;
  *) echo "readme-section: unknown mode \"$mode\" (update or check)" >&2; exit 2 ;;
esac
