// The floor: each measured frame's native calls, issued by straight-line code.
//
// Every slot value is taken beforehand from one recorded frame of the plug-in; the texts
// are copied into the floor's own storage, so only pointer slots differ. What is left per
// frame is what no plug-in can avoid: nativeInit, one nativePush64 per slot, nativeCall.
// The menu's ten calls per text run over a table of its texts: unrolled across all of
// them the code grew to some 15 KB and ran slower, which would flatter the plug-in.

#include <cstring>
#include <stdexcept>
#include <string>

#include "frame_cases.h"
#include "host/native_catalogue.h"
#include "host/runtime.h"
#include "menu/menu.h"

namespace bench {
namespace {

#define FLOOR_INLINE inline __attribute__((always_inline))

FLOOR_INLINE void call0(UINT64 hash) {
  nativeInit(hash);
  nativeCall();
}

FLOOR_INLINE void call1(UINT64 hash, UINT64 a) {
  nativeInit(hash);
  nativePush64(a);
  nativeCall();
}

FLOOR_INLINE void call2(UINT64 hash, UINT64 a, UINT64 b) {
  nativeInit(hash);
  nativePush64(a);
  nativePush64(b);
  nativeCall();
}

FLOOR_INLINE void call3(UINT64 hash, UINT64 a, UINT64 b, UINT64 c) {
  nativeInit(hash);
  nativePush64(a);
  nativePush64(b);
  nativePush64(c);
  nativeCall();
}

FLOOR_INLINE void call4(UINT64 hash, const UINT64 (&s)[5]) {
  nativeInit(hash);
  nativePush64(s[0]);
  nativePush64(s[1]);
  nativePush64(s[2]);
  nativePush64(s[3]);
  nativeCall();
}

FLOOR_INLINE void call5(UINT64 hash, const UINT64 (&s)[5]) {
  nativeInit(hash);
  nativePush64(s[0]);
  nativePush64(s[1]);
  nativePush64(s[2]);
  nativePush64(s[3]);
  nativePush64(s[4]);
  nativeCall();
}

UINT64 pointerSlot(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// ---- Paced frame: ClockPause, ClockAdd ----

UINT64 pauseFlag;
UINT64 addSlots[3];

// ---- Menu frame: three clock queries, then ten calls per text ----

constexpr size_t MENU_TEXTS = 2 + MENU_LINE_COUNT;  // title, time line, every line
constexpr size_t TEXT_CALLS = 10;
constexpr size_t TEXT_ROOM = 64;
constexpr uint64_t TEXT_SHAPE[TEXT_CALLS] = {
    HASH_SCREEN_RESOLUTION, HASH_TEXT_FONT, HASH_TEXT_SCALE, HASH_TEXT_RGBA, HASH_TEXT_FLAG,
    HASH_TEXT_EFFECT_A, HASH_TEXT_EFFECT_B, HASH_TEXT_BEGIN, HASH_TEXT_ADD_STRING, HASH_TEXT_DRAW,
};

struct FloorText {
  UINT64 slots[TEXT_CALLS][5];  // the recorded slots of each of the ten calls
  char kind[TEXT_ROOM];
  char text[TEXT_ROOM];
};

UINT64 queryHashes[3];
FloorText texts[MENU_TEXTS];
int32_t width;
int32_t height;

FLOOR_INLINE void drawFloorText(const FloorText& t, UINT64 widthSlot, UINT64 heightSlot,
                                UINT64 kindSlot, UINT64 textSlot) {
  call2(HASH_SCREEN_RESOLUTION, widthSlot, heightSlot);
  call1(HASH_TEXT_FONT, t.slots[1][0]);
  call2(HASH_TEXT_SCALE, t.slots[2][0], t.slots[2][1]);
  call4(HASH_TEXT_RGBA, t.slots[3]);
  call1(HASH_TEXT_FLAG, t.slots[4][0]);
  call5(HASH_TEXT_EFFECT_A, t.slots[5]);
  call5(HASH_TEXT_EFFECT_B, t.slots[6]);
  call1(HASH_TEXT_BEGIN, kindSlot);
  call1(HASH_TEXT_ADD_STRING, textSlot);
  call2(HASH_TEXT_DRAW, t.slots[9][0], t.slots[9][1]);
}

void pacedFrame() {
  call1(HASH_CLOCK_PAUSE, pauseFlag);
  call3(HASH_CLOCK_ADD, addSlots[0], addSlots[1], addSlots[2]);
}

void menuFrame() {
  call0(queryHashes[0]);
  call0(queryHashes[1]);
  call0(queryHashes[2]);
  for (const FloorText& t : texts)
    drawFloorText(t, pointerSlot(&width), pointerSlot(&height), pointerSlot(t.kind),
                  pointerSlot(t.text));
}

[[noreturn]] void shapeFault(Frame frame, size_t index, const std::string& expected,
                             const std::vector<RecordedCall>& calls) {
  throw std::runtime_error(std::string("floor of the ") + frameName(frame) + " frame: call " +
                           std::to_string(index + 1) + " of the plug-in's frame should be " +
                           expected + ", is " +
                           (index < calls.size() ? describe(calls[index]) : "missing"));
}

void expectCall(Frame frame, const std::vector<RecordedCall>& calls, size_t index,
                uint64_t hash) {
  if (index >= calls.size() || calls[index].hash != hash)
    shapeFault(frame, index, findNative(hash)->name, calls);
}

void copyText(Frame frame, const std::vector<RecordedCall>& calls, size_t index, char* out) {
  if (calls[index].text.size() >= TEXT_ROOM) shapeFault(frame, index, "a shorter text", calls);
  std::memcpy(out, calls[index].text.c_str(), calls[index].text.size() + 1);
}

void loadMenu(const std::vector<RecordedCall>& calls) {
  for (size_t i = 0; i < 3; ++i) {
    if (calls.size() <= i) shapeFault(Frame::Menu, i, "a clock query", calls);
    queryHashes[i] = calls[i].hash;
  }
  for (size_t t = 0; t < MENU_TEXTS; ++t) {
    for (size_t c = 0; c < TEXT_CALLS; ++c) {
      const size_t index = 3 + t * TEXT_CALLS + c;
      expectCall(Frame::Menu, calls, index, TEXT_SHAPE[c]);
      for (size_t s = 0; s < calls[index].slots.size() && s < 5; ++s)
        texts[t].slots[c][s] = calls[index].slots[s];
    }
    copyText(Frame::Menu, calls, 3 + t * TEXT_CALLS + 7, texts[t].kind);
    copyText(Frame::Menu, calls, 3 + t * TEXT_CALLS + 8, texts[t].text);
  }
}

}  // namespace

void loadFloor(Frame frame, const std::vector<RecordedCall>& steadyFrame) {
  std::vector<RecordedCall> calls = steadyFrame;
  if (!calls.empty() && calls.back().hash == 0) calls.pop_back();  // the frame end
  size_t expected = 0;
  if (frame == Frame::Paced) {
    expectCall(frame, calls, 0, HASH_CLOCK_PAUSE);
    expectCall(frame, calls, 1, HASH_CLOCK_ADD);
    pauseFlag = calls[0].slots.at(0);
    for (size_t s = 0; s < 3; ++s) addSlots[s] = calls[1].slots.at(s);
    expected = 2;
  } else if (frame == Frame::Menu) {
    loadMenu(calls);
    expected = 3 + MENU_TEXTS * TEXT_CALLS;
  }
  if (calls.size() != expected) shapeFault(frame, expected, "the frame's end", calls);
}

[[noreturn]] void floorLoop(Frame frame) {
  switch (frame) {
    case Frame::Idle:
      for (;;) scriptWait(0);
    case Frame::Paced:
      for (;;) {
        pacedFrame();
        scriptWait(0);
      }
    case Frame::Menu:
      break;
  }
  for (;;) {
    menuFrame();
    scriptWait(0);
  }
}

}  // namespace bench
