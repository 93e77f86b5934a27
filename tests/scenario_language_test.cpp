// Scenario files: what the reader rejects and how it says so, and how the runner
// judges a host, traces it and compares traces. The host here is a scripted fake over
// a real SimGame, so every verdict is known in advance.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "host/native_catalogue.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "scenario/scenario.h"
#include "settings/settings.h"
#include "sim/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> readErrors(const std::string& text) {
  std::istringstream in(text);
  Scenario scenario;
  std::vector<std::string> errors;
  readScenario(in, "case.scn", scenario, errors);
  return errors;
}

Scenario parsed(const std::string& text) {
  std::istringstream in(text);
  Scenario scenario;
  std::vector<std::string> errors;
  EXPECT_TRUE(readScenario(in, "case.scn", scenario, errors)) << ::testing::PrintToString(errors);
  return scenario;
}

void call(SimGame& game, uint64_t hash, std::initializer_list<uint64_t> slots) {
  game.nativeInit(hash);
  for (uint64_t slot : slots) game.nativePush(slot);
  game.nativeCall();
}

uint64_t floatSlot(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint64_t pointerSlot(const char* text) { return reinterpret_cast<uintptr_t>(text); }

void drawText(SimGame& game, const char* text, float x, float y) {
  call(game, HASH_TEXT_RGBA, {255, 255, 255, 255});
  call(game, HASH_TEXT_BEGIN, {pointerSlot("STRING")});
  call(game, HASH_TEXT_ADD_STRING, {pointerSlot(text)});
  call(game, HASH_TEXT_DRAW, {floatSlot(x), floatSlot(y)});
}

// A host whose "plug-in" is whatever the test makes it do in each frame.
class FakeHost : public ScenarioHost {
 public:
  std::function<void(SimGame&, uint64_t frame)> onFrame = [](SimGame&, uint64_t) {};
  std::function<void(uint32_t key, bool up)> onKey = [](uint32_t, bool) {};

  void begin() override {
    game_.reset();
    frame_ = 0;
    loaded_ = false;
  }
  void load() override { loaded_ = true; }
  void unload() override { loaded_ = false; }
  bool loaded() const override { return loaded_; }
  void restartScript() override {}
  void runFrame(uint32_t frameMs) override {
    game_.setFrame(++frame_);
    if (loaded_) onFrame(game_, frame_);
    game_.elapse(frameMs);
  }
  uint64_t frameNumber() const override { return frame_; }
  void elapse(uint32_t ms) override { game_.elapse(ms); }
  void setTick(uint32_t) override {}
  void keyDown(uint32_t key) override { onKey(key, false); }
  void keyUp(uint32_t key) override { onKey(key, true); }
  const SimGame& game() const override { return game_; }
  void newGame() override { game_.reset(); }
  void setClock(int32_t hours, int32_t minutes, int32_t seconds) override { game_.setClock(hours, minutes, seconds); }
  void setResolution(int32_t width, int32_t height) override { game_.setResolution(width, height); }
  void clearRecords() override { game_.clearRecords(); }

 private:
  SimGame game_;
  uint64_t frame_ = 0;
  bool loaded_ = false;
};

class ScenarioRun : public ::testing::Test {
 protected:
  std::string run(const std::string& text) {
    trace_.str("");
    return runScenario(parsed(text), host, &trace_, folder_.path());
  }
  std::string trace() const { return trace_.str(); }

  FakeHost host;

 private:
  ScratchFolder folder_;
  std::ostringstream trace_;
};

}  // namespace

