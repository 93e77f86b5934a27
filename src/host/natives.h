// The game's natives, one typed call each, and the one place that turns typed
// arguments into 64-bit slots. Each issues exactly one native call through the
// runtime; results are the low 32 bits of the result slot, signed.
//
// The calls are defined here, inline, because they run hundreds of times a frame
// while the menu is open: inlined, a native call costs its caller little more than
// the runtime's own calls.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/native_catalogue.h"
#include "host/runtime.h"

namespace native {

// A 32-bit value travels in the low half of a slot whose high half is zero:
// -1 is sent as 0x00000000FFFFFFFF, never sign-extended.
inline UINT64 intSlot(int32_t value) { return static_cast<uint32_t>(value); }

inline UINT64 floatSlot(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline UINT64 pointerSlot(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// One push per slot, left to right, written out by the compiler: no loop over a list.
template <typename... Slots>
inline PUINT64 invoke(uint64_t hash, Slots... slots) {
  nativeInit(hash);
  (nativePush64(slots), ...);
  return nativeCall();
}

inline int32_t intResult(PUINT64 result) {
  return result ? static_cast<int32_t>(static_cast<uint32_t>(*result)) : 0;
}

}  // namespace native

inline void ClockAdd(int32_t hours, int32_t minutes, int32_t seconds) {
  native::invoke(HASH_CLOCK_ADD, native::intSlot(hours), native::intSlot(minutes),
                 native::intSlot(seconds));
}

inline void ClockSet(int32_t hours, int32_t minutes, int32_t seconds) {
  native::invoke(HASH_CLOCK_SET, native::intSlot(hours), native::intSlot(minutes),
                 native::intSlot(seconds));
}

inline void ClockPause(int32_t flag) { native::invoke(HASH_CLOCK_PAUSE, native::intSlot(flag)); }

inline int32_t ClockHours() { return native::intResult(native::invoke(HASH_CLOCK_HOURS)); }

inline int32_t ClockMinutes() { return native::intResult(native::invoke(HASH_CLOCK_MINUTES)); }

inline int32_t ClockSeconds() { return native::intResult(native::invoke(HASH_CLOCK_SECONDS)); }

inline void ScreenResolution(int32_t* width, int32_t* height) {
  native::invoke(HASH_SCREEN_RESOLUTION, native::pointerSlot(width), native::pointerSlot(height));
}

inline void TextFont(int32_t font) { native::invoke(HASH_TEXT_FONT, native::intSlot(font)); }

inline void TextScale(float unused, float scale) {
  native::invoke(HASH_TEXT_SCALE, native::floatSlot(unused), native::floatSlot(scale));
}

inline void TextRgba(int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  native::invoke(HASH_TEXT_RGBA, native::intSlot(red), native::intSlot(green),
                 native::intSlot(blue), native::intSlot(alpha));
}

inline void TextFlag(int32_t flag) { native::invoke(HASH_TEXT_FLAG, native::intSlot(flag)); }

inline void TextEffectA(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  native::invoke(HASH_TEXT_EFFECT_A, native::intSlot(a), native::intSlot(b), native::intSlot(c),
                 native::intSlot(d), native::intSlot(e));
}

inline void TextEffectB(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  native::invoke(HASH_TEXT_EFFECT_B, native::intSlot(a), native::intSlot(b), native::intSlot(c),
                 native::intSlot(d), native::intSlot(e));
}

inline void TextBegin(const char* kind) {
  native::invoke(HASH_TEXT_BEGIN, native::pointerSlot(kind));
}

inline void TextAddString(const char* text) {
  native::invoke(HASH_TEXT_ADD_STRING, native::pointerSlot(text));
}

inline void TextDraw(float x, float y) {
  native::invoke(HASH_TEXT_DRAW, native::floatSlot(x), native::floatSlot(y));
}
