// The recorder behind the runtime's native functions, and the runtime's registration
// functions. scriptWait is not here: each measuring program ends its frames its own way.

#include "recorder.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "host/native_catalogue.h"

namespace bench {
namespace {

constexpr uint32_t SLOT_LIMIT = 8;  // more than any native of the catalogue takes

uint64_t pendingHash = 0;
uint64_t slots[SLOT_LIMIT];
uint32_t slotCount = 0;
uint64_t answer = CLOCK_ANSWER;

std::vector<RecordedCall> recorded;

KeyboardHandler keyboardHandler = nullptr;

void recordCall() {
  RecordedCall call{pendingHash, {}, {}};
  const NativeInfo* info = findNative(pendingHash);
  const uint32_t count = slotCount < SLOT_LIMIT ? slotCount : SLOT_LIMIT;
  for (uint32_t i = 0; i < count; ++i) {
    const char kind = info != nullptr && i < std::strlen(info->arguments) ? info->arguments[i] : 'i';
    if (kind == 's') call.text = reinterpret_cast<const char*>(static_cast<uintptr_t>(slots[i]));
    call.slots.push_back(kind == 'p' || kind == 's' ? 0 : slots[i]);
  }
  recorded.push_back(call);
}

void mix(uint64_t& sum, uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    sum ^= (value >> (8 * i)) & 0xFF;
    sum *= 0x100000001B3ull;
  }
}

}  // namespace

bool recordingOn = false;
uint64_t nativeCallCount = 0;

void startRecording() {
  recorded.clear();
  recordingOn = true;
}

std::vector<RecordedCall> stopRecording() {
  recordingOn = false;
  std::vector<RecordedCall> out;
  out.swap(recorded);
  return out;
}

void recordFrameEnd() { recorded.push_back(RecordedCall{0, {}, {}}); }

std::string describe(const RecordedCall& call) {
  if (call.hash == 0) return "-- frame end --";
  const NativeInfo* info = findNative(call.hash);
  char text[64];
  if (info == nullptr) std::snprintf(text, sizeof text, "0x%016" PRIX64, call.hash);
  std::string out = info != nullptr ? info->name : text;
  for (size_t i = 0; i < call.slots.size(); ++i) {
    const char kind = info != nullptr && i < std::strlen(info->arguments) ? info->arguments[i] : 'i';
    if (kind == 'p') {
      out += " &";
    } else if (kind == 's') {
      out += " \"" + call.text + "\"";
    } else if (kind == 'f') {
      float value;
      const uint32_t bits = static_cast<uint32_t>(call.slots[i]);
      std::memcpy(&value, &bits, sizeof value);
      std::snprintf(text, sizeof text, " %.9g", static_cast<double>(value));
      out += text;
    } else {
      std::snprintf(text, sizeof text, " %" PRId32, static_cast<int32_t>(call.slots[i]));
      out += text;
    }
  }
  return out;
}

uint64_t checksum(const std::vector<RecordedCall>& calls) {
  uint64_t sum = 0xCBF29CE484222325ull;
  for (const RecordedCall& call : calls) {
    mix(sum, call.hash);
    mix(sum, call.slots.size());
    for (uint64_t slot : call.slots) mix(sum, slot);
    for (unsigned char c : call.text) mix(sum, c);
  }
  return sum;
}

KeyboardHandler registeredKeyboardHandler() { return keyboardHandler; }

}  // namespace bench

extern "C" {

void scriptRegister(HMODULE, ScriptFunction) {}
void scriptUnregister(ScriptFunction) {}
void keyboardHandlerRegister(KeyboardHandler handler) { bench::keyboardHandler = handler; }
void keyboardHandlerUnregister(KeyboardHandler) { bench::keyboardHandler = nullptr; }

void nativeInit(UINT64 hash) {
  bench::pendingHash = hash;
  bench::slotCount = 0;
}

void nativePush64(UINT64 value) {
  bench::slots[bench::slotCount++ % bench::SLOT_LIMIT] = value;
}

PUINT64 nativeCall() {
  using namespace bench;
  if (pendingHash == HASH_SCREEN_RESOLUTION) {
    *reinterpret_cast<int32_t*>(static_cast<uintptr_t>(slots[0])) = SCREEN_WIDTH;
    *reinterpret_cast<int32_t*>(static_cast<uintptr_t>(slots[1])) = SCREEN_HEIGHT;
  }
  ++nativeCallCount;
  if (recordingOn) recordCall();
  return &answer;
}

}  // extern "C"