TEST(ScenarioReader, MalformedLinesAreReportedWithFileAndLine) {
  const std::vector<std::string> errors = readErrors(
      "start\n"
      "jump 3\n"
      "frames many\n"
      "tap VK_NOSUCH\n"
      "expect text \"open\n"
      "expect colour red\n"
      "clock 25:00:00\n"
      "expect text \"A\" blue\n"
      "wait 0 0\n"
      "resolution 640\n"
      "select \"Time x 7\"\n"
      "select \"Go 1 hour\"\n"
      "restart-script now\n"
      "settings-file locked\n"
      "expect on-screen 480\n");
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "case.scn:2: unknown command \"jump\"",
                        "case.scn:3: expected a number of frames from 1 to 10000000, got \"many\"",
                        "case.scn:4: expected a key name such as VK_F5, A or 5, got \"VK_NOSUCH\"",
                        "case.scn:5: text opened with \" is never closed",
                        "case.scn:6: unknown expectation \"colour\"",
                        "case.scn:7: expected a time of day <h>:<m>:<s>, got \"25:00:00\"",
                        "case.scn:8: expected white, highlight or at <x> <y> after the text, got \"blue\"",
                        "case.scn:9: expected a frame length in ms from 1 to 60000, got \"0\"",
                        "case.scn:10: expected \"resolution <width> <height>\"",
                        "case.scn:11: expected the caption of a menu line, or its first words, got \"Time x 7\"",
                        "case.scn:12: expected words that begin one menu line's caption, got \"Go 1 hour\", which begin 2",
                        "case.scn:13: expected \"restart-script\"",
                        "case.scn:14: expected read-only, folder, writable or deleted after settings-file, got \"locked\"",
                        "case.scn:15: expected \"expect on-screen\"",
                    }));
}

TEST(ScenarioReader, LinesAfterASettingsBlockKeepTheirNumbers) {
  EXPECT_EQ(readErrors("settings\n[CONTROLS]\nOPEN=VK_F7\nend\n\n# note\nfly\n"),
            std::vector<std::string>{"case.scn:7: unknown command \"fly\""});
  EXPECT_EQ(readErrors("start\nsettings\n[SETTINGS]\n"),
            std::vector<std::string>{"case.scn:2: settings block never closed by a line \"end\""});
  EXPECT_EQ(readErrors("# only a comment\n\n"),
            std::vector<std::string>{"case.scn:2: expected at least one command, got none"});
}

TEST(ScenarioReader, ReadsBlocksQuotedTextAndOptions) {
  const Scenario scenario = parsed(
      "settings\r\n[SETTINGS]\r\n  OWNRATE = 500\r\nend\r\n"
      "expect text \"say \\\"hi\\\" \\x41\" highlight at 60 -5\n"
      "wait 220 33\n");
  ASSERT_EQ(scenario.commands.size(), 3u);
  EXPECT_EQ(scenario.commands[0].text, "[SETTINGS]\r\n  OWNRATE = 500\r\n");
  EXPECT_EQ(scenario.commands[1].text, "say \"hi\" A");
  EXPECT_EQ(scenario.commands[1].colour, TextColourCheck::Highlight);
  EXPECT_EQ(scenario.commands[1].numbers, (std::vector<int64_t>{60, -5}));
  EXPECT_EQ(scenario.commands[2].numbers, (std::vector<int64_t>{220, 33}));
  EXPECT_EQ(scenario.name, "case");
}

TEST_F(ScenarioRun, FailedTextExpectationSaysWhereWhatAndWhatWasDrawn) {
  host.onFrame = [](SimGame& game, uint64_t) { drawText(game, "Hello", 0.5f, 0.25f); };
  EXPECT_EQ(run("start\nframes 2\nexpect text \"Hello\" white at 640 180\n"), "");
  EXPECT_EQ(run("start\nexpect text \"Hello\" at 640 181\n"),
            "case.scn:2: expected \"Hello\" at 640 181 in frame 1, got \"Hello\" at 640 180 white");
  EXPECT_EQ(run("start\nexpect text \"Hello\" highlight\n"),
            "case.scn:2: expected \"Hello\" highlight in frame 1, got \"Hello\" at 640 180 white");
  // A leading * stands for any beginning; escaped, it is a star.
  EXPECT_EQ(run("start\nexpect text \"*llo\" white at 640 180\nexpect text \"*\"\n"), "");
  EXPECT_EQ(run("start\nexpect text \"*\" highlight\n"),
            "case.scn:2: expected a text ending \"\" highlight in frame 1, got \"Hello\" at 640 180 white");
  EXPECT_EQ(run("start\nexpect text \"\\x2Allo\"\n"),
            "case.scn:2: expected \"*llo\" in frame 1, got \"Hello\" at 640 180 white");
  EXPECT_EQ(run("resolution 640 480\nstart\nexpect no-text \"Hello\"\n"),
            "case.scn:3: expected \"Hello\" not drawn in frame 1, got \"Hello\" at 320 120 white");
  EXPECT_EQ(run("expect text-count 0\n"), "case.scn:1: expected a frame to look at, got none run yet");
}

