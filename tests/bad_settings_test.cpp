// Settings files as players leave them: read-only, a folder in the file's place,
// binary garbage, huge, very long lines, no final line end, a byte-order mark, NUL
// bytes. The plug-in starts with what it can read and defaults for the rest, and the
// only bytes a write ever changes are those of the values it sets; a write that
// fails leaves the file as it was.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "clock/clock.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "profile_writes.h"
#include "settings/settings.h"
#include "support/menu_contract.h"
#include "support/plugin_fixture.h"

namespace fs = std::filesystem;

namespace {

const uint32_t KEY_F6 = keyCodeFromName("VK_F6");
const uint32_t KEY_A = keyCodeFromName("A");

// The writes recorded since the last call, as "KEY=value" with " refused" when refused.
std::vector<std::string> writesSinceLastLook() {
  std::vector<std::string> writes;
  for (const ProfileWrite& write : profileWrites())
    writes.push_back(describe(write));
  recordProfileWrites(true);
  return writes;
}

std::string garbage(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// The text inserted into `before` to give `after`, when that is all that changed.
::testing::AssertionResult onlyInserted(const std::string& before, const std::string& after,
                                        const std::string& expectedInsertion) {
  size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  if (head + tail != before.size())
    return ::testing::AssertionFailure() << "bytes " << head << ".." << before.size() - tail
                                         << " of the old file were changed or removed";
  const std::string inserted = after.substr(head, after.size() - before.size());
  if (inserted != expectedInsertion)
    return ::testing::AssertionFailure() << "inserted \"" << inserted << "\" at byte " << head
                                         << ", expected \"" << expectedInsertion << "\"";
  return ::testing::AssertionSuccess();
}

}  // namespace

class BadSettings : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    defaults = defaultSettings();
  }
  // Opens the menu with the OPEN key read, carries out line `line`, closes the menu.
  void carryOut(int32_t line) { ASSERT_TRUE(player.chooseLine(line)) << "line " << line; }
  // The menu's lines as it shows them, below the title and the time line, opened and
  // closed again for the look.
  std::vector<std::string> menuLinesShown() {
    player.openMenu();
    std::vector<std::string> lines = player.lastFrameLines();
    player.closeMenu();
    lines.erase(lines.begin(), lines.begin() + std::min<size_t>(lines.size(), 2));
    return lines;
  }
  // The remember line as the menu shows it.
  std::string rememberLineShown() {
    const std::vector<std::string> lines = menuLinesShown();
    return lines.empty() ? "no menu line drawn" : lines[0];
  }
  std::vector<std::string> folderEntries() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.path()))
      names.push_back(entry.path().filename().string());
    return names;
  }
  Settings defaults;  // as read from no settings file
};

TEST_F(BadSettings, FileMadeReadOnlyIsStillReadAndKeepsItsLastGoodContents) {
  const std::string text = "[CONTROLS]\nOPEN=VK_F6\n[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n";
  writeSettings(text);
  start();
  carryOut(3);
  const std::string saved = readSettings();
  EXPECT_EQ(saved, text.substr(0, text.size() - 3) + std::to_string(rateOfLine(3)) + "\n");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  host.unload();
  start();
  EXPECT_EQ(settings.openKey, KEY_F6) << "a read-only file is read";
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON") << "nothing written yet";
  carryOut(10);  // a rate: saved while remembering, but the file refuses
  EXPECT_EQ(currentRate, rateOfLine(10)) << "the choice holds in memory";
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)") << "the rate was not saved";
  carryOut(REMEMBER_LINE);  // remembering off
  EXPECT_EQ(settings.rememberRate, 0);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF (not saved)") << "the file still says ON";
  EXPECT_EQ(readSettings(), saved);
  EXPECT_EQ(fs::status(SETTINGS_FILE_NAME).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{SETTINGS_FILE_NAME}) << "no temporary file left";

  // Made writable while the game runs: the next write succeeds and the line says so.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(REMEMBER_LINE);  // remembering on again
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");
  EXPECT_NE(readSettings().find("REMEMBER_RATE=1"), std::string::npos);
}

