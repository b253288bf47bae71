// The event wait: keys arriving and leaving through the daemon while the wait polls, and a
// cancel from another thread.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "keysim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Event {
  ULONG result;
  std::string name;
  ULONG length;
  ULONG event;
};

class EventWaitTest : public VirtualKeyTest {
 protected:
  // Waits while `change` runs on another thread after a short pause.
  Event WaitWhile(const std::function<void()> &change) {
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      change();
    });
    char name[300] = {};
    Event e{};
    e.length = sizeof name;
    e.result = SKF(SKF_WaitForDevEvent)(name, &e.length, &e.event);
    other.join();
    e.name = name;
    return e;
  }
};

TEST_F(EventWaitTest, ArrivalThenRemovalWithAKeyPresent) {
  const std::string a = NewKey(false);
  std::string b;
  Event e = WaitWhile([&] { b = NewKey(false); });
  ASSERT_EQ(e.result, SAR_OK);
  EXPECT_EQ(e.name, vkey::ReaderOf(b));
  EXPECT_EQ(e.length, e.name.size());
  EXPECT_EQ(e.event, 1u);

  e = WaitWhile([&] { vkey::Remove(a); });
  ASSERT_EQ(e.result, SAR_OK);
  EXPECT_EQ(e.name, vkey::ReaderOf(a));
  EXPECT_EQ(e.event, 2u);
}

TEST_F(EventWaitTest, TheOnlyKeyArrivesAndLeaves) {
  std::string key;
  Event e = WaitWhile([&] { key = NewKey(false); });
  ASSERT_EQ(e.result, SAR_OK);
  EXPECT_EQ(e.name, vkey::ReaderOf(key));
  EXPECT_EQ(e.event, 1u);
  e = WaitWhile([&] { vkey::Remove(key); });
  ASSERT_EQ(e.result, SAR_OK);
  EXPECT_EQ(e.name, vkey::ReaderOf(key));
  EXPECT_EQ(e.event, 2u);
}

TEST_F(EventWaitTest, CancelFromAnotherThreadEndsTheWait) {
  const auto start = Clock::now();
  const Event e = WaitWhile([] { SKF(SKF_CancelWaitForDevEvent)(); });
  EXPECT_EQ(e.result, SAR_NOT_EVENTERR);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(EventWaitTest, AReaderNameLongerThanTheBufferIsNotWritten) {
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    NewKey(false);
  });
  char name[12] = {'x'};
  ULONG length = sizeof name;
  ULONG event = 0;
  const ULONG result = SKF(SKF_WaitForDevEvent)(name, &length, &event);
  other.join();
  EXPECT_EQ(result, SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(name[0], 'x');
  EXPECT_GT(length, sizeof name);
}

}  // namespace
