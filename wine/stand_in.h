// The stand-in runtime's control functions: what the Wine host calls, beside the
// runtime's own decorated exports that the plug-in binds to. Exported under these
// plain names from ScriptHookV.dll (stand_in.def); the host finds them with
// GetProcAddress, so this header only gives their types.
#pragma once

#include <windows.h>

#include <cstdint>

class SimGame;

extern "C" {

// The simulated game the natives act on; lives as long as the DLL.
typedef SimGame* (*StandInGame)();
// No script, no keyboard handler, a new game, frame 0, tick 0: as a fresh process.
typedef void (*StandInReset)();
// One frame: the frame number advances, the script fiber runs until it waits, then
// frameMs of virtual time pass for the tick count and the game's clock.
typedef BOOL (*StandInRunFrame)(uint32_t frameMs);  // FALSE: no fiber could be made
typedef uint64_t (*StandInFrameNumber)();
typedef void (*StandInElapse)(uint32_t ms);  // virtual time without a frame
typedef void (*StandInSetTick)(uint32_t tick);
// The virtual tick count, with GetTickCount's signature: what the host points the
// plug-in's GetTickCount import at.
typedef DWORD(WINAPI* StandInTickCount)();
// A keyboard message to the registered handler, flags as Windows gives them.
typedef void (*StandInKeyboardMessage)(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended,
                                       BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow);
typedef BOOL (*StandInScriptRegistered)();
typedef void (*StandInSetClock)(int32_t hours, int32_t minutes, int32_t seconds);
typedef void (*StandInSetResolution)(int32_t width, int32_t height);
typedef void (*StandInGameCall)();  // standInNewGame, standInClearRecords

}  // extern "C"
