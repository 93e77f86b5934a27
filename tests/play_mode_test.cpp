// Play mode's parts that need no terminal: typed bytes to virtual keys, the frame's
// texts placed on character cells, and the colours and labels shown.
//
// tests/play_mode_test.sh runs the whole of play mode in a real terminal.

#include "tools/play.h"

#include <cmath>

#include "input/keys.h"
#include "menu/menu.h"
#include "support/plugin_fixture.h"

namespace {

uint32_t vk(const char* name) { return keyCodeFromName(name); }

std::vector<uint32_t> decode(const std::string& bytes) {
  KeyDecoder decoder;
  std::vector<uint32_t> keys;
  decoder.feed(bytes, 0, keys);
  decoder.flush(KeyDecoder::ESCAPE_WAIT_MS, keys);
  return keys;
}

}  // namespace

TEST(PlayKeys, TypedKeysBecomeThePlayersVirtualKeys) {
  EXPECT_EQ(decode("\x1b[15~"), std::vector<uint32_t>{vk("VK_F5")});
  EXPECT_EQ(decode("0123456789"),
            std::vector<uint32_t>({vk("VK_NUMPAD0"), vk("VK_NUMPAD1"), vk("VK_NUMPAD2"), vk("VK_NUMPAD3"),
                                   vk("VK_NUMPAD4"), vk("VK_NUMPAD5"), vk("VK_NUMPAD6"), vk("VK_NUMPAD7"),
                                   vk("VK_NUMPAD8"), vk("VK_NUMPAD9")}))
      << "digits are the keypad's, where the default bindings are";
  EXPECT_EQ(decode("qQz"), std::vector<uint32_t>({'Q', 'Q', 'Z'}));
  EXPECT_EQ(decode("\r\n\t \x7f\x08"), std::vector<uint32_t>({vk("VK_RETURN"), vk("VK_RETURN"), vk("VK_TAB"),
                                                              vk("VK_SPACE"), vk("VK_BACK"), vk("VK_BACK")}));
  EXPECT_EQ(decode("*+-./"), std::vector<uint32_t>({vk("VK_MULTIPLY"), vk("VK_ADD"), vk("VK_SUBTRACT"),
                                                    vk("VK_DECIMAL"), vk("VK_DIVIDE")}));
  EXPECT_EQ(decode("\x1b[A\x1b[B\x1bOC\x1bOD\x1b[1;5A"),
            std::vector<uint32_t>({vk("VK_UP"), vk("VK_DOWN"), vk("VK_RIGHT"), vk("VK_LEFT"), vk("VK_UP")}))
      << "arrows in normal and application mode, and with a modifier";
  EXPECT_EQ(decode("\x1bOp\x1bOy\x1bOM"), std::vector<uint32_t>({vk("VK_NUMPAD0"), vk("VK_NUMPAD9"), vk("VK_RETURN")}))
      << "the keypad in application mode";
  EXPECT_EQ(decode("!@#\x01"), std::vector<uint32_t>{}) << "bytes that name no key";
}

TEST(PlayKeys, FunctionAndEditingKeysOfXtermAndTheLinuxConsole) {
  const std::pair<const char*, const char*> cases[] = {
      {"\x1bOP", "VK_F1"},    {"\x1b[1;2Q", "VK_F2"}, {"\x1b[[C", "VK_F3"},  {"\x1b[[E", "VK_F5"},
      {"\x1b[11~", "VK_F1"},  {"\x1b[17~", "VK_F6"},  {"\x1b[21~", "VK_F10"}, {"\x1b[23~", "VK_F11"},
      {"\x1b[24~", "VK_F12"}, {"\x1b[2~", "VK_INSERT"}, {"\x1b[3~", "VK_DELETE"}, {"\x1b[5~", "VK_PRIOR"},
      {"\x1b[6~", "VK_NEXT"}, {"\x1b[H", "VK_HOME"},  {"\x1b[4~", "VK_END"},  {"\x1bOF", "VK_END"},
  };
  for (const auto& [bytes, name] : cases)
    EXPECT_EQ(decode(bytes), std::vector<uint32_t>{vk(name)}) << name;
  EXPECT_EQ(decode("\x1b[16~\x1b[99~\x1b[Z5"), std::vector<uint32_t>{vk("VK_NUMPAD5")})
      << "unknown sequences are dropped whole, the key after them is kept";
}

