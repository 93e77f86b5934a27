#include "support/plugin_fixture.h"

#include <filesystem>

#include "clock/clock.h"
#include "menu/menu.h"
#include "virtual_tick.h"

void PluginTest::SetUp() {
  setVirtualTickCount(1000000);
  interruptNextTickRead(nullptr);
  useSystemLocalTime();
  recordProfileWrites(false);
  refuseProfileWrite(0);
}

void PluginTest::TearDown() {
  if (host.loaded()) host.unload();
  EXPECT_EQ(host.game().errors(), std::vector<std::string>{}) << "the simulated game saw faults";
}

bool PluginTest::settingsExist() const { return std::filesystem::exists(SETTINGS_FILE_NAME); }

void PluginTest::start() {
  host.load();
  host.runFrame();
}

std::vector<std::string> PluginTest::callsSince(size_t first) const {
  std::vector<std::string> out;
  const std::vector<NativeCall>& calls = host.game().calls();
  for (size_t i = first; i < calls.size(); ++i) out.push_back(SimGame::describe(calls[i]));
  return out;
}

std::string describe(const ProfileWrite& write) {
  return write.key + "=" + write.value + (write.taken ? "" : " refused");
}

uint32_t rateOfLine(int32_t line) {
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  return static_cast<uint32_t>(items[line].rate);
}

std::vector<uint32_t> pacedPresetRates() {
  std::vector<uint32_t> rates;
  for (int32_t line = FIRST_RATE_LINE; line < OWN_RATE_LINE; ++line)
    if (rateOfLine(line) != 0 && rateOfLine(line) != NORMAL_RATE) rates.push_back(rateOfLine(line));
  return rates;
}

int32_t lineOfRate(uint32_t rate) {
  for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line)
    if (rateOfLine(line) == rate) return line;
  return -1;
}
