#!/bin/bash
# Checks the shipped DLL against its budgets and names what broke each one:
# - at most 32 KiB;
# - it imports exactly the functions of packaging/imports.txt, and from the runtime
#   exactly the decorated names of src/host/ScriptHookV.def;
# - nothing but the C runtime's own start-up code runs at load (static constructors) or
#   on every thread the game starts or ends (TLS callbacks); the entries are named
#   through the unstripped copy beside the DLL (Horavane.debug);
# - no debug sections and no symbol table; the GUI subsystem.
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
MAX_BYTES=32768

# The C runtime's own start-up entries: the TLS callbacks of libmingw32 (thread-local
# initialisers and destructors) and the frame-registration constructor of GCC's crtend.o.
CRT_TLS_CALLBACKS="__dyn_tls_init __dyn_tls_dtor"
CRT_CONSTRUCTORS="register_frame_ctor"

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
[ "$size" -le $MAX_BYTES ] || fail "$size bytes, over the budget of $MAX_BYTES bytes (32 KiB)"

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

# ---- What runs at load and on every thread ----
sections=$($objdump -h "$dll" | awk '$1 ~ /^[0-9]+$/ { print $2, $3, $4, $6 }')  # name size address offset
symbols=$($nm "$debug")
# words_at <address> <count>: 64-bit words of the loaded image, read from the file.
words_at() {
  local at=$(($1)) count=$2 name size address offset
  while read -r name size address offset; do
    if ((at >= 0x$address && at + 8 * count <= 0x$address + 0x$size && 0x$offset != 0)); then
      od --endian=little -An -v -t x8 -j $((0x$offset + at - 0x$address)) -N $((8 * count)) "$dll" |
        tr -s ' ' '\n' | sed -n 's/^./0x&/p'
      return
    fi
  done <<< "$sections"
  echo "check-imports: $dll: address $(printf '%#x' "$at") is not in the file" >&2
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
# check_entries <what> <allowed names> <address...>
check_entries() {
  local what=$1 allowed=" $2 " at name
  shift 2
  for at in "$@"; do
    name=$(symbol_at "$at")
    [[ $allowed == *" $name "* ]] || fail "$what $name is not the C runtime's own"
  done
}
# A null-terminated table of addresses at <address>.
table_at() {
  local at=$(($1)) word
  for ((i = 0; i < 64; i++)); do
    word=$(words_at $((at + 8 * i)) 1)
    ((word == 0)) && return
    echo "$word"
  done
}

image_base=$(awk '$1 == "ImageBase" { print "0x" $2 }' <<< "$table")
read -r tls_rva tls_size < <(awk '$1 == "Entry" && $2 == "9" { print "0x" $3, "0x" $4 }' <<< "$table")
if ((tls_size != 0)); then
  # IMAGE_TLS_DIRECTORY64: the fourth word is the address of the callback table.
  callbacks=$(words_at $((image_base + tls_rva)) 4 | tail -1)
  entries=$(table_at "$callbacks")
  check_entries "TLS callback" "$CRT_TLS_CALLBACKS" $entries
fi
# GCC's constructor table: -1, the constructors, 0.
ctor_list=0x$(awk '$3 == "__CTOR_LIST__" { print $1 }' <<< "$symbols")
[ "$ctor_list" != 0x ] || fail "$debug has no __CTOR_LIST__ symbol"
if [ "$ctor_list" != 0x ]; then
  (($(words_at "$ctor_list" 1) == -1)) || fail "__CTOR_LIST__ does not start with -1"
  entries=$(table_at $((ctor_list + 8)))
  check_entries "static constructor" "$CRT_CONSTRUCTORS" $entries
fi

# ---- Stripped, and a GUI DLL ----
debug_sections=$(awk '$1 ~ /^[0-9]+$/ && $2 ~ /^\.(z?debug|gnu_debug)/ { print $2 }' <<< "$($objdump -h "$dll")")
[ -z "$debug_sections" ] || fail "carries debug sections: $(echo $debug_sections)"
# COFF file header, after "PE\0\0": PointerToSymbolTable and NumberOfSymbols at 8 and 12.
pe=$(od -An -t u4 -j 60 -N 4 "$dll" | tr -d ' ')
read -r symbol_table symbol_count < <(od -An -t u4 -j $((pe + 12)) -N 8 "$dll")
((symbol_table == 0 && symbol_count == 0)) || fail "carries a symbol table of $symbol_count symbols"
grep -q '^Subsystem[[:space:]].*(Windows GUI)' <<< "$table" ||
  fail "subsystem is $(awk '$1 == "Subsystem" { print $2, $3, $4 }' <<< "$table"), not Windows GUI"

[ $status -eq 0 ] && echo "check-imports: $dll: $size bytes, imports only the $(wc -l <<< "$imported") functions of $list and $def, no start-up code but the C runtime's, stripped"
exit $status
