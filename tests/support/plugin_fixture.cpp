#include "support/plugin_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "virtual_tick.h"

namespace fs = std::filesystem;

void PluginTest::SetUp() {
  previousFolder = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "horavane-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  folder = pattern;
  fs::current_path(folder);
  setVirtualTickCount(1000000);
  interruptNextTickRead(nullptr);
  useSystemLocalTime();
}

void PluginTest::TearDown() {
  if (host.loaded()) host.unload();
  EXPECT_EQ(host.game().errors(), std::vector<std::string>{}) << "the simulated game saw faults";
  fs::current_path(previousFolder);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

void PluginTest::writeSettings(const std::string& text) {
  std::ofstream out("horavane.ini", std::ios::binary);
  out << text;
}

std::string PluginTest::readSettings() const {
  std::ifstream in("horavane.ini", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PluginTest::settingsExist() const { return fs::exists("horavane.ini"); }

void PluginTest::start() {
  host.load();
  host.runFrame();
}

void PluginTest::openTheMenu() {
  host.tap(KEY_F5);
  host.runFor(120);  // the menu draws for 100 ms before it first looks at the keys
}

void PluginTest::press(uint32_t key) {
  host.tap(key);
  host.runFor(220);  // longer than any step's delay, shorter than two
}

std::vector<std::string> PluginTest::callsSince(size_t first) const {
  std::vector<std::string> out;
  const std::vector<NativeCall>& calls = host.game().calls();
  for (size_t i = first; i < calls.size(); ++i) out.push_back(SimGame::describe(calls[i]));
  return out;
}

std::vector<DrawnText> PluginTest::textsOfLastFrame() const {
  const std::vector<DrawnText>& texts = host.game().texts();
  if (texts.empty()) return {};
  const uint64_t frame = texts.back().frame;
  std::vector<DrawnText> out;
  for (const DrawnText& text : texts)
    if (text.frame == frame) out.push_back(text);
  return out;
}

std::vector<std::string> PluginTest::linesOfLastFrame() const {
  std::vector<std::string> out;
  for (const DrawnText& text : textsOfLastFrame()) out.push_back(text.text);
  return out;
}

bool PluginTest::menuShown() const {
  const std::vector<DrawnText>& texts = host.game().texts();
  return !texts.empty() && texts.back().frame == host.frameNumber() &&
         textsOfLastFrame().front().text == "Horavane";
}