TEST(PlayKeys, SequencesCutBetweenReadsAreCompleted) {
  KeyDecoder decoder;
  std::vector<uint32_t> keys;
  decoder.feed("5\x1b[1", 100, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>{vk("VK_NUMPAD5")});
  decoder.flush(150, keys);
  decoder.feed("5~", 150, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>({vk("VK_NUMPAD5"), vk("VK_F5")}));

  keys.clear();
  decoder.feed("\x1b[" + std::string(40, '1'), 200, keys);
  decoder.feed("8", 210, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>{vk("VK_NUMPAD8")}) << "an overlong sequence is noise";

  keys.clear();
  decoder.feed("\x1b[1", 300, keys);
  decoder.flush(300 + KeyDecoder::ESCAPE_WAIT_MS, keys);
  decoder.feed("2", 700, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>{vk("VK_NUMPAD2")}) << "a sequence that never ends is dropped";
  EXPECT_FALSE(decoder.quitRequested());
}

TEST(PlayKeys, CtrlCOrEscTwiceQuitsAndALoneEscIsTheEscKey) {
  KeyDecoder ctrlC;
  std::vector<uint32_t> keys;
  ctrlC.feed("8\x03", 0, keys);
  EXPECT_TRUE(ctrlC.quitRequested());
  EXPECT_EQ(keys, std::vector<uint32_t>{vk("VK_NUMPAD8")});

  KeyDecoder escEsc;
  keys.clear();
  escEsc.feed("\x1b", 1000, keys);
  escEsc.flush(1000 + KeyDecoder::ESCAPE_WAIT_MS - 1, keys);
  EXPECT_TRUE(keys.empty()) << "an Esc may still begin a sequence";
  escEsc.feed("\x1b", 1000 + KeyDecoder::ESCAPE_WAIT_MS - 1, keys);
  EXPECT_TRUE(escEsc.quitRequested());
  EXPECT_TRUE(keys.empty());

  KeyDecoder slow;
  slow.feed("\x1b", 1000, keys);
  slow.flush(1000 + KeyDecoder::ESCAPE_WAIT_MS, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>{vk("VK_ESCAPE")});
  slow.feed("\x1b", 2000, keys);
  EXPECT_FALSE(slow.quitRequested()) << "two Escs far apart are two Esc keys";
  slow.flush(2000 + KeyDecoder::ESCAPE_WAIT_MS, keys);
  EXPECT_EQ(keys, std::vector<uint32_t>({vk("VK_ESCAPE"), vk("VK_ESCAPE")}));

  keys.clear();
  EXPECT_EQ(decode("\x1bx"), std::vector<uint32_t>({vk("VK_ESCAPE"), 'X'})) << "Alt-x";
}

class PlayScreen : public PluginTest {
 protected:
  Frame openMenuFrame(int32_t height) {
    host.game().setResolution(1280, height);
    start();
    player.openMenu();
    player.down();
    return captureFrame(host.game(), host.frameNumber());
  }

  // Rows that hold text, top to bottom, with their text trimmed.
  static std::vector<std::string> textRows(const TextScreen& screen) {
    std::vector<std::string> out;
    for (int32_t row = 0; row < screen.rows; ++row) {
      std::string text = screen.rowText(row);
      text.erase(text.find_last_not_of(' ') + 1);
      if (!text.empty()) out.push_back(text.substr(text.find_first_not_of(' ')));
    }
    return out;
  }
};

TEST_F(PlayScreen, MenuLinesLandOnTheirScaledRowsAndColumnsInTheirColours) {
  const Frame frame = openMenuFrame(720);
  const TextScreen screen = placeTexts(frame, 128, 36);  // one row per 20 px band, 10 px per column
  ASSERT_EQ(frame.texts.size(), 2u + MENU_LINE_COUNT);
  for (const DrawnText& text : frame.texts) {
    const int32_t row = static_cast<int32_t>(std::lround(text.y * 720)) / 20;
    const int32_t column = static_cast<int32_t>(std::lround(text.x * 1280)) / 10;
    EXPECT_EQ(screen.rowText(row).substr(column, text.text.size()), text.text);
    const Cell& first = screen.at(column, row);
    EXPECT_TRUE(first.text);
    EXPECT_EQ(first.colour.green, text.green) << text.text;
    EXPECT_EQ(first.bold, text.font == TITLE_FONT) << text.text;
    EXPECT_FALSE(screen.at(column - 1, row).text) << "nothing before the text's column";
  }
  EXPECT_EQ(screen.at(6, 9).colour.red, HIGHLIGHT.red) << "the selected line, at (60, 180), in the highlight colour";
}

