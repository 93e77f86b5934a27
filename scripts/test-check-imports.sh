#!/bin/bash
# Plants faults in a copy of the shipped DLL and checks that check-imports.py names them:
# an imported function renamed in the import table (the same length, so nothing else
# moves), which is a listed import missing and an unlisted one present, and nothing
# else. Then faults that must stop the check with one message of its own, not a shell
# error or a traceback: the copy cut down to its first KiB, the headers; cut in the middle
# of a section's data, which loses the rest of it and every section after it; and marked
# for another machine (i386).
#
#   test-check-imports.sh <Horavane.asi>
set -euo pipefail
dll=${1:?usage: test-check-imports.sh Horavane.asi}
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "test-check-imports: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/$(basename "$dll")
cp "$dll" "$copy"
# check-imports.py names code through the unstripped copy beside the DLL.
cp "${dll%.*}.debug" "${copy%.*}.debug"

# expect_failure <fault>: check-imports.py on the copy, which must fail; sets errors to
# what it said.
expect_failure() {
  if errors=$("$root/scripts/check-imports.py" "$copy" 2>&1 > /dev/null); then
    fail "check-imports.py passes the copy with $1"
  fi
}
# expect_stop <fault> <phrase>: check-imports.py on the copy, which must stop with one
# message of its own that says <phrase>.
expect_stop() {
  expect_failure "$1"
  [[ $errors =~ ^"check-imports: $copy: "[^$'\n']+$ && $errors == *"$2"* ]] ||
    fail "check-imports.py does not stop on the copy with $1 with one message of its own saying \"$2\":"$'\n'"$errors"
}

# The first function of packaging/imports.txt, its last letter changed.
read -r from name < <(awk '!/^#/ && NF { print; exit }' "$root/packaging/imports.txt")
renamed=${name%?}$(tr 'a-zA-Z' 'b-zaB-ZA' <<< "${name: -1}")
[ "$renamed" != "$name" ] || fail "$name does not end in a letter to change"
# Where the file holds the name and its NUL, found in the file's bytes as hex: once.
hex() { od -An -v -t x1 | tr -d ' \n'; }
at=$(hex < "$copy" | grep -ob "$(printf '%s\0' "$name" | hex)" | awk -F: '$1 % 2 == 0 { print $1 / 2 }') || true
[ "$(wc -w <<< "$at")" -eq 1 ] || fail "$dll holds $name and a NUL $(wc -w <<< "$at") times, not once"
printf %s "$renamed" | dd of="$copy" bs=1 seek="$at" conv=notrunc status=none
! cmp -s "$dll" "$copy" || fail "renaming $name left the copy unchanged"
expect_failure "$name renamed $renamed"
for message in "does not import $name from $from" "imports $renamed from $from"; do
  grep -qF "check-imports: $copy: $message, " <<< "$errors" ||
    fail "check-imports.py does not say \"$message\" of the copy with $name renamed $renamed:"$'\n'"$errors"
done
[ "$(wc -l <<< "$errors")" -eq 2 ] ||
  fail "check-imports.py names more than the renamed import:"$'\n'"$errors"
renamed_errors=$errors

# Where to plant the faults, from the DLL's headers as pefile reads them: the COFF
# header's offset (its first field is the Machine), and the offset, size and name of
# the next to last section with data in the file, in the file's order.
read -r coff start bytes section < <(/usr/bin/python3 - "$dll" << 'EOF'
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
sections = sorted((s.PointerToRawData, s.SizeOfRawData, s.Name.rstrip(b"\0").decode())
                  for s in pe.sections if s.SizeOfRawData)
if len(sections) >= 2:
    print(pe.FILE_HEADER.get_file_offset(), *sections[-2])
EOF
) || true
[ -n "${section:-}" ] || fail "$dll has fewer than two sections with data, or pefile cannot read it"

head -c 1024 "$dll" > "$copy"
expect_stop "only its headers" "runs past the end of the file"

# The file cut in the middle of its next to last section's data: the rest of that
# section and the whole last one are lost.
cut=$((start + bytes / 2))
head -c $cut "$dll" > "$copy"
expect_stop "$cut of its $(stat -c %s "$dll") bytes, cut in section $section" "section $section's data, bytes $start to $((start + bytes)), runs past the end of the file"
cut_errors=$errors

# IMAGE_FILE_MACHINE_I386 (0x14c) for IMAGE_FILE_MACHINE_AMD64.
cp "$dll" "$copy"
printf '\x4c\x01' | dd of="$copy" bs=1 seek=$coff conv=notrunc status=none
expect_stop "Machine 0x14c" "Machine is 0x14c "
machine_errors=$errors

echo "test-check-imports: check-imports.py names $name renamed $renamed both missing and not listed, and stops on the DLL cut short and on another machine:"
printf '%s\n' "$renamed_errors" "$cut_errors" "$machine_errors"