// A text's row is 20 px: at y 180 it ends on a screen 200 high, not on one 199 high.
TEST_F(ScenarioRun, OnScreenExpectationNamesTheFirstTextWhoseRowLeavesTheScreen) {
  host.onFrame = [](SimGame& game, uint64_t) {
    drawText(game, "Top", 0.0f, 0.0f);
    drawText(game, "Low", 0.5f, 180.0f / static_cast<float>(game.height()));
  };
  EXPECT_EQ(run("resolution 400 200\nstart\nexpect on-screen\n"), "");
  EXPECT_EQ(run("resolution 400 199\nstart\nexpect on-screen\n"),
            "case.scn:3: expected every text on the screen of 400x199 in frame 1, got \"Low\" at 200 180 white, "
            "its row ending at y 200");
  host.onFrame = [](SimGame& game, uint64_t) { drawText(game, "Left", -0.01f, 0.5f); };
  EXPECT_EQ(run("resolution 400 200\nstart\nexpect on-screen\n"),
            "case.scn:3: expected every text on the screen of 400x200 in frame 1, got \"Left\" at -4 100 white, "
            "its row ending at y 120");
}

TEST_F(ScenarioRun, CallWindowCoversTheStepsSinceThePreviousExpectation) {
  host.onFrame = [](SimGame& game, uint64_t frame) {
    if (frame == 2) call(game, HASH_CLOCK_ADD, {1, 0, 0});
    call(game, HASH_CLOCK_PAUSE, {1});
  };
  EXPECT_EQ(run("start\nframes 2\nexpect call ClockAdd 1 0 0\nexpect calls 3 ClockPause 1\n"
                "expect call ClockAdd * 0 *\nexpect calls 1 ClockAdd\n"
                "frames 5\nexpect no-call ClockAdd\nexpect calls 5 ClockPause\n"),
            "");
  EXPECT_EQ(run("start\nframes 3\nexpect no-call\n"),
            "case.scn:3: expected no native call since line 1, got ClockPause 1 (4 times); ClockAdd 1 0 0");
  EXPECT_EQ(run("start\nframes 1\nexpect call ClockAdd 2 0 0\n"),
            "case.scn:3: expected a call ClockAdd 2 0 0 since line 1, got ClockAdd 1 0 0 (3 calls in all)");
  EXPECT_EQ(run("start\nframes 4\nexpect call ClockPause\nframes 1\nexpect calls 2 ClockPause 1\n"),
            "case.scn:5: expected 2 of call ClockPause 1 since line 4, got 1: ClockPause 1");
}

TEST_F(ScenarioRun, FaultTheGameSawStopsTheScenarioAtTheStep) {
  host.onFrame = [](SimGame& game, uint64_t frame) {
    if (frame == 3) call(game, 0x1234, {});
  };
  EXPECT_EQ(run("start\nframes 1\nframes 5\nexpect no-call\n"),
            "case.scn:3: expected only well-formed native calls, got: frame 3: unknown native hash "
            "0x0000000000001234");
}

