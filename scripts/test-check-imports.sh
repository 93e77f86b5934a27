#!/bin/bash
# Plants faults in a copy of the shipped DLL and checks that check-imports.py names them:
# an imported function renamed in the import table (the same length, so nothing else
# moves), which is a listed import missing and an unlisted one present, and nothing
# else. Then faults that must each give one message of check-imports.py's own, not a
# shell error or a traceback, that names the fault:
# - the copy cut down to its first KiB, the headers; cut in the middle of a section's
#   data, which loses the rest of it and every section after it; marked for another
#   machine (i386);
# - what Windows' loader would refuse or the headers rule out: not marked a DLL;
#   relocations stripped; the base-relocation directory zeroed, of size 0, holding
#   padding only, or with a block of size 0 (which must not hang the walk); a
#   delay-import directory; a writable section shared; force-integrity with no
#   certificate;
# - the import table as the loader reads it, not as pefile does: a lookup table entry
#   that points past the image, an address table entry that differs from the lookup
#   table's, a descriptor with no lookup table, a DLL name past the image;
# - the unstripped copy beside it (Horavane.debug) from another build: its code
#   section moved.
# Where to plant each comes from the DLL's headers as pefile reads them.
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
# check-imports.py names code through the unstripped copy beside the DLL.
debug=${dll%.*}.debug
copy_debug=${copy%.*}.debug
cp "$dll" "$copy"
cp "$debug" "$copy_debug"
# Each line check-imports.py said of a planted fault, for the summary.
said=()

# expect_failure <fault>: check-imports.py on the copy, which must fail; sets errors to
# what it said.
expect_failure() {
  if errors=$("$root/scripts/check-imports.py" "$copy" 2>&1 > /dev/null); then
    fail "check-imports.py passes the copy with $1"
  fi
}
# expect_one <fault> <phrase>: check-imports.py on the copy, which must fail with one
# message of its own that says <phrase>: a stop, or the one budget the fault breaks.
expect_one() {
  expect_failure "$1"
  [[ $errors =~ ^"check-imports: $copy: "[^$'\n']+$ && $errors == *"$2"* ]] ||
    fail "check-imports.py does not fail on the copy with $1 with one message of its own saying \"$2\":"$'\n'"$errors"
  said+=("$errors")
}

