#!/bin/bash
# Plants faults in a copy of the shipped DLL and checks that check-imports.sh names them:
# an imported function renamed in the import table (the same length, so nothing else
# moves), which is a listed import missing and an unlisted one present, and nothing
# else; and the copy cut down to its first KiB, the headers, which must stop the check
# with a message of its own, not a shell error.
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
# check-imports.sh names code through the unstripped copy beside the DLL.
cp "${dll%.*}.debug" "${copy%.*}.debug"

# expect_failure <fault>: check-imports.sh on the copy, which must fail; sets errors to
# what it said.
expect_failure() {
  if errors=$("$root/scripts/check-imports.sh" "$copy" 2>&1 > /dev/null); then
    fail "check-imports.sh passes the copy with $1"
  fi
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
    fail "check-imports.sh does not say \"$message\" of the copy with $name renamed $renamed:"$'\n'"$errors"
done
[ "$(wc -l <<< "$errors")" -eq 2 ] ||
  fail "check-imports.sh names more than the renamed import:"$'\n'"$errors"

head -c 1024 "$dll" > "$copy"
expect_failure "only its headers"
[[ $errors =~ ^"check-imports: $copy: "[^$'\n']+$ ]] ||
  fail "check-imports.sh does not stop on the copy with only its headers with one message of its own:"$'\n'"$errors"

echo "test-check-imports: check-imports.sh names $name renamed $renamed both missing and not listed, and stops on the DLL's headers alone: $(head -1 <<< "$errors")"
