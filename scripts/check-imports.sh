#!/bin/bash
# Checks the shipped DLL against its budgets and names what broke each one:
# - at most 16 KiB;
# - it imports exactly the functions of packaging/imports.txt, and from the runtime
#   exactly the decorated names of src/host/ScriptHookV.def;
# - nothing of it runs but DllMain and what DllMain registers: the entry point is DllMain,
#   there is no TLS directory (callbacks on every thread the game starts or ends), and
#   no static constructor or destructor, which no C runtime is linked to call: they would
#   silently never run;
# - address-space randomisation (with high-entropy addresses) and no-execute data; no
#   section both writable and executable;
# - no debug sections and no symbol table; the GUI subsystem.
# Code is named through the unstripped copy beside the DLL (Horavane.debug).
#
#   check-imports.sh <Horavane.asi>
set -euo pipefail
dll=${1:?usage: check-imports.sh Horavane.asi}
debug=${dll%.*}.debug
root=$(cd "$(dirname "$0")/.." && pwd)
list=packaging/imports.txt
def=src/host/ScriptHookV.def
objdump=x86_64-w64-mingw32-objdump
nm=x86_64-w64-mingw32-nm
MAX_BYTES=16384
ENTRY=DllMain

for file in "$dll" "$debug"; do
  [ -f "$file" ] || { echo "check-imports: $file: no such file (make windows)" >&2; exit 1; }
done
status=0
fail() {
  echo "check-imports: $dll: $*" >&2
  status=1
}

# ---- Size ----
size=$(stat -c %s "$dll")
[ "$size" -le $MAX_BYTES ] || fail "$size bytes, over the budget of $MAX_BYTES bytes (16 KiB)"

