// Screenshots: frames of the real plug-in, written to frame files, read back and
// rendered; the picture is checked against the frame's draw records.

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "menu/menu.h"
#include "tools/render.h"
#include "support/plugin_fixture.h"

namespace {

bool same(Rgb a, Rgb b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

Rgb rgbOf(const TextColour& colour) {
  return Rgb{static_cast<uint8_t>(colour.red), static_cast<uint8_t>(colour.green), static_cast<uint8_t>(colour.blue)};
}

const Rgb WHITE_TEXT = rgbOf(WHITE);
const Rgb HIGHLIGHT_TEXT = rgbOf(HIGHLIGHT);

// The caption of a menu line.
std::string caption(int32_t line) {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  return items[line].caption;
}

// How far `p` lies from the background towards `colour`, 0..1, as anti-aliased ink of
// that colour does; -1 when `p` is no such blend.
float shade(Rgb p, Rgb colour) {
  const int span[3] = {colour.red - SCREEN_BACKGROUND.red, colour.green - SCREEN_BACKGROUND.green,
                       colour.blue - SCREEN_BACKGROUND.blue};
  const int from[3] = {SCREEN_BACKGROUND.red, SCREEN_BACKGROUND.green, SCREEN_BACKGROUND.blue};
  const int value[3] = {p.red, p.green, p.blue};
  int widest = 0;
  for (int c = 1; c < 3; ++c)
    if (std::abs(span[c]) > std::abs(span[widest])) widest = c;
  const float t = static_cast<float>(value[widest] - from[widest]) / static_cast<float>(span[widest]);
  for (int c = 0; c < 3; ++c)
    if (std::abs(static_cast<float>(from[c]) + t * static_cast<float>(span[c]) - static_cast<float>(value[c])) > 3.0f)
      return -1.0f;
  return t;
}

// Ink of `colour` at least `strength` strong.
std::function<bool(Rgb)> ink(Rgb colour, float strength) {
  return [=](Rgb p) { return shade(p, colour) >= strength; };
}

// The pixel rows a text may ink: from its top to its top plus its pixel height.
struct Band {
  int32_t top, bottom;  // bottom exclusive
  bool holds(int32_t y) const { return y >= top && y < bottom; }
};

}  // namespace

class Render : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    std::string error;
    ASSERT_TRUE(renderer.loadFonts(FONT_REGULAR, FONT_BOLD, error)) << error;
  }

  // Opens the menu on a width x height screen, moves the selection down `downs` times,
  // and returns the last frame as it comes back from a frame file.
  Frame menuFrame(int32_t width, int32_t height, int downs) {
    host.game().setResolution(width, height);
    start();
    player.openMenu();
    for (int i = 0; i < downs; ++i) player.down();
    host.runFrame();
    {
      std::ofstream out("menu.frame");
      writeFrame(captureFrame(host.game(), host.frameNumber()), out);
    }
    Frame frame;
    std::string error;
    EXPECT_TRUE(loadFrameFile("menu.frame", frame, error)) << error;
    return frame;
  }

  static Band band(const Frame& frame, const DrawnText& text) {
    const int32_t top = static_cast<int32_t>(text.y * static_cast<float>(frame.height));
    return Band{top, top + static_cast<int32_t>(textPixelHeight(text.scale, frame.height)) + 1};
  }

  // Pixels of `image` inside the rows [top, bottom) for which `test` holds.
  static int count(const Image& image, int32_t top, int32_t bottom, const std::function<bool(Rgb)>& test) {
    int found = 0;
    for (int32_t y = top < 0 ? 0 : top; y < bottom && y < image.height; ++y)
      for (int32_t x = 0; x < image.width; ++x) found += test(image.at(x, y)) ? 1 : 0;
    return found;
  }

  // Rows holding any pixel other than the background, from the first to the last.
  static int inkHeight(const Image& image) {
    int32_t first = -1, last = -1;
    for (int32_t y = 0; y < image.height; ++y)
      if (count(image, y, y + 1, [](Rgb p) { return !same(p, SCREEN_BACKGROUND); }) > 0) {
        if (first < 0) first = y;
        last = y;
      }
    return first < 0 ? 0 : last - first + 1;
  }

  static Frame oneText(const std::string& text, float scale, int32_t font, int32_t alpha) {
    Frame frame;
    frame.width = 600;
    frame.height = 800;
    frame.texts.push_back(DrawnText{0, text, 0.1f, 0.1f, scale, font, 255, 255, 255, alpha});
    return frame;
  }

  void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  std::string loadError(const std::string& content) {
    writeFile("bad.frame", content);
    Frame frame;
    std::string error;
    EXPECT_FALSE(loadFrameFile("bad.frame", frame, error));
    return error;
  }

  FrameRenderer renderer;
};

