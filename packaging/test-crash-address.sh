#!/bin/bash
# Reads crash addresses of the released Horavane.asi as the README tells a developer to:
# the image base of Horavane.debug (from the debug archive) plus the offset a crash
# report gives, looked up with addr2line. Checks that the debug file describes the
# shipped DLL (same image base and sections; its entry point and scriptMain are
# functions of the DLL's own unwind table) and that both addresses map back to their
# function, scriptMain's to its source file; a bare offset must not.
#
#   test-crash-address.sh <version> <dist folder>
set -euo pipefail

usage="usage: test-crash-address.sh <version> <dist folder>"
version=${1:?$usage}
dist=${2:?$usage}
objdump=x86_64-w64-mingw32-objdump
nm=x86_64-w64-mingw32-nm
addr2line=x86_64-w64-mingw32-addr2line

fail() {
  echo "test-crash-address: $*" >&2
  exit 1
}

zip=$dist/Horavane-$version.zip
debug_zip=$dist/Horavane-$version-debug.zip
for file in "$zip" "$debug_zip"; do
  [ -f "$file" ] || fail "$file: no such file (make release)"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" Horavane.asi -d "$work"
unzip -q "$debug_zip" -d "$work"
dll=$work/Horavane.asi
debug=$work/Horavane.debug
[ -f "$debug" ] || fail "$debug_zip holds no Horavane.debug"

# The awk programs read to the end: one that stopped early would fail its pipe.
header() { "$objdump" -p "$1" | awk -v field="$2" '$1 == field && !found { print $2; found = 1 }'; }
base=$((16#$(header "$debug" ImageBase)))
[ "$base" -eq $((16#$(header "$dll" ImageBase))) ] || fail "Horavane.debug and Horavane.asi have different image bases"
# The loaded sections, by name, address and size; the debug file has debug sections more.
sections() { "$objdump" -h "$1" | awk '$2 ~ /^\./ && $2 !~ /^\.debug/ { print $2, $3, $4 }'; }
if ! diff <(sections "$dll") <(sections "$debug") >&2; then
  fail "the sections of Horavane.asi (<) and Horavane.debug (>) differ"
fi
# The start addresses of the DLL's functions, from its unwind table (.pdata): the
# stripped DLL keeps it, as Windows needs it to unwind a crash.
starts=$("$objdump" -p "$dll" | awk '/^The Function Table/ { table = 1; next } table && NF == 0 { table = 0 }
  table && $1 ~ /:$/ { print $2 }')
[ -n "$starts" ] || fail "Horavane.asi has no function table"

# lookup <offset> <function> [<source file>]: the function the README's command names for
# a crash at <offset> into the DLL.
lookup() {
  local offset=$1 function=$2 source=${3:-} address found
  grep -qix "$(printf '%016x' $((base + offset)))" <<< "$starts" ||
    fail "$function: no function of Horavane.asi starts at offset 0x$(printf '%x' "$offset")"
  address=$(printf '0x%x' $((base + offset)))
  found=$("$addr2line" -f -C -e "$debug" "$address" | tr '\n' ' ')
  echo "  offset 0x$(printf '%x' "$offset"): addr2line -f -C -e Horavane.debug $address: $found"
  [[ $found == "$function"* ]] || fail "$address: expected the function $function, got: $found"
  [ -z "$source" ] || [[ $found == *"$source:"[0-9]* ]] || fail "$address: expected a line of $source, got: $found"
  found=$("$addr2line" -f -C -e "$debug" "$(printf '0x%x' "$offset")" | sed -n 1p)
  [ "$found" = "??" ] || fail "the bare offset 0x$(printf '%x' "$offset") named $found, not ??"
}

echo "test-crash-address: image base 0x$(printf '%x' "$base")"
symbol=$("$nm" -C "$debug" | awk '$2 == "T" && $3 == "scriptMain()" && !found { print $1; found = 1 }')
[ -n "$symbol" ] || fail "Horavane.debug has no function scriptMain()"
lookup $((16#$symbol - base)) "scriptMain()" src/plugin/plugin.cpp
# The entry point, the one address the stripped DLL names itself: whatever function it
# is (the C runtime's start-up or DllMain), the debug file names it as nm does.
entry=$((16#$(header "$dll" AddressOfEntryPoint)))
name=$("$nm" -C "$debug" | awk -v at="$(printf '%016x' $((base + entry)))" '$2 == "T" && tolower($1) == at && !found { print $3; found = 1 }')
[ -n "$name" ] || fail "Horavane.debug has no function at the entry point, offset 0x$(printf '%x' "$entry")"
lookup "$entry" "$name"
echo "test-crash-address: crash offsets map to their functions through Horavane.debug"
