// A fresh simulated host and an empty working folder for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/host.h"

enum : uint32_t {
  KEY_F5 = 0x74,
  KEY_NUMPAD0 = 0x60,
  KEY_NUMPAD2 = 0x62,
  KEY_NUMPAD5 = 0x65,
  KEY_NUMPAD8 = 0x68,
};

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The settings file in the working folder, which is where the plug-in looks.
  void writeSettings(const std::string& text);
  std::string readSettings() const;
  bool settingsExist() const;

  // Loads the plug-in and runs its first frame (settings read, loop entered).
  void start();
  // Taps F5 and runs frames until the menu has polled its keys for the first time.
  void openTheMenu();
  // Taps a key and runs frames until the menu has acted on it and is ready for more.
  void press(uint32_t key);

  // Records of the simulated game.
  std::vector<std::string> callsSince(size_t first) const;  // described, in order
  size_t callCount() const { return host.game().calls().size(); }
  std::vector<DrawnText> textsOfLastFrame() const;
  std::vector<std::string> linesOfLastFrame() const;  // text only
  bool menuShown() const;  // the last frame drew the menu

  SimHost host;
  std::string folder;
  std::string previousFolder;
};
