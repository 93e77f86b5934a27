// Start-up: registration, the settings read at start, and the idle frame loop.

#include "clock/clock.h"
#include "input/keys.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

TEST_F(PluginTest, LoadingRegistersAndUnloadingUnregistersBothCallbacks) {
  ASSERT_TRUE(host.load()) << "the library entry accepts the process attach";
  EXPECT_TRUE(host.scriptRegistered());
  EXPECT_TRUE(host.keyboardRegistered());
  host.runFrames(3);
  DllMain(nullptr, DLL_THREAD_ATTACH, nullptr);
  DllMain(nullptr, DLL_THREAD_DETACH, nullptr);
  EXPECT_TRUE(host.scriptRegistered()) << "thread notifications change nothing";
  host.unload();
  EXPECT_FALSE(host.scriptRegistered());
  EXPECT_FALSE(host.keyboardRegistered());
}

TEST_F(PluginTest, WithoutSettingsFileDefaultsApplyAndNothingIsCreated) {
  start();
  EXPECT_EQ(settings.openKey, 116u);
  EXPECT_EQ(settings.enterKey, 101u);
  EXPECT_EQ(settings.backKey, 96u);
  EXPECT_EQ(settings.upKey, 104u);
  EXPECT_EQ(settings.downKey, 98u);
  EXPECT_EQ(settings.rememberRate, 0);
  EXPECT_EQ(settings.ownRate, 2000u);
  EXPECT_EQ(currentRate, 2000u);
  host.runFor(10000);
  EXPECT_EQ(host.game().callCount(), 0u) << "the normal rate leaves the game's clock alone";
  EXPECT_FALSE(settingsExist());
  EXPECT_EQ(host.game().hours(), 12);
  EXPECT_EQ(host.game().minutes(), 5) << "the game's own clock runs on: 1 minute per 2 s";
}

TEST_F(PluginTest, RememberedRateFreezesTheClockOnceAndPacesFromTheStart) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=66\n");
  host.load();
  host.runFrame(0);
  EXPECT_EQ(currentRate, 66u);
  // Loading freezes the clock once; the first frame's pacing asserts it again.
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockPause 1", "ClockPause 1"}));
  EXPECT_EQ(lastStepTick, virtualTickCount());
  host.runFor(1000, 50);  // 1000 ms at 1 ms per game second
  EXPECT_TRUE(host.game().paused());
  EXPECT_EQ(host.game().secondsAdded(), 950) << "the last frame's 50 ms are not paced yet";
}

TEST_F(PluginTest, RememberedRateIsIgnoredUnlessRememberingIsExactlyOne) {
  for (const char* remember : {"0", "2", "-1", "true"}) {
    writeSettings(std::string("[SETTINGS]\nREMEMBER_RATE=") + remember + "\nUPDATERATE=66\n");
    host.load();
    host.runFrames(3);
    EXPECT_EQ(currentRate, 2000u) << "REMEMBER_RATE=" << remember;
    EXPECT_EQ(host.game().callCount(), 0u) << "REMEMBER_RATE=" << remember;
    host.unload();
  }
}

TEST_F(PluginTest, RememberingWithoutStoredRateStartsAtNormalRate) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\n");
  start();
  EXPECT_EQ(currentRate, 2000u);
  EXPECT_EQ(host.game().callCount(), 0u);
}

TEST_F(PluginTest, RememberedStopStartsWithTheClockStandingStill) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=0\n");
  start();
  host.runFor(60000);
  EXPECT_EQ(callsSince(0), std::vector<std::string>({"ClockPause 1"}));
  EXPECT_EQ(host.game().hours(), 12);
  EXPECT_EQ(host.game().minutes(), 0);
}

TEST_F(PluginTest, BindingsAreReadByNameAndUnknownNamesMeanNoKey) {
  writeSettings(
      "[CONTROLS]\nOPEN=vk_f5\nENTER=A\nBACK=\nUP=VK_NUMPAD8 trailing\nDOWN="
      "VK_F5VK_F5VK_F5VK_F5VK_F5VK_F5VK_F5\n"
      "[SETTINGS]\nOWNRATE=500\n");
  start();
  EXPECT_EQ(settings.openKey, 0u) << "names are matched with their letter case";
  EXPECT_EQ(settings.enterKey, 65u);
  EXPECT_EQ(settings.backKey, 0u) << "an empty value is no key, not the default";
  EXPECT_EQ(settings.upKey, 0u);
  EXPECT_EQ(settings.downKey, 0u) << "a value cut to 31 characters names no key";
  EXPECT_EQ(settings.ownRate, 500u);
}

TEST_F(PluginTest, WithOpenKeyUnboundTheMenuNeverOpensButPacingGoesOn) {
  writeSettings("[CONTROLS]\nOPEN=NO_KEY\n[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=1000\n");
  start();
  host.tap(KEY_F5);
  host.tap(0);  // not a key any keyboard sends, but it must not count as one
  host.runFor(2000, 20);
  EXPECT_TRUE(host.game().texts().empty());
  EXPECT_GT(host.game().secondsAdded(), 100);
}

TEST_F(PluginTest, EachIdleFrameChecksOpenKeyPacesAndYieldsOnce) {
  writeSettings("[SETTINGS]\nREMEMBER_RATE=1\nUPDATERATE=1000\n");
  start();
  const size_t before = callCount();
  host.runFrame(50);
  host.runFrame(50);
  // Each frame re-asserts the freeze; after 16 ms (30 ms or less) nothing is added,
  // after 66 ms four whole 16 ms seconds are, and 2 ms carry over.
  EXPECT_EQ(callsSince(before),
            std::vector<std::string>({"ClockPause 1", "ClockPause 1", "ClockAdd 0 0 4"}));
}

TEST_F(PluginTest, OpenKeyReleaseOpensTheMenuOnceOnTheNextFrame) {
  start();
  host.tap(KEY_F5);
  host.runFrame();
  EXPECT_TRUE(menuShown());
  EXPECT_EQ(keyStates[KEY_F5].isUp.load(), 0) << "the release was consumed";
  press(KEY_NUMPAD0);
  EXPECT_FALSE(menuShown());
  host.runFor(500);
  EXPECT_FALSE(menuShown()) << "one release opens the menu once";
}

TEST_F(PluginTest, HeldOpenKeyDoesNotOpenTheMenuUntilReleased) {
  start();
  for (int i = 0; i < 20; ++i) {
    host.keyDown(KEY_F5);
    host.runFrame();
  }
  EXPECT_TRUE(host.game().texts().empty());
  host.keyUp(KEY_F5);
  host.runFrame();
  EXPECT_TRUE(menuShown());
}