// What the file refused is written with the next write it takes, so that the line
// loses its remark only when the file holds the option it shows and, showing ON, the
// rate chosen last. Rates here are the players' figures, not the plug-in's table.
TEST_F(BadSettings, RefusedWritesCatchUpWithTheNextWriteTheFileTakes) {
  const int32_t x30 = contractLine("Time x 30 (1s = 15m)");
  const int32_t quarter = contractLine("Time / 4 (8s = 1m)");
  const int32_t half = contractLine("Time / 2 (4s = 1m)");
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=2000\n");
  start();

  // Two rates refused, then one taken: the file holds the last.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(x30);
  carryOut(quarter);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(half);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");

  // A rate refused, then remembering switched off in a file that takes it: the refused
  // rate goes in too, so that switching on again remembers it with no rate chosen.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(x30);
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=0\nUPDATERATE=66\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");

  // Remembering switched off and refused: a rate chosen then writes nothing, so the
  // remark stays while the file says ON.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(REMEMBER_LINE);
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(half);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF (not saved)");

  // Switched on again and taken: the file holds ON and the rate in use, chosen while
  // off, as the line and the mark show, and the next start runs at it.
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=4000\n");
  host.unload();
  start();
  EXPECT_EQ(currentRate, 4000u);

  // OFF refused, then pressed twice in a file that takes it: OFF is saved.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF (not saved)");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(REMEMBER_LINE);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=0\nUPDATERATE=4000\n");

  // Switched on while the file refuses: the option and the rate in use wait together,
  // and the next write the file takes, a rate picked, brings both in.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(quarter);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=8000\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");
}

// A file that another program holds open for a moment refuses one write and takes the
// next. The remark follows the file's last answer to each key the line shows: ON shows
// the option and the rate, OFF the option alone. Writing the option again after a
// refusal, as a file that refused may have lost it, is no remark by itself.
TEST_F(BadSettings, RemarkShowsWhileTheFileRefusedWhatTheLineShows) {
  const int32_t x30 = contractLine("Time x 30 (1s = 15m)");
  const int32_t quarter = contractLine("Time / 4 (8s = 1m)");
  using Writes = std::vector<std::string>;
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=2000\n");
  start();
  recordProfileWrites(true);

  // ON, the rate refused: the file keeps the option but not the rate the line marks.
  refuseProfileWrite(1);
  carryOut(x30);
  EXPECT_EQ(writesSinceLastLook(), Writes{"UPDATERATE=66 refused"});
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");

  // Switched OFF: the file takes the option, then refuses the rate still pending. It
  // holds the OFF the line shows.
  refuseProfileWrite(2);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(writesSinceLastLook(), (Writes{"REMEMBER_RATE=0", "UPDATERATE=66 refused"}));
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=0\nUPDATERATE=2000\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");

  // Switched ON, the option taken and the rate in use refused: the next start would
  // run the normal pace, not x30.
  refuseProfileWrite(2);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(writesSinceLastLook(), (Writes{"REMEMBER_RATE=1", "UPDATERATE=66 refused"}));
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");

  // The next rate: the option again, after the refusal, and the rate, both taken.
  carryOut(quarter);
  EXPECT_EQ(writesSinceLastLook(), (Writes{"REMEMBER_RATE=1", "UPDATERATE=8000"}));
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=8000\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");

  // OFF refused: the first refusal ends the round, and the line says the file still
  // holds ON. The next press, ON, is taken with the rate in use.
  refuseProfileWrite(1);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(writesSinceLastLook(), Writes{"REMEMBER_RATE=0 refused"});
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF (not saved)");
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(writesSinceLastLook(), (Writes{"REMEMBER_RATE=1", "UPDATERATE=8000"}));
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");

  // While the file holds what the line shows, no write is made twice: a rate chosen
  // writes the rate alone.
  carryOut(x30);
  EXPECT_EQ(writesSinceLastLook(), Writes{"UPDATERATE=66"});
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");

  // A reading settles every refusal: OFF refused, the scripts reloaded, and the file's
  // ON is back; the next rate is taken and the line shows a plain ON.
  refuseProfileWrite(1);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF (not saved)");
  host.restartScript();
  host.runFrame();
  carryOut(quarter);
  EXPECT_EQ(writesSinceLastLook(), (Writes{"REMEMBER_RATE=0 refused", "UPDATERATE=8000"}));
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");
}