TEST_F(Render, HighlightColourIsOnTheSelectedLineAndNowhereElse) {
  const Frame frame = menuFrame(1280, 720, 4);  // line 4, a rate line that is not current
  const Image image = renderer.render(frame);
  ASSERT_EQ(image.width, 1280);
  ASSERT_EQ(image.height, 720);
  const DrawnText* selected = nullptr;
  for (const DrawnText& text : frame.texts)
    if (drawnIn(text, HIGHLIGHT)) selected = &text;
  ASSERT_NE(selected, nullptr);
  ASSERT_EQ(selected->text, caption(4));
  const Band row = band(frame, *selected);
  EXPECT_GT(count(image, row.top, row.bottom, ink(HIGHLIGHT_TEXT, 0.75f)), 100);
  EXPECT_GT(count(image, row.top, row.bottom, [](Rgb p) { return same(p, HIGHLIGHT_TEXT); }), 10)
      << "fully covered pixels have exactly the highlight colour";
  EXPECT_EQ(count(image, 0, row.top, ink(HIGHLIGHT_TEXT, 0.2f)), 0);
  EXPECT_EQ(count(image, row.bottom, image.height, ink(HIGHLIGHT_TEXT, 0.2f)), 0);
  EXPECT_EQ(count(image, row.top, row.bottom, ink(WHITE_TEXT, 0.2f)), 0)
      << "no white on the selected line's rows: the lines above and below keep to their own";
}

TEST_F(Render, EveryDrawnLineHasWhiteInkOnItsRowsAndTheRestIsBackground) {
  const Frame frame = menuFrame(1280, 720, 0);
  const Image image = renderer.render(frame);
  ASSERT_EQ(frame.texts.size(), 2u + MENU_LINE_COUNT) << "title, time and every line";
  std::vector<bool> inked(image.height, false);
  for (const DrawnText& text : frame.texts) {
    const Band row = band(frame, text);
    for (int32_t y = row.top; y < row.bottom; ++y) inked[y] = true;
    if (drawnIn(text, HIGHLIGHT)) continue;
    EXPECT_GT(count(image, row.top, row.bottom, ink(WHITE_TEXT, 0.75f)), 5 * static_cast<int>(text.text.size()))
        << text.text;
    // The ink starts where the text does and is about as long as its characters.
    const int32_t left = static_cast<int32_t>(text.x * static_cast<float>(image.width));
    int32_t first = image.width, last = -1;
    for (int32_t y = row.top; y < row.bottom; ++y)
      for (int32_t x = 0; x < image.width; ++x)
        if (!same(image.at(x, y), SCREEN_BACKGROUND)) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
    const float height = textPixelHeight(text.scale, image.height);
    EXPECT_GE(first, left - 1) << text.text;
    EXPECT_LE(first, left + static_cast<int32_t>(height / 2)) << text.text;
    EXPECT_GT(last - first, static_cast<int32_t>(text.text.size() * height / 5)) << text.text;
    EXPECT_LT(last - first, static_cast<int32_t>(text.text.size() * height)) << text.text;
  }
  for (int32_t y = 0; y < image.height; ++y) {
    if (inked[y]) continue;
    ASSERT_EQ(count(image, y, y + 1, [](Rgb p) { return !same(p, SCREEN_BACKGROUND); }), 0) << "row " << y;
  }
}

TEST_F(Render, ShortScreenShowsTheSelectedLastLineWhollyAboveItsBottomEdge) {
  // 480 lines: the window holds (480 - 180) / 20 = 15 lines; at the last line it shows
  // the last 15, the lowest at y 460, whose row ends at the bottom edge.
  const Frame frame = menuFrame(640, 480, LAST_MENU_LINE);
  const Image image = renderer.render(frame);
  ASSERT_EQ(image.width, 640);
  ASSERT_EQ(image.height, 480);
  ASSERT_EQ(frame.texts.size(), 2u + 15);
  EXPECT_EQ(frame.texts[2].text, caption(MENU_LINE_COUNT - 15));
  const DrawnText& lowest = frame.texts.back();
  EXPECT_EQ(lowest.text, caption(LAST_MENU_LINE));
  ASSERT_EQ(std::lround(lowest.y * 480), 460) << lowest.text;
  const Band row = band(frame, lowest);
  EXPECT_LE(row.bottom, image.height);
  EXPECT_GT(count(image, row.top, row.bottom, ink(HIGHLIGHT_TEXT, 0.75f)), 20) << "the selected last line is seen";
  EXPECT_EQ(count(image, row.bottom, image.height, [](Rgb p) { return !same(p, SCREEN_BACKGROUND); }), 0)
      << "nothing below it";
}

