#!/bin/bash
# Reads crash addresses of the released Horavane.asi as the README tells a developer to:
# the image base of Horavane.debug (from the debug archive) plus the offset a crash
# report gives, looked up with addr2line. Checks that the debug file describes the
# shipped DLL (same image base and sections; its entry point and scriptMain are
# functions of the DLL's own unwind table) and that both addresses map back to their
# function, scriptMain's to its source file; a bare offset must not. With -i, as the
# README says, every address inside drawText names drawText last, also where the code is
# an inlined helper, which is all that addr2line names without -i.
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
# Each line: a function's start and its end (exclusive).
table=$("$objdump" -p "$dll" | awk '/^The Function Table/ { table = 1; next } table && NF == 0 { table = 0 }
  table && $1 ~ /:$/ { print $2, $3 }')
starts=$(awk '{ print $1 }' <<< "$table")
[ -n "$starts" ] || fail "Horavane.asi has no function table"

# The README's command: with -i, one function and source line per level of inlining,
# innermost first, the function the code was compiled into last.
look_up() { "$addr2line" -f -C -i -e "$debug" "$@"; }

# lookup <offset> <function> [<source file>]: the function the README's command names for
# a crash at <offset> into the DLL.
lookup() {
  local offset=$1 function=$2 source=${3:-} address found outer
  grep -qix "$(printf '%016x' $((base + offset)))" <<< "$starts" ||
    fail "$function: no function of Horavane.asi starts at offset 0x$(printf '%x' "$offset")"
  address=$(printf '0x%x' $((base + offset)))
  found=$(look_up "$address")
  outer=$(tail -n 2 <<< "$found" | tr '\n' ' ')
  echo "  offset 0x$(printf '%x' "$offset"): addr2line -f -C -i -e Horavane.debug $address: $(tr '\n' ' ' <<< "$found")"
  [[ $outer == "$function"* ]] || fail "$address: expected the function $function last, got: $found"
  [ -z "$source" ] || [[ $outer == *"$source:"[0-9]* ]] || fail "$address: expected a line of $source, got: $found"
  found=$(look_up "$(printf '0x%x' "$offset")" | sed -n 1p)
  [ "$found" = "??" ] || fail "the bare offset 0x$(printf '%x' "$offset") named $found, not ??"
}

# inlined <function> <source file>: every address inside the function names it last, in
# that file; at some of them the code is an inlined helper, named first, and addr2line
# without -i names only that helper.
inlined() {
  local function=$1 source=$2 start end at verdict addresses bad inlined_at helper_at example inner plain
  start=$("$nm" -C "$debug" | awk -v name="$function" '$2 == "T" && index($3, name "(") == 1 && !found { print $1; found = 1 }')
  [ -n "$start" ] || fail "Horavane.debug has no function $function"
  end=$(awk -v at="$start" 'tolower($1) == at { print $2 }' <<< "$table")
  [ -n "$end" ] || fail "$function: not in the function table of Horavane.asi"
  # -a heads each address's functions with the address itself.
  verdict=$(for ((at = 16#$start; at < 16#$end; at++)); do printf '0x%x\n' "$at"; done | look_up -a |
    awk -v name="$function" -v source="$source" '
      function close_record() {
        if (at == "") return
        addresses++
        if (index(last, name "(") != 1 || file !~ ("/" source ":[0-9]")) { bad++; if (example == "") example = at ":" last }
        if (levels > 1 && helper == "") helper = at
        if (levels > 1) inlined++
      }
      /^0x[0-9a-f]+$/ { close_record(); at = $0; levels = 0; odd = 1; next }
      odd { last = $0; levels++; odd = 0; next }
      { file = $0; odd = 1 }
      END { close_record(); printf "%d %d %d %s %s\n", addresses, bad, inlined, (helper == "" ? "-" : helper), example }')
  read -r addresses bad inlined_at helper_at example <<< "$verdict"
  echo "  $function: $addresses addresses, $inlined_at of them in code inlined into it"
  [ "$addresses" -gt 0 ] || fail "$function: addr2line named no address"
  [ "$bad" -eq 0 ] || fail "$function: $bad addresses do not name it last, in $source; the first: $example"
  [ "$inlined_at" -gt 0 ] || fail "$function: no address in inlined code, so -i shows nothing more"
  inner=$(look_up "$helper_at" | sed -n 1p)
  plain=$("$addr2line" -f -C -e "$debug" "$helper_at" | sed -n 1p)
  [[ $inner != "$function("* && $plain == "$inner" ]] ||
    fail "$helper_at: without -i addr2line names $plain, not the inlined $inner alone"
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
inlined drawText src/menu/text.cpp
echo "test-crash-address: crash offsets map to their functions through Horavane.debug"
