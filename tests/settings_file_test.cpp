// The contract of the settings file, written out here on purpose: horavane.ini in the
// working folder; OPEN, ENTER, BACK, UP, DOWN in [CONTROLS] with the defaults F5 (116),
// keypad 5 (101), 0 (96), 8 (104), 2 (98); REMEMBER_RATE (default 0), UPDATERATE (2000,
// read only when remembering) and OWNRATE (2000) in [SETTINGS]; REMEMBER_RATE written
// signed, UPDATERATE unsigned, each alone.

#include <cstring>
#include <filesystem>

#include "clock/clock.h"
#include "menu/menu.h"
#include "support/plugin_fixture.h"
#include "text/decimal_text.h"

class SettingsFile : public PluginTest {
 protected:
  std::vector<std::string> folderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      names.push_back(entry.path().filename().string());
    return names;
  }
};

TEST_F(SettingsFile, WithoutAFileTheDefaultsHoldAndTheFirstWriteMakesHoravaneIni) {
  start();
  EXPECT_EQ(std::vector<uint32_t>({settings.openKey, settings.enterKey, settings.backKey, settings.upKey,
                                   settings.downKey}),
            std::vector<uint32_t>({116, 101, 96, 104, 98}))
      << "default OPEN, ENTER, BACK, UP, DOWN";
  EXPECT_EQ(settings.rememberRate, 0) << "default REMEMBER_RATE";
  EXPECT_EQ(settings.ownRate, 2000u) << "default OWNRATE";
  EXPECT_EQ(currentRate, 2000u) << "the rate at start";
  EXPECT_EQ(callCount(), 0u) << "no native at start";
  EXPECT_EQ(folderEntries(), std::vector<std::string>{}) << "reading makes no file";
  ASSERT_TRUE(player.chooseLine(REMEMBER_LINE));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"horavane.ini"}) << "the settings file's name";
  // Switched on, the option and the rate in use, the normal one.
  EXPECT_EQ(readFile("horavane.ini"), "[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=2000\r\n");
}

// OWNRATE -5 reads as the rate 4294967291, which the menu's own line makes current and,
// when remembered, writes as unsigned text.
TEST_F(SettingsFile, EveryKeyIsReadFromItsSectionAndRatesAreWrittenUnsigned) {
  ASSERT_TRUE(writeFile("horavane.ini",
                        "[CONTROLS]\nOPEN=A\nENTER=B\nBACK=C\nUP=D\nDOWN=E\n"
                        "[SETTINGS]\nREMEMBER_RATE=-2\nUPDATERATE=66\nOWNRATE=-5\n"));
  start();
  EXPECT_EQ(std::vector<uint32_t>({settings.openKey, settings.enterKey, settings.backKey, settings.upKey,
                                   settings.downKey}),
            std::vector<uint32_t>({'A', 'B', 'C', 'D', 'E'}))
      << "OPEN, ENTER, BACK, UP, DOWN as read";
  EXPECT_EQ(settings.rememberRate, -2) << "REMEMBER_RATE as read";
  EXPECT_EQ(currentRate, 2000u) << "UPDATERATE is read only when REMEMBER_RATE is 1";
  EXPECT_EQ(settings.ownRate, 4294967291u) << "OWNRATE as read";
  const std::pair<int32_t, const char*> toggles[] = {{-1, "-1"}, {0, "0"}, {1, "1"}};
  for (const auto& [value, text] : toggles) {
    ASSERT_TRUE(player.chooseLine(REMEMBER_LINE));
    EXPECT_EQ(settings.rememberRate, value);
    EXPECT_NE(readFile("horavane.ini").find(std::string("\nREMEMBER_RATE=") + text + "\n"), std::string::npos)
        << "REMEMBER_RATE written as " << text << " in:\n" << readFile("horavane.ini");
  }
  ASSERT_TRUE(player.chooseLine(OWN_RATE_LINE));
  EXPECT_EQ(currentRate, 4294967291u) << "the own rate, bit for bit";
  EXPECT_EQ(readFile("horavane.ini"),
            "[CONTROLS]\nOPEN=A\nENTER=B\nBACK=C\nUP=D\nDOWN=E\n"
            "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4294967291\nOWNRATE=-5\n");

  host.unload();
  host.game().clearRecords();
  start();
  EXPECT_EQ(currentRate, 4294967291u) << "the remembered rate at the next start";
  ASSERT_FALSE(host.game().calls().empty());
  EXPECT_EQ(callsSince(0).front(), "ClockPause 1") << "a remembered rate freezes the clock at start";
}

// The widest numbers the plug-in writes or shows come out whole, and end within their buffer.
TEST(DecimalText, ExtremesAreWholeAndTerminated) {
  const std::pair<DecimalText, std::string> cases[] = {
      {decimalText(int32_t{-2147483647 - 1}), "-2147483648"}, {decimalText(4294967295u), "4294967295"},
      {decimalText(int32_t{0}), "0"}, {decimalText(0u), "0"}};
  for (const auto& [text, expected] : cases) {
    const size_t length = strnlen(text.chars, sizeof text.chars);
    ASSERT_LT(length, sizeof text.chars) << expected << ": no terminator";
    EXPECT_EQ(std::string(text.chars, length), expected);
  }
}