TEST_F(PlayScreen, FewRowsKeepTheLinesApartAndInOrderUntilTheBottom) {
  const Frame frame = openMenuFrame(720);
  std::vector<std::string> drawn;
  for (const DrawnText& text : frame.texts) drawn.push_back(text.text);

  const std::vector<std::string> tall = textRows(placeTexts(frame, 80, 40));
  EXPECT_EQ(tall, drawn);
  const std::vector<std::string> short24 = textRows(placeTexts(frame, 80, 22));
  ASSERT_LT(short24.size(), drawn.size()) << "the lines that do not fit are cut off at the bottom";
  EXPECT_GE(short24.size(), 15u);
  EXPECT_TRUE(std::equal(short24.begin(), short24.end(), drawn.begin()));
}

TEST(PlayScreenEdges, TextIsCutAtTheEdgesAndUnprintableBytesShowAsQuestionMarks) {
  Frame frame;
  frame.width = 100;
  frame.height = 100;
  frame.texts.push_back(DrawnText{0, "abcdef", 0.8f, 0.0f, 0.45f, 0, 255, 255, 255, 255});
  frame.texts.push_back(DrawnText{0, "xyz", -0.2f, 0.5f, 0.45f, 0, 255, 255, 255, 255});
  frame.texts.push_back(DrawnText{0, "a\x01\xe9", 0.0f, 0.9f, 0.45f, 0, 255, 255, 255, 255});
  frame.texts.push_back(DrawnText{0, "below", 0.0f, 1.0f, 0.45f, 0, 255, 255, 255, 255});
  frame.texts.push_back(DrawnText{0, "above", 0.0f, -0.1f, 0.45f, 0, 255, 255, 255, 255});
  frame.texts.push_back(DrawnText{0, "clear", 0.0f, 0.3f, 0.45f, 0, 255, 255, 255, 0});
  const TextScreen screen = placeTexts(frame, 10, 10);
  EXPECT_EQ(screen.rowText(0), "        ab");
  EXPECT_EQ(screen.rowText(5), "z         ");
  EXPECT_EQ(screen.rowText(9), "a??       ");
  EXPECT_EQ(screen.rowText(3), "          ") << "an invisible text takes no room";

  frame.width = 0;
  const TextScreen blank = placeTexts(frame, 10, 10);
  EXPECT_EQ(blank.rowText(0), "          ") << "a screen without size shows nothing";
}

TEST(PlayColours, NearestXtermColours) {
  EXPECT_EQ(nearestXtermColour(Rgb{255, 255, 255}), 231);
  EXPECT_EQ(nearestXtermColour(Rgb{0, 0, 0}), 16);
  const Rgb highlight = {static_cast<uint8_t>(HIGHLIGHT.red), static_cast<uint8_t>(HIGHLIGHT.green),
                         static_cast<uint8_t>(HIGHLIGHT.blue)};
  EXPECT_EQ(nearestXtermColour(highlight), 214) << "the highlight's orange";
  EXPECT_EQ(nearestXtermColour(Rgb{128, 128, 128}), 244) << "greys come from the grey ramp";
  EXPECT_EQ(nearestXtermColour(Rgb{16, 18, 24}), 233);
}

TEST(PlayHelp, KeyLabelsSayWhatToType) {
  EXPECT_EQ(terminalKeyLabel(vk("VK_F5")), "F5");
  EXPECT_EQ(terminalKeyLabel(vk("VK_NUMPAD5")), "5");
  EXPECT_EQ(terminalKeyLabel('Q'), "Q");
  EXPECT_EQ(terminalKeyLabel(vk("VK_RETURN")), "Enter");
  EXPECT_EQ(terminalKeyLabel(vk("VK_DOWN")), "Down");
  EXPECT_EQ(terminalKeyLabel(vk("VK_LSHIFT")), "VK_LSHIFT (not typeable here)");
  EXPECT_EQ(terminalKeyLabel(0), "no key");
  // Every label of a typeable key decodes back to that key.
  const std::pair<const char*, const char*> typed[] = {{"F5", "\x1b[15~"}, {"5", "5"}, {"Q", "q"},
                                                       {"Enter", "\r"}, {"Down", "\x1b[B"}};
  for (const auto& [label, bytes] : typed) {
    const std::vector<uint32_t> keys = decode(bytes);
    ASSERT_EQ(keys.size(), 1u) << label;
    EXPECT_EQ(terminalKeyLabel(keys[0]), label);
  }
}
