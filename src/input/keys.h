// Keyboard input: the latest message per key, release queries, and key names.
//
// The runtime calls onKeyboardMessage on its own thread; the script side only ever
// asks consumeKeyRelease. Every field is an atomic 32-bit value, so no single read is
// torn, and a short spin lock keeps each message and each clear whole.
#pragma once

#include <atomic>
#include <cstdint>

#include "compat.h"

constexpr uint32_t KEY_TABLE_SIZE = 255;    // codes 0..254; 255 and above have no record
constexpr uint32_t RELEASE_WINDOW_MS = 100;  // a release counts while younger than this

struct KeyState {
  std::atomic<uint32_t> tick;    // GetTickCount() of the latest message; 0 after a clear
  std::atomic<int32_t> alt;      // the message's with-Alt flag
  std::atomic<int32_t> wasDown;  // the message's was-down-before flag
  std::atomic<int32_t> isUp;     // non-zero: the latest message was a release
};

extern KeyState keyStates[KEY_TABLE_SIZE];

// The keyboard handler registered with the runtime: records the message for its key.
void onKeyboardMessage(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended, BOOL isWithAlt,
                       BOOL wasDownBefore, BOOL isUpNow);

// True once for a release of `code` younger than RELEASE_WINDOW_MS; clears the record.
bool consumeKeyRelease(uint32_t code);

// Clears every record, as at load (HORAVANE_RESETTABLE only).
void resetKeyStates();

// The virtual-key code of a key name ("VK_F5", "A", "5", ...); 0 for "NO_KEY" and for
// any text that names no key. Exact match: letter case and blanks count.
uint32_t keyCodeFromName(const char* name);

struct KeyName {
  const char* name;
  uint32_t code;
};

// Every accepted name, in lookup order; for documentation and tests.
extern const KeyName KEY_NAMES[];
extern const uint32_t KEY_NAME_COUNT;