TEST_F(Render, TextHeightFollowsScaleAndScreenAndTheTitleFontIsBold) {
  const int32_t line = inkHeight(renderer.render(oneText("Hxy", 0.45f, 0, 255)));
  const int32_t title = inkHeight(renderer.render(oneText("Hxy", 0.9f, 0, 255)));
  const float pixelHeight = 0.45f * 800 / 20;
  EXPECT_GT(line, 0.7f * pixelHeight) << "cap top to descender: most of the pixel height";
  EXPECT_LE(line, pixelHeight);
  EXPECT_NEAR(title, 2 * line, 2);

  Frame tall = oneText("Hxy", 0.45f, 0, 255);
  tall.height = 1600;
  EXPECT_NEAR(inkHeight(renderer.render(tall)), 2 * line, 2) << "the game scales text with the screen's height";

  auto ink = [](const Image& image) {
    return count(image, 0, image.height, [](Rgb p) { return !same(p, SCREEN_BACKGROUND); });
  };
  EXPECT_GT(ink(renderer.render(oneText("Horavane", 0.9f, TITLE_FONT, 255))),
            ink(renderer.render(oneText("Horavane", 0.9f, 0, 255))) * 11 / 10);
  EXPECT_EQ(ink(renderer.render(oneText("Horavane", 0.9f, 4, 255))),
            ink(renderer.render(oneText("Horavane", 0.9f, 0, 255))))
      << "fonts other than the title's are drawn regular";
}

TEST_F(Render, AlphaBlendsOverTheBackground) {
  const Image clear = renderer.render(oneText("Horavane", 0.9f, 0, 0));
  EXPECT_EQ(count(clear, 0, clear.height, [](Rgb p) { return !same(p, SCREEN_BACKGROUND); }), 0);
  const Image half = renderer.render(oneText("Horavane", 0.9f, 0, 128));
  int brightest = 0;
  for (int32_t y = 0; y < half.height; ++y)
    for (int32_t x = 0; x < half.width; ++x) brightest = std::max<int>(brightest, half.at(x, y).red);
  EXPECT_NEAR(brightest, SCREEN_BACKGROUND.red + (255 - SCREEN_BACKGROUND.red) / 2, 2);
}

TEST_F(Render, PngHoldsExactlyTheRenderedPixels) {
  const Image image = renderer.render(menuFrame(640, 480, 3));
  std::string error;
  ASSERT_TRUE(writePng(image, "menu.png", error)) << error;
  int width = 0, height = 0, channels = 0;
  unsigned char* pixels = stbi_load("menu.png", &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_TRUE(std::equal(image.pixels.begin(), image.pixels.end(), pixels));
  stbi_image_free(pixels);

  EXPECT_FALSE(writePng(image, "no-such-folder/menu.png", error));
  EXPECT_NE(error.find("no-such-folder/menu.png"), std::string::npos) << error;
}

TEST_F(Render, BadFrameFilesAreReportedByFileAndLine) {
  const std::string header = "horavane-frame 1\nresolution 1280 720\n";
  const std::string text = "text 0.1 0.1 0.45 0 255 255 255 255 \"x\"\n";
  EXPECT_EQ(loadError("horavane-frame 1\n\nresolution 0 720\n"),
            "bad.frame:3: expected a resolution of 1 to 8192 pixels each way, found 0x720");
  EXPECT_EQ(loadError("horavane-frame 1\nresolution 1280 90000\n"),
            "bad.frame:2: expected a resolution of 1 to 8192 pixels each way, found 1280x90000");
  EXPECT_EQ(loadError(header + text + "text 0.1 0.2 0.45 0 300 0 0 255 \"y\"\n"),
            "bad.frame:4: expected colour components of 0 to 255, found 300 0 0 255");
  EXPECT_EQ(loadError(header + "\n" + "text 0.1 0.2 -1 0 255 255 255 255 \"y\"\n"),
            "bad.frame:4: expected a scale of 0 to 10, found -1");
  EXPECT_EQ(loadError(header + "line 1\n"), "bad.frame:3: unknown record \"line\"") << "readFrame's own report";

  Frame frame;
  std::string error;
  EXPECT_FALSE(loadFrameFile("missing.frame", frame, error));
  EXPECT_EQ(error.rfind("missing.frame: cannot read the frame file", 0), 0u) << error;
}

TEST_F(Render, FontsThatCannotBeUsedAreNamed) {
  FrameRenderer other;
  std::string error;
  EXPECT_FALSE(other.loadFonts("missing.ttf", FONT_BOLD, error));
  EXPECT_EQ(error.rfind("missing.ttf: cannot read the font", 0), 0u) << error;
  writeFile("not-a-font.ttf", "horavane-frame 1\nresolution 640 480\n");
  EXPECT_FALSE(other.loadFonts(FONT_REGULAR, "not-a-font.ttf", error));
  EXPECT_EQ(error, "not-a-font.ttf: expected a TrueType font, found something else");
}

TEST_F(Render, RenderCommandWritesThePictureOrFailsWithTheReason) {
  menuFrame(1280, 720, 1);
  EXPECT_EQ(renderCommand("menu.frame", "menu.png"), 0);
  int width = 0, height = 0, channels = 0;
  EXPECT_NE(stbi_info("menu.png", &width, &height, &channels), 0);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  writeFile("bad.frame", "horavane-frame 2\n");
  EXPECT_EQ(renderCommand("bad.frame", "bad.png"), 1);
  std::ifstream png("bad.png");
  EXPECT_FALSE(png.good()) << "no picture for a frame that cannot be read";
}