// A reading of the file (the runtime reloading its scripts) makes memory what the file
// holds: the remember option, the remembered rate, the normal pace too, and no write
// left pending, so the line and the marks show what the next start does.
TEST_F(BadSettings, ReloadMakesMemoryWhatTheFileHolds) {
  const int32_t normal = contractLine("Reset to Normal (2s = 1m)");
  const int32_t x30 = contractLine("Time x 30 (1s = 15m)");
  const int32_t quarter = contractLine("Time / 4 (8s = 1m)");
  const auto reload = [&] {
    host.restartScript();
    host.runFrame();
  };
  const std::string normalActive = std::string(MENU_CONTRACT[normal].caption) + " (NOW ACTIVE)";

  // The option switched on and refused: the file's OFF comes back.
  writeSettings("[SETTINGS]\nREMEMBER_RATE=0\n");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  start();
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  reload();
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF") << "as the file says";

  // A rate refused while remembering: the reload goes back to the remembered normal
  // pace and releases the clock, as "Reset to Normal" does.
  host.unload();
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=2000\n");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  start();
  carryOut(x30);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  size_t before = callCount();
  reload();
  EXPECT_EQ(callsSince(before), std::vector<std::string>{"ClockPause 0"});
  EXPECT_FALSE(host.game().paused());
  std::vector<std::string> lines = menuLinesShown();
  ASSERT_EQ(lines.size(), static_cast<size_t>(CONTRACT_LINE_COUNT));
  EXPECT_EQ(lines[REMEMBER_LINE], "Remember on next game start: ON");
  EXPECT_EQ(lines[normal], normalActive);
  EXPECT_EQ(lines[x30], MENU_CONTRACT[x30].caption);

  // Made writable, then a write the file takes: the refused rate read over at the
  // reload stays out of the file.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=0\nUPDATERATE=2000\n");

  // No UPDATERATE, the file made writable before the reload: the normal pace again.
  host.unload();
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\n");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  start();
  carryOut(x30);
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  reload();
  EXPECT_EQ(currentRate, 2000u);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON");
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\n") << "a reading writes nothing";

  // Hand edits while the game runs take effect at the reload: 2000 releases the clock,
  // 8000 paces it, and the marks follow.
  carryOut(x30);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n");
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=2000\n");
  reload();
  EXPECT_FALSE(host.game().paused());
  lines = menuLinesShown();
  ASSERT_EQ(lines.size(), static_cast<size_t>(CONTRACT_LINE_COUNT));
  EXPECT_EQ(lines[normal], normalActive);
  EXPECT_EQ(lines[x30], MENU_CONTRACT[x30].caption);
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=8000\n");
  reload();
  EXPECT_TRUE(host.game().paused());
  lines = menuLinesShown();
  ASSERT_EQ(lines.size(), static_cast<size_t>(CONTRACT_LINE_COUNT));
  EXPECT_EQ(lines[quarter], std::string(MENU_CONTRACT[quarter].caption) + " (NOW ACTIVE)");
  EXPECT_EQ(lines[normal], MENU_CONTRACT[normal].caption);

  // A rate refused, then the file made writable and edited by hand: after the reload
  // the player's values stand, and a later write changes only the value it sets.
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0);
  carryOut(x30);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  writeSettings("[SETTINGS]\nREMEMBER_RATE=-2\nUPDATERATE=8000\n");
  reload();
  carryOut(REMEMBER_LINE);  // -2 becomes -1: still off
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=-1\nUPDATERATE=8000\n");
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");

  // Without remembering, a reload keeps the rate in use: the file names none.
  writeSettings("[SETTINGS]\nREMEMBER_RATE=0\nUPDATERATE=2000\n");
  carryOut(x30);
  reload();
  EXPECT_EQ(currentRate, 66u);
  EXPECT_TRUE(host.game().paused());
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");
}

