// Screenshots: a frame's drawn texts rendered as a player would see them, in a real
// font, over a plain dark background at the frame's screen resolution, and saved as PNG.
//
// A text's x and y are the screen fractions of its top-left corner. Its pixel height
// (ascent to descent) is scale / 20 of the screen height: at 720 lines the menu's 0.45
// lines are 16 px high on rows 20 px apart. Text beyond the screen's edges is cut off,
// as the game cuts it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario/frame_file.h"

struct Rgb {
  uint8_t red, green, blue;
};

constexpr Rgb SCREEN_BACKGROUND = {16, 18, 24};
constexpr int32_t MAX_SCREEN_SIDE = 8192;  // larger resolutions are refused, not allocated

constexpr const char* FONT_REGULAR = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr int32_t TITLE_FONT = 1;  // the game's font 1 is drawn bold, every other font regular

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // RGB, row after row, top row first

  Rgb at(int32_t x, int32_t y) const;
};

// Pixel height, ascent to descent, of text at `scale` on a screen `screenHeight` high.
float textPixelHeight(float scale, int32_t screenHeight);

// Reads a frame file and checks that it can be rendered. On failure returns false with
// `error` as "<path>:<line>: <what was expected, what was found>".
bool loadFrameFile(const std::string& path, Frame& frame, std::string& error);

// Renders frames with two TrueType fonts: regular for font 0 and all others, bold for
// TITLE_FONT.
class FrameRenderer {
 public:
  // False, with `error` naming the file, when a font cannot be read or is no TrueType font.
  bool loadFonts(const std::string& regularPath, const std::string& boldPath, std::string& error);

  // The frame's texts in drawing order, each blended over what is below it by its alpha.
  // The frame must hold a resolution of 1..MAX_SCREEN_SIDE on both sides.
  Image render(const Frame& frame) const;

 private:
  std::vector<uint8_t> regularData_, boldData_;
};

// Writes `image` as an 8-bit RGB PNG; false, with `error` naming the path, on failure.
bool writePng(const Image& image, const std::string& path, std::string& error);

// `horavane-sim render <frame-file> <out.png>`: the exit status; errors on stderr.
int renderCommand(const std::string& framePath, const std::string& pngPath);
