// The keyboard handler on a thread of its own, racing the script side over the key
// table: no release is answered twice, and none sent while the script waits is lost.
// Built with ThreadSanitizer as well, where any unsynchronised access fails the run.

#include <atomic>
#include <random>
#include <thread>

#include "clock/clock.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "settings/settings.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

// The keys the plug-in binds without a settings file, open, enter, back, up and down:
// set before each test.
uint32_t BOUND_KEYS[5];
uint32_t& KEY_OPEN = BOUND_KEYS[0];
uint32_t& KEY_ENTER = BOUND_KEYS[1];
uint32_t& KEY_BACK = BOUND_KEYS[2];
uint32_t& KEY_UP = BOUND_KEYS[3];
uint32_t& KEY_DOWN = BOUND_KEYS[4];

bool isBound(uint32_t code) {
  for (uint32_t key : BOUND_KEYS)
    if (key == code) return true;
  return false;
}

void sendRelease(uint32_t key) { onKeyboardMessage(key, 1, 0, FALSE, FALSE, TRUE, TRUE); }
void sendPress(uint32_t key) { onKeyboardMessage(key, 1, 0, FALSE, FALSE, FALSE, FALSE); }

// Messages for keys nobody asks about (unbound codes, 0, 255 and beyond), as a player
// typing in the game sends them, until told to stop.
class Noise {
 public:
  explicit Noise(unsigned seed)
      : thread_([this, seed] {
          std::mt19937 random(seed);
          const uint32_t odd[] = {0, 254, 255, 256, 0xFFFFFFFFu};
          while (!stop_.load()) {
            uint32_t key = random() % 8 == 0 ? odd[random() % 5] : random() % 255;
            if (isBound(key)) continue;
            onKeyboardMessage(key, 1, 0, FALSE, random() % 2, random() % 2, random() % 2);
            sent_.fetch_add(1);
          }
        }) {}
  ~Noise() { stopAndJoin(); }
  // Returns once the thread is sending, so that a busy machine cannot leave a test
  // without any noise at all.
  void awaitStart() const {
    while (sent_.load() == 0) std::this_thread::yield();
  }
  void stopAndJoin() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  long sent() const { return sent_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

// One key message at a time, sent on the keyboard thread when the test asks for it.
class KeyboardThread {
 public:
  explicit KeyboardThread(SimHost& host) : host_(host), thread_([this] { run(); }) {}
  ~KeyboardThread() {
    request(0, Kind::Quit);
    thread_.join();
  }
  // Returns once the message has been delivered to the plug-in's handler.
  void tap(uint32_t key) { request(key, Kind::Tap); }

 private:
  enum class Kind { None, Tap, Quit };
  void request(uint32_t key, Kind kind) {
    key_.store(key);
    kind_.store(kind);
    while (kind_.load() != Kind::None) std::this_thread::yield();
  }
  void run() {
    for (;;) {
      const Kind kind = kind_.load();
      if (kind == Kind::Quit) {
        kind_.store(Kind::None);
        return;
      }
      if (kind == Kind::Tap) {
        host_.tap(key_.load());  // the runtime's way in: keyDown, keyUp
        kind_.store(Kind::None);
      }
      std::this_thread::yield();
    }
  }
  SimHost& host_;
  std::atomic<uint32_t> key_{0};
  std::atomic<Kind> kind_{Kind::None};
  std::thread thread_;
};

}  // namespace

class KeyboardRace : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    const Settings defaults = defaultSettings();
    KEY_OPEN = defaults.openKey;
    KEY_ENTER = defaults.enterKey;
    KEY_BACK = defaults.backKey;
    KEY_UP = defaults.upKey;
    KEY_DOWN = defaults.downKey;
    resetKeyStates();
  }
};

// The handler sends the next release the moment the previous one has been claimed,
// so it lands while the script side is still clearing that record. It must survive:
// the next query answers it.
TEST_F(KeyboardRace, ReleaseArrivingWhileThePreviousIsClearedIsKept) {
  constexpr int RELEASES = 20000;
  setVirtualTickCount(0xFFFFFF00u);  // the stamps cross the wrap on the way
  std::atomic<bool> done{false};
  std::atomic<int> answered{0};
  std::thread script([&] {
    while (!done.load()) {
      if (consumeKeyRelease(KEY_ENTER))
        answered.fetch_add(1);
      else
        std::this_thread::yield();
    }
  });
  int lost = 0;
  KeyState& record = keyStates[KEY_ENTER];
  for (int i = 0; i < RELEASES; ++i) {
    advanceVirtualTickCount(virtualTickCount() == 0xFFFFFFFFu ? 2 : 1);  // a stamp of 0 reads as cleared
    sendRelease(KEY_ENTER);
    for (;;) {
      const uint32_t before = record.tick.load();
      if (before == 0) break;  // claimed
      const int32_t isUp = record.isUp.load();
      // Stamped but no longer a release, and no claim in between: the clear of the
      // previous release wiped this one, and no query will ever answer it.
      if (isUp == 0 && record.tick.load() == before) {
        ++lost;
        break;
      }
      std::this_thread::yield();
    }
  }
  done.store(true);
  script.join();
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(answered.load(), RELEASES - lost) << "each release answered once";
}

