// Screenshots: frame files to PNG with stb_truetype and stb_image_write.

#include "tools/render.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <stb_image_write.h>
#include <stb_truetype.h>

namespace {

constexpr float MAX_TEXT_SCALE = 10.0f;  // half the screen high; anything larger is a broken frame

bool readWholeFile(const std::string& path, std::vector<uint8_t>& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The line numbers of the resolution record and of every text record, in file order,
// so that a value readFrame accepted but the renderer cannot use is reported where it is.
void recordLines(const std::string& content, int& resolutionLine, std::vector<int>& textLines) {
  std::istringstream in(content);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    std::string word;
    fields >> word;
    if (word == "resolution") resolutionLine = number;
    if (word == "text") textLines.push_back(number);
  }
}

bool isColourComponent(int32_t value) { return value >= 0 && value <= 255; }

std::string number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string checkText(const DrawnText& text) {
  if (!std::isfinite(text.x) || !std::isfinite(text.y))
    return "expected a finite position, found " + number(text.x) + " " + number(text.y);
  if (!(text.scale >= 0.0f && text.scale <= MAX_TEXT_SCALE))
    return "expected a scale of 0 to 10, found " + number(text.scale);
  if (!isColourComponent(text.red) || !isColourComponent(text.green) || !isColourComponent(text.blue) ||
      !isColourComponent(text.alpha))
    return "expected colour components of 0 to 255, found " + std::to_string(text.red) + " " +
           std::to_string(text.green) + " " + std::to_string(text.blue) + " " + std::to_string(text.alpha);
  return "";
}

uint8_t blend(uint8_t below, int32_t colour, uint32_t weight) {  // weight 0..255*255
  const int32_t value = below + (colour - below) * static_cast<int32_t>(weight) / (255 * 255);
  return static_cast<uint8_t>(value);
}

// One glyph's coverage bitmap blended onto the image at (left, top), cut at the edges.
void blendGlyph(Image& image, const std::vector<uint8_t>& coverage, int32_t width, int32_t height,
                int32_t left, int32_t top, const DrawnText& text) {
  for (int32_t row = 0; row < height; ++row) {
    const int32_t y = top + row;
    if (y < 0 || y >= image.height) continue;
    for (int32_t column = 0; column < width; ++column) {
      const int32_t x = left + column;
      const uint32_t weight = coverage[static_cast<size_t>(row * width + column)] * static_cast<uint32_t>(text.alpha);
      if (x < 0 || x >= image.width || weight == 0) continue;
      uint8_t* pixel = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
      pixel[0] = blend(pixel[0], text.red, weight);
      pixel[1] = blend(pixel[1], text.green, weight);
      pixel[2] = blend(pixel[2], text.blue, weight);
    }
  }
}

// Text is 8-bit: each byte is taken as the Latin-1 character of that code.
void drawText(Image& image, const stbtt_fontinfo& font, const DrawnText& text) {
  const float pixelHeight = textPixelHeight(text.scale, image.height);
  if (pixelHeight < 1.0f || text.alpha == 0) return;
  const float scale = stbtt_ScaleForPixelHeight(&font, pixelHeight);
  int ascent = 0, descent = 0, lineGap = 0;
  stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
  const float baseline = text.y * static_cast<float>(image.height) + static_cast<float>(ascent) * scale;
  float pen = text.x * static_cast<float>(image.width);
  std::vector<uint8_t> coverage;
  for (size_t i = 0; i < text.text.size() && pen < static_cast<float>(image.width); ++i) {
    const int code = static_cast<unsigned char>(text.text[i]);
    const float shiftX = pen - std::floor(pen);
    const float shiftY = baseline - std::floor(baseline);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetCodepointBitmapBoxSubpixel(&font, code, scale, scale, shiftX, shiftY, &x0, &y0, &x1, &y1);
    const int32_t width = x1 - x0;
    const int32_t height = y1 - y0;
    if (width > 0 && height > 0) {
      coverage.assign(static_cast<size_t>(width) * height, 0);
      stbtt_MakeCodepointBitmapSubpixel(&font, coverage.data(), width, height, width, scale, scale, shiftX,
                                        shiftY, code);
      blendGlyph(image, coverage, width, height, static_cast<int32_t>(std::floor(pen)) + x0,
                 static_cast<int32_t>(std::floor(baseline)) + y0, text);
    }
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(&font, code, &advance, &bearing);
    pen += static_cast<float>(advance) * scale;
    if (i + 1 < text.text.size())
      pen += scale * static_cast<float>(stbtt_GetCodepointKernAdvance(
                         &font, code, static_cast<unsigned char>(text.text[i + 1])));
  }
}

bool initFont(stbtt_fontinfo& font, const std::vector<uint8_t>& data) {
  if (data.empty()) return false;
  const int offset = stbtt_GetFontOffsetForIndex(data.data(), 0);
  return offset >= 0 && stbtt_InitFont(&font, data.data(), offset) != 0;
}

bool loadFont(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
  if (!readWholeFile(path, data)) {
    error = path + ": cannot read the font: " + std::strerror(errno);
    return false;
  }
  stbtt_fontinfo font;
  if (data.size() < 12 || !initFont(font, data)) {
    error = path + ": expected a TrueType font, found something else";
    return false;
  }
  return true;
}

}  // namespace