TEST_F(BadSettings, FolderInPlaceOfTheFileMeansDefaultsAndIsLeftAlone) {
  fs::create_directory(SETTINGS_FILE_NAME);
  { std::ofstream(std::string(SETTINGS_FILE_NAME) + "/keep") << "x"; }
  start();
  EXPECT_EQ(settings.openKey, defaults.openKey);
  EXPECT_EQ(settings.enterKey, defaults.enterKey);
  EXPECT_EQ(settings.ownRate, defaults.ownRate);
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: OFF");
  carryOut(REMEMBER_LINE);  // remembering on: the write fails
  EXPECT_EQ(settings.rememberRate, 1) << "the option holds in memory";
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  carryOut(4);
  EXPECT_EQ(currentRate, rateOfLine(4));
  EXPECT_EQ(rememberLineShown(), "Remember on next game start: ON (not saved)");
  EXPECT_TRUE(fs::is_directory(SETTINGS_FILE_NAME));
  ASSERT_FALSE(fs::is_empty(SETTINGS_FILE_NAME)) << "the folder was emptied";
  EXPECT_EQ(fs::directory_iterator(SETTINGS_FILE_NAME)->path().filename(), "keep");
  EXPECT_EQ(folderEntries(), std::vector<std::string>{SETTINGS_FILE_NAME});
}

TEST_F(BadSettings, BinaryGarbageGivesDefaultsAndSurvivesAWriteByteForByte) {
  // No line break at all, so the garbage is one line that names no section.
  std::string bytes = garbage(64 * 1024, 1);
  for (char& c : bytes)
    if (c == '\n' || c == '\r') c = '#';
  writeSettings(bytes);
  start();
  EXPECT_EQ(settings.openKey, defaults.openKey);
  EXPECT_EQ(settings.rememberRate, 0);
  EXPECT_EQ(settings.ownRate, defaults.ownRate);
  EXPECT_EQ(currentRate, NORMAL_RATE);
  carryOut(REMEMBER_LINE);
  EXPECT_TRUE(onlyInserted(bytes, readSettings(), "\r\n[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=2000\r\n"));
}

TEST_F(BadSettings, GarbageAroundValidSectionsStillYieldsTheirValues) {
  // Without carriage returns the file's line end is a plain '\n', as its first line has.
  std::string noise = garbage(8192, 2);
  for (char& c : noise)
    if (c == '\r') c = '#';
  const std::string before = noise.substr(0, 4096) + "\n[SETTINGS]\nOWNRATE=500\n" + noise.substr(4096) +
                             "\n[CONTROLS]\nOPEN=VK_F6\n";
  writeSettings(before);
  start();
  EXPECT_EQ(settings.ownRate, 500u);
  EXPECT_EQ(settings.openKey, KEY_F6);
  EXPECT_EQ(settings.enterKey, defaults.enterKey) << "a binding the file lacks keeps its default";
  carryOut(REMEMBER_LINE);  // remembering on: the option and the rate in use
  // The new keys go after the section's last non-blank line, inside the garbage that
  // follows OWNRATE (it is a line of that section); every other byte stays.
  EXPECT_TRUE(onlyInserted(before, readSettings(), "REMEMBER_RATE=1\nUPDATERATE=2000\n"));
  EXPECT_GT(readSettings().find("REMEMBER_RATE=1\n"), readSettings().find("OWNRATE=500\n"));
}

