// Host threads cancelled with pthread_cancel inside the exports, at their cancellation points:
// the event wait's sleep, the wait for a key another thread holds, the reply of a card command
// from a slowed key, the PIN prompt. The thread ends cancelled, the process goes on, the key is
// free at once for other threads, and no later answer is a stale or wrong one. Natively only:
// glibc unwinds a cancelled thread, mingw's winpthreads does not.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "both_fixture.h"
#include "host_thread.h"
#include "pin_mapping.h"
#include "pin_ui.h"
#include "readerio.h"

namespace legacytest {

namespace {

using host::Build;
using host::Library;
using std::chrono::milliseconds;

// A thread at a cancellation point ends this soon after its cancellation.
constexpr milliseconds kPrompt{300};
// An export on a free key returns within this time.
constexpr milliseconds kFreeKey{1000};

bool SameInfo(const DEVINFO &a, const DEVINFO &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Runs `work` on a thread of its own: false when it has not returned within kFreeKey (it waits
// for a key left held), and the thread is cancelled then.
bool ReturnsAtOnce(std::function<void()> work) {
  HostThread thread(std::move(work));
  if (thread.ReturnsWithin(kFreeKey)) return true;
  EXPECT_TRUE(thread.CancelledWithin(kPrompt));
  return false;
}

class CancelTest : public BothLibraries, public ::testing::WithParamInterface<Build> {
 protected:
  const Library &Lib() const { return host::Of(GetParam()); }

  ULONG DevInfo(DEVHANDLE device, DEVINFO *info) {
    *info = DEVINFO{};
    return SKF_OF(Lib(), SKF_GetDevInfo)(device, info);
  }

  // Two connections to one provisioned key, and its device information.
  void TwoConnections() {
    key_ = NewKey(true);
    first_ = Connect(Lib(), key_);
    second_ = Connect(Lib(), key_);
    ASSERT_TRUE(first_ && second_);
    ASSERT_EQ(DevInfo(first_, &reference_), SAR_OK);
  }
  // The key answers each command `ms` later ("off": at once again).
  void Slow(const char *ms) { ASSERT_TRUE(vkey::Knob(key_, "answer_delay", ms)); }

  // The key is free for the second connection: its export returns at once, with the right data.
  void ExpectFreeKey() {
    DEVINFO info{};
    ULONG result = SAR_FAIL;
    ASSERT_TRUE(ReturnsAtOnce([&] { result = DevInfo(second_, &info); })) << "the key stays held";
    EXPECT_EQ(result, SAR_OK);
    EXPECT_TRUE(SameInfo(info, reference_));
  }

  std::string key_;
  DEVHANDLE first_ = nullptr, second_ = nullptr;
  DEVINFO reference_{};
};

TEST_P(CancelTest, CancelledInTheEventWait) {
  HostThread waiter([&] {
    char name[256] = {};
    ULONG length = sizeof name, event = 0;
    SKF_OF(Lib(), SKF_WaitForDevEvent)(name, &length, &event);
  });
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(waiter.CancelledWithin(kPrompt));

  // A later wait sees a key arrive.
  std::string arrived;
  std::thread inserter([&] {
    std::this_thread::sleep_for(milliseconds(200));
    arrived = NewKey(false);
  });
  char name[256] = {};
  ULONG length = sizeof name, event = 0;
  const ULONG waited = SKF_OF(Lib(), SKF_WaitForDevEvent)(name, &length, &event);
  inserter.join();
  EXPECT_EQ(waited, SAR_OK);
  EXPECT_EQ(name, vkey::ReaderOf(arrived));
  EXPECT_EQ(event, 1u);
}

TEST_P(CancelTest, CancelledWhileWaitingForTheKeyAnotherThreadHolds) {
  TwoConnections();
  Slow("150");
  ULONG held = SAR_FAIL;
  DEVINFO held_info{};
  HostThread holder([&] { held = DevInfo(first_, &held_info); });  // four commands or more
  std::this_thread::sleep_for(milliseconds(100));
  HostThread waiter([&] {
    DEVINFO info{};
    DevInfo(second_, &info);
  });
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_TRUE(waiter.CancelledWithin(kPrompt));
  EXPECT_FALSE(holder.Returned()) << "the waiter was not cancelled while it waited";
  holder.Join();
  EXPECT_EQ(held, SAR_OK);
  EXPECT_TRUE(SameInfo(held_info, reference_));
  Slow("off");
  ExpectFreeKey();
}

TEST_P(CancelTest, CancelledWhileACardCommandIsAnswered) {
  TwoConnections();
  Slow("400");
  HostThread sender([&] {
    DEVINFO info{};
    DevInfo(first_, &info);
  });
  std::this_thread::sleep_for(milliseconds(200));  // the first command's answer is awaited
  EXPECT_TRUE(sender.CancelledWithin(kPrompt));
  Slow("off");
  ExpectFreeKey();
  // The cancelled thread's connection fails from now on or answers right; never stale.
  for (int i = 0; i < 2; ++i) {
    DEVINFO info{};
    if (DevInfo(first_, &info) == SAR_OK) {
      EXPECT_TRUE(SameInfo(info, reference_));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, CancelTest, ::testing::Values(Build::kCore, Build::kBase),
                         [](const auto &info) { return std::string(host::NameOf(info.param)); });

// readerio alone: a thread cancelled while it waits for an answer leaves no stale answer for the
// next command on the handle.
class ReaderioCancelTest : public BothLibraries {};

TEST_F(ReaderioCancelTest, NoStaleAnswerAfterACancelledCommand) {
  const std::string key = NewKey(false);
  QX_DEVHANDLE handle = nullptr;
  ASSERT_EQ(QX_OpenPath(vkey::ReaderOf(key).c_str(), &handle), READERIO_SW_OK);
  ASSERT_TRUE(vkey::Knob(key, "answer_delay", "400"));
  HostThread sender([&] {
    const std::uint8_t challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};  // 8 bytes, 9000
    std::uint8_t answer[16];
    std::uint16_t length = sizeof answer;
    QX_ApduT0(handle, challenge, sizeof challenge, answer, &length, 0);
  });
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(sender.CancelledWithin(kPrompt));
  ASSERT_TRUE(vkey::Knob(key, "answer_delay", "off"));

  const std::uint8_t missing[] = {0x00, 0xA4, 0x02, 0x00, 0x02, 0x7E, 0x7E};  // no such EF
  std::uint8_t answer[16];
  std::uint16_t length = 0x7777;
  const std::uint32_t sw = QX_ApduT0(handle, missing, sizeof missing, answer, &length, 0);
  EXPECT_NE(sw, 0x9000u) << "the cancelled command's answer";
  if (sw != READERIO_SW_COMM) {
    EXPECT_EQ(sw, 0x6A82u);
    EXPECT_EQ(length, 0u);
  }
  QX_ClosePort(handle);

  ASSERT_EQ(QX_OpenPath(vkey::ReaderOf(key).c_str(), &handle), READERIO_SW_OK);
  length = sizeof answer;
  EXPECT_EQ(QX_ApduT0(handle, missing, sizeof missing, answer, &length, 0), 0x6A82u);
  QX_ClosePort(handle);
}

// tokencore's PIN prompt: a thread cancelled while the user has the prompt open ends at once,
// the prompt program goes, and the key is free.
class PromptCancelTest : public BothLibraries {};

// The process id the scripted pinentry logs when it waits for a user who never answers; 0 when
// it did not within a few seconds.
pid_t WaitingPinentry() {
  for (int i = 0; i < 500; ++i) {
    std::ifstream log(std::getenv("FAKE_PINENTRY_LOG"));
    std::string line;
    while (std::getline(log, line)) {
      if (line.rfind("PID ", 0) == 0) return static_cast<pid_t>(std::atol(line.c_str() + 4));
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  return 0;
}

TEST_F(PromptCancelTest, CancelledAtThePinPrompt) {
  const Library &lib = host::Core();
  PinMapping::RemoveAny();
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(lib, key);
  HAPPLICATION app = OpenApp(lib, device);
  ASSERT_NE(app, nullptr);
  SKF_OF(lib, SKF_ClearSecureState)(nullptr);
  ScriptedUser user({{UiAction::kEnterPin, "WAIT"}});
  HostThread asker([&] {
    char marker[] =
        "\x1D\x1E"
        "48151623";  // the cached PIN or the prompt
    ULONG retries = 0;
    SKF_OF(lib, SKF_VerifyPIN)(app, USER_TYPE, marker, &retries);
  });
  const pid_t pinentry = WaitingPinentry();
  ASSERT_GT(pinentry, 0) << "no prompt";
  EXPECT_TRUE(asker.CancelledWithin(kPrompt));
  // Stopped and waited for: not even a zombie is left.
  EXPECT_EQ(kill(pinentry, 0), -1);
  EXPECT_EQ(errno, ESRCH);

  ULONG verified = SAR_FAIL;
  ASSERT_TRUE(ReturnsAtOnce([&] {
    char pin[] = "12345678";
    ULONG retries = 0;
    verified = SKF_OF(lib, SKF_VerifyPIN)(app, USER_TYPE, pin, &retries);
  })) << "the key stays held";
  EXPECT_EQ(verified, SAR_OK);
  ULONG max = 0, left = 0;
  BOOL default_pin = FALSE;
  ASSERT_EQ(SKF_OF(lib, SKF_GetPINInfo)(app, USER_TYPE, &max, &left, &default_pin), SAR_OK);
  EXPECT_EQ(left, max);
}

}  // namespace

}  // namespace legacytest
