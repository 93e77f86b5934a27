// Start-up: registration, the bindings read at start, and the idle frame loop.
// What a player sees of a first start and of a remembered rate is in
// tests/scenarios/first_start.scn and remember_rate.scn.

#include "clock/clock.h"
#include "input/keys.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "support/plugin_fixture.h"

class StartUp : public PluginTest {};

TEST_F(StartUp, LoadingRegistersAndUnloadingUnregistersBothCallbacks) {
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

TEST_F(StartUp, BindingsAreReadByNameAndUnknownNamesMeanNoKey) {
  writeSettings(
      "[CONTROLS]\nOPEN=vk_f5\nENTER=A\nBACK=\nUP=VK_NUMPAD8 trailing\nDOWN="
      "VK_F5VK_F5VK_F5VK_F5VK_F5VK_F5VK_F5\n"
      "[SETTINGS]\nOWNRATE=500\n");
  start();
  EXPECT_EQ(settings.openKey, 0u) << "names are matched with their letter case";
  EXPECT_EQ(settings.enterKey, keyCodeFromName("A"));
  EXPECT_EQ(settings.backKey, 0u) << "an empty value is no key, not the default";
  EXPECT_EQ(settings.upKey, 0u);
  EXPECT_EQ(settings.downKey, 0u) << "a value cut to 31 characters names no key";
  EXPECT_EQ(settings.ownRate, 500u);
}

TEST_F(StartUp, EachIdleFrameChecksOpenKeyPacesAndYieldsOnce) {
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
