// The simulated host: the runtime's functions, a script thread, and virtual time.

#include "sim/host.h"

#include <stdexcept>

#include "plugin/plugin.h"
#include "virtual_tick.h"

namespace {

SimHost* currentHost = nullptr;

// Thrown out of scriptWait to end the script function when the plug-in unloads;
// caught by the script thread's entry.
struct ScriptStopped {};

SimHost& host() {
  if (currentHost == nullptr) throw std::logic_error("runtime called with no simulated host");
  return *currentHost;
}

HMODULE const PLUGIN_MODULE = reinterpret_cast<HMODULE>(0x180000000ull);

}  // namespace

SimHost::SimHost() {
  if (currentHost != nullptr) throw std::logic_error("a simulated host already exists");
  currentHost = this;
}

SimHost::~SimHost() {
  if (loaded_) unload();
  stopScript();
  currentHost = nullptr;
}

bool SimHost::load() {
  if (loaded_) throw std::logic_error("the plug-in is already loaded");
  resetPluginState();
  loaded_ = true;
  if (DllMain(PLUGIN_MODULE, DLL_PROCESS_ATTACH, nullptr) != FALSE) return true;
  unload();
  return false;
}

void SimHost::unload() {
  if (!loaded_) throw std::logic_error("the plug-in is not loaded");
  DllMain(PLUGIN_MODULE, DLL_PROCESS_DETACH, nullptr);
  stopScript();
  loaded_ = false;
}

void SimHost::runFrame(uint32_t frameMs) {
  game_.setFrame(++frame_);
  const bool waitOver = virtualTickCount() - waitFromTick_ >= waitMs_;  // modulo 2^32
  if (script_ != nullptr && !scriptEnded_ && waitOver) {
    if (!thread_.joinable()) thread_ = std::thread(&SimHost::scriptThreadMain, this, run_);
    handOverAndWait(Turn::Script);
  }
  elapse(frameMs);
}

void SimHost::runFrames(uint32_t count, uint32_t frameMs) {
  for (uint32_t i = 0; i < count; ++i) runFrame(frameMs);
}

void SimHost::runFor(uint32_t ms, uint32_t frameMs) {
  if (frameMs == 0) throw std::invalid_argument("runFor needs frames longer than 0 ms");
  for (uint32_t passed = 0; passed < ms; passed += frameMs) runFrame(frameMs);
}

void SimHost::elapse(uint32_t ms) {
  advanceVirtualTickCount(ms);
  game_.elapse(ms);
}

void SimHost::keyDown(uint32_t key) {
  const bool wasDown = key < 256 && keyHeld_[key];
  if (key < 256) keyHeld_[key] = true;
  if (keyboard_ != nullptr) keyboard_(key, 1, 0, FALSE, FALSE, wasDown, FALSE);
}

void SimHost::keyUp(uint32_t key) {
  if (key < 256) keyHeld_[key] = false;
  if (keyboard_ != nullptr) keyboard_(key, 1, 0, FALSE, FALSE, TRUE, TRUE);
}

void SimHost::registerScript(ScriptFunction script) { script_ = script; }

void SimHost::unregisterScript(ScriptFunction script) {
  if (script_ == script) stopScript();
  script_ = nullptr;
}

void SimHost::registerKeyboard(KeyboardHandler handler) { keyboard_ = handler; }

void SimHost::unregisterKeyboard(KeyboardHandler handler) {
  if (keyboard_ == handler) keyboard_ = nullptr;
}

void SimHost::restartScript() {
  if (!loaded_ || script_ == nullptr) throw std::logic_error("no script function registered to start anew");
  abandonScript();
  beginRun();
}

// The running script's thread is set aside, never to be handed a frame again; a script
// function that returned has no context left to abandon, and its thread is joined.
void SimHost::abandonScript() {
  if (!thread_.joinable()) return;
  if (scriptEnded_)
    thread_.join();
  else
    abandoned_.emplace_back(std::move(thread_), run_);
}

// The next frame starts the script function on a new thread, owing nothing to the old
// script's last wait.
void SimHost::beginRun() {
  std::lock_guard<std::mutex> lock(mutex_);
  run_ = ++runsBegun_;
  stopRequested_ = false;
  scriptEnded_ = false;
  waitMs_ = 0;
}

// On the host's side: the thread of run_ gets the turn; on the script's side: the turn
// goes back to the host, and this thread waits until its run is handed a frame again.
void SimHost::handOverAndWait(Turn next) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t mine = run_;
  turn_ = next;
  changed_.notify_all();
  if (next == Turn::Script)
    changed_.wait(lock, [&] { return turn_ == Turn::Host; });
  else
    changed_.wait(lock, [&] { return turn_ == Turn::Script && run_ == mine; });
}

void SimHost::yieldFrame(uint32_t ms) {
  waitFromTick_ = virtualTickCount();
  waitMs_ = ms;
  handOverAndWait(Turn::Host);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopRequested_) throw ScriptStopped{};
}

void SimHost::scriptThreadMain(uint64_t run) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turn_ == Turn::Script && run_ == run; });
  }
  try {
    if (!stopRequested_) script_();
  } catch (const ScriptStopped&) {
    // the plug-in was unloaded: the script function ends here
  }
  std::lock_guard<std::mutex> lock(mutex_);
  scriptEnded_ = true;
  turn_ = Turn::Host;
  changed_.notify_all();
}

// Ends every script thread, the running one with the abandoned ones, each alone: the
// thread wakes in its scriptWait, which throws, and its stack unwinds.
void SimHost::stopScript() {
  abandonScript();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  for (auto& [thread, run] : abandoned_) endRun(thread, run);
  abandoned_.clear();
  beginRun();
}

void SimHost::endRun(std::thread& thread, uint64_t run) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    run_ = run;
  }
  handOverAndWait(Turn::Script);
  thread.join();
}

// The runtime's exports, as the plug-in binds to them.
extern "C" {

void scriptRegister(HMODULE, ScriptFunction script) { host().registerScript(script); }
void scriptUnregister(ScriptFunction script) { host().unregisterScript(script); }
void keyboardHandlerRegister(KeyboardHandler handler) { host().registerKeyboard(handler); }
void keyboardHandlerUnregister(KeyboardHandler handler) { host().unregisterKeyboard(handler); }
void scriptWait(DWORD ms) { host().yieldFrame(ms); }
void nativeInit(UINT64 hash) { host().game().nativeInit(hash); }
void nativePush64(UINT64 value) { host().game().nativePush(value); }
PUINT64 nativeCall() { return host().game().nativeCall(); }

}  // extern "C"
