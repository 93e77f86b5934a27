#!/usr/bin/python3
"""Checks the shipped DLL against its budgets and names what broke each one:
- at most 16 KiB;
- it imports exactly the functions of packaging/imports.txt, and from the runtime
  exactly the decorated names of src/host/ScriptHookV.def, read from the import table as
  Windows' loader reads it: every descriptor has a lookup table whose entries name
  functions inside the image, and an address table equal to it (the image is not bound
  beforehand); no delay-import directory, whose imports code in the DLL would bind past
  this check;
- laid out for Windows' loader to map and move, by these rules, stricter than the loader
  where this DLL has no use for more: marked an executable image and a DLL, its
  relocations not stripped; its image base a multiple of 64 KiB; the entry point in an
  executable section; SectionAlignment at least FileAlignment, each section aligned to
  it and above the headers and the section before it in the table, SizeOfImage where the
  last one ends, rounded up; a base-relocation directory holding relocations, each DIR64
  (ABSOLUTE only pads a block) and fixing up 8 bytes inside the sections; a load-config
  directory, if there is one, holding the structure its Size field declares, of at least
  the 96 bytes up to SecurityCookie, which the loader reads; no shared section; not
  marked force-integrity, which Windows refuses to load with no certificate;
- nothing of it runs but DllMain and what DllMain registers: the entry point is DllMain,
  there is no TLS directory (callbacks on every thread the game starts or ends), and
  no static constructor or destructor, which no C runtime is linked to call: they would
  silently never run;
- address-space randomisation (with high-entropy addresses) and no-execute data; no
  section both writable and executable;
- no debug sections and no symbol table; the GUI subsystem.
The DLL is read with pefile (python3-pefile), from its own bytes, not from a tool's
listing of them, whose layout changes from one binutils release to the next; the import
table and the base-relocation blocks are walked here, bounded, since pefile reads past
what the loader refuses. A file that is not a whole x86-64 PE32+ image (cut short, a
section's data past the end of the file, another machine, too few data directories, an
import table or relocation directory that points outside it) stops the check with one
line that says so; whatever else pefile warns of, reading every data directory, is a
failure too, named in one line when no check above names a fault (pefile warns of some
of those as well, more of them in newer releases). Code is named through the unstripped copy beside the DLL (Horavane.debug)
and MinGW-w64's nm; a copy from another build stops the check first, since it would
name the wrong code.

    check-imports.py <Horavane.asi>
"""
import collections
import itertools
import os
import re
import struct
import subprocess
import sys

try:
    import pefile
except ImportError:
    sys.exit("check-imports: this Python has no pefile module: run it with /usr/bin/python3,"
             " with Debian's python3-pefile installed (scripts/setup.sh)")

LIST = "packaging/imports.txt"
DEF = "src/host/ScriptHookV.def"
NM = "x86_64-w64-mingw32-nm"
MAX_BYTES = 16384
ENTRY = "DllMain"
# A PE32+ optional header's data directories, of which these are read.
DIRECTORIES = 16
IMPORT_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
RELOCATION_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]
TLS_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]
DELAY_IMPORT_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]
LOAD_CONFIG_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]
AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
RELOCS_STRIPPED = pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
DLL = pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
EXECUTABLE_IMAGE = pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_EXECUTABLE_IMAGE"]
FORCE_INTEGRITY = pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY"]
SHARED = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_SHARED"]
HARDENING = [("IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA", "high-entropy-va"),
             ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "dynamicbase"),
             ("IMAGE_DLLCHARACTERISTICS_NX_COMPAT", "nxcompat")]
