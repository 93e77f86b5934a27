// Key releases in the key table: the contract of the release window (a release counts
// while less than 100 ms old), one answer per release, the records a query leaves, the
// codes that have a record, and stamps the tick's wrap makes look young.

#include <atomic>
#include <thread>

#include "input/keys.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace {

// Any two keys: the table treats every code below 255 alike.
const uint32_t KEY = keyCodeFromName("VK_F5");
const uint32_t OTHER_KEY = keyCodeFromName("VK_NUMPAD5");

}  // namespace

class KeyReleases : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    resetKeyStates();
  }
  void releaseAt(uint32_t tick, uint32_t key) {
    setVirtualTickCount(tick);
    onKeyboardMessage(key, 1, 0, FALSE, TRUE, TRUE, TRUE);  // with Alt, was down, is up
  }
  bool queryAt(uint32_t tick, uint32_t key) {
    setVirtualTickCount(tick);
    return consumeKeyRelease(key);
  }
};

TEST_F(KeyReleases, ReleaseYoungerThan100MsIsAnsweredOnceAndClearsItsRecord) {
  // Also 50 ms before the tick count wraps, where the window's end lies past the wrap.
  for (const uint32_t at : {5000u, 0xFFFFFFCEu}) {
    releaseAt(at, KEY);
    EXPECT_FALSE(queryAt(at + 100, KEY)) << "a release 100 ms old is past the window, stamped " << at;
    releaseAt(at, KEY);
    EXPECT_TRUE(queryAt(at + 99, KEY)) << "a release 99 ms old is within the window, stamped " << at;
    EXPECT_FALSE(queryAt(at + 99, KEY));
  }
  EXPECT_EQ(std::vector<int64_t>({keyStates[KEY].tick.load(), keyStates[KEY].alt.load(),
                                  keyStates[KEY].wasDown.load(), keyStates[KEY].isUp.load()}),
            std::vector<int64_t>({0, 0, 0, 0}))
      << "tick, alt, wasDown and isUp of a consumed release";
}

TEST_F(KeyReleases, PressAfterReleaseCancelsIt) {
  releaseAt(5000, KEY);
  onKeyboardMessage(KEY, 1, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_FALSE(queryAt(5010, KEY));
  EXPECT_EQ(keyStates[KEY].tick.load(), 5000u) << "a failed query leaves the record";
}

TEST_F(KeyReleases, HighestKeyCodeHasARecordAndCodesBeyondAndZeroAreIgnored) {
  releaseAt(5000, 254);
  EXPECT_TRUE(queryAt(5001, 254));
  releaseAt(5000, 255);
  releaseAt(5000, 0xFFFFFFFF);
  EXPECT_FALSE(queryAt(5001, 255));
  EXPECT_FALSE(queryAt(5001, 0xFFFFFFFF));
  EXPECT_FALSE(queryAt(5001, 256));
  releaseAt(5000, 0);
  EXPECT_FALSE(queryAt(5001, 0)) << "code 0 is no key, even if a message carries it";
}

TEST_F(KeyReleases, StampsTheTicksWrapBringsRoundAreNoFreshRelease) {
  releaseAt(3000, KEY);  // never consumed; the tick count wraps round to it again
  EXPECT_FALSE(queryAt(2950, KEY)) << "a stamp in the future is not a fresh release";
  releaseAt(5000, OTHER_KEY);
  EXPECT_FALSE(queryAt(5300, OTHER_KEY));
  EXPECT_FALSE(queryAt(5050, OTHER_KEY)) << "2^32 ms later the stamp looks 50 ms old";
}

// The handler runs on a thread of its own, so its messages can land between a query's
// read of the tick count and its lock: here they land there every time.
TEST_F(KeyReleases, MessagesLandingBetweenTheQuerysTickReadAndItsLockAreHeeded) {
  releaseAt(5000, KEY);
  interruptNextTickRead([] {
    advanceVirtualTickCount(1);
    onKeyboardMessage(KEY, 1, 0, FALSE, FALSE, FALSE, FALSE);
    onKeyboardMessage(KEY, 1, 0, FALSE, FALSE, TRUE, TRUE);
  });
  EXPECT_TRUE(queryAt(5010, KEY)) << "a release stamped 1 ms after the query read the tick";
  EXPECT_FALSE(queryAt(5011, KEY)) << "and answered once";
  releaseAt(5000, KEY);
  interruptNextTickRead([] { onKeyboardMessage(KEY, 1, 0, FALSE, FALSE, FALSE, FALSE); });
  EXPECT_FALSE(queryAt(5010, KEY)) << "a press takes the pending release back";
}

// The handler, on a thread of its own, sends a press while the query is in the middle of
// judging a stale release: under the lock, at its second tick read. It must find the
// table busy (and yield) rather than write into a record being judged and cleared.
std::atomic<bool> handlerDone{false};
std::atomic<bool> handlerWaited{false};
std::thread handler;

TEST_F(KeyReleases, HandlerWaitsWhileAQueryHoldsTheTable) {
  releaseAt(5000, KEY);
  handlerDone = false;
  handlerWaited = false;
  interruptNextTickRead([] {  // the read before the lock
    interruptNextTickRead([] {  // the read under it
      const uint64_t yields = yieldCount();
      handler = std::thread([] {
        onKeyboardMessage(KEY, 1, 0, FALSE, FALSE, FALSE, FALSE);
        handlerDone = true;
      });
      // Ends either way: a handler locked out yields, one let in finishes.
      while (yieldCount() == yields && !handlerDone) std::this_thread::yield();
      handlerWaited = !handlerDone;
    });
  });
  EXPECT_FALSE(queryAt(5200, KEY)) << "200 ms old";
  handler.join();
  EXPECT_TRUE(handlerWaited) << "the handler wrote into the table while the query held it";
  EXPECT_EQ(keyStates[KEY].isUp.load(), 0u);
  EXPECT_EQ(keyStates[KEY].tick.load(), 5200u) << "the press, stamped after the query";
}
