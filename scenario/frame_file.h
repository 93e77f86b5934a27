// A frame's drawn texts as a small text file, so that a frame captured in one host
// (the native simulated host, or the real DLL under Wine) can be rendered or compared
// elsewhere.
//
//   horavane-frame 1
//   resolution <width> <height>
//   text <x> <y> <scale> <font> <red> <green> <blue> <alpha> "<text>"
//
// x and y are the screen fractions the plug-in sent; the text is quoted as quoteText
// quotes it. One text line per drawn text, in drawing order.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "menu/menu.h"
#include "sim/game.h"

struct Frame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<DrawnText> texts;
};


// The texts `game` recorded for frame `frame`, with its current resolution.
Frame captureFrame(const SimGame& game, uint64_t frame);

void writeFrame(const Frame& frame, std::ostream& out);

// Reads a frame; on malformed input returns false and sets `error` to
// "<source>:<line>: <what is wrong>".
bool readFrame(std::istream& in, const std::string& source, Frame& frame, std::string& error);

// The reverse of quoteText (sim/game.h); false for text that is not well quoted.
bool unquoteText(const std::string& quoted, std::string& text);
