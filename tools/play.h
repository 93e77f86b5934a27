// Play mode: the plug-in in the simulated host, live in a terminal. Virtual time follows
// the real monotonic clock, the game clock ticks at the current rate, the menu is drawn
// at positions scaled from the simulated screen, and typed keys reach the plug-in as the
// virtual keys a player would press.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario/frame_file.h"
#include "tools/render.h"

// Turns the bytes a terminal sends into virtual-key codes. A terminal reports no key-up,
// so each key is one press. Digits are the numeric keypad's keys, since the default
// bindings are on the keypad; letters are their upper-case codes; Enter, Tab, Backspace,
// Space, arrows, Home/End/Insert/Delete/Page Up/Page Down and F1..F12 are themselves.
// Ctrl-C, or Esc twice in a row, asks to quit. Bytes that name no key are dropped.
class KeyDecoder {
 public:
  // A lone Esc becomes VK_ESCAPE once nothing has followed it for this long.
  static constexpr uint32_t ESCAPE_WAIT_MS = 300;

  // Decodes `bytes` that arrived at `nowMs` (any millisecond clock); appends the keys
  // to `keys`. A sequence cut between two calls is completed by the next call.
  void feed(const std::string& bytes, uint32_t nowMs, std::vector<uint32_t>& keys);
  // Turns a lone Esc older than ESCAPE_WAIT_MS into VK_ESCAPE.
  void flush(uint32_t nowMs, std::vector<uint32_t>& keys);
  bool quitRequested() const { return quit_; }

 private:
  // Decodes from the start of pending_; the number of bytes used, 0 when more are needed.
  size_t decodeOne(std::vector<uint32_t>& keys);

  std::string pending_;
  uint32_t pendingSinceMs_ = 0;
  bool quit_ = false;
};

// One character cell of the terminal picture.
struct Cell {
  char ch = ' ';
  Rgb colour = {0, 0, 0};
  bool text = false;  // false: background only
  bool bold = false;
};

struct TextScreen {
  int32_t columns = 0;
  int32_t rows = 0;
  std::vector<Cell> cells;  // row after row

  const Cell& at(int32_t column, int32_t row) const {
    return cells[static_cast<size_t>(row) * columns + column];
  }
  std::string rowText(int32_t row) const;
};

// Places a frame's texts on `columns` x `rows` cells: a text's first character goes to
// column x * columns and row y * rows, rounded down. A text whose row an earlier text of
// the frame already took moves down to the next free row, so lines drawn 20 px apart
// stay apart on a terminal with fewer rows than the screen has 20 px bands. Text past
// the right or bottom edge is cut off; font TITLE_FONT is bold.
TextScreen placeTexts(const Frame& frame, int32_t columns, int32_t rows);

// The xterm 256-colour palette index nearest to `colour` (its 6x6x6 cube or grey ramp).
int32_t nearestXtermColour(Rgb colour);

// What to type in play mode for the key `code`, for the on-screen help: "F5", "8" (for
// keypad 8), "Enter", "Up", "Q"; the key's name for keys a terminal cannot send.
std::string terminalKeyLabel(uint32_t code);

struct PlayOptions {
  int32_t width = 1280;  // the simulated screen
  int32_t height = 720;
};

// Runs play mode on the controlling terminal until the quit keys or a signal; the
// terminal is restored on every way out. Returns the process exit status.
int runPlay(const PlayOptions& options);

// `horavane-sim play [--resolution <w>x<h>]`: the exit status; errors on stderr.
int playCommand(const std::vector<std::string>& arguments);
