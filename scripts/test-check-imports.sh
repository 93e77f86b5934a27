#!/bin/bash
# Plants faults in a copy of the shipped DLL and checks that check-imports.py names them:
# an imported function renamed in the import table (the same length, so nothing else
# moves), which is a listed import missing and an unlisted one present, and nothing
# else. Then faults that must each give one message of check-imports.py's own, not a
# shell error or a traceback, that names the fault:
# - the copy cut down to its first KiB, the headers; cut in the middle of a section's
#   data, which loses the rest of it and every section after it; marked for another
#   machine (i386);
# - what Windows' loader would refuse or the headers rule out: not marked a DLL or an
#   executable image; relocations stripped; the base-relocation directory zeroed, of
#   size 0, holding padding only, or with a block of size 0 (which must not hang the
#   walk); a fix-up of type HIGHLOW or of an undefined type, one in the headers, one
#   that ends past the image; a delay-import directory; a writable section shared;
#   force-integrity with no certificate; the image base off a 64 KiB boundary;
#   SectionAlignment below FileAlignment; sections overlapping, out of order or not
#   aligned; SizeOfImage a page too large; the entry point's section not executable; a
#   load-config directory of 8 bytes; an export directory past the image, which only
#   pefile's warnings name;
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
pe = pefile.PE(sys.argv[1])
coff, header = pe.FILE_HEADER, pe.OPTIONAL_HEADER
def name(section):
    return section.Name.rstrip(b"\0").decode()
sections = sorted((s.PointerToRawData, s.SizeOfRawData, name(s))
                  for s in pe.sections if s.SizeOfRawData)
# The section table's first two entries, and the section that holds the entry point.
table = sorted(pe.sections, key=lambda s: s.get_file_offset())
code = pe.get_section_by_rva(header.AddressOfEntryPoint)
def directory(name):
    return header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]]
writable = [s for s in pe.sections
            if s.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]]
descriptors = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
relocations = directory("BASERELOC")
debug = pefile.PE(sys.argv[2], fast_load=True)
if len(sections) < 2 or not writable or not descriptors or not relocations.Size or not code:
    sys.exit()
descriptor = descriptors[0].struct
def copy_of(section):
    return next(s for s in debug.sections if s.Name == section.Name)
fixup = next(e.struct for e in pe.DIRECTORY_ENTRY_BASERELOC[0].entries if e.type == 10)
values = {
    "coff": coff.get_file_offset(), "start": sections[-2][0], "bytes": sections[-2][1],
    "section": sections[-2][2], "image_size": header.SizeOfImage,
    "characteristics": coff.Characteristics,
    "characteristics_at": coff.get_field_absolute_offset("Characteristics"),
    "image_size_at": header.get_field_absolute_offset("SizeOfImage"),
    "image_base": header.ImageBase, "image_base_at": header.get_field_absolute_offset("ImageBase"),
    "debug_image_base_at": debug.OPTIONAL_HEADER.get_field_absolute_offset("ImageBase"),
    "section_alignment": header.SectionAlignment, "file_alignment": header.FileAlignment,
    "section_alignment_at": header.get_field_absolute_offset("SectionAlignment"),
    "table_at": table[0].get_file_offset(),
    "first": name(table[0]), "first_rva": table[0].VirtualAddress,
    "first_size_at": table[0].get_field_absolute_offset("Misc_VirtualSize"),
    "debug_first_size_at": copy_of(table[0]).get_field_absolute_offset("Misc_VirtualSize"),
    "second": name(table[1]), "second_rva": table[1].VirtualAddress,
    "second_rva_at": table[1].get_field_absolute_offset("VirtualAddress"),
    "debug_second_rva_at": copy_of(table[1]).get_field_absolute_offset("VirtualAddress"),
    "code": name(code), "code_characteristics": code.Characteristics,
    "code_characteristics_at": code.get_field_absolute_offset("Characteristics"),
    "fixup": fixup.Data, "fixup_at": fixup.get_file_offset(),
    "load_config_directory_at": directory("LOAD_CONFIG").get_file_offset(),
    "export_directory_at": directory("EXPORT").get_file_offset(),
    "dll_characteristics": header.DllCharacteristics,
    "dll_characteristics_at": header.get_field_absolute_offset("DllCharacteristics"),
    "relocation_directory_at": relocations.get_file_offset(),
    "relocations_at": pe.get_offset_from_rva(relocations.VirtualAddress),
    "relocations_size": relocations.Size,
    "delay_directory_at": directory("DELAY_IMPORT").get_file_offset(),
    "headers_size": header.SizeOfHeaders,
    "writable": name(writable[0]),
    "writable_characteristics": writable[0].Characteristics,
    "writable_characteristics_at": writable[0].get_field_absolute_offset("Characteristics"),
    "source": descriptors[0].dll.decode(),
    "lookup_table_at": descriptor.get_field_absolute_offset("OriginalFirstThunk"),
    "name_at": descriptor.get_field_absolute_offset("Name"),
    "lookup_at": pe.get_offset_from_rva(descriptor.OriginalFirstThunk),
    "address_at": pe.get_offset_from_rva(descriptor.FirstThunk),
    "first_lookup": pe.get_qword_at_rva(descriptor.OriginalFirstThunk),
    "second_lookup": pe.get_qword_at_rva(descriptor.OriginalFirstThunk + 8),
    "debug_code": name(debug.sections[0]),
    "debug_code_rva": debug.sections[0].VirtualAddress,
    "debug_code_rva_at": debug.sections[0].get_field_absolute_offset("VirtualAddress"),
}
for key, value in values.items():
    print(key, value)