# ---- Imports: "<DLL> <function>" per line, both sides sorted ----
table=$($objdump -p "$dll")
imported=$(awk '/^\tDLL Name: / { dll = $3; next }
                /^$/ { dll = "" }
                dll != "" && /^\t[0-9a-f]+\t/ { print dll, $NF }' <<< "$table" | LC_ALL=C sort)
runtime=$(sed -n 's/^LIBRARY //p' "$root/$def")
allowed=$( (grep -v -e '^#' -e '^[[:space:]]*$' "$root/$list"
            sed -n "s/^[^;].* == /$runtime /p" "$root/$def") | LC_ALL=C sort)
while read -r from name; do
  if [ -n "$from" ]; then fail "imports $name from $from, which $list does not list"; fi
done < <(LC_ALL=C comm -23 <(echo "$imported") <(echo "$allowed"))
while read -r from name; do
  if [ -n "$from" ]; then fail "does not import $name from $from, which $list or $def lists"; fi
done < <(LC_ALL=C comm -13 <(echo "$imported") <(echo "$allowed"))

# ---- The PE headers, read from the file ----
# u <offset> <bytes>: an unsigned little-endian field of the file.
u() { od -An --endian=little -t "u$2" -j "$1" -N "$2" "$dll" | tr -d ' '; }
pe=$(u 60 4)
optional=$((pe + 24))
header_field() { awk -v key="$1" '$1 == key { print "0x" $2 }' <<< "$table"; }
image_base=$(header_field ImageBase)
entry_rva=$(header_field AddressOfEntryPoint)
dll_characteristics=$(header_field DllCharacteristics)
# Data directory 9 (thread-local storage): address and size at 184 of the PE32+ header.
tls_size=$(u $((optional + 184)) 4)
# The section table: name, virtual size, address, file offset and flags of each.
sections=""
section_count=$(u $((pe + 6)) 2)
section_table=$((optional + $(u $((pe + 20)) 2)))
for ((i = 0; i < section_count; i++)); do
  at=$((section_table + 40 * i))
  name=$(dd if="$dll" bs=1 skip=$at count=8 status=none | tr -d '\0')
  sections+="$name $(u $((at + 8)) 4) $(u $((at + 12)) 4) $(u $((at + 20)) 4) $(u $((at + 36)) 4)"$'\n'
done

# ---- What runs: DllMain and nothing else ----
symbols=$($nm "$debug")
# words_at <address> <count>: 64-bit words of the loaded image, read from the file.
words_at() {
  local rva=$(($1 - image_base)) count=$2 name size address offset flags
  while read -r name size address offset flags; do
    if ((rva >= address && rva + 8 * count <= address + size && offset != 0)); then
      od --endian=little -An -v -t x8 -j $((offset + rva - address)) -N $((8 * count)) "$dll" |
        tr -s ' ' '\n' | sed -n 's/^./0x&/p'
      return
    fi
  done <<< "$sections"
  echo "check-imports: $dll: address $(printf '%#x' "$1") is not in the file" >&2
  exit 1
}
# symbol_at <address>: the unstripped copy's name for it, else the name of the function's
# own section (.text.startup.<name>, .text$<name>).
symbol_at() {
  local name
  name=$(awk -v at="$(printf '%016x' "$1")" '
    $1 != at { next }
    $3 !~ /^\./ { print $3; exit }
    $3 ~ /^\.text[.$]/ && own == "" { own = $3; sub(/^\.text(\.startup)?[.$]/, "", own) }
    END { if (own != "") print own }' <<< "$symbols" | head -1)
  echo "${name:-unnamed code at $(printf '%#x' "$1") (is $debug from this build?)}"
}

entry=$(symbol_at $((image_base + entry_rva)))
[ "$entry" = $ENTRY ] || fail "the entry point is $entry, not $ENTRY"
((tls_size == 0)) ||
  fail "has a TLS directory: its callbacks would run on every thread the game starts or ends"
# The linker's constructor and destructor tables: -1, the entries, 0. With no C runtime
# linked, nothing walks them.
for list_name in __CTOR_LIST__:constructor __DTOR_LIST__:destructor; do
  symbol=${list_name%:*}
  what=${list_name#*:}
  at=$(awk -v name="$symbol" '$3 == name { print "0x" $1; exit }' <<< "$symbols")
  if [ -z "$at" ]; then
    fail "$debug has no $symbol symbol, so its static ${what}s cannot be checked"
    continue
  fi
  (($(words_at "$at" 1) == -1)) || fail "$symbol does not start with -1"
  for ((i = 1; i < 64; i++)); do
    word=$(words_at $((at + 8 * i)) 1)
    ((word == 0)) && break
    fail "static $what $(symbol_at "$word") would never run: no C runtime is linked to call it (make the object constant-initialised)"
  done
done
# Sections a C runtime's start-up would walk, left over from an object that expects one.
while read -r name _; do
  case $name in
    .tls* | .CRT* | .ctors* | .dtors* | .init_array* | .fini_array*)
      fail "has a $name section, for start-up code that no C runtime is linked to run" ;;
  esac
done <<< "$sections"

# ---- Hardening ----
# IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, _DYNAMIC_BASE, _NX_COMPAT.
for flag in 0x20:high-entropy-va 0x40:dynamicbase 0x100:nxcompat; do
  ((dll_characteristics & ${flag%:*})) || fail "is not marked ${flag#*:} (DllCharacteristics $dll_characteristics)"
done
# IMAGE_SCN_MEM_EXECUTE and IMAGE_SCN_MEM_WRITE.
while read -r name _ _ _ flags; do
  if [ -n "$name" ] && ((flags & 0x20000000 && flags & 0x80000000)); then
    fail "section $name is both writable and executable"
  fi
done <<< "$sections"

# ---- Stripped, and a GUI DLL ----
debug_sections=$(awk '$1 ~ /^\.(z?debug|gnu_debug)/ || $1 ~ /^\/[0-9]+$/ { print $1 }' <<< "$sections")
[ -z "$debug_sections" ] || fail "carries debug sections: $(echo $debug_sections)"
symbol_table=$(u $((pe + 12)) 4)
symbol_count=$(u $((pe + 16)) 4)
((symbol_table == 0 && symbol_count == 0)) || fail "carries a symbol table of $symbol_count symbols"
grep -q '^Subsystem[[:space:]].*(Windows GUI)' <<< "$table" ||
  fail "subsystem is $(awk '$1 == "Subsystem" { print $2, $3, $4 }' <<< "$table"), not Windows GUI"

[ $status -eq 0 ] && echo "check-imports: $dll: $size bytes, imports only the $(wc -l <<< "$imported") functions of $list and $def, entry $ENTRY and nothing else run, hardened, stripped"
exit $status
