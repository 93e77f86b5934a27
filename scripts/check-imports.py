#!/usr/bin/python3
"""Checks the shipped DLL against its budgets and names what broke each one:
- at most 16 KiB;
- it imports exactly the functions of packaging/imports.txt, and from the runtime
  exactly the decorated names of src/host/ScriptHookV.def;
- nothing of it runs but DllMain and what DllMain registers: the entry point is DllMain,
  there is no TLS directory (callbacks on every thread the game starts or ends), and
  no static constructor or destructor, which no C runtime is linked to call: they would
  silently never run;
- address-space randomisation (with high-entropy addresses) and no-execute data; no
  section both writable and executable;
- no debug sections and no symbol table; the GUI subsystem.
The DLL is read with pefile (python3-pefile), from its own bytes, not from a tool's
listing of them, whose layout changes from one binutils release to the next. A file that
is not a whole x86-64 PE32+ image (cut short, a section's data past the end of the file,
another machine, too few data directories) stops the check with one line that says so;
whatever else pefile warns of in the file is a failure too. Code is named through the
unstripped copy beside the DLL (Horavane.debug) and MinGW-w64's nm.

    check-imports.py <Horavane.asi>
"""
import collections
import os
import re
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
# A PE32+ optional header's data directories; the import table's and the TLS directory's
# are read.
DIRECTORIES = 16
IMPORT_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
TLS_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]
AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
HARDENING = [("IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA", "high-entropy-va"),
             ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "dynamicbase"),
             ("IMAGE_DLLCHARACTERISTICS_NX_COMPAT", "nxcompat")]
WRITABLE_EXECUTABLE = (pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
                       | pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"])
GUI = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
# Sections a C runtime's start-up would walk, left over from an object that expects one.
CRT_SECTIONS = re.compile(r"\.(tls|CRT|ctors|dtors|init_array|fini_array)")
# DWARF sections, and long section names, which only debug sections get.
DEBUG_SECTIONS = re.compile(r"\.(z?debug|gnu_debug)|/[0-9]+$")
# Entries of a constructor or destructor table read before its ending 0 must have come.
MAX_TABLE_ENTRIES = 63


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
            pe = pefile.PE(data=self.data, fast_load=True)
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
        try:
            pe.parse_data_directories(directories=[IMPORT_DIRECTORY])
        except Exception as error:
            raise Stop(f"pefile cannot read its import table: {said(error)}")
        if pe.get_warnings():
            warnings = "; ".join(" ".join(w.split()) for w in pe.get_warnings())
            self.fail(f"pefile warns of this file: {warnings}")
        self.pe = pe

    def file_bytes(self, rva, length, what):
        """The <length> bytes at <rva> of the loaded image, from a section's data in the file."""
        for section in self.pe.sections:
            held = min(section.SizeOfRawData, section.Misc_VirtualSize)
            if section.VirtualAddress <= rva and rva + length <= section.VirtualAddress + held:
                at = section.PointerToRawData + rva - section.VirtualAddress
                return self.data[at:at + length]
        raise Stop(f"{what}, at RVA {rva:#x}, is not in the file: in no section's data")

    # ---- Imports: (DLL, function) pairs ----
    def imports(self):
        imported = []
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []):
            source = printable(entry.dll)
            for function in entry.imports:
                name = f"#{function.ordinal}" if function.name is None else printable(function.name)
                imported.append((source, name))
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
        return own or f"unnamed code at {address:#x} (is {self.debug} from this build?)"

    def word_at(self, address):
        """The 64-bit word at <address> of the loaded image, read from the file."""
        rva = address - self.pe.OPTIONAL_HEADER.ImageBase
        return int.from_bytes(self.file_bytes(rva, 8, f"the address {address:#x}"), "little")

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
            size = len(self.data)
            if size > MAX_BYTES:
                self.fail(f"{size} bytes, over the budget of {MAX_BYTES} bytes (16 KiB)")
            imported = self.imports()
            self.what_runs()
            self.hardening()
        except Stop as stop:
            print(f"check-imports: {self.dll}: {stop}", file=sys.stderr)
            return 1
        if self.failed:
            return 1
        print(f"check-imports: {self.dll}: {size} bytes, imports only the {imported} functions of"
              f" {LIST} and {DEF}, entry {ENTRY} and nothing else run, hardened, stripped")
        return 0


def name_of(section):
    """A section's name, its NULs dropped, any other unprintable byte shown as ?."""
    return "".join(chr(b) if 0x21 <= b <= 0x7e else "?" for b in section.Name if b) or "?"


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
