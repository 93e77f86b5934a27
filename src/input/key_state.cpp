// The key state table: written by the keyboard handler, read and cleared by the script.

#include "input/keys.h"

KeyState keyStates[KEY_TABLE_SIZE];

namespace {

// Both sides write several fields of a record: the handler a whole message, the
// script a clear. Field-wise atomics alone let a clear wipe the flags of a message
// that lands in the middle of it, losing that release. The lock keeps each side's
// writes whole; it is held for a few stores and at most one read of the tick count.
std::atomic_flag tableBusy = ATOMIC_FLAG_INIT;

void lockTable() {
  while (tableBusy.test_and_set(std::memory_order_acquire)) Sleep(0);
}

void unlockTable() { tableBusy.clear(std::memory_order_release); }

void clearRecord(KeyState& state) {
  state.tick.store(0, std::memory_order_relaxed);
  state.alt.store(0, std::memory_order_relaxed);
  state.wasDown.store(0, std::memory_order_relaxed);
  state.isUp.store(0, std::memory_order_relaxed);
}

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
  // Nearly every poll finds no release at all, and answers without the lock.
  if (state.isUp.load(std::memory_order_relaxed) == 0) return false;
  const uint32_t now = GetTickCount();
  lockTable();
  bool fresh = false;
  if (state.isUp.load(std::memory_order_relaxed) != 0) {
    const uint32_t tick = state.tick.load(std::memory_order_relaxed);
    // The age is taken modulo 2^32, so a release stamped just before the tick count
    // wraps still counts. A release the handler recorded after `now` was read, before
    // the lock was taken, is stamped later than `now` and would look 2^32 ms old: a
    // release that looks stale is judged again by the tick count read under the lock,
    // which no stamp in the table is newer than.
    fresh = now - tick < RELEASE_WINDOW_MS || GetTickCount() - tick < RELEASE_WINDOW_MS;
    // A release too old to count is dropped as well: left in place it would look
    // fresh again when the tick count comes round to its stamp, 2^32 ms later.
    clearRecord(state);
  }
  unlockTable();
  return fresh;
}

#ifdef HORAVANE_RESETTABLE
void resetKeyStates() {
  lockTable();
  for (KeyState& state : keyStates) clearRecord(state);
  unlockTable();
}
#endif
