// A key held by another process that stops, then ends: an export that waits for it gives up
// with SAR_FAIL after its longest wait instead of waiting for ever, and once the holder has
// ended the key is free at once and as it was. The holder works through tokencore, the waiter
// through tokenbase. And (Windows) an export of one library that a window procedure runs while
// the other library's PIN dialog holds the key works with that key at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "both_fixture.h"
#include "pin_mapping.h"

#if !defined(_WIN32)
#include "host_thread.h"
#endif

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

class KeyHolderTest : public BothLibraries {
 protected:
  // Slows `key` (each answer a second late) and starts a holder on it, so that it is inside an
  // export nearly always; null when the holder never reached the key.
  static std::unique_ptr<Holder> HoldSlowKey(const std::string &key) {
    if (!vkey::Knob(key, "answer_delay", kAnswerDelayMs)) return nullptr;
    const std::uint64_t sent = vkey::Commands(key);
    auto holder = std::make_unique<Holder>(vkey::ReaderOf(key));
    const Clock::time_point start = Clock::now();
    while (holder->Started() && vkey::Commands(key) < sent + 3 && MsSince(start) < 20000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (vkey::Commands(key) < sent + 3) return nullptr;
    return holder;
  }
};

TEST_F(KeyHolderTest, StoppedHolderIsWaitedForBoundedlyAndAnEndedOneFreesTheKey) {
  const std::string key = NewKey(true);
  ASSERT_TRUE(AsFormattedByBase(key));
  DEVHANDLE device = Connect(host::Base(), key);
  ASSERT_NE(device, nullptr);
  DEVINFO before{};
  ASSERT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &before), SAR_OK);

  const std::unique_ptr<Holder> holder = HoldSlowKey(key);
  ASSERT_TRUE(holder) << "the holder never reached the key";
  holder->Stop();  // as a debugger would, inside an export

  const Clock::time_point waited = Clock::now();
  DEVINFO info{};
  EXPECT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &info), SAR_FAIL);
  const long long waited_ms = MsSince(waited);
  EXPECT_GE(waited_ms, kLongestWaitMs - 1000) << "gave up before the longest wait";
  EXPECT_LT(waited_ms, 2 * kLongestWaitMs) << "waited past the longest wait";

  holder->End();  // ends holding the key
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

#if !defined(_WIN32)
// A host thread waiting for a key another process holds ends at once when cancelled.
TEST_F(KeyHolderTest, ThreadWaitingForAnotherProcessesKeyIsCancelledAtOnce) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(host::Core(), key);
  ASSERT_NE(device, nullptr);
  const std::unique_ptr<Holder> holder = HoldSlowKey(key);
  ASSERT_TRUE(holder) << "the holder never reached the key";
  holder->Stop();
  HostThread waiter([&] {
    DEVINFO info{};
    SKF_OF(host::Core(), SKF_GetDevInfo)(device, &info);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(waiter.Returned()) << "the key was not held";
  EXPECT_TRUE(waiter.CancelledWithin(std::chrono::milliseconds(1000)));
  holder->End();
  ASSERT_TRUE(vkey::Knob(key, "answer_delay", "off"));
  DEVINFO info{};
  EXPECT_EQ(SKF_OF(host::Core(), SKF_GetDevInfo)(device, &info), SAR_OK)
      << "the cancelled thread left the key to the others";
}
#endif

// Keys are locked one by one: a process busy on a slow key holds up no export on another key.
TEST_F(KeyHolderTest, SlowKeyOfAnotherProcessHoldsUpNoOtherKey) {
  const std::string slow = NewKey(true);
  const std::string other = vkey::CloneKey(slow);
  ASSERT_FALSE(other.empty());
  keys_.push_back(other);
  DEVHANDLE device = Connect(host::Core(), other);
  ASSERT_NE(device, nullptr);
  const std::unique_ptr<Holder> holder = HoldSlowKey(slow);
  ASSERT_TRUE(holder) << "the holder never reached the slow key";

  // Each export here sends several commands, at the slow key's pace a second each.
  for (int i = 0; i < 3; ++i) {
    const Clock::time_point call = Clock::now();
    DEVINFO info{};
    EXPECT_EQ(SKF_OF(host::Core(), SKF_GetDevInfo)(device, &info), SAR_OK);
    EXPECT_LT(MsSince(call), 900) << "the export on the other key waited";
  }
  holder->End();
  EXPECT_TRUE(vkey::Knob(slow, "answer_delay", "off"));
}

#if defined(_WIN32)
// A window of the host's that makes a tokenbase export when the PIN dialog's loop dispatches its
// message, then cancels the dialog.
struct NestedCall {
  DEVHANDLE device = nullptr;
  ULONG result = SAR_FAIL;
  long long ms = -1;
  DEVINFO info{};
};
NestedCall Nested;
constexpr UINT kCallNow = WM_APP + 1;
constexpr UINT kCloseDialog = WM_APP + 2;

BOOL CALLBACK CancelPinDialog(HWND h, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[16] = {};
  GetClassNameA(h, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 && GetDlgItem(h, 1000)) {
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
  }
  return TRUE;
}

LRESULT CALLBACK HostWindow(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kCallNow) {
    const Clock::time_point start = Clock::now();
    Nested.result = SKF_OF(host::Base(), SKF_GetDevInfo)(Nested.device, &Nested.info);
    Nested.ms = MsSince(start);
    PostMessageA(window, kCloseDialog, 0, 0);
    return 0;
  }
  if (message == kCloseDialog) {
    EnumWindows(CancelPinDialog, 0);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

TEST_F(KeyHolderTest, ExportInAWindowProcedureUsesTheKeyThePinDialogHolds) {
  PinMapping::RemoveAny();  // the dialog asks when the shared cache holds no PIN
  const std::string key = NewKey(true);
  ASSERT_TRUE(AsFormattedByBase(key));
  Nested = NestedCall{};
  Nested.device = Connect(host::Base(), key);
  DEVHANDLE core_device = Connect(host::Core(), key);
  ASSERT_TRUE(Nested.device && core_device);
  DEVINFO before{};
  ASSERT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(Nested.device, &before), SAR_OK);
  HAPPLICATION app = OpenApp(host::Core(), core_device);
  ASSERT_NE(app, nullptr);

  WNDCLASSA window_class{};
  window_class.lpfnWndProc = HostWindow;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "KeyHolderTestHost";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("KeyHolderTestHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, kCallNow, 0, 0);  // dispatched by the dialog's loop
  char marker[] =
      "\x1D\x1E"
      "48151623";
  ULONG retries = 0;
  EXPECT_EQ(SKF_OF(host::Core(), SKF_VerifyPIN)(app, USER_TYPE, marker, &retries), SAR_FAIL)
      << "the dialog was cancelled";
  DestroyWindow(window);
  EXPECT_EQ(Nested.result, SAR_OK);
  EXPECT_GE(Nested.ms, 0) << "the window procedure never ran";
  EXPECT_LT(Nested.ms, 5000) << "the nested export waited for the key its thread holds";
  EXPECT_EQ(std::memcmp(&Nested.info, &before, sizeof before), 0);
}
#endif

}  // namespace
}  // namespace legacytest

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], legacytest::kHoldFlag) == 0) {
    return legacytest::Hold(argv[2]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