TEST_F(ScenarioRun, StartAndRestartMustComeInOrder) {
  EXPECT_EQ(run("restart\n"),
            "case.scn:1: expected the plug-in loaded at restart, got it not loaded (use start)");
  EXPECT_EQ(run("start\nstart\n"),
            "case.scn:2: expected the plug-in not loaded at start, got it loaded (use restart)");
  EXPECT_FALSE(host.loaded()) << "a failed scenario leaves no plug-in running";
  EXPECT_EQ(run("restart-script\n"),
            "case.scn:1: expected the plug-in loaded at restart-script, got it not loaded (use start)");
}

TEST_F(ScenarioRun, TraceHidesTheComputersTimeUntilTheClockIsSetAgain) {
  const std::string timeLine = std::string(TIME_PREFIX) + "1:2:3";
  host.onFrame = [&](SimGame& game, uint64_t frame) {
    if (frame == 2) call(game, HASH_CLOCK_SET, {14, 3, 7});
    drawText(game, timeLine.c_str(), 0.5f, 0.5f);
  };
  EXPECT_EQ(run("start\nframes 1\nexpect call ClockSet * * *\nclock 9:00:00\nframes 1\n"), "");
  const std::string text = trace();
  EXPECT_NE(text.find("2 call ClockSet <system time>\n"), std::string::npos) << text;
  EXPECT_NE(text.find("2 call TextAddString \"" + std::string(TIME_PREFIX) + "<system time>\"\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("1 call TextAddString \"" + timeLine + "\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("3 text \"" + timeLine + "\" at 0.5,0.5"), std::string::npos) << text;
  EXPECT_EQ(text.find("14 3 7"), std::string::npos) << text;
  EXPECT_EQ(run("start\nframes 1\nexpect clock 12:00:00\n"),
            "case.scn:3: expected a known game clock, got one set to the computer's time (set it with clock first)");
}