// Lines ended by a CR alone: a reader that looked for the next '\n' at every line would
// take quadratic time over them.
TEST_F(BadSettings, TenMegabyteFileIsReadAndUpdatedInPlace) {
  std::string filler;
  filler.reserve(10u << 20);
  while (filler.size() < (5u << 20)) filler += "; a player's notes, kept for years, line after line\r";
  const std::string before =
      filler + "[SETTINGS]\rREMEMBER_RATE=1 ; as written\rUPDATERATE=4000\rOWNRATE=500\r" + filler;
  writeSettings(before);
  start();
  EXPECT_EQ(currentRate, 4000u);
  EXPECT_EQ(settings.ownRate, 500u);
  carryOut(3);
  std::string expected = before;
  expected.replace(expected.find("UPDATERATE=4000") + 11, 4, std::to_string(rateOfLine(3)));
  EXPECT_EQ(readSettings(), expected);
}

TEST_F(BadSettings, VeryLongLinesAreCutOrSkippedAndTheRestIsRead) {
  const std::string longName(1 << 20, 'K');
  const std::string longValue = "VK_F6" + std::string(1 << 20, 'x');
  const std::string before = "[CONTROLS]\n" + longName + "=1\nOPEN=" + longValue + "\nENTER=A\n" +
                             std::string(1 << 20, '=') + "\n[SETTINGS]\nOWNRATE=500\n";
  writeSettings(before);
  start();
  EXPECT_EQ(settings.openKey, 0u) << "a name cut to 31 characters names no key";
  EXPECT_EQ(settings.enterKey, KEY_A);
  EXPECT_EQ(settings.ownRate, 500u);
  // OPEN is unbound, so F5 opens nothing and nothing is ever written.
  host.tap(defaults.openKey);
  host.tap(0);  // not a key any keyboard sends, but it must not count as one
  host.runFor(500);
  EXPECT_FALSE(player.menuShown());
  EXPECT_EQ(readSettings(), before);
}

TEST_F(BadSettings, FileWithoutFinalLineEndIsUpdatedInPlaceAndExtendedCleanly) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66");
  start();
  EXPECT_EQ(currentRate, 66u);
  carryOut(3);
  EXPECT_EQ(readSettings(), "[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=" + std::to_string(rateOfLine(3)));

  host.unload();
  writeSettings("[CONTROLS]\nOPEN=VK_F5");
  start();
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(readSettings(), "[CONTROLS]\nOPEN=VK_F5\n[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=2000\n");
}

TEST_F(BadSettings, ByteOrderMarkIsSkippedAndKeptWithTheLineEnds) {
  writeSettings("\xEF\xBB\xBF[CONTROLS]\r\nOPEN=VK_F6\r\n[SETTINGS]\r\nOWNRATE=500\r\n");
  start();
  EXPECT_EQ(settings.openKey, KEY_F6);
  EXPECT_EQ(settings.ownRate, 500u);
  carryOut(REMEMBER_LINE);
  EXPECT_EQ(readSettings(),
            "\xEF\xBB\xBF[CONTROLS]\r\nOPEN=VK_F6\r\n[SETTINGS]\r\nOWNRATE=500\r\nREMEMBER_RATE=1\r\nUPDATERATE=2000\r\n");
}

TEST_F(BadSettings, NulBytesEndNamesAndValuesAndAreKept) {
  const char raw[] = "[SETTINGS]\nOWNRATE=500\0junk\n\0\0\0\n[CONTROLS]\nOPEN=VK_F6\0VK_F5\n";
  const std::string before(raw, sizeof raw - 1);
  writeSettings(before);
  start();
  EXPECT_EQ(settings.ownRate, 500u);
  EXPECT_EQ(settings.openKey, KEY_F6);
  carryOut(REMEMBER_LINE);
  // The line of NULs is a key line of the section, so the new keys follow it.
  EXPECT_TRUE(onlyInserted(before, readSettings(), "REMEMBER_RATE=1\nUPDATERATE=2000\n"));
  EXPECT_EQ(readSettings().find("REMEMBER_RATE"), before.find("[CONTROLS]"));
}
