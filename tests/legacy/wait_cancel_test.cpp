// SKF_CancelWaitForDevEvent against the waits of other threads, through each library: one cancel
// ends every wait begun before it, at the end of the wait's current poll, and none begun after
// it, even one begun right after it.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "both_fixture.h"

namespace legacytest {

namespace {

using Clock = std::chrono::steady_clock;
using host::Build;
using host::Library;
using std::chrono::milliseconds;

constexpr milliseconds kPoll{500};
// A cancel ends a wait within a poll; the rest is room for a slow machine.
constexpr milliseconds kEndsWithin = kPoll + milliseconds(400);

// One SKF_WaitForDevEvent on a thread of its own.
class Wait {
 public:
  explicit Wait(const Library &lib)
      : lib_(lib), thread_([this] {
          char name[256] = {};
          ULONG length = sizeof name, event = 0;
          result_ = SKF_OF(lib_, SKF_WaitForDevEvent)(name, &length, &event);
          done_ = true;
        }) {}
  // Ends the wait with further cancels if it still runs, so that no test hangs on it.
  ~Wait() {
    while (!done_) {
      SKF_OF(lib_, SKF_CancelWaitForDevEvent)();
      std::this_thread::sleep_for(milliseconds(50));
    }
    thread_.join();
  }
  Wait(const Wait &) = delete;
  Wait &operator=(const Wait &) = delete;

  // Whether the wait ended by `limit`, waiting until then.
  bool EndsBy(Clock::time_point limit) const {
    while (!done_ && Clock::now() < limit) std::this_thread::sleep_for(milliseconds(5));
    return done_;
  }
  ULONG result() const { return result_; }

 private:
  const Library &lib_;
  std::atomic<bool> done_{false};
  ULONG result_ = SAR_OK;
  std::thread thread_;
};

class WaitCancelTest : public BothLibraries, public ::testing::WithParamInterface<Build> {
 protected:
  const Library &Lib() const { return host::Of(GetParam()); }
};

TEST_P(WaitCancelTest, ACancelEndsTheWaitsBegunBeforeItAndNoneBegunAfter) {
  const Library &lib = Lib();
  Wait first(lib), also_first(lib);
  std::this_thread::sleep_for(milliseconds(200));  // both poll by now

  const Clock::time_point cancelled = Clock::now();
  ASSERT_EQ(SKF_OF(lib, SKF_CancelWaitForDevEvent)(), SAR_OK);
  Wait later(lib);  // begins right after the cancel
  for (Wait *w : {&first, &also_first}) {
    ASSERT_TRUE(w->EndsBy(cancelled + kEndsWithin)) << "a wait begun before the cancel goes on";
    EXPECT_EQ(w->result(), SAR_NOT_EVENTERR);
  }
  // More than a whole poll after the cancel, the later wait still waits.
  EXPECT_FALSE(later.EndsBy(cancelled + kPoll + kPoll / 2)) << "ended by a cancel before it";

  const Clock::time_point again = Clock::now();
  ASSERT_EQ(SKF_OF(lib, SKF_CancelWaitForDevEvent)(), SAR_OK);
  ASSERT_TRUE(later.EndsBy(again + kEndsWithin));
  EXPECT_EQ(later.result(), SAR_NOT_EVENTERR);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, WaitCancelTest, ::testing::Values(Build::kCore, Build::kBase),
                         [](const auto &info) { return std::string(host::NameOf(info.param)); });

}  // namespace

}  // namespace legacytest
