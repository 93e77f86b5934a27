#!/bin/bash
# Checks the players' package as a player and Windows would meet it: the three files;
# the DLL's version resource; text files with Windows line ends that fit an 80-column
# window; a horavane.ini that the plug-in reads as exactly its defaults, commented on
# every key and listing every key name; a README whose rebinding example really binds
# those keys.
#
#   test-release.sh <version> <windows build folder> <horavane-sim> <dist folder>
set -euo pipefail

usage="usage: test-release.sh <version> <windows build folder> <horavane-sim> <dist folder>"
version=${1:?$usage}
windows=${2:?$usage}
sim=$(realpath "${3:?$usage}")
dist=${4:?$usage}

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
[ -f "$zip" ] || { echo "test-release: $zip: no such file (make release)" >&2; exit 1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
ini=$unpacked/horavane.ini
readme=$unpacked/README.txt

# ---- The files ----
files_are_the_three() {
  local found
  found=$(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')
  [ "$found" = "./Horavane.asi ./README.txt ./horavane.ini " ] || { echo "  found: $found" >&2; return 1; }
}
check "the zip holds Horavane.asi, horavane.ini and README.txt, nothing else" files_are_the_three
check "Horavane.asi is the Windows build's" cmp -s "$unpacked/Horavane.asi" "$windows/Horavane.asi"
checksums_listed() {  # SHA256SUMS holds the zip's and the DLL's, as sha256sum -c reads them
  local expected
  expected=$( (cd "$dist" && sha256sum "$(basename "$zip")") && (cd "$unpacked" && sha256sum Horavane.asi))
  [ "$expected" = "$(cat "$dist/SHA256SUMS")" ] ||
    { diff <(echo "$expected") "$dist/SHA256SUMS" | sed 's/^/  SHA256SUMS: /' >&2; return 1; }
}
check "SHA256SUMS gives the zip's and Horavane.asi's checksums" checksums_listed

# ---- The version resource ----
# The string that follows `name` among the DLL's UTF-16 strings (its StringFileInfo).
version_value() { strings -el "$unpacked/Horavane.asi" | awk -v name="$1" 'previous == name { print; exit } { previous = $0 }'; }
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
copyright_is_the_projects() {
  local got
  got=$(version_value LegalCopyright)
  [[ $got =~ ^Copyright\ \(C\)\ [0-9]{4}\ the\ Horavane\ developers$ ]] ||
    { echo "  LegalCopyright: \"$got\"" >&2; return 1; }
}
check "LegalCopyright names the Horavane developers" copyright_is_the_projects
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
check "README.txt is Windows text" windows_text "$readme"
check "horavane.ini is Windows text" windows_text "$ini"

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
check "the plug-in reads the defaults with no settings file" same_text "no file" "$defaults" "$("$sim" settings)"
check "the plug-in reads the shipped horavane.ini as exactly the defaults" \
  same_text "shipped ini" "$defaults" "$("$sim" settings "$ini")"
every_key_has_a_comment() {
  awk '{ sub(/\r$/, "") }
       /^[A-Z_]+=/ && previous !~ /^;/ { printf "  horavane.ini:%d: %s has no comment above it\n", NR, $0; bad = 1 }
       { previous = $0 }
       END { exit bad }' "$ini" >&2
}
check "every key of horavane.ini has a comment line above it" every_key_has_a_comment
lists_every_key_name() {
  local listed missing=0
  listed=$(grep '^;   ' "$ini" | tr -d '\r' | tr ' ' '\n')
  while read -r name; do
    grep -qx -- "$name" <<< "$listed" || { echo "  horavane.ini does not list $name" >&2; missing=1; }
  done < <("$sim" key-names)
  return $missing
}
check "horavane.ini lists every key name the plug-in accepts" lists_every_key_name
names_the_keys_it_writes() {
  grep -q '^; Horavane itself writes only REMEMBER_RATE and UPDATERATE in \[SETTINGS\]' "$ini"
}
check "horavane.ini says which two keys the plug-in writes" names_the_keys_it_writes

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
)" "$("$sim" settings <(echo "$example") | head -5)"
}
check "README.txt's keyboard-without-keypad example binds Enter, Backspace and the arrows" example_binds "$readme" "  "
check "horavane.ini's keyboard-without-keypad example binds the same" example_binds "$ini" ";   "
speeds_listed() {
  local row
  while read -r row; do
    grep -qF -- "  $row" "$readme" || { echo "  README.txt lacks the row: $row" >&2; return 1; }
  done < <("$sim" speeds)
}
check "README.txt gives every rate line's measured speed" speeds_listed
mentions() { grep -qF -- "$1" "$readme" || { echo "  README.txt does not say: $1" >&2; return 1; }; }
check "README.txt says where the files go" mentions "Copy Horavane.asi into that folder, beside ScriptHookV.dll."
check "README.txt says the settings file lives in the game's folder" \
  mentions "The settings file, horavane.ini, always lives in the game's folder."
check "README.txt says the keypad needs Num Lock" mentions "The keypad keys need Num Lock on."
check "README.txt says what to do when the game's folder cannot be written" mentions "Make horavane.ini writable"

echo "test-release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