# poke <file> <offset> <width> <value>: <value> written there, <width> bytes little-endian,
# zeros past the eighth.
poke() {
  local bytes='' i
  for ((i = 0; i < $3 && i < 8; i++)); do bytes+=$(printf '\\x%02x' $((($4 >> 8 * i) & 0xff))); done
  { printf '%b' "$bytes"; head -c $(($3 > 8 ? $3 - 8 : 0)) /dev/zero; } |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# plant <fault> <phrase> <file> <offset> <width> <value>...: fresh copies of the DLL and
# its unstripped copy, then each <file> <offset> <width> <value> poked into them; the
# check must then say <phrase> of the copy, and nothing else.
plant() {
  local fault=$1 phrase=$2
  shift 2
  cp "$dll" "$copy"
  cp "$debug" "$copy_debug"
  while (($#)); do
    poke "$1" "$2" "$3" "$4"
    shift 4
  done
  ! { cmp -s "$dll" "$copy" && cmp -s "$debug" "$copy_debug"; } ||
    fail "planting $fault left the copies unchanged"
  expect_one "$fault" "$phrase"
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

# Where to plant the faults, from the headers of the DLL and of its unstripped copy as
# pefile reads them: "<name> <value>" lines, offsets in the file. The next to last
# section with data in the file, in the file's order, is cut; the first writable one
# is shared; the import faults are planted in the first import descriptor and its
# tables.
declare -A where
while read -r key value; do where[$key]=$value; done < <(/usr/bin/python3 - "$dll" "$debug" << 'EOF'
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
coff, header = pe.FILE_HEADER, pe.OPTIONAL_HEADER
sections = sorted((s.PointerToRawData, s.SizeOfRawData, s.Name.rstrip(b"\0").decode())
                  for s in pe.sections if s.SizeOfRawData)
def directory(name):
    return header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]]
writable = [s for s in pe.sections
            if s.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]]
descriptors = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
relocations = directory("BASERELOC")
debug = pefile.PE(sys.argv[2], fast_load=True)
if len(sections) < 2 or not writable or not descriptors or not relocations.Size:
    sys.exit()
descriptor = descriptors[0].struct
values = {
    "coff": coff.get_file_offset(), "start": sections[-2][0], "bytes": sections[-2][1],
    "section": sections[-2][2], "image_size": header.SizeOfImage,
    "characteristics": coff.Characteristics,
    "characteristics_at": coff.get_field_absolute_offset("Characteristics"),
    "dll_characteristics": header.DllCharacteristics,
    "dll_characteristics_at": header.get_field_absolute_offset("DllCharacteristics"),
    "relocation_directory_at": relocations.get_file_offset(),
    "relocations_at": pe.get_offset_from_rva(relocations.VirtualAddress),
    "relocations_size": relocations.Size,
    "delay_directory_at": directory("DELAY_IMPORT").get_file_offset(),
    "import_rva": directory("IMPORT").VirtualAddress,
    "writable": writable[0].Name.rstrip(b"\0").decode(),
    "writable_characteristics": writable[0].Characteristics,
    "writable_characteristics_at": writable[0].get_field_absolute_offset("Characteristics"),
    "source": descriptors[0].dll.decode(),
    "lookup_table_at": descriptor.get_field_absolute_offset("OriginalFirstThunk"),
    "name_at": descriptor.get_field_absolute_offset("Name"),
    "lookup_at": pe.get_offset_from_rva(descriptor.OriginalFirstThunk),
    "address_at": pe.get_offset_from_rva(descriptor.FirstThunk),
    "first_lookup": pe.get_qword_at_rva(descriptor.OriginalFirstThunk),
    "second_lookup": pe.get_qword_at_rva(descriptor.OriginalFirstThunk + 8),
    "debug_code": debug.sections[0].Name.rstrip(b"\0").decode(),
    "debug_code_rva": debug.sections[0].VirtualAddress,
    "debug_code_rva_at": debug.sections[0].get_field_absolute_offset("VirtualAddress"),
}
for key, value in values.items():
    print(key, value)
EOF
) || true
[ -n "${where[section]:-}" ] ||
  fail "pefile cannot read $dll or $debug, or $dll lacks two sections with data, a writable section, an import or a relocation"
read -r start bytes section <<< "${where[start]} ${where[bytes]} ${where[section]}"

head -c 1024 "$dll" > "$copy"
expect_one "only its headers" "runs past the end of the file"

# The file cut in the middle of its next to last section's data: the rest of that
# section and the whole last one are lost.
cut=$((start + bytes / 2))
head -c $cut "$dll" > "$copy"
expect_one "$cut of its $(stat -c %s "$dll") bytes, cut in section $section" "section $section's data, bytes $start to $((start + bytes)), runs past the end of the file"

# IMAGE_FILE_MACHINE_I386 (0x14c) for IMAGE_FILE_MACHINE_AMD64: the COFF header's first
# field.
plant "Machine 0x14c" "Machine is 0x14c " "$copy" "${where[coff]}" 2 0x14c

# What the loader would refuse, or the headers rule out: dynamicbase needs relocations.
plant "IMAGE_FILE_DLL cleared" "is not marked a DLL (IMAGE_FILE_DLL clear" \
  "$copy" "${where[characteristics_at]}" 2 $((where[characteristics] & ~0x2000))
plant "IMAGE_FILE_RELOCS_STRIPPED set" "its relocations are stripped (IMAGE_FILE_RELOCS_STRIPPED" \
  "$copy" "${where[characteristics_at]}" 2 $((where[characteristics] | 0x1))
plant "its base-relocation directory zeroed" "has no base-relocation directory" \
  "$copy" "${where[relocation_directory_at]}" 8 0
plant "its base-relocation directory of size 0" "holds no relocation" \
  "$copy" $((where[relocation_directory_at] + 4)) 4 0
# One block over the whole directory, all its entries 0: IMAGE_REL_BASED_ABSOLUTE, padding.
plant "its base-relocation directory holding padding only" "holds no relocation" \
  "$copy" $((where[relocations_at] + 4)) 4 "${where[relocations_size]}" \
  "$copy" $((where[relocations_at] + 8)) $((where[relocations_size] - 8)) 0
plant "a base-relocation block of size 0" "is malformed: SizeOfBlock 0," \
  "$copy" $((where[relocations_at] + 4)) 4 0
# A delay-import directory over the import table's first bytes.
plant "a delay-import directory" "has a delay-import directory" \
  "$copy" "${where[delay_directory_at]}" 4 "${where[import_rva]}" \
  "$copy" $((where[delay_directory_at] + 4)) 4 32
plant "section ${where[writable]} shared" "section ${where[writable]} is shared (IMAGE_SCN_MEM_SHARED)" \
  "$copy" "${where[writable_characteristics_at]}" 4 $((where[writable_characteristics] | 0x10000000))
plant "force-integrity and no certificate" "is marked force-integrity (IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) but has no certificate" \
  "$copy" "${where[dll_characteristics_at]}" 2 $((where[dll_characteristics] | 0x80))

# The import table, where pefile reads on from the address table when the loader would
# fail: the first descriptor, its tables' first entries.
source=${where[source]}
plant "a lookup table entry past the image" "import lookup table entry 0 of $source points to RVA $(printf %#x "${where[image_size]}"), outside the image" \
  "$copy" "${where[lookup_at]}" 8 "${where[image_size]}"
# The address table's first entry names the lookup table's second function.
plant "an address table entry unlike its lookup table entry" "import lookup table entry 0 of $source, $(printf %#x "${where[first_lookup]}"), disagrees with the import address table entry beside it, $(printf %#x "${where[second_lookup]}")" \
  "$copy" "${where[address_at]}" 8 "${where[second_lookup]}"
plant "a descriptor with no lookup table" "the import descriptor for $source has no import lookup table (OriginalFirstThunk 0)" \
  "$copy" "${where[lookup_table_at]}" 4 0
plant "a DLL name past the image" "the DLL name of import descriptor 0 is at RVA $(printf %#x "${where[image_size]}"), outside the image" \
  "$copy" "${where[name_at]}" 4 "${where[image_size]}"

# Horavane.debug from another build: its code 16 bytes on, which names every function
# 16 bytes past its own address.
plant "$copy_debug from another build" "$copy_debug is not this DLL's unstripped copy: its section 1 is ${where[debug_code]} at RVA $(printf %#x $((where[debug_code_rva] + 16)))" \
  "$copy_debug" "${where[debug_code_rva_at]}" 4 $((where[debug_code_rva] + 16))
[[ ${said[-1]} == *"rebuild both (make windows)" ]] ||
  fail "check-imports.py does not say to rebuild both:"$'\n'"${said[-1]}"

echo "test-check-imports: check-imports.py names $name renamed $renamed both missing and not listed, and each other fault planted with one message:"
printf '%s\n' "$renamed_errors" "${said[@]}"
