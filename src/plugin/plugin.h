// What the runtime calls: the library entry and the script function.
#pragma once

#include "compat.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Runs once per game frame for the life of the process; never returns.
void scriptMain();

// Every global of the plug-in back to its value at load, as a fresh process has it.
// The resets are built only with HORAVANE_RESETTABLE, for the simulated host, the tests
// and the tools: the shipped DLL is loaded once per process and never calls them.
void resetPluginState();
