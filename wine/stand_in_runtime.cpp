// The stand-in ScriptHookV.dll: the runtime's exports over the simulated game, with the
// script function on a fiber as the real runtime runs it, and the control functions
// the Wine host drives it by. Frames, keys and time come only from the host.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "host/runtime.h"
#include "sim/game.h"
#include "stand_in.h"

namespace {

// ---- The stand-in's state; standInReset puts all of it back ----
SimGame game;
ScriptFunction script = nullptr;
KeyboardHandler keyboard = nullptr;
LPVOID hostFiber = nullptr;    // the host's thread, once converted; never converted back
LPVOID scriptFiber = nullptr;  // created at the script's first frame
bool onScriptFiber = false;    // the script is running: between switching to it and back
bool scriptEnded = false;      // the script function returned: it gets no more frames
uint64_t frameNumber = 0;
std::atomic<uint32_t> tickNow{0};  // read by the plug-in's keyboard handler too
uint32_t waitFromTick = 0;         // the script's last scriptWait: when, and for how long
uint32_t waitMs = 0;

void CALLBACK scriptFiberMain(LPVOID) {
  script();
  scriptEnded = true;
  for (;;) SwitchToFiber(hostFiber);  // a fiber that returns ends its thread
}

// A fiber cannot delete itself: a script that unregisters itself keeps running until
// it waits, and its fiber goes when the frame is over.
void deleteScriptFiber() {
  if (scriptFiber == nullptr || onScriptFiber) return;
  DeleteFiber(scriptFiber);
  scriptFiber = nullptr;
}

void stopScript() {
  script = nullptr;
  scriptEnded = false;
  waitMs = 0;
  deleteScriptFiber();
}

bool enterScriptFiber() {
  if (hostFiber == nullptr) hostFiber = ConvertThreadToFiber(nullptr);
  if (hostFiber == nullptr) return false;
  if (scriptFiber == nullptr) scriptFiber = CreateFiber(0, scriptFiberMain, nullptr);
  if (scriptFiber == nullptr) return false;
  onScriptFiber = true;
  SwitchToFiber(scriptFiber);
  onScriptFiber = false;
  if (script == nullptr) deleteScriptFiber();
  return true;
}

}  // namespace

extern "C" {

// ---- The runtime's operations the plug-in imports, exported under their decorated
// names (the .def made from ScriptHookV.def) ----

void standInScriptRegister(HMODULE, ScriptFunction function) {
  stopScript();
  script = function;
}

void standInScriptUnregister(ScriptFunction function) {
  if (function != nullptr && function == script) stopScript();
}

void standInKeyboardHandlerRegister(KeyboardHandler handler) { keyboard = handler; }

void standInKeyboardHandlerUnregister(KeyboardHandler handler) {
  if (handler == keyboard) keyboard = nullptr;
}

// Outside the script's fiber there is no frame to hand back: the call returns at once.
// Inside it, as the runtime does, the script sits out every frame that begins less than
// `ms` after this call.
void standInScriptWait(DWORD ms) {
  if (!onScriptFiber) return;
  waitFromTick = tickNow.load();
  waitMs = ms;
  SwitchToFiber(hostFiber);
}

void standInNativeInit(UINT64 hash) { game.nativeInit(hash); }
void standInNativePush64(UINT64 value) { game.nativePush(value); }
PUINT64 standInNativeCall() { return game.nativeCall(); }

// ---- Control, for the host ----

SimGame* standInGame() { return &game; }

void standInReset() {
  stopScript();
  keyboard = nullptr;
  frameNumber = 0;
  tickNow.store(0);
  game.reset();
}

void standInElapse(uint32_t ms) {
  tickNow.fetch_add(ms);
  game.elapse(ms);
}

BOOL standInRunFrame(uint32_t frameMs) {
  game.setFrame(++frameNumber);
  const bool waitOver = tickNow.load() - waitFromTick >= waitMs;  // modulo 2^32
  if (script != nullptr && !scriptEnded && waitOver && !enterScriptFiber()) return FALSE;
  standInElapse(frameMs);
  return TRUE;
}

// The old fiber is never switched to again: it is deleted, its stack with it, and the
// next frame runs the script function from the top on a fresh one.
void standInRestartScript() {
  deleteScriptFiber();
  scriptEnded = false;
  waitMs = 0;
}

uint64_t standInFrameNumber() { return frameNumber; }
void standInSetTick(uint32_t tick) { tickNow.store(tick); }
DWORD WINAPI standInTickCount() { return tickNow.load(); }

void standInKeyboardMessage(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended, BOOL isWithAlt,
                            BOOL wasDownBefore, BOOL isUpNow) {
  if (keyboard != nullptr) keyboard(key, repeats, scanCode, isExtended, isWithAlt, wasDownBefore, isUpNow);
}

BOOL standInScriptRegistered() { return script != nullptr; }

void standInNewGame() { game.reset(); }
void standInSetClock(int32_t hours, int32_t minutes, int32_t seconds) { game.setClock(hours, minutes, seconds); }
void standInSetResolution(int32_t width, int32_t height) { game.setResolution(width, height); }
void standInClearRecords() { game.clearRecords(); }

}  // extern "C"