EXECUTABLE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]
WRITABLE_EXECUTABLE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"] | EXECUTABLE
GUI = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
# Sections a C runtime's start-up would walk, left over from an object that expects one.
CRT_SECTIONS = re.compile(r"\.(tls|CRT|ctors|dtors|init_array|fini_array)")
# DWARF sections, and long section names, which only debug sections get.
DEBUG_SECTIONS = re.compile(r"\.(z?debug|gnu_debug)|/[0-9]+$")
# Entries of a constructor or destructor table read before its ending 0 must have come.
MAX_TABLE_ENTRIES = 63
# An import descriptor: OriginalFirstThunk (the lookup table), TimeDateStamp,
# ForwarderChain, Name, FirstThunk (the address table). The walks over the import table
# read at most so many descriptors, and entries of one table, before the zeros that end
# them, and so many bytes of a name before its NUL.
DESCRIPTOR = struct.Struct("<5I")
MAX_DESCRIPTORS = 64
MAX_THUNKS = 1024
MAX_NAME = 256
# A lookup table entry with its top bit set imports by ordinal, its low 16 bits.
BY_ORDINAL = 1 << 63
# A base-relocation block: the page's RVA and the block's size, 2-byte entries after them,
# each a type in its top 4 bits and an offset into the page in the others. A 64-bit image
# fixes up 8-byte addresses (IMAGE_REL_BASED_DIR64); IMAGE_REL_BASED_ABSOLUTE only pads a
# block.
BLOCK = struct.Struct("<2I")
ABSOLUTE = pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]
DIR64 = pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"]
# Windows places images on 64 KiB boundaries, its allocation granularity.
GRANULARITY = 0x10000
# A 64-bit load-config structure's bytes up to the end of SecurityCookie, which the
# loader reads to set up the stack-protector cookie.
LOAD_CONFIG_BYTES = 0x60


class Stop(Exception):
    """A file too malformed to read on, or a tool missing: the check ends with this line."""