EOF
) || true
[ -n "${where[section]:-}" ] ||
  fail "pefile cannot read $dll or $debug, or $dll lacks two sections with data, a writable section, an import, a relocation or an entry point in a section"
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
plant "IMAGE_FILE_EXECUTABLE_IMAGE cleared" "is not marked an executable image (IMAGE_FILE_EXECUTABLE_IMAGE clear" \
  "$copy" "${where[characteristics_at]}" 2 $((where[characteristics] & ~0x2))
plant "IMAGE_FILE_RELOCS_STRIPPED set" "its relocations are stripped (IMAGE_FILE_RELOCS_STRIPPED" \
  "$copy" "${where[characteristics_at]}" 2 $((where[characteristics] | 0x1))
plant "its base-relocation directory zeroed" "has no base-relocation directory" \
  "$copy" "${where[relocation_directory_at]}" 8 0
plant "its base-relocation directory of size 0" "holds no relocation" \
  "$copy" $((where[relocation_directory_at] + 4)) 4 0
# A directory of one block of 10 bytes, its one entry 0: IMAGE_REL_BASED_ABSOLUTE, padding.
plant "its base-relocation directory holding padding only" "holds no relocation" \
  "$copy" $((where[relocation_directory_at] + 4)) 4 10 \
  "$copy" $((where[relocations_at] + 4)) 4 10 "$copy" $((where[relocations_at] + 8)) 2 0
plant "a base-relocation block of size 0" "is malformed: SizeOfBlock 0," \
  "$copy" $((where[relocations_at] + 4)) 4 0
# The first block's first DIR64 fix-up made HIGHLOW (3), a 32-bit image's, or of type 15,
# which none is.
for type in "3 (IMAGE_REL_BASED_HIGHLOW)" "15 (undefined)"; do
  plant "a fix-up of type $type" "holds fix-ups of type $type:" \
    "$copy" "${where[fixup_at]}" 2 $((${type%% *} << 12 | (where[fixup] & 0xfff)))
done
# The first block for page 0, the headers'; for the image's last page, that fix-up in its
# last 4 bytes.
plant "a relocation block for the headers' page" "for page 0x0, fixes up the 8 bytes at RVA $(printf %#x $((where[fixup] & 0xfff))), in its headers" \
  "$copy" "${where[relocations_at]}" 4 0
last_page=$((where[image_size] - 4096))
plant "a fix-up that ends past the image" "fixes up the 8 bytes at RVA $(printf %#x $((last_page + 0xffc))), past the end of the image" \
  "$copy" "${where[relocations_at]}" 4 $last_page "$copy" "${where[fixup_at]}" 2 $((10 << 12 | 0xffc))
