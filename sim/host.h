// The simulated host for the native build: a stand-in for the script-hook runtime
// that runs the plug-in's script function on its own thread with a strict hand-off,
// one frame at a time, in virtual time, over a SimGame.
//
// Only one SimHost exists at a time: the runtime's functions the plug-in calls are
// plain global functions, and they talk to the current host.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "host/runtime.h"
#include "sim/game.h"

class SimHost {
 public:
  SimHost();
  ~SimHost();  // unloads the plug-in if it is loaded
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  SimGame& game() { return game_; }
  const SimGame& game() const { return game_; }

  // Loads the plug-in as a fresh process would: all its globals at their start
  // values, then the library entry with process attach. False when the entry refuses
  // the attach; the library is then unloaded again, as Windows does.
  bool load();
  // The library entry with process detach; the script function is stopped.
  void unload();
  // The runtime starts the script function anew, as when the game reloads its scripts:
  // the running script is abandoned where it waits and never resumes, and the next frame
  // calls the script function from the top on a fresh thread. The plug-in stays loaded;
  // the game, the time and the keys are left as they are.
  void restartScript();
  bool loaded() const { return loaded_; }

  // One frame: the script function runs until it yields, then frameMs of virtual time
  // pass for the tick count and the game's clock. As the runtime does, a script that
  // waited `ms` sits out every frame that begins less than `ms` after its wait.
  void runFrame(uint32_t frameMs = 16);
  void runFrames(uint32_t count, uint32_t frameMs = 16);
  // Frames of frameMs until at least `ms` of virtual time have passed.
  void runFor(uint32_t ms, uint32_t frameMs = 16);
  uint64_t frameNumber() const { return frame_; }

  // Virtual time passing without a frame (the game loading, a hitch).
  void elapse(uint32_t ms);

  // Keyboard messages, delivered to the registered handler at once.
  void keyDown(uint32_t key);
  void keyUp(uint32_t key);
  void tap(uint32_t key) {  // press and release between two frames
    keyDown(key);
    keyUp(key);
  }

  bool scriptRegistered() const { return script_ != nullptr; }
  bool keyboardRegistered() const { return keyboard_ != nullptr; }

  // The runtime's side of the calls the plug-in makes.
  void registerScript(ScriptFunction script);
  void unregisterScript(ScriptFunction script);
  void registerKeyboard(KeyboardHandler handler);
  void unregisterKeyboard(KeyboardHandler handler);
  void yieldFrame(uint32_t ms);  // scriptWait, on the script's thread

 private:
  enum class Turn { Host, Script };

  void scriptThreadMain(uint64_t run);
  void abandonScript();
  void beginRun();
  void stopScript();
  void endRun(std::thread& thread, uint64_t run);
  void handOverAndWait(Turn next);

  SimGame game_;
  bool loaded_ = false;
  uint64_t frame_ = 0;
  ScriptFunction script_ = nullptr;
  KeyboardHandler keyboard_ = nullptr;
  bool keyHeld_[256] = {};
  uint32_t waitFromTick_ = 0;  // the script's last scriptWait: when, and for how long
  uint32_t waitMs_ = 0;

  // Each start of the script function is a run with a thread of its own; only the
  // thread of `run_` is ever handed a frame. Abandoned runs stay parked in their last
  // scriptWait until the script is stopped, and are then ended one at a time.
  std::thread thread_;
  uint64_t run_ = 0;
  uint64_t runsBegun_ = 0;
  std::vector<std::pair<std::thread, uint64_t>> abandoned_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Turn turn_ = Turn::Host;
  bool stopRequested_ = false;
  bool scriptEnded_ = false;
};
