// Import redirection through the PE import descriptors of a loaded module.

#include "import_patch.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

const IMAGE_NT_HEADERS64* ntHeaders(const BYTE* base) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("the module has no DOS header");
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
    throw std::runtime_error("the module is not a 64-bit PE image");
  return nt;
}

const IMAGE_IMPORT_DESCRIPTOR* findDescriptor(const BYTE* base, const char* dll) {
  const IMAGE_DATA_DIRECTORY& directory =
      ntHeaders(base)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (; descriptor->Name != 0; ++descriptor)
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) == 0) return descriptor;
  return nullptr;
}

// The import address table entry of `function` in `descriptor`, found by the name
// in the lookup table (the address table itself holds addresses once loaded).
IMAGE_THUNK_DATA64* findEntry(BYTE* base, const IMAGE_IMPORT_DESCRIPTOR* descriptor, const char* function) {
  if (descriptor->OriginalFirstThunk == 0) return nullptr;  // no names left to find it by
  const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + descriptor->OriginalFirstThunk);
  auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + descriptor->FirstThunk);
  for (size_t i = 0; names[i].u1.AddressOfData != 0; ++i) {
    if (IMAGE_SNAP_BY_ORDINAL64(names[i].u1.Ordinal)) continue;
    const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
    if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) return &addresses[i];
  }
  return nullptr;
}

void overwrite(IMAGE_THUNK_DATA64* entry, const void* replacement) {
  DWORD oldProtection = 0;
  if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &oldProtection))
    throw std::runtime_error("VirtualProtect failed with error " + std::to_string(GetLastError()));
  entry->u1.Function = reinterpret_cast<ULONGLONG>(replacement);
  DWORD ignored = 0;
  VirtualProtect(entry, sizeof *entry, oldProtection, &ignored);
}

}  // namespace

void redirectImport(HMODULE module, const char* dll, const char* function, const void* replacement) {
  BYTE* base = reinterpret_cast<BYTE*>(module);
  const std::string what = std::string(dll) + "!" + function;
  const IMAGE_IMPORT_DESCRIPTOR* descriptor = findDescriptor(base, dll);
  if (descriptor == nullptr) throw std::runtime_error("the module imports nothing from " + std::string(dll));
  IMAGE_THUNK_DATA64* entry = findEntry(base, descriptor, function);
  if (entry == nullptr) throw std::runtime_error("the module does not import " + what + " by name");
  overwrite(entry, replacement);
  if (entry->u1.Function != reinterpret_cast<ULONGLONG>(replacement))
    throw std::runtime_error("the import of " + what + " did not take the new address");
}
