// The runtime's side of native calls for measurements: a recorder that does no work.
//
// nativeInit, nativePush64 and nativeCall keep the call's hash and slots and answer a
// fixed value; the only thing they do for the caller is fill in the screen size that
// ScreenResolution asks for, since without it no text would be drawn at all. While
// recording is on, every call and every frame end is also kept, so two runs can be
// compared call for call; recording is off whenever time is taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/runtime.h"

namespace bench {

constexpr int32_t SCREEN_WIDTH = 1280;
constexpr int32_t SCREEN_HEIGHT = 720;
constexpr uint64_t CLOCK_ANSWER = 12;  // every clock query reads 12: the time is 12:12:12

// One native call as the game would see it: pointer slots are kept as "&" only,
// since their addresses differ from run to run; a text slot as the text it points to.
struct RecordedCall {
  uint64_t hash;  // 0 marks a frame end
  std::vector<uint64_t> slots;
  std::string text;
};

extern bool recordingOn;
inline bool recording() { return recordingOn; }
void startRecording();
std::vector<RecordedCall> stopRecording();
void recordFrameEnd();

// "ClockAdd 0 0 33", "TextAddString \"Horavane\"", "-- frame end --".
std::string describe(const RecordedCall& call);

// FNV-1a over hashes, integer and float slots and texts: equal sequences, equal sums.
uint64_t checksum(const std::vector<RecordedCall>& calls);

// Native calls made so far, recording or not: a timed run's count per frame shows it
// did the work that was compared.
extern uint64_t nativeCallCount;

// The keyboard handler the plug-in registered, or nullptr.
KeyboardHandler registeredKeyboardHandler();

}  // namespace bench
