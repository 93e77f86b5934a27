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
# The DLL's headers and import table are read from its own bytes, not from a tool's
# listing of them, whose layout changes from one binutils release to the next. Code is
# named through the unstripped copy beside the DLL (Horavane.debug).
#
#   check-imports.sh <Horavane.asi>
set -euo pipefail
dll=${1:?usage: check-imports.sh Horavane.asi}
debug=${dll%.*}.debug
root=$(cd "$(dirname "$0")/.." && pwd)
list=packaging/imports.txt
def=src/host/ScriptHookV.def
nm=x86_64-w64-mingw32-nm
MAX_BYTES=16384
ENTRY=DllMain

for file in "$dll" "$debug"; do
  [ -f "$file" ] || { echo "check-imports: $file: no such file (make windows)" >&2; exit 1; }
done
status=0
# fail <message>: a budget broken; the check goes on to name the others.
fail() {
  echo "check-imports: $dll: $*" >&2
  status=1
}
# die <message>: a file too malformed to read on.
die() {
  echo "check-imports: $dll: $*" >&2
  exit 1
}

# ---- Size ----
size=$(stat -c %s "$dll")
[ "$size" -le $MAX_BYTES ] || fail "$size bytes, over the budget of $MAX_BYTES bytes (16 KiB)"

# ---- The PE headers, read from the file ----
# u <offset> <bytes>: an unsigned little-endian field of the file.
u() { od -An --endian=little -t "u$2" -j "$1" -N "$2" "$dll" | tr -d ' '; }
# The DOS header's e_lfanew, at 60, is the offset of the "PE\0\0" signature; the 20-byte
# COFF header follows it, then the optional header.
((size >= 64)) || die "$size bytes, too short for a PE file"
pe=$(u 60 4)
optional=$((pe + 24))
((optional + 2 <= size)) || die "no PE header: the DOS header points past the end of the file, to $pe"
signature=$(u "$pe" 4)
((signature == 0x4550)) || die "no \"PE\\0\\0\" signature at offset $pe"
# Magic 0x20b: a PE32+ optional header, the layout of every offset below.
magic=$(u $optional 2)
((magic == 0x20b)) || die "not a 64-bit image: optional header magic $(printf '%#x' "$magic"), not 0x20b (PE32+)"
# 240 bytes of it hold its fields and all 16 data directories.
optional_size=$(u $((pe + 20)) 2)
((optional_size >= 240 && optional + optional_size <= size)) ||
  die "no complete optional header at offset $optional ($optional_size bytes)"
entry_rva=$(u $((optional + 16)) 4)            # AddressOfEntryPoint
image_base=$(u $((optional + 24)) 8)           # ImageBase: the debug copy's addresses start there
subsystem=$(u $((optional + 68)) 2)            # Subsystem
dll_characteristics=$(u $((optional + 70)) 2)  # DllCharacteristics
# The data directories, from 112: the RVA and the size of each, 4 bytes apiece.
import_rva=$(u $((optional + 112 + 8 * 1)) 4)  # 1: the import table
tls_rva=$(u $((optional + 112 + 8 * 9)) 4)     # 9: thread-local storage
# The section table, 40 bytes a section: the name (0, 8 bytes), the size in memory (8),
# the RVA (12), the size of the data in the file (16) and its offset (20), the flags (36).
# Listed as: name, bytes of its data in the file (its size in memory, but no more than
# its data or the file holds), RVA, file offset, flags.
sections=""
section_count=$(u $((pe + 6)) 2)
section_table=$((optional + optional_size))
((section_table + 40 * section_count <= size)) || die "its $section_count sections run past the end of the file"
for ((i = 0; i < section_count; i++)); do
  at=$((section_table + 40 * i))
  name=$(dd if="$dll" bs=1 skip=$at count=8 status=none | tr -d '\0' | LC_ALL=C tr -c '[:graph:]' '?')
  memory=$(u $((at + 8)) 4) data=$(u $((at + 16)) 4) start=$(u $((at + 20)) 4)
  bytes=$((data < memory ? data : memory))
  bytes=$((start >= size ? 0 : start + bytes > size ? size - start : bytes))
  sections+="${name:-?} $bytes $(u $((at + 12)) 4) $start $(u $((at + 36)) 4)"$'\n'
