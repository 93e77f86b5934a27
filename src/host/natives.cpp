// Native calls: the one place that turns typed arguments into 64-bit slots.

#include "host/natives.h"

#include <cstring>

#include "host/native_catalogue.h"
#include "host/runtime.h"

namespace {

// A 32-bit value travels in the low half of a slot whose high half is zero:
// -1 is sent as 0x00000000FFFFFFFF, never sign-extended.
UINT64 intSlot(int32_t value) { return static_cast<uint32_t>(value); }

UINT64 floatSlot(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

UINT64 pointerSlot(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// One push per slot, left to right, written out by the compiler: no loop over a list.
template <typename... Slots>
PUINT64 invokeNative(uint64_t hash, Slots... slots) {
  nativeInit(hash);
  (nativePush64(slots), ...);
  return nativeCall();
}

int32_t intResult(PUINT64 result) {
  return result ? static_cast<int32_t>(static_cast<uint32_t>(*result)) : 0;
}

}  // namespace

void ClockAdd(int32_t hours, int32_t minutes, int32_t seconds) {
  invokeNative(HASH_CLOCK_ADD, intSlot(hours), intSlot(minutes), intSlot(seconds));
}

void ClockSet(int32_t hours, int32_t minutes, int32_t seconds) {
  invokeNative(HASH_CLOCK_SET, intSlot(hours), intSlot(minutes), intSlot(seconds));
}

void ClockPause(int32_t flag) { invokeNative(HASH_CLOCK_PAUSE, intSlot(flag)); }

int32_t ClockHours() { return intResult(invokeNative(HASH_CLOCK_HOURS)); }

int32_t ClockMinutes() { return intResult(invokeNative(HASH_CLOCK_MINUTES)); }

int32_t ClockSeconds() { return intResult(invokeNative(HASH_CLOCK_SECONDS)); }

void ScreenResolution(int32_t* width, int32_t* height) {
  invokeNative(HASH_SCREEN_RESOLUTION, pointerSlot(width), pointerSlot(height));
}

void TextFont(int32_t font) { invokeNative(HASH_TEXT_FONT, intSlot(font)); }

void TextScale(float unused, float scale) {
  invokeNative(HASH_TEXT_SCALE, floatSlot(unused), floatSlot(scale));
}

void TextRgba(int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  invokeNative(HASH_TEXT_RGBA, intSlot(red), intSlot(green), intSlot(blue), intSlot(alpha));
}

void TextFlag(int32_t flag) { invokeNative(HASH_TEXT_FLAG, intSlot(flag)); }

void TextEffectA(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  invokeNative(HASH_TEXT_EFFECT_A, intSlot(a), intSlot(b), intSlot(c), intSlot(d), intSlot(e));
}

void TextEffectB(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  invokeNative(HASH_TEXT_EFFECT_B, intSlot(a), intSlot(b), intSlot(c), intSlot(d), intSlot(e));
}

void TextBegin(const char* kind) { invokeNative(HASH_TEXT_BEGIN, pointerSlot(kind)); }

void TextAddString(const char* text) { invokeNative(HASH_TEXT_ADD_STRING, pointerSlot(text)); }

void TextDraw(float x, float y) { invokeNative(HASH_TEXT_DRAW, floatSlot(x), floatSlot(y)); }
