// The key state table: written by the keyboard handler, read and cleared by the script.

#include "input/keys.h"

KeyState keyStates[KEY_TABLE_SIZE];

void onKeyboardMessage(DWORD key, WORD /*repeats*/, BYTE /*scanCode*/, BOOL /*isExtended*/,
                       BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow) {
  if (key >= KEY_TABLE_SIZE) return;
  KeyState& state = keyStates[key];
  // The flags go first and the stamp last: a query that races with this write sees
  // either the old stamp (and clears only what it judged) or the new one.
  state.isUp.store(isUpNow, std::memory_order_relaxed);
  state.alt.store(isWithAlt, std::memory_order_relaxed);
  state.wasDown.store(wasDownBefore, std::memory_order_relaxed);
  state.tick.store(GetTickCount(), std::memory_order_release);
}

bool consumeKeyRelease(uint32_t code) {
  // Code 0 is what an unbound action holds: it never answers, whatever arrives.
  if (code == 0 || code >= KEY_TABLE_SIZE) return false;
  KeyState& state = keyStates[code];
  const uint32_t now = GetTickCount();
  uint32_t stamp = state.tick.load(std::memory_order_acquire);
  if (state.isUp.load(std::memory_order_relaxed) == 0) return false;
  // The age is taken modulo 2^32, so a release stamped just before the tick count
  // wraps still counts, and an old one never comes back to life after the wrap.
  if (now - stamp >= RELEASE_WINDOW_MS) return false;
  // Claim the release by its stamp: if the handler has written a newer message in
  // the meantime, that message stays and this release is not reported twice.
  if (!state.tick.compare_exchange_strong(stamp, 0, std::memory_order_acq_rel)) return false;
  state.alt.store(0, std::memory_order_relaxed);
  state.wasDown.store(0, std::memory_order_relaxed);
  state.isUp.store(0, std::memory_order_relaxed);
  return true;
}

void resetKeyStates() {
  for (KeyState& state : keyStates) {
    state.tick.store(0, std::memory_order_relaxed);
    state.alt.store(0, std::memory_order_relaxed);
    state.wasDown.store(0, std::memory_order_relaxed);
    state.isUp.store(0, std::memory_order_relaxed);
  }
}
