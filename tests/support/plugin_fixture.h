// A fresh simulated host, a player at its keys and an empty working folder for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "profile_writes.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "sim/player.h"
#include "sim/scratch_folder.h"

// The menu's rates, as menuItems() gives them: a line's rate; the first rate line with a
// rate, or -1; the preset rates that are paced, every rate line's but Normal's, Stop's
// and the own rate's.
uint32_t rateOfLine(int32_t line);
int32_t lineOfRate(uint32_t rate);
std::vector<uint32_t> pacedPresetRates();

// A write of the settings file as the tests report it: "KEY=value", and " refused" when
// the file refused it.
std::string describe(const ProfileWrite& write);

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The settings file in the working folder, which is where the plug-in looks.
  void writeSettings(const std::string& text) { ASSERT_TRUE(writeFile(SETTINGS_FILE_NAME, text)); }
  std::string readSettings() const { return readFile(SETTINGS_FILE_NAME); }
  bool settingsExist() const;

  // Loads the plug-in and runs its first frame (settings read, loop entered).
  void start();

  // Records of the simulated game.
  std::vector<std::string> callsSince(size_t first) const;  // described, in order
  size_t callCount() const { return host.game().calls().size(); }

  ScratchFolder folder;  // made first and removed last
  SimHost host;
  Player player{host};
};
