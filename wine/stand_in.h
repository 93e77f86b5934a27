// The stand-in runtime's control functions: what the Wine host calls, beside the
// runtime's own decorated exports that the plug-in binds to. Exported under these
// plain names from ScriptHookV.dll; the host links them through its import library.
#pragma once

#include <windows.h>

#include <cstdint>

#ifdef HORAVANE_STAND_IN_BUILD
#define STAND_IN_API __declspec(dllexport)
#else
#define STAND_IN_API __declspec(dllimport)
#endif

class SimGame;

extern "C" {

// The simulated game the natives act on; lives as long as the DLL.
STAND_IN_API SimGame* standInGame();
// No script, no keyboard handler, a new game, frame 0, tick 0: as a fresh process.
STAND_IN_API void standInReset();
// One frame: the frame number advances, the script fiber runs until it waits (unless
// its last scriptWait(ms) began less than ms ago), then frameMs of virtual time pass
// for the tick count and the game's clock. FALSE: no fiber could be made.
STAND_IN_API BOOL standInRunFrame(uint32_t frameMs);
// The runtime starts the script function anew, as when the game reloads its scripts: the
// script's fiber is abandoned where it waits, and the next frame runs the function from
// the top on a new fiber. The game, the time and the keyboard handler stay.
STAND_IN_API void standInRestartScript();
STAND_IN_API uint64_t standInFrameNumber();
STAND_IN_API void standInElapse(uint32_t ms);  // virtual time without a frame
STAND_IN_API void standInSetTick(uint32_t tick);
// The virtual tick count, with GetTickCount's signature: what the host points the
// plug-in's GetTickCount import at.
STAND_IN_API DWORD WINAPI standInTickCount();
// A keyboard message to the registered handler, flags as Windows gives them.
STAND_IN_API void standInKeyboardMessage(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended,
                                         BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow);
STAND_IN_API BOOL standInScriptRegistered();
STAND_IN_API void standInNewGame();  // SimGame::reset
STAND_IN_API void standInSetClock(int32_t hours, int32_t minutes, int32_t seconds);
STAND_IN_API void standInSetResolution(int32_t width, int32_t height);
STAND_IN_API void standInClearRecords();

}  // extern "C"
