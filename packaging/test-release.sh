#!/bin/bash
# Checks the players' package as a player, a packager and Windows would meet it: the
# files, each named after the plug-in, with the licence and the changelog; an upgrade
# over an installed game folder that keeps the player's horavane.ini; the debug archive,
# the build info that names this machine's Debian release and MinGW-w64 packages, and the
# checksums; the DLL's version resource; text files with Windows line ends that
# fit an 80-column window; an example horavane.ini that the plug-in reads as exactly its
# defaults, commented on every key and listing every key name; a readme whose
# rebinding example really binds those keys and that answers the usual troubles.
#
#   test-release.sh <version> <windows build folder> <horavane-sim> <dist folder>
set -euo pipefail

usage="usage: test-release.sh <version> <windows build folder> <horavane-sim> <dist folder>"
version=${1:?$usage}
windows=${2:?$usage}
sim=$(realpath "${3:?$usage}")
dist=${4:?$usage}
root=$(cd "$(dirname "$0")/.." && pwd)

passed=0
failed=0
check() {  # check <what> <command...>: runs the command, counts and reports the outcome
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "test-release: FAILED: $what" >&2
  fi
}

zip=$dist/Horavane-$version.zip
debug_zip=$dist/Horavane-$version-debug.zip
buildinfo=$dist/Horavane-BUILDINFO.txt
for file in "$zip" "$debug_zip" "$buildinfo"; do
  [ -f "$file" ] || { echo "test-release: $file: no such file (make release)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpacked=$work/zip
unzip -q "$zip" -d "$unpacked"
ini=$unpacked/horavane.example.ini
readme=$unpacked/Horavane.txt
licence=$unpacked/Horavane-LICENSE.txt
changelog=$unpacked/Horavane-CHANGELOG.txt

# ---- The files ----
# files_are <folder> <expected>: the folder holds exactly these files.
files_are() {
  local found
  found=$(cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
  [ "$found" = "$2" ] || { echo "  found: $found" >&2; return 1; }
}
check "the zip holds the DLL, readme, example settings, changelog and licence, nothing else" files_are "$unpacked" \
  "Horavane-CHANGELOG.txt Horavane-LICENSE.txt Horavane.asi Horavane.txt horavane.example.ini "
# Unzipped into a game folder beside dozens of other mods, no file may take the place
# of another's (README.txt, LICENSE.txt, changelog.txt) or of the player's horavane.ini.
named_after_the_plugin() {
  local bad
  bad=$(unzip -Z1 "$zip" | grep -v -i '^horavane[.-]' || true)
  bad+=$(unzip -Z1 "$zip" | grep -i -x -e 'horavane\.ini' -e 'readme.*' -e 'license.*' -e 'changelog.*' || true)
  [ -z "$bad" ] || { echo "  generic or colliding names: $bad" >&2; return 1; }
}
check "every file in the zip is named after the plug-in, and none is horavane.ini" named_after_the_plugin
# An upgrade as a player makes it: the new zip unzipped over a game folder that holds an
# older release, another mod's files and an edited horavane.ini.
upgrade_keeps_settings() {
  local game=$work/game
  mkdir -p "$game"
  printf '[CONTROLS]\r\nOPEN=VK_F6\r\n\r\n[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=66\r\n' > "$game/horavane.ini"
  echo "another mod's readme" > "$game/README.txt"
  echo "an older release" > "$game/Horavane.asi"
  cp "$game/horavane.ini" "$game/README.txt" "$work/"
  unzip -q -o "$zip" -d "$game"
  cmp -s "$game/horavane.ini" "$work/horavane.ini" || { echo "  the player's horavane.ini was replaced" >&2; return 1; }
  cmp -s "$game/README.txt" "$work/README.txt" || { echo "  another mod's README.txt was replaced" >&2; return 1; }
  cmp -s "$game/Horavane.asi" "$windows/Horavane.asi" || { echo "  Horavane.asi was not upgraded" >&2; return 1; }
}
check "unzipping over an older install upgrades the DLL and keeps horavane.ini" upgrade_keeps_settings
check "Horavane.asi is the Windows build's" cmp -s "$unpacked/Horavane.asi" "$windows/Horavane.asi"
debug_archive() {
  mkdir -p "$work/debug"
  unzip -q "$debug_zip" -d "$work/debug"
  files_are "$work/debug" "Horavane-BUILDINFO.txt Horavane.debug " &&
    cmp "$work/debug/Horavane.debug" "$windows/Horavane.debug" >&2 && cmp "$work/debug/Horavane-BUILDINFO.txt" "$buildinfo" >&2
}
check "the debug archive holds the Windows build's Horavane.debug and the build info, nothing else" debug_archive
# The build info names what this machine built with, read here from the system itself:
# the Debian release and the packages of the compiler the toolchain file names, its
# linker and the MinGW-w64 runtime; the version; and how to rebuild.
names_what_built_it() {
  local expected=("Horavane $version" "make release") release codename package installed line missing=0
  release=$(. /etc/os-release && echo "${PRETTY_NAME:?}") && codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}") ||
    { echo "  /etc/os-release gives no PRETTY_NAME or VERSION_CODENAME" >&2; return 1; }
  expected+=("$release" "$codename")
  for package in g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev; do
    installed=$(dpkg-query -W -f='${Version}' "$package") && [ -n "$installed" ] ||
      { echo "  $package is not installed" >&2; return 1; }
    expected+=("$package $installed")
  done
  for line in "${expected[@]}"; do
    grep -qF -- "$line" "$buildinfo" || { echo "  $(basename "$buildinfo") does not say: $line" >&2; missing=1; }
  done
  return $missing
}
check "the build info names the version, this Debian release and the MinGW-w64 package versions" names_what_built_it
# A rebuild elsewhere on the same machine must make the same build info: no folder of this
# build, no user, no date or time.
nothing_of_this_build() {
  local found
  found=$(grep -n -F -e "$root" -e "$(realpath "$windows")" -e "$(realpath "$dist")" -e "${HOME:-$root}" "$buildinfo";
    grep -n -w -F "$(id -un)" "$buildinfo"; grep -n -E '[0-9]{4}-[0-9]{2}-[0-9]{2}|[0-9]{2}:[0-9]{2}:[0-9]{2}' "$buildinfo") || true
  [ -z "$found" ] || { echo "  $(basename "$buildinfo"): $found" >&2; return 1; }
}
check "the build info holds no folder, user name, date or time" nothing_of_this_build
checksums_listed() {  # SHA256SUMS holds both zips', the build info's and the DLL's, as sha256sum -c reads them
  local expected
  expected=$( (cd "$dist" && sha256sum "$(basename "$zip")" "$(basename "$debug_zip")" "$(basename "$buildinfo")") &&
    (cd "$unpacked" && sha256sum Horavane.asi))
  [ "$expected" = "$(cat "$dist/SHA256SUMS")" ] ||
    { diff <(echo "$expected") "$dist/SHA256SUMS" | sed 's/^/  SHA256SUMS: /' >&2; return 1; }
}
check "SHA256SUMS gives the zip's, the debug archive's, the build info's and Horavane.asi's checksums" checksums_listed
# same_as_source <shipped> <source>: the shipped text is the source's, with CR LF.
same_as_source() { cmp -s "$1" <(sed 's/$/\r/' "$2") || { echo "  $1 is not $2 as Windows text" >&2; return 1; }; }
check "Horavane-LICENSE.txt is LICENSE" same_as_source "$licence" "$root/LICENSE"
check "Horavane-CHANGELOG.txt is CHANGELOG.md" same_as_source "$changelog" "$root/CHANGELOG.md"
# The shipped changelog is the players': its first version section is this release's,
# dated, and it holds no unreleased notes and nothing about building or testing Horavane
# (those are in CONTRIBUTORS-CHANGELOG.md, which does not ship).
changelog_for_players() {
  local first found
  first=$(tr -d '\r' < "$changelog" | grep -m1 '^## ' || true)
  [[ $first =~ ^"## ["${version//./\\.}"] - "[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] ||
    { echo "  the first version section is \"$first\", not \"## [$version] - <date>\"" >&2; return 1; }
  found=$(tr -d '\r' < "$changelog" | grep -n -e '\[Unreleased\]' -e '[Cc]ontributor' -e 'README' -e 'make test' \
    -e 'make demo' -e 'scripts/' -e 'horavane-sim' -e 'CI ' || true)
  [ -z "$found" ] || { echo "  $(basename "$changelog") holds notes that are not a player's:" >&2; echo "$found" | sed 's/^/    /' >&2; return 1; }
}
check "the changelog's first version section is $version, and it holds only what a player can notice" \
  changelog_for_players

# ---- The version resource ----
# The string that follows `name` among the DLL's UTF-16 strings (its StringFileInfo).
version_value() { strings -el "$unpacked/Horavane.asi" | awk -v name="$1" 'previous == name && !found { print; found = 1 } { previous = $0 }'; }
expect_value() {
  local got
  got=$(version_value "$1")
  [ "$got" = "$2" ] || { echo "  $1: expected \"$2\", found \"$got\"" >&2; return 1; }
}
check "ProductName is Horavane" expect_value ProductName Horavane
check "FileVersion is $version" expect_value FileVersion "$version"
check "ProductVersion is $version" expect_value ProductVersion "$version"
check "FileDescription says what it is" expect_value FileDescription "Horavane: game clock control plug-in"
check "OriginalFilename is Horavane.asi" expect_value OriginalFilename Horavane.asi
copyright_is_the_licences() {
  local expected
  expected=$(grep -m1 '^Copyright ' "$licence" | tr -d '\r')
  [[ $expected == *" the Horavane developers" ]] || { echo "  the licence's copyright line: \"$expected\"" >&2; return 1; }
  expect_value LegalCopyright "$expected"
}
check "LegalCopyright is the licence's copyright line" copyright_is_the_licences
# VS_FIXEDFILEINFO: the signature FEEF04BD, the structure version, then the file
# version as two little-endian 32-bit words, major<<16|minor and patch<<16|0.
fixed_version_matches() {
  local hex before at major minor patch words
  hex=$(od -An -tx1 -v "$unpacked/Horavane.asi" | tr -d ' \n')
  before=${hex%%bd04effe*}
  at=${#before}
  [ "$at" -lt "${#hex}" ] && [ $((at % 2)) -eq 0 ] || { echo "  no VS_FIXEDFILEINFO" >&2; return 1; }
  IFS=. read -r major minor patch <<< "$version"
  words=$(printf '%02x%02x%02x%02x%02x%02x%02x%02x' $((minor & 255)) $((minor >> 8)) $((major & 255)) \
    $((major >> 8)) 0 0 $((patch & 255)) $((patch >> 8)))
  [ "${hex:at+16:16}" = "$words" ] || { echo "  file version words: expected $words, found ${hex:at+16:16}" >&2; return 1; }
}
check "the fixed file version is $version.0" fixed_version_matches

# ---- Text files ----
windows_text() {  # every line ends in CR LF, is plain ASCII and at most 79 characters
  local file=$1
  if LC_ALL=C grep -n -v $'\r$' "$file" >&2; then echo "  $file: lines above lack a CR" >&2; return 1; fi
  if LC_ALL=C grep -n -P '[^\x20-\x7e\r]' "$file" >&2; then echo "  $file: lines above are not plain text" >&2; return 1; fi
  if awk '{ sub(/\r$/, "") } length($0) > 79 { printf "  %s:%d: %d characters\n", FILENAME, NR, length($0); bad = 1 }
          END { exit bad }' "$file" >&2; then return 0; fi
  return 1
}
for text in "$readme" "$ini" "$licence" "$changelog"; do
  check "$(basename "$text") is Windows text" windows_text "$text"
done

# ---- horavane.ini ----
defaults=$(cat <<'EOF'
OPEN=VK_F5 (116)
ENTER=VK_NUMPAD5 (101)
BACK=VK_NUMPAD0 (96)
UP=VK_NUMPAD8 (104)
DOWN=VK_NUMPAD2 (98)
REMEMBER_RATE=0
current rate=2000
OWNRATE=2000
game clock=running
EOF
)
same_text() {  # same_text <what> <expected> <found>
  [ "$2" = "$3" ] || { diff <(echo "$2") <(echo "$3") | sed "s/^/  $1: /" >&2; return 1; }
}
# `horavane-sim settings` reads what the game would: the file named, else the current
# folder's horavane.ini, else none; its first line says which.
reads_the_games_file() {
  mkdir -p "$work/no-ini" "$work/player"
  printf '[CONTROLS]\r\nOPEN=VK_F6\r\n[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=66\r\n' > "$work/player/horavane.ini"
  same_text "no file" "settings file: none (./horavane.ini not found): the defaults apply
$defaults" "$(cd "$work/no-ini" && "$sim" settings)" || return 1
  # The defaults but for what that file sets: F6, remembering, and rate 66 with the clock frozen.
  same_text "the current folder's" "settings file: horavane.ini
$(sed -e 's/^OPEN=.*/OPEN=VK_F6 (117)/' -e 's/^REMEMBER_RATE=0$/REMEMBER_RATE=1/' \
      -e 's/^current rate=2000$/current rate=66/' -e 's/^game clock=running$/game clock=frozen/' <<< "$defaults")" \
    "$(cd "$work/player" && "$sim" settings)" || return 1
  local missing=$work/no-ini/horavane.ini error
  if error=$(cd "$work/player" && "$sim" settings "$missing" 2>&1); then
    echo "  settings $missing: no error, read $error" >&2
    return 1
  fi
  [[ $error == *"$missing"* ]] || { echo "  settings $missing: the error does not name the file: $error" >&2; return 1; }
}
check "horavane-sim settings reads the current folder's horavane.ini or the file named, and says which" \
  reads_the_games_file
check "the plug-in reads the shipped example horavane.ini as exactly the defaults" \
  same_text "shipped ini" "settings file: $ini
$defaults" "$("$sim" settings "$ini")"
every_key_has_a_comment() {
  awk '{ sub(/\r$/, "") }
       /^[A-Z_]+=/ && previous !~ /^;/ { printf "  horavane.example.ini:%d: %s has no comment above it\n", NR, $0; bad = 1 }
       { previous = $0 }
       END { exit bad }' "$ini" >&2
}
check "every key of horavane.example.ini has a comment line above it" every_key_has_a_comment
lists_every_key_name() {
  local listed missing=0
  listed=$(grep '^;   ' "$ini" | tr -d '\r' | tr ' ' '\n')
  while read -r name; do
    grep -qx -- "$name" <<< "$listed" || { echo "  horavane.example.ini does not list $name" >&2; missing=1; }
  done < <("$sim" key-names)
  return $missing
}
check "horavane.example.ini lists every key name the plug-in accepts" lists_every_key_name
names_the_keys_it_writes() {
  grep -q '^; Horavane itself writes only REMEMBER_RATE and UPDATERATE in \[SETTINGS\]' "$ini"
}
check "horavane.example.ini says which two keys the plug-in writes" names_the_keys_it_writes

# ---- README.txt ----
example_binds() {  # example_binds <file> <line prefix>: the [CONTROLS] example shown there works
  local example
  example=$( (echo "[CONTROLS]"; grep -E "^$2(OPEN|ENTER|BACK|UP|DOWN)=" "$1" | tr -d '\r' | sed "s/^$2//") )
  same_text "$(basename "$1") example" "$(cat <<'EOF'
OPEN=VK_F5 (116)
ENTER=VK_RETURN (13)
BACK=VK_BACK (8)
UP=VK_UP (38)
DOWN=VK_DOWN (40)
EOF
)" "$("$sim" settings <(echo "$example") | sed -n 2,6p)"
}
check "the readme's keyboard-without-keypad example binds Enter, Backspace and the arrows" example_binds "$readme" "  "
check "horavane.example.ini's keyboard-without-keypad example binds the same" example_binds "$ini" ";   "
speeds_listed() {
  local row
  while read -r row; do
    grep -qF -- "  $row" "$readme" || { echo "  Horavane.txt lacks the row: $row" >&2; return 1; }
  done < <("$sim" speeds)
}
check "the readme gives every rate line's measured speed" speeds_listed
# mentions <words>: the readme says these words, on one line or across line ends.
mentions() {
  tr -d '\r' < "$readme" | tr '\n' ' ' | grep -qF -- "$1" || { echo "  $(basename "$readme") does not say: $1" >&2; return 1; }
}
check "the readme says where the files go" mentions "Copy Horavane.asi into that folder, beside ScriptHookV.dll."
check "the readme says horavane.ini is in the folder the game runs in, normally the game's" \
  mentions "horavane.ini, in the folder the game runs in, which is normally the game's folder"
check "the readme says how to upgrade" mentions "Upgrading: unzip the new release into the game's folder"
check "the readme says the keypad needs Num Lock" mentions "The keypad keys need Num Lock on."
check "the readme says to switch remembering on before picking the rate" mentions "Switch it ON first, then pick the"
# troubleshooting <entry> [<words>]: the readme's troubleshooting section has a
# paragraph that starts with the entry and, given words, holds them (across its lines).
troubleshooting() {
  tr -d '\r' < "$readme" | awk -v entry="$1" -v words="${2:-}" '
    /^IF SOMETHING DOES NOT WORK$/ { inside = 1 }
    inside && index($0, entry) == 1 { paragraph = $0; next }
    paragraph != "" && $0 == "" { if (index(paragraph, words)) found = 1; paragraph = "" }
    paragraph != "" { paragraph = paragraph " " $0 }
    END { if (paragraph != "" && index(paragraph, words)) found = 1; exit !found }' ||
    { echo "  no troubleshooting entry \"$1\"${2:+ that says \"$2\"}" >&2; return 1; }
}
for entry in "The menu does not open:" "The menu opens but the keypad does nothing:" "A key you set does nothing:" \
  "The next start forgets the rate: switch" "Own rate stops the clock: OWNRATE must be" \
  "Changes to horavane.ini have no effect:" "HOW THIS RELEASE IS TESTED:"; do
  check "the readme's troubleshooting answers \"$entry\"" troubleshooting "$entry"
done
# The entries that say what a player sees in the menu or the game, and what to do.
check "the readme's troubleshooting points from a forgotten rate to the remember line's \"(not saved)\"" \
  troubleshooting "The next start forgets the rate:" 'remember line shows "(not saved)"'
check "the readme's troubleshooting answers a clock that stands still from the start" \
  troubleshooting "The clock stands still after the game starts:" "UPDATERATE=2000"
check "the readme's troubleshooting says a too large OWNRATE wraps round to 0" \
  troubleshooting "Own rate stops the clock:" "4294967296 reads as 0"

echo "test-release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
