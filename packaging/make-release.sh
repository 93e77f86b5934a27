#!/bin/bash
# Makes the players' package, <dist>/Horavane-<version>.zip: Horavane.asi from the
# Windows build, horavane.ini with the defaults and the accepted key names, and
# README.txt with the speed each menu line really gives. The key names and speeds come
# from the plug-in itself, through horavane-sim; the text files get Windows line ends.
# <dist>/SHA256SUMS gives the checksums of the zip and of Horavane.asi.
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
[ -f "$dll" ] || fail "$dll: no such file; build the product first (make windows)"
[ -x "$sim" ] || fail "$sim: no such program; build the native tools first (make native)"

name=Horavane-$version
folder=$stage/$name
rm -rf "$folder"
mkdir -p "$folder" "$dist"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The key names as comment lines of at most 78 characters.
"$sim" key-names | awk '
  { if (length(line) + 1 + length($0) > 78) { print line; line = "" }
    line = (line == "" ? ";   " : line " ") $0 }
  END { if (line != "") print line }' > "$scratch/key-names"
[ -s "$scratch/key-names" ] || fail "$sim key-names printed no names"
"$sim" speeds | sed 's/^/  /' > "$scratch/speeds"

# Copies a template, putting the version for @VERSION@ and the content of a file for a
# line that holds only a placeholder; every line gets a CR before its LF.
fill() {
  local template=$1 placeholder=$2 insert=$3 out=$4
  awk -v version="$version" -v placeholder="$placeholder" -v insert="$insert" '
    $0 == placeholder { while ((getline line < insert) > 0) print line; next }
    { gsub(/@VERSION@/, version); print }' "$template" | sed 's/$/\r/' > "$out"
  if grep -n '@[A-Z_]*@' "$out" >&2; then fail "$template: a placeholder was left unfilled (lines above)"; fi
}
fill "$here/horavane.ini.in" @KEY_NAMES@ "$scratch/key-names" "$folder/horavane.ini"
fill "$here/README.txt.in" @SPEED_TABLE@ "$scratch/speeds" "$folder/README.txt"
cp "$dll" "$folder/Horavane.asi"

# The same inputs make the same zip, whatever the folder and the umask: fixed file
# modes and times (the last commit's, or SOURCE_DATE_EPOCH), a fixed order, no extra
# attributes.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)}
chmod 0644 "$folder"/*
touch -d "@$epoch" "$folder"/*
zip_path=$(cd "$dist" && pwd)/$name.zip
rm -f "$zip_path"
(cd "$folder" && TZ=UTC zip -X -q "$zip_path" Horavane.asi horavane.ini README.txt)

# Checksums of what a player downloads and of what goes into the game's folder.
(cd "$dist" && sha256sum "$name.zip") > "$dist/SHA256SUMS"
(cd "$folder" && sha256sum Horavane.asi) >> "$dist/SHA256SUMS"
echo "make-release: $dist/$name.zip"
unzip -l "$zip_path" | sed 's/^/  /'
echo "make-release: $dist/SHA256SUMS"
sed 's/^/  /' "$dist/SHA256SUMS"