class Check:
    def __init__(self, dll):
        self.dll = dll
        self.debug = os.path.splitext(dll)[0] + ".debug"
        self.root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        self.failed = False

    def fail(self, message):
        """A budget broken; the check goes on to name the others."""
        print(f"check-imports: {self.dll}: {message}", file=sys.stderr)
        self.failed = True

    # ---- The PE file, read whole or not at all ----
    def read(self):
        with open(self.dll, "rb") as file:
            self.data = file.read()
        size = len(self.data)
        try:
            pe = pefile.PE(data=self.data)
        except Exception as error:
            raise Stop(f"pefile cannot read it as a PE file: {said(error)}")
        if pe.FILE_HEADER.Machine != AMD64:
            machine = pe.FILE_HEADER.Machine
            raise Stop(f"Machine is {machine:#x} ({pefile.MACHINE_TYPE.get(machine, 'unknown')}),"
                       f" not {AMD64:#x} (IMAGE_FILE_MACHINE_AMD64): not an x86-64 DLL")
        header = pe.OPTIONAL_HEADER
        if header.Magic != pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:
            raise Stop(f"not a 64-bit image: optional header magic {header.Magic:#x},"
                       f" not {pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:#x} (PE32+)")
        if header.NumberOfRvaAndSizes != DIRECTORIES:
            raise Stop(f"its optional header has {header.NumberOfRvaAndSizes} data directories"
                       f" (NumberOfRvaAndSizes), not {DIRECTORIES}")
        whole = header.sizeof() + 8 * DIRECTORIES
        if pe.FILE_HEADER.SizeOfOptionalHeader < whole:
            raise Stop(f"its optional header is {pe.FILE_HEADER.SizeOfOptionalHeader} bytes"
                       f" (SizeOfOptionalHeader), too few for its {DIRECTORIES} data"
                       f" directories ({whole})")
        if header.SizeOfHeaders > size or len(header.DATA_DIRECTORY) < DIRECTORIES:
            raise Stop(f"cut short: its headers are {header.SizeOfHeaders} bytes (SizeOfHeaders),"
                       f" the whole file {size}")
        for section in pe.sections:
            start, end = section.PointerToRawData, section.PointerToRawData + section.SizeOfRawData
            if section.SizeOfRawData and end > size:
                raise Stop(f"section {name_of(section)}'s data, bytes {start} to {end}, runs past"
                           f" the end of the file ({size} bytes): the file is cut short or its"
                           " section table is wrong")
        self.pe = pe

    def section_data(self, rva, what):
        """The loaded image from <rva> to the end of its section's data in the file. <what>
        ends in a verb that the RVA completes: "the name is at"."""
        end = self.pe.OPTIONAL_HEADER.SizeOfImage
        if rva >= end:
            raise Stop(f"{what} RVA {rva:#x}, outside the image: past its end (SizeOfImage"
                       f" {end:#x})")
        for section in self.pe.sections:
            held = min(section.SizeOfRawData, section.Misc_VirtualSize)
            if section.VirtualAddress <= rva < section.VirtualAddress + held:
                start = section.PointerToRawData
                return self.data[start + rva - section.VirtualAddress:start + held]
        raise Stop(f"{what} RVA {rva:#x}, outside the image: in no section's data in the file")

    def file_bytes(self, rva, length, what):
        """The <length> bytes at <rva> of the loaded image, from a section's data."""
        held = self.section_data(rva, what)
        if len(held) < length:
            raise Stop(f"{what} RVA {rva:#x}, and its {length} bytes run past the end of its"
                       " section's data in the file")
        return held[:length]

    def name_at(self, rva, what, skip=0):
        """The name that ends in a NUL <skip> bytes after <rva>, from a section's data."""
        held = self.section_data(rva, what)[skip:]
        end = held.find(b"\0", 0, MAX_NAME)
        if end < 0:
            raise Stop(f"{what} RVA {rva:#x}, whose name has no NUL in the {MAX_NAME} bytes"
                       " after it in its section's data")
        return printable(held[:end])

    # ---- Horavane.debug: this DLL's unstripped copy ----
    def match_debug(self):
        """Stops unless Horavane.debug comes from the same link as the DLL. objcopy
        --only-keep-debug keeps the image base, the entry point, the time stamp and every
        section's name, address and size, and adds the debug sections after them; another
        build's copy names the wrong code, and the DLL would be blamed for it."""
        try:
            debug = pefile.PE(self.debug, fast_load=True)
        except Exception as error:
            raise Stop(f"pefile cannot read {self.debug} as a PE file: {said(error)}: rebuild"
                       " both (make windows)")
        ours, its = self.pe, debug
        fields = [("image base", hex(ours.OPTIONAL_HEADER.ImageBase),
                   hex(its.OPTIONAL_HEADER.ImageBase)),
                  ("entry point", hex(ours.OPTIONAL_HEADER.AddressOfEntryPoint),
                   hex(its.OPTIONAL_HEADER.AddressOfEntryPoint)),
                  ("time stamp", ours.FILE_HEADER.TimeDateStamp, its.FILE_HEADER.TimeDateStamp)]
        kept = itertools.zip_longest(ours.sections, its.sections[:len(ours.sections)])
        fields += [(f"section {number}", layout(section), layout(copy))
                   for number, (section, copy) in enumerate(kept, 1)]
        for what, mine, theirs in fields:
            if mine != theirs:
                raise Stop(f"{self.debug} is not this DLL's unstripped copy: its {what} is"
                           f" {theirs}, the DLL's {mine}; it comes from another build:"
                           " rebuild both (make windows)")

    # ---- Imports: (DLL, function) pairs ----
    def import_table(self):
        """(DLL, function) pairs, as Windows' loader reads the import descriptors: up to the
        one that is all zeros."""
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[IMPORT_DIRECTORY]
        if directory.VirtualAddress == 0:
            return []
        imported = []
        for number in range(MAX_DESCRIPTORS):
            at = directory.VirtualAddress + DESCRIPTOR.size * number
            fields = DESCRIPTOR.unpack(self.file_bytes(at, DESCRIPTOR.size,
                                                       f"import descriptor {number} is at"))
            if not any(fields):
                return imported
            lookup, _, _, dll_name, address = fields
            source = self.name_at(dll_name, f"the DLL name of import descriptor {number} is at")
            if address == 0:
                raise Stop(f"the import descriptor for {source} has no address table"
                           " (FirstThunk 0)")
            if lookup == 0:
                # The loader reads the names from the address table then, as pefile does.
                self.fail(f"the import descriptor for {source} has no import lookup table"
                          " (OriginalFirstThunk 0): only its address table names the functions,"
                          " and the loader overwrites it with their addresses")
                lookup = address
            imported += [(source, name) for name in self.functions(source, lookup, address)]
        raise Stop(f"its import table does not end: no descriptor of zeros in its first"
                   f" {MAX_DESCRIPTORS}")

    def functions(self, source, lookup, address):
        """The functions one descriptor imports, named by its lookup table. Its address table
        must hold the same entries, which the loader overwrites with the functions'
        addresses: a bound image would hold addresses there, but this one is not bound."""
        functions = []
        for number in range(MAX_THUNKS):
            what = f"import lookup table entry {number} of {source}"
            (entry,) = struct.unpack("<Q", self.file_bytes(lookup + 8 * number, 8,
                                                            f"{what} is at"))
            (bound,) = struct.unpack("<Q", self.file_bytes(
                address + 8 * number, 8, f"import address table entry {number} of {source} is at"))
            # The entry is read first: one that points outside the image stops the check
            # before its address table entry, which then differs, is named too.
            if entry & BY_ORDINAL:
                functions.append(f"#{entry & 0xffff}")
            elif entry:
                # A 2-byte hint, then the name.
                functions.append(self.name_at(entry, f"{what} points to", skip=2))
            if bound != entry:
                self.fail(f"{what}, {entry:#x}, disagrees with the import address table entry"
                          f" beside it, {bound:#x}: the image is not bound, so the two must be"
                          " equal")
            if entry == 0:
                return functions
        raise Stop(f"the import lookup table of {source} does not end: no zero in its first"
                   f" {MAX_THUNKS} entries")

    def imports(self):
        imported = self.import_table()
        allowed = []
        with open(os.path.join(self.root, LIST)) as listing:
            for number, line in enumerate(listing, 1):
                if line.startswith("#") or not line.strip():
                    continue
                fields = line.split()
                if len(fields) != 2:
                    raise Stop(f"{LIST}, line {number}, is not \"<DLL> <function>\":"
                               f" {line.strip()}")
                allowed.append(tuple(fields))
        runtime, decorated = None, []
        with open(os.path.join(self.root, DEF)) as definitions:
            for line in definitions:
                if line.startswith("LIBRARY "):
                    runtime = line[len("LIBRARY "):].strip()
                elif not line.startswith(";") and " == " in line:
                    decorated.append(line.rsplit(" == ", 1)[1].strip())
        if runtime is None:
            raise Stop(f"{DEF} has no LIBRARY line naming the runtime")
        allowed += [(runtime, name) for name in decorated]
        imported_count, allowed_count = collections.Counter(imported), collections.Counter(allowed)
        for source, name in sorted(imported_count - allowed_count):
            self.fail(f"imports {name} from {source}, which {LIST} does not list")
        for source, name in sorted(allowed_count - imported_count):
            self.fail(f"does not import {name} from {source}, which {LIST} or {DEF} lists")
        return len(imported)

    # ---- What runs: DllMain and nothing else ----
    def read_symbols(self):
        try:
            listing = subprocess.run([NM, self.debug], capture_output=True, text=True,
                                     errors="replace")
        except FileNotFoundError:
            raise Stop(f"{NM} is not installed (scripts/setup.sh installs it)")
        if listing.returncode != 0:
            raise Stop(f"{NM} cannot read {self.debug}: {' '.join(listing.stderr.split())}")
        # (address, name) in nm's order; undefined symbols have no address.
        lines = [line.split() for line in listing.stdout.splitlines()]
        self.symbols = [(int(fields[0], 16), fields[2]) for fields in lines if len(fields) == 3]

    def symbol_at(self, address):
        """The unstripped copy's name for <address>, else the name of the function's own
        section (.text.startup.<name>, .text$<name>)."""
        own = None
        for at, name in self.symbols:
            if at != address:
                continue
            if not name.startswith("."):
                return name
            if own is None and re.match(r"\.text[.$]", name):
                own = re.sub(r"^\.text(\.startup)?[.$]", "", name)
        return own or f"unnamed code at {address:#x}"

    def word_at(self, address):
        """The 64-bit word at <address> of the loaded image, read from the file."""
        rva = address - self.pe.OPTIONAL_HEADER.ImageBase
        return int.from_bytes(self.file_bytes(rva, 8, f"the address {address:#x} is at"), "little")

    def what_runs(self):
        self.read_symbols()
        header = self.pe.OPTIONAL_HEADER
        entry = self.symbol_at(header.ImageBase + header.AddressOfEntryPoint)
        if entry != ENTRY:
            self.fail(f"the entry point is {entry}, not {ENTRY}")
        if header.DATA_DIRECTORY[TLS_DIRECTORY].VirtualAddress != 0:
            self.fail("has a TLS directory: its callbacks would run on every thread the game"
                      " starts or ends")
        # The linker's constructor and destructor tables: -1, the entries, 0. With no C
        # runtime linked, nothing walks them.
        for symbol, what in [("__CTOR_LIST__", "constructor"), ("__DTOR_LIST__", "destructor")]:
            at = next((address for address, name in self.symbols if name == symbol), None)
            if at is None:
                self.fail(f"{self.debug} has no {symbol} symbol, so its static {what}s cannot"
                          " be checked")
                continue
            if self.word_at(at) != 2**64 - 1:
                self.fail(f"{symbol} does not start with -1")
            for i in range(1, MAX_TABLE_ENTRIES + 1):
                word = self.word_at(at + 8 * i)
                if word == 0:
                    break
                self.fail(f"static {what} {self.symbol_at(word)} would never run: no C runtime is"
                          " linked to call it (make the object constant-initialised)")
        for section in self.pe.sections:
            if CRT_SECTIONS.match(name_of(section)):
                self.fail(f"has a {name_of(section)} section, for start-up code that no C"
                          " runtime is linked to run")

    # ---- What Windows' loader checks of a DLL it moves ----
    def loads(self):
        coff, header = self.pe.FILE_HEADER, self.pe.OPTIONAL_HEADER
        for flag, marked, why in (
                (EXECUTABLE_IMAGE, "an executable image (IMAGE_FILE_EXECUTABLE_IMAGE",
                 "Windows loads no image without it"),
                (DLL, "a DLL (IMAGE_FILE_DLL",
                 "Windows would load it as a program's image, without calling DllMain")):
            if not coff.Characteristics & flag:
                self.fail(f"is not marked {marked} clear in Characteristics"
                          f" {coff.Characteristics:#06x}): {why}")
        # Address-space randomisation loads it at another base each time: every absolute
        # address in it must be fixed up from its base relocations.
        if coff.Characteristics & RELOCS_STRIPPED:
            self.fail(f"its relocations are stripped (IMAGE_FILE_RELOCS_STRIPPED in Characteristics"
                      f" {coff.Characteristics:#06x}): Windows cannot move it, which address-space"
                      " randomisation needs")
        directory = header.DATA_DIRECTORY[RELOCATION_DIRECTORY]
        if directory.VirtualAddress == 0 and directory.Size == 0:
            self.fail("has no base-relocation directory: Windows cannot move it, which"
                      " address-space randomisation needs")
        elif self.relocations(directory) == 0:
            self.fail(f"its base-relocation directory (RVA {directory.VirtualAddress:#x},"
                      f" {directory.Size} bytes) holds no relocation: Windows cannot move it,"
                      " which address-space randomisation needs")
        delay = header.DATA_DIRECTORY[DELAY_IMPORT_DIRECTORY]
        if delay.VirtualAddress or delay.Size:
            self.fail(f"has a delay-import directory (RVA {delay.VirtualAddress:#x}, {delay.Size}"
                      " bytes): code in the DLL would bind those imports, past its import table")
        for section in self.pe.sections:
            if section.Characteristics & SHARED:
                self.fail(f"section {name_of(section)} is shared (IMAGE_SCN_MEM_SHARED): every"
                          " process that loads the DLL would write the same pages")
        certificate = header.DATA_DIRECTORY[SECURITY_DIRECTORY]
        if header.DllCharacteristics & FORCE_INTEGRITY and not (certificate.VirtualAddress
                                                                 and certificate.Size):
            self.fail("is marked force-integrity (IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) but"
                      " has no certificate (its security directory is empty): Windows refuses"
                      " to load it")

    def relocations(self, directory):
        """The base relocations of the directory's blocks, padding left out. Each must be
        DIR64 and fix up 8 bytes inside the sections: from the first one up to SizeOfImage,
        not in the headers."""
        start, end = self.pe.sections[0].VirtualAddress, self.pe.OPTIONAL_HEADER.SizeOfImage
        table = self.file_bytes(directory.VirtualAddress, directory.Size,
                                "its base-relocation directory is at") if directory.Size else b""
        count, at = 0, 0
        while at < len(table):
            rva = directory.VirtualAddress + at
            if len(table) - at < BLOCK.size:
                raise Stop(f"its base-relocation directory ends in {len(table) - at} bytes at RVA"
                           f" {rva:#x}, too few for a block")
            page, size = BLOCK.unpack_from(table, at)
            # At least its own 8 bytes, whole entries, and inside the directory: each block
            # moves the walk on, to the directory's end.
            if size < BLOCK.size or size % 2 or at + size > len(table):
                raise Stop(f"its base-relocation block at RVA {rva:#x} is malformed: SizeOfBlock"
                           f" {size}, in a directory of {len(table)} bytes of which"
                           f" {len(table) - at} are left")
            fixes = [(entry >> 12, page + (entry & 0xfff)) for (entry,)
                     in struct.iter_unpack("<H", table[at + BLOCK.size:at + size])
                     if entry >> 12 != ABSOLUTE]
            block = f"its base-relocation block at RVA {rva:#x}, for page {page:#x},"
            kinds = sorted({kind for kind, _ in fixes} - {DIR64})
            if kinds:
                named = ", ".join(f"{kind} ({pefile.RELOCATION_TYPE.get(kind, 'undefined')})"
                                  for kind in kinds)
                self.fail(f"{block} holds fix-ups of type {named}: a 64-bit image's are"
                          f" {DIR64} (IMAGE_REL_BASED_DIR64), and {ABSOLUTE} pads")
            stray = next((fixed for _, fixed in fixes if fixed < start or fixed + 8 > end), None)
            if stray is not None:
                place = (f"in its headers, before its first section at RVA {start:#x}"
                         if stray < start else f"past the end of the image (SizeOfImage {end:#x})")
                self.fail(f"{block} fixes up the 8 bytes at RVA {stray:#x}, {place}")
            count += len(fixes)
            at += size
        return count

    # ---- The image's layout, as Windows' loader maps it ----
    def maps(self):
        header = self.pe.OPTIONAL_HEADER
        if header.ImageBase % GRANULARITY:
            self.fail(f"its image base {header.ImageBase:#x} is not a multiple of 64 KiB, where"
                      " Windows places images")
        entry = header.AddressOfEntryPoint
        section = self.pe.get_section_by_rva(entry)
        if not (section and section.Characteristics & EXECUTABLE):
            place = (f"section {name_of(section)}, which is not executable"
                     " (IMAGE_SCN_MEM_EXECUTE clear)" if section else "no section")
            self.fail(f"its entry point, RVA {entry:#x}, is in {place}")
        config = header.DATA_DIRECTORY[LOAD_CONFIG_DIRECTORY]
        if config.VirtualAddress or config.Size:
            parsed = getattr(self.pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
            declared = parsed.struct.Size if parsed else 0
            if not LOAD_CONFIG_BYTES <= declared <= config.Size:
                self.fail(f"its load-config directory (RVA {config.VirtualAddress:#x},"
                          f" {config.Size} bytes) holds a structure whose Size field says"
                          f" {declared} bytes: it must fit the directory and reach past"
                          f" SecurityCookie, {LOAD_CONFIG_BYTES} bytes, which the loader reads")
        alignment = header.SectionAlignment
        if alignment < max(header.FileAlignment, 1):
            # The sections are laid out in its units: they are not checked without it.
            self.fail(f"its SectionAlignment, {alignment:#x}, is " + (
                f"below its FileAlignment, {header.FileAlignment:#x}" if alignment else "0"))
            return

        def aligned(rva):
            return -(-rva // alignment) * alignment
        # The headers, then each section in the table's order: aligned, and above the
        # one before. pefile lists them by address; the table's order is the file's.
        last, end = "the headers", aligned(header.SizeOfHeaders)
        for section in sorted(self.pe.sections, key=lambda section: section.get_file_offset()):
            at, named = section.VirtualAddress, f"section {name_of(section)}"
            if at % alignment:
                self.fail(f"{named}, at RVA {at:#x}, is not aligned to SectionAlignment"
                          f" {alignment:#x}")
            if at < end:
                self.fail(f"{named}, at RVA {at:#x}, starts below the end of {last}, RVA"
                          f" {end:#x}: the sections overlap or are out of order")
            last, end = named, aligned(at + (section.Misc_VirtualSize or section.SizeOfRawData))
        if header.SizeOfImage != end:
            self.fail(f"its SizeOfImage, {header.SizeOfImage:#x}, is not {end:#x}, the end of"
                      f" {last} rounded up to SectionAlignment")

    # ---- Hardening; stripped, and a GUI DLL ----
    def hardening(self):
        header = self.pe.OPTIONAL_HEADER
        for flag, word in HARDENING:
            if not header.DllCharacteristics & pefile.DLL_CHARACTERISTICS[flag]:
                self.fail(f"is not marked {word}"
                          f" (DllCharacteristics {header.DllCharacteristics:#06x})")
        for section in self.pe.sections:
            if section.Characteristics & WRITABLE_EXECUTABLE == WRITABLE_EXECUTABLE:
                self.fail(f"section {name_of(section)} is both writable and executable")
        debug_sections = [name_of(s) for s in self.pe.sections if DEBUG_SECTIONS.match(name_of(s))]
        if debug_sections:
            self.fail(f"carries debug sections: {' '.join(debug_sections)}")
        coff = self.pe.FILE_HEADER
        if coff.PointerToSymbolTable or coff.NumberOfSymbols:
            self.fail(f"carries a symbol table of {coff.NumberOfSymbols} symbols")
        # 3 would be the console.
        if header.Subsystem != GUI:
            self.fail(f"subsystem is {header.Subsystem}, not {GUI} (Windows GUI)")

    def run(self):
        for file in (self.dll, self.debug):
            if not os.path.isfile(file):
                print(f"check-imports: {file}: no such file (make windows)", file=sys.stderr)
                return 1
        try:
            self.read()
            self.match_debug()
            size = len(self.data)
            if size > MAX_BYTES:
                self.fail(f"{size} bytes, over the budget of {MAX_BYTES} bytes (16 KiB)")
            imported = self.imports()
            self.loads()
            self.maps()
            self.what_runs()
            self.hardening()
            # Last, and only where nothing above failed: pefile warns of some faults the
            # checks above name too (a table they stop on, an alignment), each of which
            # gets one line.
            if not self.failed and self.pe.get_warnings():
                warnings = "; ".join(" ".join(w.split()) for w in self.pe.get_warnings())
                self.fail(f"pefile warns of this file: {warnings}")
        except Stop as stop:
            print(f"check-imports: {self.dll}: {stop}", file=sys.stderr)
            return 1
        if self.failed:
            return 1
        print(f"check-imports: {self.dll}: {size} bytes, imports only the {imported} functions of"
              f" {LIST} and {DEF}, entry {ENTRY} and nothing else run, a DLL marked movable"
              " with DIR64 relocations inside its sections, its sections aligned and in order"
              " up to SizeOfImage, hardened, stripped")
        return 0


def name_of(section):
    """A section's name, its NULs dropped, any other unprintable byte shown as ?."""
    return "".join(chr(b) if 0x21 <= b <= 0x7e else "?" for b in section.Name if b) or "?"


def layout(section):
    """A section's name, address and size in the loaded image."""
    if section is None:
        return "none"
    return (f"{name_of(section)} at RVA {section.VirtualAddress:#x},"
            f" {section.Misc_VirtualSize:#x} bytes")


def printable(name):
    return name.decode("ascii", "backslashreplace")


def said(error):
    """What an exception raised by pefile says, on one line."""
    if isinstance(error, pefile.PEFormatError):
        text = str(error.value)
    else:
        text = f"{type(error).__name__}: {error}"
    return " ".join(text.split())


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check-imports.py Horavane.asi")
    sys.exit(Check(sys.argv[1]).run())
