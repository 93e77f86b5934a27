// The key state table: written by the keyboard handler, read and cleared by the script.

#include <thread>

#include "input/keys.h"

KeyState keyStates[KEY_TABLE_SIZE];

namespace {

// Both sides write several fields of a record: the handler a whole message, the
// script a clear. Field-wise atomics alone let a clear wipe the flags of a message
// that lands in the middle of it, losing that release. The lock keeps each side's
// writes whole; it is held for a few stores, never across a call out.
std::atomic_flag tableBusy = ATOMIC_FLAG_INIT;

void lockTable() {
  while (tableBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

void unlockTable() { tableBusy.clear(std::memory_order_release); }

}  // namespace

void onKeyboardMessage(DWORD key, WORD /*repeats*/, BYTE /*scanCode*/, BOOL /*isExtended*/,
                       BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow) {
  if (key >= KEY_TABLE_SIZE) return;
  KeyState& state = keyStates[key];
  const uint32_t now = GetTickCount();
  lockTable();
  state.isUp.store(isUpNow, std::memory_order_relaxed);
  state.alt.store(isWithAlt, std::memory_order_relaxed);
  state.wasDown.store(wasDownBefore, std::memory_order_relaxed);
  state.tick.store(now, std::memory_order_relaxed);
  unlockTable();
}

bool consumeKeyRelease(uint32_t code) {
  // Code 0 is what an unbound action holds: it never answers, whatever arrives.
  if (code == 0 || code >= KEY_TABLE_SIZE) return false;
  KeyState& state = keyStates[code];
  const uint32_t now = GetTickCount();
  lockTable();
  // The age is taken modulo 2^32, so a release stamped just before the tick count
  // wraps still counts.
  const bool fresh = state.isUp.load(std::memory_order_relaxed) != 0 &&
                     now - state.tick.load(std::memory_order_relaxed) < RELEASE_WINDOW_MS;
  if (fresh) {
    state.tick.store(0, std::memory_order_relaxed);
    state.alt.store(0, std::memory_order_relaxed);
    state.wasDown.store(0, std::memory_order_relaxed);
    state.isUp.store(0, std::memory_order_relaxed);
  }
  unlockTable();
  return fresh;
}

void resetKeyStates() {
  lockTable();
  for (KeyState& state : keyStates) {
    state.tick.store(0, std::memory_order_relaxed);
    state.alt.store(0, std::memory_order_relaxed);
    state.wasDown.store(0, std::memory_order_relaxed);
    state.isUp.store(0, std::memory_order_relaxed);
  }
  unlockTable();
}
