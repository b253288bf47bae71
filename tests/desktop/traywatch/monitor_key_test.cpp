// traywatch.exe with devnotify.dll, cardcmd.dll and virtual keys: the icon, the balloons, the
// user's certificate store and the PIN mapping as keys arrive and leave, seen through the
// recorder's log of its shell calls, crypt32 and the mappings themselves.
#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>
#include <shellapi.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "monitor_process.h"
#include "tests/desktop/support/ansi_text.h"
#include "tests/desktop/support/provisioned_certificates.h"
#include "tests/desktop/support/screenshot.h"
#include "tests/desktop/support/user_store.h"
#include "tests/desktop/support/wait.h"
#include "tests/desktop/support/desktop_window.h"
#include "virtual_key.h"

namespace {

using desktop::Ansi;
using traytest::ShellCall;
using twtest::OutsideMapping;

constexpr UINT kShown = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// The monitor of one test, its log read call by call.
class MonitorKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vkey::Attach()) << "no keysimd";
    // The monitor inherits the daemon's address.
    SetEnvironmentVariableA("KEYSIM_ADDR", std::getenv("KEYSIM_ADDR"));
    ASSERT_TRUE(folder_.PutMonitor());
    ASSERT_TRUE(folder_.PutLibraries());
  }
  void TearDown() override {
    for (auto &[key, k] : keys_) {
      if (!k.certificates) k.certificates = ProvisionedCertificates(key);
      vkey::Remove(key);
      for (const auto &der : *k.certificates) TakeFromUserStore(der);
    }
  }

  // A new key in its reader.
  std::string NewKey(bool provisioned) {
    const std::string key = vkey::CreateKey("tray", provisioned);
    EXPECT_FALSE(key.empty());
    keys_[key].provisioned = provisioned;
    return key;
  }
  // The key's certificates, read raw (not through the monitor's libraries) the first time they
  // are asked for, while the key is present. Only once the monitor is done with the key: the
  // commands of two processes on one card interleave.
  const std::vector<EncodedCertificate> &Certificates(const std::string &key) {
    TestKey &k = keys_[key];
    if (!k.certificates) {
      k.certificates = ProvisionedCertificates(key);
      EXPECT_EQ(k.certificates->size(), k.provisioned ? 4u : 0u);
    }
    return *k.certificates;
  }
  // Starts the monitor and waits for its start-up to end.
  void Start() {
    monitor_ = &folder_.Start();
    window_ = twtest::WaitForMonitor(monitor_->pid());
    ASSERT_NE(window_, nullptr);
  }
  // The next `count` calls of the log (fewer when they did not come within 15 s).
  std::vector<ShellCall> Next(std::size_t count) {
    std::vector<ShellCall> calls;
    folder_.WaitForCalls([&](const auto &all) { return all.size() >= read_ + count; }, 15000);
    calls = folder_.Calls();
    const std::size_t end = std::min(calls.size(), read_ + count);
    std::vector<ShellCall> next(calls.begin() + read_, calls.begin() + end);
    read_ = end;
    return next;
  }
  // Every call so far was read: nothing more happened.
  void ExpectNoMoreCalls() {
    // A sent message is handled after whatever the monitor was doing.
    DWORD_PTR answer;
    ASSERT_TRUE(SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer));
    EXPECT_EQ(folder_.Calls().size(), read_);
  }
  // The balloon of a key event: the message for 3000 ms, then the empty one that takes it away.
  void ExpectBalloon(const std::vector<ShellCall> &calls, const char *utf8_text) {
    ASSERT_EQ(calls.size(), 2u);
    const std::string texts[] = {Ansi(utf8_text), ""};
    const std::string titles[] = {Ansi("提示"), ""};
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(calls[i].message, DWORD(NIM_MODIFY));
      EXPECT_EQ(calls[i].flags, UINT(NIF_INFO));
      EXPECT_EQ(desktop::Utf8FromAnsi(calls[i].info), desktop::Utf8FromAnsi(texts[i]));
      EXPECT_EQ(calls[i].title, titles[i]);
      EXPECT_EQ(calls[i].timeout, 3000u);
      EXPECT_EQ(calls[i].info_flags, DWORD(NIIF_INFO));
    }
  }
  void ExpectInStore(const std::string &key, bool in) {
    for (const auto &der : Certificates(key)) EXPECT_EQ(InUserStore(der), in);
  }

  twtest::MonitorFolder folder_;
  desktop::Program *monitor_ = nullptr;
  HWND window_ = nullptr;
  std::size_t read_ = 0;
  struct TestKey {
    bool provisioned = false;
    std::optional<std::vector<EncodedCertificate>> certificates;
  };
  std::map<std::string, TestKey> keys_;
};