done
# file_offset <rva> <bytes> <what>: sets offset to where the <bytes> at <rva> are in the
# file, and left to the bytes of their section's data from there on.
file_offset() {
  local name bytes address start flags
  while read -r name bytes address start flags; do
    if (($1 >= address && $1 + $2 <= address + bytes)); then
      offset=$((start + $1 - address))
      left=$((address + bytes - $1))
      return
    fi
  done <<< "$sections"
  die "$3, at RVA $(printf '%#x' "$1"), is not in the file: in no section's data"
}
# name_at <rva> <what>: sets name to the NUL-terminated name at <rva>.
name_at() {
  file_offset "$1" 1 "$2"
  IFS= read -r -d '' name < <(tail -c +$((offset + 1)) "$dll" | head -c $left) ||
    die "$2, at RVA $(printf '%#x' "$1"), runs off its section's data in the file without a NUL"
  [[ $name =~ ^[[:graph:]]+$ ]] || die "$2, at RVA $(printf '%#x' "$1"), is not a printable name"
}

# ---- Imports: "<DLL> <function>" per line, both sides sorted ----
# The import directory is a 20-byte descriptor per DLL, ended by an all-zero one: the RVA
# of the DLL's import lookup table (0), a time stamp (4), a forwarder chain (8), the RVA
# of the DLL's name (12) and of its import address table (16). A table is a 64-bit entry
# per function, ended by 0: with the top bit set, an import by ordinal (the low 16 bits);
# else the RVA of a 2-byte hint followed by the function's NUL-terminated name.
imported=""
for ((at = import_rva; import_rva != 0; at += 20)); do # no import table when its RVA is 0
  file_offset $at 20 "the import directory"
  read -r lookup stamp chain name_rva address_table < <(od -An --endian=little -w20 -t u4 -j $offset -N 20 "$dll")
  ((lookup | stamp | chain | name_rva | address_table)) || break
  name_at "$name_rva" "the name of an imported DLL"
  from=$name
  # A linker may leave the lookup table out: the address table names the functions then.
  for ((entry = lookup ? lookup : address_table; ; entry += 8)); do
    file_offset $entry 8 "the import table of $from"
    thunk=$(u $offset 8)
    ((thunk != 0)) || break
    if ((thunk < 0)); then # the top bit, in bash's signed 64-bit arithmetic
      imported+="$from #$((thunk & 0xffff))"$'\n'
    else
      name_at $((thunk + 2)) "the name of a function imported from $from"
      imported+="$from $name"$'\n'
    fi
  done
done
imported=$(printf %s "$imported" | LC_ALL=C sort)
runtime=$(sed -n 's/^LIBRARY //p' "$root/$def")
allowed=$( (grep -v -e '^#' -e '^[[:space:]]*$' "$root/$list"
            sed -n "s/^[^;].* == /$runtime /p" "$root/$def") | LC_ALL=C sort)
while read -r from name; do
  if [ -n "$from" ]; then fail "imports $name from $from, which $list does not list"; fi
done < <(LC_ALL=C comm -23 <(echo "$imported") <(echo "$allowed"))
while read -r from name; do
  if [ -n "$from" ]; then fail "does not import $name from $from, which $list or $def lists"; fi
done < <(LC_ALL=C comm -13 <(echo "$imported") <(echo "$allowed"))

# ---- What runs: DllMain and nothing else ----
symbols=$($nm "$debug")
# words_at <address> <count>: 64-bit words of the loaded image, read from the file.
words_at() {
  file_offset $(($1 - image_base)) $((8 * $2)) "the address $(printf '%#x' "$1")"
  od --endian=little -An -v -t x8 -j $offset -N $((8 * $2)) "$dll" |
    tr -s ' ' '\n' | sed -n 's/^./0x&/p'
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
((tls_rva == 0)) ||
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
  word=$(words_at "$at" 1)
  ((word == -1)) || fail "$symbol does not start with -1"
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
  ((dll_characteristics & ${flag%:*})) ||
    fail "is not marked ${flag#*:} (DllCharacteristics $(printf '%#06x' "$dll_characteristics"))"
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
# IMAGE_SUBSYSTEM_WINDOWS_GUI; 3 would be the console.
((subsystem == 2)) || fail "subsystem is $subsystem, not 2 (Windows GUI)"

[ $status -eq 0 ] && echo "check-imports: $dll: $size bytes, imports only the $(wc -l <<< "$imported") functions of $list and $def, entry $ENTRY and nothing else run, hardened, stripped"
exit $status
