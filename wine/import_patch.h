// Redirecting one import of a loaded module: its import address table entry for
// `dll`!`function` is pointed at `replacement`, so the module's own calls go there.
#pragma once

#include <windows.h>

// Walks the module's import descriptors for `dll` (letter case ignored) and its import
// by the name `function`, overwrites the entry and reads it back. Throws
// std::runtime_error saying what was not found or could not be written.
void redirectImport(HMODULE module, const char* dll, const char* function, const void* replacement);