// A picture of the balloon while Wine's shell shows it.
void ScreenshotOfBalloon(const char *file) {
  const HWND tray = desktop::TopWindow(0, "__winex11_standalone_tray", nullptr);
  DWORD shell = 0;
  if (tray) GetWindowThreadProcessId(tray, &shell);
  if (shell && desktop::WaitForTopWindow(shell, "tooltips_class32", nullptr, 2500)) Sleep(200);
  SaveScreenshot(file);
}

TEST_F(MonitorKeyTest, KeysArriveAndLeave) {
  OutsideMapping key_cache("ZVSM2KEY", 40960), pin_cache("ZVSM2PIN", 64);
  ASSERT_TRUE(key_cache.Ready() && pin_cache.Ready());

  // No key: the icon is added and at once hidden; both mappings are zeroed.
  Start();
  auto calls = Next(2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_ADD));
  EXPECT_EQ(calls[0].flags, kShown);
  EXPECT_EQ(calls[0].tip, Ansi("SM2 数字证书用户工具"));
  EXPECT_EQ(calls[0].callback, UINT(WM_USER + 10));
  EXPECT_EQ(calls[0].id, 130u);
  EXPECT_EQ(calls[1].message, DWORD(NIM_DELETE));
  EXPECT_EQ(calls[1].flags, UINT(NIF_ICON));
  EXPECT_TRUE(key_cache.All(0));
  EXPECT_TRUE(pin_cache.All(0));

  // A provisioned key arrives: the icon shows, its four certificates go into the store, the
  // first half of the PIN mapping is cleared.
  pin_cache.Fill(0xAA);
  const std::string first = NewKey(true);
  calls = Next(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_ADD));
  EXPECT_EQ(calls[0].flags, kShown);
  EXPECT_EQ(calls[0].tip, Ansi("SM2 数字证书用户工具"));
  calls = Next(1);
  ScreenshotOfBalloon("traywatch_key_arrived.png");
  calls.push_back(Next(1).at(0));
  ExpectBalloon(calls, "USBKey已经插入。\n有4张证书导入到IE中。");
  ExpectInStore(first, true);
  EXPECT_TRUE(pin_cache.All(0, 0, 32));
  EXPECT_TRUE(pin_cache.All(0xAA, 32, 64));

  // A key without certificates: the first sentence alone.
  const std::string blank = NewKey(false);
  ExpectBalloon(Next(2), "USBKey已经插入。");

  // The first key leaves while the other stays: its certificates go, the icon stays.
  pin_cache.Fill(0xAA);
  ASSERT_TRUE(vkey::Remove(first));
  ExpectBalloon(Next(2), "USBKey已经被拔出");
  ExpectNoMoreCalls();
  ExpectInStore(first, false);
  EXPECT_TRUE(pin_cache.All(0, 0, 32));
  EXPECT_TRUE(pin_cache.All(0xAA, 32, 64));

  // Records that are not a known key's interface change nothing: another device, another kind
  // of record, a name without its end inside the record, a record too short for a name.
  const std::string reader = vkey::ReaderOf(first);
  const std::vector<std::vector<BYTE>> ignored = {
      twtest::InterfaceRecord("\\\\?\\USB#VID_1234&PID_5678#0001#{a5dcbf10-6530-11d2-901f-"
                              "00c04fb951ed}"),
      twtest::InterfaceRecord(reader, 0, DBT_DEVTYP_PORT),
      twtest::InterfaceRecord(reader, static_cast<DWORD>(28 + reader.size())),
      twtest::InterfaceRecord(reader, 28),
  };
  for (const auto &record : ignored) {
    EXPECT_EQ(twtest::SendDeviceEvent(window_, DBT_DEVICEARRIVAL, record), TRUE);
  }
  EXPECT_EQ(twtest::SendDeviceEvent(window_, DBT_DEVNODES_CHANGED, {}), TRUE);
  ExpectNoMoreCalls();

  // The last key leaves: the icon hides.
  ASSERT_TRUE(vkey::Remove(blank));
  ExpectBalloon(Next(2), "USBKey已经被拔出");
  calls = Next(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_DELETE));
  EXPECT_EQ(calls[0].flags, UINT(NIF_ICON));

  // Closed by the form of command line the service uses.
  EXPECT_EQ(twtest::ExitCode(folder_.Start("-u", false), 5000), 0u);
  EXPECT_EQ(twtest::ExitCode(*monitor_, 5000), 0u);
}

