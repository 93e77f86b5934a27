#!/bin/bash
# Makes the players' package, <dist>/Horavane-<version>.zip: Horavane.asi from the
# Windows build; Horavane.txt, the readme, with the speed each menu line really gives;
# horavane.example.ini, the commented defaults and the accepted key names, for the
# player to copy as horavane.ini (the zip holds no horavane.ini, so unzipping a new
# release over an old one keeps the player's); the licence and the changelog. Every
# file is named after the plug-in, so that none replaces another mod's in a shared game
# folder. The key names and speeds come from the plug-in itself, through horavane-sim;
# the text files get Windows line ends.
# <dist>/Horavane-<version>-debug.zip holds Horavane.debug, the symbols and debug
# information that turn a crash address into a source line; <dist>/SHA256SUMS gives
# the checksums of both zips and of Horavane.asi.
#
#   make-release.sh <version> <windows build folder> <horavane-sim> <dist folder> <staging folder>
set -euo pipefail

usage="usage: make-release.sh <version> <windows build folder> <horavane-sim> <dist folder> <staging folder>"
version=${1:?$usage}
windows=${2:?$usage}
sim=${3:?$usage}
dist=${4:?$usage}
stage=${5:?$usage}
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "make-release: $*" >&2
  exit 1
}

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "expected a version <major>.<minor>.<patch>, got \"$version\""
dll=$windows/Horavane.asi
debug=$windows/Horavane.debug
for file in "$dll" "$debug"; do
  [ -f "$file" ] || fail "$file: no such file; build the product first (make windows)"
done
[ -x "$sim" ] || fail "$sim: no such program; build the native tools first (make native)"

name=Horavane-$version
folder=$stage/$name
rm -rf "$folder"
mkdir -p "$folder" "$dist"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# wrap <prefix>: the words of standard input, one per line, as lines of at most 78
# characters that start with the prefix.
wrap() {
  awk -v prefix="$1" '
    { if (line != "" && length(line) + 1 + length($0) > 78) { print line; line = "" }
      line = (line == "" ? prefix : line " ") $0 }
    END { if (line != "") print line }'
}
"$sim" key-names | wrap ";   " > "$scratch/key-names"
"$sim" key-names --silent > "$scratch/silent"
wrap ";   " < "$scratch/silent" > "$scratch/silent-ini"
wrap "  " < "$scratch/silent" > "$scratch/silent-txt"
for list in key-names silent; do
  [ -s "$scratch/$list" ] || fail "$sim key-names printed no names for $list"
done
"$sim" speeds | sed 's/^/  /' > "$scratch/speeds"

# fill <template> <out> [<placeholder> <file>]...: copies a template, putting the version
# for @VERSION@ and a file's content for a line that holds only its placeholder; every
# line gets a CR before its LF.
fill() {
  local template=$1 out=$2
  shift 2
  awk -v version="$version" '
    BEGIN { for (i = 1; i < ARGC - 1; i += 2) { insert[ARGV[i]] = ARGV[i + 1]; ARGV[i] = ARGV[i + 1] = "" } }
    $0 in insert { while ((getline line < insert[$0]) > 0) print line; next }
    { gsub(/@VERSION@/, version); print }' "$@" "$template" | sed 's/$/\r/' > "$out"
  if grep -n '@[A-Z_]*@' "$out" >&2; then fail "$template: a placeholder was left unfilled (lines above)"; fi
}
fill "$here/horavane.ini.in" "$folder/horavane.example.ini" \
  @KEY_NAMES@ "$scratch/key-names" @SILENT_KEY_NAMES@ "$scratch/silent-ini"
fill "$here/README.txt.in" "$folder/Horavane.txt" \
  @SPEED_TABLE@ "$scratch/speeds" @SILENT_KEY_NAMES@ "$scratch/silent-txt"
fill "$here/../LICENSE" "$folder/Horavane-LICENSE.txt"
fill "$here/../CHANGELOG.md" "$folder/Horavane-CHANGELOG.txt"
cp "$dll" "$folder/Horavane.asi"
files=(Horavane.asi Horavane.txt horavane.example.ini Horavane-CHANGELOG.txt Horavane-LICENSE.txt)

debug_folder=$stage/$name-debug
rm -rf "$debug_folder"
mkdir -p "$debug_folder"
cp "$debug" "$debug_folder/Horavane.debug"

# The same inputs make the same zips, whatever the folder and the umask: fixed file
# modes and times (the last commit's, or SOURCE_DATE_EPOCH), a fixed order, no extra
# attributes.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)}
dist=$(cd "$dist" && pwd)
# pack <folder> <zip name> <file>...
pack() {
  local from=$1 zip=$dist/$2
  shift 2
  (cd "$from" && chmod 0644 "$@" && touch -d "@$epoch" "$@")
  rm -f "$zip"
  (cd "$from" && TZ=UTC zip -X -q "$zip" "$@")
  echo "make-release: $zip"
  unzip -l "$zip" | sed 's/^/  /'
}
pack "$folder" "$name.zip" "${files[@]}"
pack "$debug_folder" "$name-debug.zip" Horavane.debug

# Checksums of what a player downloads and of what goes into the game's folder.
(cd "$dist" && sha256sum "$name.zip" "$name-debug.zip") > "$dist/SHA256SUMS"
(cd "$folder" && sha256sum Horavane.asi) >> "$dist/SHA256SUMS"
echo "make-release: $dist/SHA256SUMS"
sed 's/^/  /' "$dist/SHA256SUMS"
