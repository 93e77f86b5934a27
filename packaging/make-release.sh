#!/bin/bash
# Makes the players' package, <dist>/Horavane-<version>.zip: Horavane.asi from the
# Windows build; Horavane.txt, the readme, with the speed each menu line really gives;
# horavane.example.ini, the commented defaults and the accepted key names, for the
# player to copy as horavane.ini (the zip holds no horavane.ini, so unzipping a new
# release over an old one keeps the player's); the licence and the changelog. Every
# file is named after the plug-in, so that none replaces another mod's in a shared game
# folder. The key names, the speeds and their range come from the plug-in itself,
# through horavane-sim; the text files get Windows line ends.
# <dist>/Horavane-<version>-debug.zip holds Horavane.debug, the symbols and debug
# information that turn a crash address into a source line. <dist>/Horavane-BUILDINFO.txt,
# also in the debug zip, names what built the DLL: the Debian release and the versions
# of the MinGW-w64 packages that the Windows build's compiler comes from, for the DLL's
# bytes depend on them. <dist>/SHA256SUMS gives the checksums of both zips, the build
# info and Horavane.asi.
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
# Every file that ships is named after the plug-in, as the Windows build's are.
plugin=Horavane
dll=$windows/$plugin.asi
debug=$windows/$plugin.debug
for file in "$dll" "$debug"; do
  [ -f "$file" ] || fail "$file: no such file; build the product first (make windows)"
done
[ -x "$sim" ] || fail "$sim: no such program; build the native tools first (make native)"

name=$plugin-$version
buildinfo=$plugin-BUILDINFO.txt
folder=$stage/$name
debug_folder=$stage/$name-debug
# The staging folder is made anew, and only one an earlier run made is removed.
"$here/../scripts/fresh-folder.sh" "$stage" make-release
mkdir -p "$folder" "$debug_folder" "$dist"
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
"$sim" speed-range | tr ' ' '\n' | wrap "" > "$scratch/speed-range"

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
fill "$here/README.txt.in" "$folder/$plugin.txt" \
  @SPEED_TABLE@ "$scratch/speeds" @SPEED_RANGE@ "$scratch/speed-range" @SILENT_KEY_NAMES@ "$scratch/silent-txt"
fill "$here/../LICENSE" "$folder/$plugin-LICENSE.txt"
fill "$here/../CHANGELOG.md" "$folder/$plugin-CHANGELOG.txt"
cp "$dll" "$folder/$plugin.asi"
files=("$plugin.asi" "$plugin.txt" horavane.example.ini "$plugin-CHANGELOG.txt" "$plugin-LICENSE.txt")

# The build info: this machine's Debian release and the packages, with their versions,
# that hold the compiler the Windows build used, the linker that compiler runs and the
# MinGW-w64 runtime it links. Nothing in it depends on the time, the folders or the user,
# so a rebuild on the same machine makes it byte for byte again.
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$windows"/CMakeFiles/*/CMakeCXXCompiler.cmake 2>/dev/null |
  head -n 1)
[ -x "$compiler" ] || fail "$windows: cannot tell which compiler the Windows build used (configure it again: make windows)"
# package <file>: "<Debian package> <version>" of the package that installed the file.
package() {
  local owner installed
  owner=$(LC_ALL=C dpkg-query -S "$(readlink -f "$1")" 2>/dev/null) || fail "$1: installed by no Debian package"
  owner=${owner%%: *}
  [[ $owner =~ ^[a-z0-9][a-z0-9+.-]*(:[a-z0-9]+)?$ ]] || fail "$1: not from a single package ($owner)"
  owner=${owner%%:*}
  installed=$(dpkg-query -W -f='${Version}' "$owner") && [ -n "$installed" ] || fail "$owner: no installed version"
  echo "$owner $installed"
}
[ -r /etc/os-release ] || fail "/etc/os-release: no such file; releases are built on Debian"
debian=$(
  . /etc/os-release
  release=${PRETTY_NAME:-${NAME:-} ${VERSION_ID:-}}
  [ -z "${VERSION_CODENAME:-}" ] || [[ $release == *"$VERSION_CODENAME"* ]] || release+=" ($VERSION_CODENAME)"
  echo "$release"
)
gcc=$(package "$compiler")
binutils=$(package "$("$compiler" -print-prog-name=ld)")
runtime=$(package "$("$compiler" -print-file-name=libmingw32.a)")
cat > "$scratch/$buildinfo" <<EOF
$plugin $version
Built on:  $debian
Compiler:  $gcc
Binutils:  $binutils
Runtime:   $runtime
Building this version with \`make release\` on the same Debian release, with
these package versions, reproduces the hashes published in SHA256SUMS.
EOF
cp "$scratch/$buildinfo" "$dist/$buildinfo"

cp "$debug" "$debug_folder/$plugin.debug"
cp "$scratch/$buildinfo" "$debug_folder/$buildinfo"

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
pack "$debug_folder" "$name-debug.zip" "$plugin.debug" "$buildinfo"

# Checksums of what a player downloads and of what goes into the game's folder.
(cd "$dist" && sha256sum "$name.zip" "$name-debug.zip" "$buildinfo") > "$dist/SHA256SUMS"
(cd "$folder" && sha256sum "$plugin.asi") >> "$dist/SHA256SUMS"
echo "make-release: $dist/SHA256SUMS"
sed 's/^/  /' "$dist/SHA256SUMS"