Rgb Image::at(int32_t x, int32_t y) const {
  const uint8_t* pixel = &pixels[(static_cast<size_t>(y) * width + x) * 3];
  return Rgb{pixel[0], pixel[1], pixel[2]};
}

float textPixelHeight(float scale, int32_t screenHeight) {
  return scale * static_cast<float>(screenHeight) / 20.0f;
}

bool loadFrameFile(const std::string& path, Frame& frame, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the frame file: " + std::strerror(errno);
    return false;
  }
  std::stringstream content;
  content << in.rdbuf();
  std::istringstream text(content.str());
  if (!readFrame(text, path, frame, error)) return false;

  int resolutionLine = 0;
  std::vector<int> textLines;
  recordLines(content.str(), resolutionLine, textLines);
  if (frame.width < 1 || frame.width > MAX_SCREEN_SIDE || frame.height < 1 || frame.height > MAX_SCREEN_SIDE) {
    error = path + ":" + std::to_string(resolutionLine) + ": expected a resolution of 1 to " +
            std::to_string(MAX_SCREEN_SIDE) + " pixels each way, found " + std::to_string(frame.width) + "x" +
            std::to_string(frame.height);
    return false;
  }
  for (size_t i = 0; i < frame.texts.size(); ++i) {
    const std::string what = checkText(frame.texts[i]);
    if (what.empty()) continue;
    error = path + ":" + std::to_string(textLines[i]) + ": " + what;
    return false;
  }
  return true;
}

bool FrameRenderer::loadFonts(const std::string& regularPath, const std::string& boldPath,
                              std::string& error) {
  return loadFont(regularPath, regularData_, error) && loadFont(boldPath, boldData_, error);
}

Image FrameRenderer::render(const Frame& frame) const {
  Image image;
  image.width = frame.width;
  image.height = frame.height;
  image.pixels.resize(static_cast<size_t>(frame.width) * frame.height * 3);
  for (size_t i = 0; i < image.pixels.size(); i += 3) {
    image.pixels[i] = SCREEN_BACKGROUND.red;
    image.pixels[i + 1] = SCREEN_BACKGROUND.green;
    image.pixels[i + 2] = SCREEN_BACKGROUND.blue;
  }
  stbtt_fontinfo regular, bold;
  if (!initFont(regular, regularData_) || !initFont(bold, boldData_)) return image;  // no fonts loaded
  for (const DrawnText& text : frame.texts) drawText(image, text.font == TITLE_FONT ? bold : regular, text);
  return image;
}

bool writePng(const Image& image, const std::string& path, std::string& error) {
  errno = 0;
  if (stbi_write_png(path.c_str(), image.width, image.height, 3, image.pixels.data(), image.width * 3) != 0)
    return true;
  error = path + ": cannot write the PNG" + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
  return false;
}

int renderCommand(const std::string& framePath, const std::string& pngPath) {
  std::string error;
  Frame frame;
  FrameRenderer renderer;
  if (!loadFrameFile(framePath, frame, error) || !renderer.loadFonts(FONT_REGULAR, FONT_BOLD, error) ||
      !writePng(renderer.render(frame), pngPath, error)) {
    std::fprintf(stderr, "horavane-sim render: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
