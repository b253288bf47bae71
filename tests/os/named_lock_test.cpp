// The named lock behind a key's lock: one owning thread, taken again by its owner through any
// opening of the name (as two libraries in one process do), refused to others after the wait
// they allow, and given up when its owning thread or process ends without giving it back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/os/os.h"
#include "tests/legacy/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kHoldAndEnd[] = "--hold-and-end";

std::string LockName(const char *what) {
  return std::string("tokentest.") + std::to_string(os::CurrentProcessId()) + "." + what;
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Takes `lock` on a thread of its own; whether it was had, and how long that took.
std::pair<bool, long long> TakeElsewhere(os::NamedLock *lock, std::uint32_t timeout_ms,
                                         bool give = true) {
  bool taken = false;
  long long ms = 0;
  std::thread([&] {
    const Clock::time_point start = Clock::now();
    taken = os::TakeNamedLock(lock, timeout_ms);
    ms = MsSince(start);
    if (taken && give) os::GiveNamedLock(lock);
  }).join();
  return {taken, ms};
}

TEST(NamedLockTest, OwnerTakesItAgainOthersWaitTheirTime) {
  const std::string name = LockName("owner");
  os::NamedLock *first = os::OpenNamedLock(name.c_str());
  os::NamedLock *second = os::OpenNamedLock(name.c_str());  // as another library would
  ASSERT_TRUE(first && second);

  ASSERT_TRUE(os::TakeNamedLock(first, 0));
  const std::uint64_t takings = os::NamedLockTakings(first);
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(os::TakeNamedLock(second, 5000));
  EXPECT_LT(MsSince(start), 1000) << "the owner waits for nobody";
  EXPECT_EQ(os::NamedLockTakings(second), takings) << "taken again, not afresh";

  const auto [refused, waited] = TakeElsewhere(first, 300);
  EXPECT_FALSE(refused);
  EXPECT_GE(waited, 250);
  EXPECT_LT(waited, 5000);

  os::GiveNamedLock(second);
  EXPECT_FALSE(TakeElsewhere(first, 100).first) << "still held once";
  os::GiveNamedLock(first);
  EXPECT_TRUE(TakeElsewhere(second, 1000).first);
  ASSERT_TRUE(os::TakeNamedLock(first, 1000));
  EXPECT_EQ(os::NamedLockTakings(first), takings + 2);
  os::GiveNamedLock(first);
}

TEST(NamedLockTest, NamesAreLocksOfTheirOwn) {
  os::NamedLock *a = os::OpenNamedLock(LockName("a").c_str());
  os::NamedLock *b = os::OpenNamedLock(LockName("b").c_str());
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(os::TakeNamedLock(a, 0));
  EXPECT_TRUE(TakeElsewhere(b, 1000).first);
  os::GiveNamedLock(a);
}

TEST(NamedLockTest, AThreadThatEndsHoldingItGivesItUp) {
  os::NamedLock *lock = os::OpenNamedLock(LockName("thread").c_str());
  ASSERT_TRUE(lock);
  ASSERT_TRUE(TakeElsewhere(lock, 0, false).first);
  ASSERT_TRUE(os::TakeNamedLock(lock, 5000)) << "taken over from the thread that ended";
  EXPECT_EQ(os::NamedLockTakings(lock), 2u);
  os::GiveNamedLock(lock);
  // Usable as ever after the takeover.
  ASSERT_TRUE(os::TakeNamedLock(lock, 0));
  EXPECT_FALSE(TakeElsewhere(lock, 100).first);
  os::GiveNamedLock(lock);
}

TEST(NamedLockTest, AProcessThatEndsHoldingItGivesItUp) {
  const std::string name = LockName("process");
  os::NamedLock *lock = os::OpenNamedLock(name.c_str());
  ASSERT_TRUE(lock);
  ASSERT_EQ(RunSelf({kHoldAndEnd, name}), 0);
  ASSERT_TRUE(os::TakeNamedLock(lock, 5000)) << "taken over from the process that ended";
  EXPECT_EQ(os::NamedLockTakings(lock), 2u);
  os::GiveNamedLock(lock);
}

}  // namespace

// The child of AProcessThatEndsHoldingItGivesItUp takes the lock and ends holding it.
int main(int argc, char **argv) {
  if (argc == 3 && std::string(argv[1]) == kHoldAndEnd) {
    os::NamedLock *lock = os::OpenNamedLock(argv[2]);
    return lock && os::TakeNamedLock(lock, 5000) ? 0 : 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