// What a write of the settings file meets: the file read-only, a folder in its place,
// and back to a writable file; each said plainly when it cannot be done.
TEST_F(ScenarioRun, SettingsFileCanBeMadeReadOnlyOrAFolderAndWritableAgain) {
  EXPECT_EQ(run("settings-file read-only\n"), "case.scn:1: expected a settings file to make read-only, got none");
  EXPECT_EQ(run("settings\n[SETTINGS]\nOWNRATE=5\nend\nsettings-file read-only\n"), "");
  EXPECT_EQ(fs::status(SETTINGS_FILE_NAME).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(run("settings-file writable\n"), "");
  EXPECT_EQ(fs::status(SETTINGS_FILE_NAME).permissions() & fs::perms::owner_write, fs::perms::owner_write);
  EXPECT_EQ(run("settings-file folder\n"), "");
  EXPECT_TRUE(fs::is_directory(SETTINGS_FILE_NAME)) << "the file is replaced by a folder";
  EXPECT_EQ(run("settings-file folder\nsettings-file writable\nexpect no-settings-file\n"), "");
  // A read-only file gives way to the folder too (Windows deletes it only once it is
  // writable again; scenarios/settings_file_states.scn runs this under Wine).
  EXPECT_EQ(run("settings\n[SETTINGS]\nOWNRATE=5\nend\nsettings-file read-only\nsettings-file folder\n"), "");
  EXPECT_TRUE(fs::is_directory(SETTINGS_FILE_NAME)) << "the read-only file is replaced by a folder";
}

TEST_F(ScenarioRun, SettingsAreWrittenBeforeStartAndCheckedFromTheFile) {
  EXPECT_EQ(run("expect no-settings-file\nsettings\n[SETTINGS]\nREMEMBER_RATE = 1\nend\n"
                "expect setting settings remember_rate 1\nexpect no-setting SETTINGS UPDATERATE\n"),
            "");
  EXPECT_EQ(run("expect setting SETTINGS REMEMBER_RATE 0\n"),
            "case.scn:1: expected [SETTINGS] REMEMBER_RATE = \"0\", got \"1\"");
  EXPECT_EQ(run("expect no-settings-file\n"),
            "case.scn:1: expected no settings file, got one holding \"[SETTINGS]\\x0D\\x0AREMEMBER_RATE = 1\\x0D\\x0A\"");
  // A byte-order mark at the start, as Wine keeps it when it rewrites such a file.
  EXPECT_EQ(run("settings\n\xEF\xBB\xBF[SETTINGS]\nREMEMBER_RATE=1\nend\nexpect setting SETTINGS REMEMBER_RATE 1\n"), "");
}

TEST_F(ScenarioRun, KeysReachTheHostAsPressesAndReleases) {
  std::vector<std::string> keys;
  host.onKey = [&](uint32_t key, bool up) { keys.push_back(std::to_string(key) + (up ? " up" : " down")); };
  EXPECT_EQ(run("press VK_F5\nrelease VK_F5\ntap A\n"), "");
  const std::string f5 = std::to_string(keyCodeFromName("VK_F5"));
  const std::string a = std::to_string(keyCodeFromName("A"));
  EXPECT_EQ(keys, (std::vector<std::string>{f5 + " down", f5 + " up", a + " down", a + " up"}));
}

TEST_F(ScenarioRun, SelectTapsTheBoundKeysALineAtATimeAndSaysWhereTheHighlightStuck) {
  int32_t selected = 0, lowest = LAST_MENU_LINE;  // the fake menu's selection never passes `lowest`
  host.onFrame = [&](SimGame& game, uint64_t) {
    for (int32_t line = 0; line < MENU_LINE_COUNT; ++line) {
      const TextColour colour = line == selected ? HIGHLIGHT : WHITE;
      call(game, HASH_TEXT_RGBA, {static_cast<uint64_t>(colour.red), static_cast<uint64_t>(colour.green),
                                  static_cast<uint64_t>(colour.blue), static_cast<uint64_t>(colour.alpha)});
      call(game, HASH_TEXT_BEGIN, {pointerSlot("STRING")});
      call(game, HASH_TEXT_ADD_STRING, {pointerSlot(MENU_LINES[line].caption)});
      call(game, HASH_TEXT_DRAW, {floatSlot(0.05f), floatSlot(0.1f)});
    }
  };
  std::vector<uint32_t> released;
  host.onKey = [&](uint32_t key, bool up) {
    if (!up) return;
    released.push_back(key);
    if (key == keyCodeFromName("VK_NUMPAD8")) selected = std::max(selected - 1, 0);
    if (key == keyCodeFromName("VK_NUMPAD2") || key == keyCodeFromName("X")) selected = std::min(selected + 1, lowest);
  };
  const std::string third = std::string("select \"") + MENU_LINES[3].caption + "\"\n";  // whole captions
  const std::string first = std::string("select \"") + MENU_LINES[1].caption + "\"\n";

  EXPECT_EQ(run("start\n" + third + first), "");
  const uint32_t down = keyCodeFromName("VK_NUMPAD2"), up = keyCodeFromName("VK_NUMPAD8");
  EXPECT_EQ(released, (std::vector<uint32_t>{down, down, down, up, up}));
  EXPECT_EQ(selected, 1);

  selected = 0;
  released.clear();
  EXPECT_EQ(run("settings\n[CONTROLS]\nDOWN=X\nend\nstart\n" + first), "");
  EXPECT_EQ(released, std::vector<uint32_t>{keyCodeFromName("X")}) << "the key the settings file binds";

  selected = 0;
  released.clear();
  EXPECT_EQ(run("settings\n\xEF\xBB\xBF[CONTROLS]\nDOWN=\"X\"\nend\nstart\n" + first), "");
  EXPECT_EQ(released, std::vector<uint32_t>{keyCodeFromName("X")}) << "read as the plug-in reads it";

  selected = 0;
  lowest = 2;
  EXPECT_EQ(run("start\n" + third),
            std::string("case.scn:2: expected DOWN to move the highlight from \"") + MENU_LINES[2].caption +
                "\" to \"" + MENU_LINES[3].caption + "\", got \"" + MENU_LINES[2].caption + "\"");
  EXPECT_EQ(run("settings\n[CONTROLS]\nDOWN=\nend\nstart\n" + third),
            "case.scn:6: expected a key bound to DOWN, got none");
  host.onFrame = [](SimGame&, uint64_t) {};
  EXPECT_EQ(run("start\n" + third), "case.scn:2: expected the open menu with a line highlighted in frame 1, got none");
}

// The settings file is read as the profile functions read it, byte-order mark, line
// ends, blanks, quotes and keys without a value included, whoever wrote it.
TEST(SettingsText, IsReadAsTheProfileFunctionsReadIt) {
  const std::string text = "TOP=1\n[Settings]\n rate = 66 \nRATE=77\n[SETTINGS]\nOTHER=2\n[x]\nK\nK=3\n";
  std::string value;
  ASSERT_TRUE(findSetting(text, "SETTINGS", "RATE", value));
  EXPECT_EQ(value, "66");
  EXPECT_FALSE(findSetting(text, "SETTINGS", "OTHER", value)) << "a second section of the name is never read";
  ASSERT_TRUE(findSetting(text, "", "top", value));
  EXPECT_EQ(value, "1");
  EXPECT_FALSE(findSetting(text, "x", "K", value)) << "a line without '=' has no value, and hides a later K=";
  EXPECT_FALSE(findSetting(text, "missing", "RATE", value));

  const auto read = [](const std::string& file, const char* section, const char* key) {
    std::string found;
    return findSetting(file, section, key, found) ? found : "(none)";
  };
  EXPECT_EQ(read("\xEF\xBB\xBF[SETTINGS]\r\nUPDATERATE=66\r\n", "SETTINGS", "UPDATERATE"), "66");
  EXPECT_EQ(read("\xEF\xBB\xBFTOP=1\n", "", "TOP"), "1") << "the mark is no part of the first name";
  EXPECT_EQ(read("TOP=1\n\xEF\xBB\xBF[S]\nK=2\n", "S", "K"), "(none)") << "only at the very start";
  EXPECT_EQ(read("[S]\rK=2\rL=3", "S", "L"), "3") << "CR-only line ends";
  EXPECT_EQ(read("[S]\nK=\v2\f\x1a\n", "S", "K"), "2") << "blanks: VT, FF and ^Z too";
  EXPECT_EQ(read("[S]\nK=\"VK_F8\"\nL='2'\nM=\"2'\n", "S", "K"), "VK_F8");
  EXPECT_EQ(read("[S]\nK=\"VK_F8\"\nL='2'\nM=\"2'\n", "S", "L"), "2");
  EXPECT_EQ(read("[S]\nK=\"VK_F8\"\nL='2'\nM=\"2'\n", "S", "M"), "\"2'") << "quotes that do not match stay";
  EXPECT_EQ(read(std::string("[S]\nK=2\0 9\n", 11), "S", "K"), "2") << "a value ends at a NUL";
  EXPECT_EQ(read("[S] trailing\n;K=1\nK=2\n", "s", "k"), "2") << "a ';' line is a key of its own name";
}

TEST(TraceComparison, ReportsTheFirstDifferingLineOfEitherTrace) {
  std::istringstream a("1 call X\n2 call Y\n3 call Z\n"), b("1 call X\n2 call W\n3 call Z\n");
  EXPECT_EQ(compareTraces(a, "native", b, "wine"), "native:2: 2 call Y\nwine:2: 2 call W");
  std::istringstream c("1 call X\n"), d("1 call X\n2 call Y\n");
  EXPECT_EQ(compareTraces(c, "native", d, "wine"), "native:2: (end of trace)\nwine:2: 2 call Y");
  std::istringstream e("1 call X\n"), f("1 call X\n");
  EXPECT_EQ(compareTraces(e, "native", f, "wine"), "");
}
