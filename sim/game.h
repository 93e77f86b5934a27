// The simulated game behind the natives: a game clock, a screen, and a record of
// every native call and every text drawn. Portable: the native simulated host and
// the Windows stand-in runtime both use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct NativeInfo;

struct NativeCall {
  uint64_t frame;
  uint64_t hash;
  std::vector<uint64_t> slots;  // as pushed
  std::string text;             // for a text argument: the text it pointed to
};

struct DrawnText {
  uint64_t frame;
  std::string text;
  float x, y;  // screen fractions, as sent
  float scale;
  int32_t font;
  int32_t red, green, blue, alpha;
};

// Whether `text` was drawn in `colour` (any record of four float components, red, green,
// blue, alpha), as the game received it: each component an integer, truncated.
template <typename Colour>
bool drawnIn(const DrawnText& text, const Colour& colour) {
  return text.red == static_cast<int32_t>(colour.red) && text.green == static_cast<int32_t>(colour.green) &&
         text.blue == static_cast<int32_t>(colour.blue) && text.alpha == static_cast<int32_t>(colour.alpha);
}

// Text in double quotes, with \" \\ and \xHH escapes: printable and unambiguous.
std::string quoteText(const std::string& text);

class SimGame {
 public:
  SimGame();

  // Clock, screen and records back to a new game: 12:00:00, running, 1280x720.
  void reset();

  // The game's own clock advance: one game minute per 2000 ms while not paused.
  void elapse(uint32_t ms);

  void setClock(int32_t hours, int32_t minutes, int32_t seconds);
  int32_t hours() const { return secondOfDay_ / 3600; }
  int32_t minutes() const { return secondOfDay_ / 60 % 60; }
  int32_t seconds() const { return secondOfDay_ % 60; }
  bool paused() const { return paused_; }
  // Sum of all ClockAdd amounts, in game seconds, since the last reset.
  int64_t secondsAdded() const { return secondsAdded_; }

  void setResolution(int32_t width, int32_t height);
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // The frame number stamped on records from now on.
  void setFrame(uint64_t frame) { frame_ = frame; }
  uint64_t frame() const { return frame_; }

  // The three halves of a native call, as the runtime receives them.
  void nativeInit(uint64_t hash);
  void nativePush(uint64_t slot);
  uint64_t* nativeCall();
  // When on, nativeCall answers with a null result slot, as a runtime may.
  void setNullResults(bool on) { nullResults_ = on; }

  // Recording can be switched off for long runs; errors are always kept.
  void setRecording(bool on) { recording_ = on; }
  const std::vector<NativeCall>& calls() const { return calls_; }
  const std::vector<DrawnText>& texts() const { return texts_; }
  const std::vector<std::string>& errors() const { return errors_; }
  uint64_t callCount() const { return callCount_; }
  void clearRecords();  // calls and texts; errors stay until clearErrors
  void clearErrors() { errors_.clear(); }

  // One line of text per call, free of addresses, for comparing runs.
  static std::string describe(const NativeCall& call);
  static std::string describe(const DrawnText& text);

 private:
  void execute(const NativeCall& call, const NativeInfo& info);
  void addSeconds(int64_t seconds);
  void error(const std::string& what);

  int32_t secondOfDay_;
  uint32_t ownAdvanceMs_;
  bool paused_;
  int64_t secondsAdded_;
  int32_t width_, height_;
  uint64_t frame_;

  bool callOpen_;
  NativeCall pending_;
  uint64_t result_;
  bool nullResults_;

  // The text item being built by the style natives, TextBegin and TextAddString.
  DrawnText item_;
  bool itemBegun_;

  bool recording_;
  uint64_t callCount_;
  std::vector<NativeCall> calls_;
  std::vector<DrawnText> texts_;
  std::vector<std::string> errors_;
};
