// A key held by another process that stops, then ends: an export that waits for it gives up
// with SAR_FAIL after its longest wait instead of waiting for ever, and once the holder has
// ended the key is free at once and as it was. The holder works through tokencore, the waiter
// through tokenbase.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "both_fixture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace legacytest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kHoldFlag[] = "--hold";
constexpr char kAnswerDelayMs[] = "1000";
constexpr long long kLongestWaitMs = 30000;

// This program again, as a holder of the key in `reader`; stopped and ended from outside.
class Holder {
 public:
  explicit Holder(const std::string &reader) {
#if defined(_WIN32)
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" " + kHoldFlag + " \"" + reader + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_);
#else
    char self[PATH_MAX] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return;
    std::string flag = kHoldFlag, name = reader;
    char *argv[] = {self, flag.data(), name.data(), nullptr};
    started_ = posix_spawn(&pid_, self, nullptr, nullptr, argv, environ) == 0;
#endif
  }
  ~Holder() { End(); }
  bool Started() const { return started_; }
  void Stop() {
#if defined(_WIN32)
    SuspendThread(process_.hThread);
#else
    kill(pid_, SIGSTOP);
#endif
  }
  void End() {
    if (!started_) return;
    started_ = false;
#if defined(_WIN32)
    TerminateProcess(process_.hProcess, 9);
    WaitForSingleObject(process_.hProcess, INFINITE);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
#else
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
#endif
  }

 private:
  bool started_ = false;
#if defined(_WIN32)
  PROCESS_INFORMATION process_{};
#else
  pid_t pid_ = 0;
#endif
};

// The holder's work: exports on the key, one after another, until it is ended.
int Hold(const char *reader) {
  const host::Library &core = host::Core();
  DEVHANDLE device = nullptr;
  if (SKF_OF(core, SKF_ConnectDev)(reader, &device) != SAR_OK) return 2;
  for (;;) {
    DEVINFO info{};
    SKF_OF(core, SKF_GetDevInfo)(device, &info);
  }
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class KeyHolderTest : public BothLibraries {};

TEST_F(KeyHolderTest, StoppedHolderIsWaitedForBoundedlyAndAnEndedOneFreesTheKey) {
  const std::string key = NewKey(true);
  ASSERT_TRUE(AsFormattedByBase(key));
  DEVHANDLE device = Connect(host::Base(), key);
  ASSERT_NE(device, nullptr);
  DEVINFO before{};
  ASSERT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &before), SAR_OK);

  // Each answer of the key comes a second late: the holder is inside an export nearly always.
  ASSERT_TRUE(vkey::Knob(key, "answer_delay", kAnswerDelayMs));
  const std::uint64_t sent = vkey::Commands(key);
  Holder holder(vkey::ReaderOf(key));
  ASSERT_TRUE(holder.Started());
  const Clock::time_point start = Clock::now();
  while (vkey::Commands(key) < sent + 3 && MsSince(start) < 20000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GE(vkey::Commands(key), sent + 3) << "the holder never reached the key";
  holder.Stop();  // as a debugger would, inside an export

  const Clock::time_point waited = Clock::now();
  DEVINFO info{};
  EXPECT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &info), SAR_FAIL);
  const long long waited_ms = MsSince(waited);
  EXPECT_GE(waited_ms, kLongestWaitMs - 1000) << "gave up before the longest wait";
  EXPECT_LT(waited_ms, 2 * kLongestWaitMs) << "waited past the longest wait";

  holder.End();  // ends holding the key
  ASSERT_TRUE(vkey::Knob(key, "answer_delay", "off"));
  const Clock::time_point freed = Clock::now();
  ASSERT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &info), SAR_OK);
  EXPECT_LT(MsSince(freed), 5000) << "the key of a process that ended is free at once";
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  HAPPLICATION app = OpenApp(host::Base(), device);
  ASSERT_NE(app, nullptr);
  ULONG retries = 0;
  char pin[] = "12345678";
  EXPECT_EQ(SKF_OF(host::Base(), SKF_VerifyPIN)(app, USER_TYPE, pin, &retries), SAR_OK);
}

}  // namespace
}  // namespace legacytest

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], legacytest::kHoldFlag) == 0) {
    return legacytest::Hold(argv[2]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