# A delay-import directory over the last 32 bytes of the headers, zeros after the section
# table: a descriptor that ends the list, which pefile reads without a warning.
plant "a delay-import directory" "has a delay-import directory" \
  "$copy" "${where[delay_directory_at]}" 4 $((where[headers_size] - 32)) \
  "$copy" $((where[delay_directory_at] + 4)) 4 32
plant "section ${where[writable]} shared" "section ${where[writable]} is shared (IMAGE_SCN_MEM_SHARED)" \
  "$copy" "${where[writable_characteristics_at]}" 4 $((where[writable_characteristics] | 0x10000000))
plant "force-integrity and no certificate" "is marked force-integrity (IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) but has no certificate" \
  "$copy" "${where[dll_characteristics_at]}" 2 $((where[dll_characteristics] | 0x80))

# The layout, planted in the unstripped copy too where it keeps the same field, as a
# build would make it.
base=$((where[image_base] + 4096))
plant "the image base 4 KiB past a 64 KiB boundary" "its image base $(printf %#x $base) is not a multiple of 64 KiB" \
  "$copy" "${where[image_base_at]}" 8 $base "$copy_debug" "${where[debug_image_base_at]}" 8 $base
half=$((where[file_alignment] / 2))
plant "SectionAlignment half of FileAlignment" "its SectionAlignment, $(printf %#x $half), is below its FileAlignment, $(printf %#x "${where[file_alignment]}")" \
  "$copy" "${where[section_alignment_at]}" 4 $half
read -r first first_rva second second_rva <<< "${where[first]} ${where[first_rva]} ${where[second]} ${where[second_rva]}"
# The section table's first section grown a byte into the second's first page.
size=$((second_rva - first_rva + 1))
plant "section $first overlapping section $second" "section $second, at RVA $(printf %#x "$second_rva"), starts below the end of section $first" \
  "$copy" "${where[first_size_at]}" 4 $size "$copy_debug" "${where[debug_first_size_at]}" 4 $size
# The table's first two entries, of 40 bytes each, swapped: the higher section first.
cp "$dll" "$copy"
cp "$debug" "$copy_debug"
for move in "0 40" "40 0"; do
  read -r from to <<< "$move"
  dd if="$dll" of="$copy" bs=1 skip=$((where[table_at] + from)) seek=$((where[table_at] + to)) \
    count=40 conv=notrunc status=none
done
expect_one "sections $first and $second swapped in the table" "section $first, at RVA $(printf %#x "$first_rva"), starts below the end of section $second"
plant "section $second 16 bytes past its page" "section $second, at RVA $(printf %#x $((second_rva + 16))), is not aligned to SectionAlignment" \
  "$copy" "${where[second_rva_at]}" 4 $((second_rva + 16)) \
  "$copy_debug" "${where[debug_second_rva_at]}" 4 $((second_rva + 16))
plant "SizeOfImage a page too large" "its SizeOfImage, $(printf %#x $((where[image_size] + where[section_alignment]))), is not $(printf %#x "${where[image_size]}")" \
  "$copy" "${where[image_size_at]}" 4 $((where[image_size] + where[section_alignment]))
plant "section ${where[code]} not executable" "is in section ${where[code]}, which is not executable (IMAGE_SCN_MEM_EXECUTE clear)" \
  "$copy" "${where[code_characteristics_at]}" 4 $((where[code_characteristics] & ~0x20000000))
# A load-config directory of 8 bytes in the headers' last 8, zeros after the section
# table, whose first field then says 8 bytes. (In the headers, a file offset is the RVA.)
config=$((where[headers_size] - 8))
plant "a load-config directory of 8 bytes" "its load-config directory (RVA $(printf %#x $config), 8 bytes) holds a structure whose Size field says 8 bytes" \
  "$copy" "${where[load_config_directory_at]}" 4 $config \
  "$copy" $((where[load_config_directory_at] + 4)) 4 8 "$copy" $config 4 8
plant "an export directory at RVA 0x100000" "pefile warns of this file: " \
  "$copy" "${where[export_directory_at]}" 4 0x100000 "$copy" $((where[export_directory_at] + 4)) 4 40
[[ ${said[-1]} == *0x100000* ]] ||
  fail "check-imports.py does not name the export directory's RVA:"$'\n'"${said[-1]}"

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
