// The per-key lock of the exports: the devices of one reader share it and other readers' do
// not; an export nested on the same thread uses the keys of the one around it and gives back
// only its own; a wait that would close a cycle of waits is refused.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "skf/card/key_lock.h"

namespace {

using namespace std::chrono_literals;

// Made-up device handles: the lock looks only at their values.
DEVHANDLE Device(std::uintptr_t n) { return reinterpret_cast<DEVHANDLE>(0x7E5700 + 16 * n); }

// A thread that runs `body`; joined within a few seconds, or the program ends (a deadlock).
class Runner {
 public:
  explicit Runner(std::function<void()> body)
      : thread_([this, body = std::move(body)] {
          body();
          done_ = true;
        }) {}
  ~Runner() { Join(); }
  bool Done() const { return done_; }
  void Join() {
    if (!thread_.joinable()) return;
    for (int i = 0; i < 500 && !done_; ++i) std::this_thread::sleep_for(10ms);
    if (!done_) {
      ADD_FAILURE() << "a thread is still waiting for a key";
      std::abort();
    }
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// An export on another thread that takes `device` and keeps it until Release.
class Holder {
 public:
  explicit Holder(DEVHANDLE device)
      : runner_([this, device] {
          const ExportScope scope;
          const KeyAccess access(device);
          taken_ = static_cast<bool>(access);
          held_ = true;
          while (!release_) std::this_thread::sleep_for(1ms);
        }) {
    while (!held_) std::this_thread::sleep_for(1ms);
  }
  ~Holder() { Release(); }
  bool Taken() const { return taken_; }
  void Release() {
    release_ = true;
    runner_.Join();
  }

 private:
  std::atomic<bool> held_{false}, release_{false}, taken_{false};
  Runner runner_;
};

// Whether an export on another thread takes `device` within `wait` (it goes on waiting after).
bool TakenWithin(DEVHANDLE device, std::chrono::milliseconds wait, std::unique_ptr<Runner> &t) {
  auto taken = std::make_shared<std::atomic<bool>>(false);
  t = std::make_unique<Runner>([device, taken] {
    const ExportScope scope;
    const KeyAccess access(device);
    *taken = static_cast<bool>(access);
  });
  const auto until = std::chrono::steady_clock::now() + wait;
  while (!*taken && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  return *taken;
}

class KeyLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RecordDeviceKey(a1_, "reader A", ""));
    ASSERT_TRUE(RecordDeviceKey(a2_, "reader A", ""));
    ASSERT_TRUE(RecordDeviceKey(b_, "reader B", ""));
    // A reader of the same name reached elsewhere (another keysimd) is another key.
    ASSERT_TRUE(RecordDeviceKey(elsewhere_, "reader A", "127.0.0.1:9"));
  }
  void TearDown() override {
    for (DEVHANDLE d : {a1_, a2_, b_, elsewhere_}) ForgetDeviceKey(d);
  }

  const DEVHANDLE a1_ = Device(1), a2_ = Device(2), b_ = Device(3), elsewhere_ = Device(4);
};

TEST_F(KeyLockTest, DevicesOfOneReaderShareItsKeyAndOtherReadersGoOn) {
  Holder holder(a1_);
  ASSERT_TRUE(holder.Taken());
  std::unique_ptr<Runner> same, other;
  EXPECT_FALSE(TakenWithin(a2_, 100ms, same)) << "the reader's other device";
  EXPECT_TRUE(TakenWithin(b_, 2000ms, other)) << "another reader's device";
  std::unique_ptr<Runner> elsewhere;
  EXPECT_TRUE(TakenWithin(elsewhere_, 2000ms, elsewhere)) << "the same name reached elsewhere";
  holder.Release();
  same->Join();
  EXPECT_TRUE(same->Done());
}

TEST_F(KeyLockTest, KeyStaysHeldToTheEndOfTheExportOnlyInsideOne) {
  std::unique_ptr<Runner> t;
  {
    const KeyAccess call(a1_);  // outside an export: for this guard's life
    ASSERT_TRUE(call);
    EXPECT_FALSE(TakenWithin(a1_, 50ms, t));
  }
  t->Join();
  {
    const ExportScope scope;
    { const KeyAccess call(a1_); }
    EXPECT_FALSE(TakenWithin(a2_, 50ms, t)) << "given back before the export's end";
  }
  t->Join();
}

TEST_F(KeyLockTest, NestedExportUsesTheOuterKeysAndGivesBackOnlyItsOwn) {
  std::unique_ptr<Runner> a, b;
  {
    const ExportScope outer;
    ASSERT_TRUE(KeyAccess(a1_));
    {
      const ExportScope inner;  // e.g. a window procedure while the PIN dialog is open
      EXPECT_TRUE(KeyAccess(a2_)) << "the key the thread holds, by its other device";
      EXPECT_TRUE(KeyAccess(b_));
    }
    EXPECT_TRUE(TakenWithin(b_, 2000ms, b)) << "the inner export's own key, given back";
    EXPECT_FALSE(TakenWithin(a1_, 50ms, a)) << "the outer export's key, still held";
  }
  a->Join();
  // An export that waits without card work (the event wait) holds nothing for those it runs.
  {
    const ExportScope wait;
    {
      const ExportScope dispatched;
      ASSERT_TRUE(KeyAccess(a1_));
    }
    EXPECT_TRUE(TakenWithin(a1_, 2000ms, a));
  }
}

TEST_F(KeyLockTest, WaitThatWouldCloseACycleIsRefused) {
  std::atomic<int> first_taken{0};
  std::atomic<int> refused{0};
  auto cross = [&](DEVHANDLE mine, DEVHANDLE theirs) {
    return [&, mine, theirs] {
      const ExportScope scope;
      if (!KeyAccess(mine)) return;
      ++first_taken;
      while (first_taken < 2) std::this_thread::sleep_for(1ms);
      if (!KeyAccess(theirs)) ++refused;
    };
  };
  { Runner one(cross(a1_, b_)), two(cross(b_, a2_)); }
  EXPECT_EQ(first_taken, 2);
  EXPECT_EQ(refused, 1) << "one of the two gives way, the other gets both keys";
}

TEST_F(KeyLockTest, UnrecordedDevicesShareOneLock) {
  ForgetDeviceKey(a2_);  // closed: no reader behind it any more
  Holder holder(a2_);
  std::unique_ptr<Runner> unrecorded, recorded;
  EXPECT_FALSE(TakenWithin(Device(99), 100ms, unrecorded));
  EXPECT_TRUE(TakenWithin(a1_, 2000ms, recorded));
  holder.Release();
}

TEST_F(KeyLockTest, ThreadHoldsAtMostEightKeys) {
  std::vector<DEVHANDLE> devices;
  for (int i = 0; i < 9; ++i) {
    devices.push_back(Device(10 + i));
    ASSERT_TRUE(RecordDeviceKey(devices.back(), ("reader " + std::to_string(i)).c_str(), ""));
  }
  {
    const ExportScope scope;
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(KeyAccess(devices[i])) << i;
    EXPECT_FALSE(KeyAccess(devices[8]));
  }
  std::unique_ptr<Runner> t;
  EXPECT_TRUE(TakenWithin(devices[0], 2000ms, t)) << "all given back at the export's end";
  for (DEVHANDLE d : devices) ForgetDeviceKey(d);
}

}  // namespace