// A key and its copy carry the same certificates: they stay in the store while either is there.
TEST_F(MonitorKeyTest, CertificatesStayWhileACopyOfTheKeyIsPresent) {
  const std::string key = NewKey(true);
  Start();
  ASSERT_EQ(Next(1).size(), 1u);  // the icon, shown
  Certificates(key);              // while the monitor leaves the key alone
  const std::string copy = vkey::CloneKey(key);
  ASSERT_FALSE(copy.empty());
  keys_[copy] = keys_[key];
  ExpectBalloon(Next(2), "USBKey已经插入。");  // in the store already, on the key's account

  ASSERT_TRUE(vkey::Remove(key));
  auto calls = Next(1);
  ScreenshotOfBalloon("traywatch_copy_stays.png");
  calls.push_back(Next(1).at(0));
  ExpectBalloon(calls, "USBKey已经被拔出");
  ExpectNoMoreCalls();
  ExpectInStore(key, true);

  ASSERT_TRUE(vkey::Remove(copy));
  ExpectBalloon(Next(2), "USBKey已经被拔出");
  calls = Next(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_DELETE));
  ExpectInStore(key, false);
}

// Keys present at start have their certificates imported without a balloon, and the icon shows.
// Its double click starts certdesk; its menu's "退出" ends traywatch.
TEST_F(MonitorKeyTest, KeysPresentAtStartAreImportedQuietly) {
  ASSERT_TRUE(folder_.PutCertdesk());
  const std::string key = NewKey(true);
  Start();
  const auto calls = Next(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_ADD));
  ExpectNoMoreCalls();
  ExpectInStore(key, true);

  // The shell's messages for the icon, as a mouse on it makes them.
  const UINT callback = calls[0].callback, icon = calls[0].id;
  DWORD_PTR handled = 0;
  ASSERT_TRUE(
      SendMessageTimeoutA(window_, callback, icon, WM_LBUTTONDBLCLK, SMTO_NORMAL, 5000, &handled));
  EXPECT_EQ(handled, 1u);
  EXPECT_FALSE(folder_.WaitForCertdesk().empty());

  PostMessageA(window_, callback, icon, WM_RBUTTONUP);
  HWND menu = desktop::WaitForTopWindow(monitor_->pid(), "#32768", nullptr, 5000);
  ASSERT_NE(menu, nullptr);
  for (WPARAM k : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageA(menu, WM_KEYDOWN, k, 0);  // 退出
  EXPECT_EQ(twtest::ExitCode(*monitor_, 5000), 0u);
  EXPECT_EQ(folder_.Calls().back().message, DWORD(NIM_DELETE));
}

// Objects of other kinds that hold the mappings' names, so that traywatch cannot create them.
class NameTaken {
 public:
  explicit NameTaken(const char *name) : event_(CreateEventA(nullptr, TRUE, FALSE, name)) {}
  ~NameTaken() { CloseHandle(event_); }
  bool Ready() const { return event_ != nullptr; }

 private:
  HANDLE event_;
};

// Without ZVSM2KEY nothing is bound: no library loaded, no PIN mapping, no icon.
TEST_F(MonitorKeyTest, WithoutTheKeyMappingItStaysInert) {
  NameTaken key_cache("ZVSM2KEY");
  ASSERT_TRUE(key_cache.Ready());
  Start();
  ExpectNoMoreCalls();
  EXPECT_FALSE(twtest::HasModule(monitor_->pid(), "devnotify.dll"));
  EXPECT_FALSE(twtest::HasModule(monitor_->pid(), "cardcmd.dll"));
  HANDLE pin_cache = OpenFileMappingA(FILE_MAP_READ, FALSE, "ZVSM2PIN");
  EXPECT_EQ(pin_cache, nullptr);
  if (pin_cache) CloseHandle(pin_cache);
}

// Without ZVSM2PIN there is no icon, but keys are still handled.
TEST_F(MonitorKeyTest, WithoutThePinMappingKeysAreHandledWithoutAnIcon) {
  NameTaken pin_cache("ZVSM2PIN");
  ASSERT_TRUE(pin_cache.Ready());
  Start();
  ExpectNoMoreCalls();
  EXPECT_TRUE(twtest::HasModule(monitor_->pid(), "devnotify.dll"));
  EXPECT_TRUE(twtest::HasModule(monitor_->pid(), "cardcmd.dll"));
  const std::string key = NewKey(true);
  ExpectBalloon(Next(2), "USBKey已经插入。\n有4张证书导入到IE中。");
  ExpectNoMoreCalls();
  ExpectInStore(key, true);
}

}  // namespace
