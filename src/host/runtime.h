// The script-hook runtime's operations, as the plug-in calls them.
//
// The runtime exports these under MSVC-decorated C++ names; the Windows build binds the
// plain names below to them through an import library made from ScriptHookV.def. The
// native build links the simulated host's definitions instead.
#pragma once

#include "compat.h"

// MSVC decorates C++ declarations exactly as the runtime exports them; other
// compilers use plain C names, bound to the decorated ones by ScriptHookV.def.
#ifndef _MSC_VER
extern "C" {
#endif

typedef void (*ScriptFunction)();
typedef void (*KeyboardHandler)(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended,
                                BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow);

void scriptRegister(HMODULE module, ScriptFunction script);
void scriptUnregister(ScriptFunction script);
void keyboardHandlerRegister(KeyboardHandler handler);
void keyboardHandlerUnregister(KeyboardHandler handler);

// Hands the frame back to the game; returns on a later frame.
void scriptWait(DWORD ms);

// One native call: nativeInit, one nativePush64 per argument slot, nativeCall.
void nativeInit(UINT64 hash);
void nativePush64(UINT64 value);
PUINT64 nativeCall();

#ifndef _MSC_VER
}  // extern "C"
#endif