// Releases sent while the consumer waits are answered exactly once, by the key they
// belong to, whatever the noise on other keys; a press in between cancels them. The tick
// count crosses its wrap during the rounds.
TEST_F(KeyboardRace, ReleasesSentWhileTheConsumerWaitsAreAnsweredOnce) {
  Noise noise(11);
  noise.awaitStart();
  std::mt19937 random(5);
  std::atomic<uint32_t> pendingKey{0};
  std::atomic<int> pendingKind{0};  // 0 none, 1 release, 2 release then press
  std::thread keyboard([&] {
    for (;;) {
      const int kind = pendingKind.load();
      if (kind < 0) return;
      if (kind == 0) {
        std::this_thread::yield();
        continue;
      }
      sendRelease(pendingKey.load());
      if (kind == 2) sendPress(pendingKey.load());
      pendingKind.store(0);
    }
  });
  setVirtualTickCount(0xFFFFFFFFu - 20000);
  int expectedAnswers = 0;
  int answers = 0;
  for (int round = 0; round < 3000; ++round) {
    advanceVirtualTickCount(std::uniform_int_distribution<uint32_t>(1, 120)(random));
    const uint32_t key = BOUND_KEYS[random() % 5];
    const int kind = random() % 4 == 0 ? 2 : 1;
    pendingKey.store(key);
    pendingKind.store(kind);
    while (pendingKind.load() != 0) std::this_thread::yield();
    advanceVirtualTickCount(std::uniform_int_distribution<uint32_t>(0, 99)(random));
    const bool expected = kind == 1;
    expectedAnswers += expected;
    for (int query = 0; query < 2; ++query) {
      for (uint32_t asked : BOUND_KEYS) {
        const bool answer = consumeKeyRelease(asked);
        answers += answer;
        ASSERT_EQ(answer, expected && query == 0 && asked == key)
            << "round " << round << ", query " << query << ", key " << asked << " after a "
            << (kind == 2 ? "release and a press" : "release") << " of key " << key;
      }
    }
    // An unanswered release must not linger into the next round.
    if (!expected) sendPress(key);
  }
  pendingKind.store(-1);
  keyboard.join();
  noise.stopAndJoin();
  EXPECT_EQ(answers, expectedAnswers);
}

// The real script function in the simulated host, with every key message coming from
// another thread while frames run: each release sent between two frames acts once.
TEST_F(KeyboardRace, MenuDrivenFromAKeyboardThreadActsOncePerRelease) {
  start();
  MenuItem items[MENU_LINE_COUNT];
  menuItems(items);
  Noise noise(23);
  noise.awaitStart();
  KeyboardThread keyboard(host);
  const auto runUntil = [&](auto effect) {
    for (int frame = 0; frame < 40; ++frame) {
      host.runFrame(10);
      if (effect()) return true;
    }
    return false;
  };
  for (int session = 0; session < 8; ++session) {
    keyboard.tap(KEY_OPEN);
    ASSERT_TRUE(runUntil([&] { return player.menuShown(); })) << "session " << session;
    host.runFor(120, 10);  // past the first step's 100 ms
    const int32_t before = selectedIndex;
    const int32_t target = 3 + (session * 5) % 13;  // a rate line, each unlike the last
    const uint32_t step = target > before ? KEY_DOWN : KEY_UP;
    for (int32_t at = before; at != target; at += target > before ? 1 : -1) {
      keyboard.tap(step);
      ASSERT_TRUE(runUntil([&] { return selectedIndex != at; })) << "session " << session;
      ASSERT_EQ(selectedIndex, at + (target > before ? 1 : -1)) << "one move per release";
      host.runFor(160, 10);  // the 150 ms after a move
      ASSERT_EQ(selectedIndex, at + (target > before ? 1 : -1)) << "and no second one";
    }
    const uint32_t rate = static_cast<uint32_t>(items[target].rate);
    ASSERT_NE(currentRate, rate);
    keyboard.tap(KEY_ENTER);
    ASSERT_TRUE(runUntil([&] { return currentRate == rate; })) << "line " << target;
    host.runFor(210, 10);
    keyboard.tap(KEY_BACK);
    ASSERT_TRUE(runUntil([&] { return !player.menuShown(); })) << "session " << session;
    host.runFor(200, 10);
    EXPECT_FALSE(player.menuShown()) << "the menu stays closed";
    host.game().clearRecords();
  }
  noise.stopAndJoin();
}
