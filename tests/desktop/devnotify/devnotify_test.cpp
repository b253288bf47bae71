// devnotify against virtual keys put into and taken out of their readers through the daemon
// protocol: the records that reach a test window, the stop, and the names it recognises.
#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "../cardcmd/cardcmd_library.h"
#include "devnotify_library.h"
#include "tests/desktop/support/wait.h"
#include "virtual_key.h"

namespace {

constexpr std::size_t kNameOffset = 28;

// One WM_DEVICECHANGE as the window saw it.
struct Seen {
  WPARAM type;
  DWORD size, device_type;
  GUID class_guid;
  std::string name;
  DWORD thread;
  ULONGLONG started, ended;  // ticks around the window's handling
};

std::mutex seen_lock;
std::vector<Seen> seen;
// What the window does inside its handling, besides recording.
std::function<void()> on_device_change;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_DEVICECHANGE) return DefWindowProcA(window, message, wparam, lparam);
  Seen s{wparam, 0, 0, {}, {}, GetCurrentThreadId(), GetTickCount64(), 0};
  const auto *record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A *>(lparam);
  if (record) {
    s.size = record->dbcc_size;
    s.device_type = record->dbcc_devicetype;
    s.class_guid = record->dbcc_classguid;
    const char *name = reinterpret_cast<const char *>(record) + kNameOffset;
    s.name.assign(name, strnlen(name, record->dbcc_size - kNameOffset));
  }
  if (on_device_change) on_device_change();
  s.ended = GetTickCount64();
  const std::lock_guard guard(seen_lock);
  seen.push_back(s);
  return TRUE;
}

std::vector<Seen> Received() {
  const std::lock_guard guard(seen_lock);
  return seen;
}

class DevNotifyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bound_ = BindDevNotify(api_) && BindCardCmd(cardcmd_);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = TestWindowProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "DevNotifyTestWindow";
    RegisterClassA(&window_class);
  }
  void SetUp() override {
    ASSERT_TRUE(bound_) << "devnotify.dll, cardcmd.dll or a name of them is missing";
    ASSERT_TRUE(vkey::Attach()) << "no keysimd";
    window_ = CreateWindowExA(0, "DevNotifyTestWindow", "devnotify test", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    const std::lock_guard guard(seen_lock);
    seen.clear();
  }
  void TearDown() override {
    api_.QX_UnregisterCardNotification();
    on_device_change = nullptr;
    DestroyWindow(window_);
  }
  // A key made and taken out again, ready to arrive.
  static std::string OutOfItsReader(bool provisioned) {
    const std::string key = vkey::CreateKey("dn", provisioned);
    EXPECT_FALSE(key.empty());
    EXPECT_TRUE(vkey::Remove(key));
    return key;
  }
  static bool WaitForCount(std::size_t n, unsigned timeout_ms = 3000) {
    return PumpMessagesUntil([n] { return Received().size() >= n; }, timeout_ms);
  }

  static DevNotify api_;
  static CardCmd cardcmd_;
  static bool bound_;
  HWND window_ = nullptr;
};

DevNotify DevNotifyTest::api_;
CardCmd DevNotifyTest::cardcmd_;
bool DevNotifyTest::bound_ = false;

// GUID_DEVINTERFACE_SMARTCARD_READER.
constexpr GUID kReaderClass = {
    0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

void ExpectRecord(const Seen &s, WPARAM type, const std::string &reader) {
  EXPECT_EQ(s.type, type);
  EXPECT_EQ(s.device_type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
  EXPECT_EQ(s.size, kNameOffset + reader.size() + 1);
  EXPECT_EQ(std::memcmp(&s.class_guid, &kReaderClass, sizeof kReaderClass), 0);
  EXPECT_EQ(s.name, reader);
  EXPECT_EQ(s.thread, GetCurrentThreadId()) << "on the window's own thread";
}

}  // namespace

// An arrival within a second, with a record whose name cardcmd takes; then the removal.
TEST_F(DevNotifyTest, ArrivalAndRemovalReachTheWindow) {
  const std::string key = OutOfItsReader(true);
  const std::string reader = vkey::ReaderOf(key);
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  const ULONGLONG inserted = GetTickCount64();
  ASSERT_TRUE(vkey::Insert(key));
  ASSERT_TRUE(WaitForCount(1));
  auto events = Received();
  ASSERT_EQ(events.size(), 1u);
  ExpectRecord(events[0], DBT_DEVICEARRIVAL, reader);
  EXPECT_LT(events[0].started - inserted, 1500u) << "an arrival is noticed within a second";
  EXPECT_NE(api_.QX_IsQXDevice(events[0].name.c_str()), 0);
  EXPECT_EQ(cardcmd_.QX_AddCertToIE(0, events[0].name.c_str(), 0, 0, 0, 0, 0, nullptr), 4);

  ASSERT_TRUE(vkey::Remove(key));
  ASSERT_TRUE(WaitForCount(2));
  events = Received();
  ASSERT_EQ(events.size(), 2u);
  ExpectRecord(events[1], DBT_DEVICEREMOVECOMPLETE, reader);
  EXPECT_NE(api_.QX_IsQXDevice(events[1].name.c_str()), 0) << "known after it left";
  EXPECT_EQ(cardcmd_.QX_DelCertFrIE(0, events[1].name.c_str(), 0, 0, nullptr), 4);
}

TEST_F(DevNotifyTest, UnregisterStopsTheMessages) {
  const std::string key = OutOfItsReader(false);
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  EXPECT_NE(api_.QX_UnregisterCardNotification(), 0);
  ASSERT_TRUE(vkey::Insert(key));
  PumpMessagesFor(1500);
  EXPECT_TRUE(Received().empty());
  // Registered again, it starts from the keys present then.
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  ASSERT_TRUE(vkey::Remove(key));
  ASSERT_TRUE(WaitForCount(1));
  ExpectRecord(Received()[0], DBT_DEVICEREMOVECOMPLETE, vkey::ReaderOf(key));
  EXPECT_EQ(api_.QX_RegisterCardNotification(nullptr, 0), 0);
}

// Unregistering on the window's thread while a change waits for it: no wait, no message after.
TEST_F(DevNotifyTest, UnregisterWhileAChangeIsUnderway) {
  const std::string key = OutOfItsReader(false);
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  ASSERT_TRUE(vkey::Insert(key));
  Sleep(800);  // the watcher has seen the key; its message waits for this thread
  const ULONGLONG start = GetTickCount64();
  api_.QX_UnregisterCardNotification();
  EXPECT_LT(GetTickCount64() - start, 1000u);
  PumpMessagesFor(1000);
  EXPECT_TRUE(Received().empty());
}

// The window unregisters inside its handling of the first of two arrivals.
TEST_F(DevNotifyTest, UnregisterInsideTheHandler) {
  const std::string a = OutOfItsReader(false), b = OutOfItsReader(false);
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  on_device_change = [] { api_.QX_UnregisterCardNotification(); };
  ASSERT_TRUE(vkey::Insert(a));
  ASSERT_TRUE(vkey::Insert(b));
  ASSERT_TRUE(WaitForCount(1));
  PumpMessagesFor(1000);
  EXPECT_EQ(Received().size(), 1u);
}

// Another thread's unregister waits for a message under way, and none follows it.
TEST_F(DevNotifyTest, UnregisterFromAnotherThread) {
  const std::string a = OutOfItsReader(false), b = OutOfItsReader(false);
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  std::atomic<bool> handling{false};
  on_device_change = [&] {
    handling = true;
    Sleep(500);
  };
  std::atomic<ULONGLONG> unregistered{0};
  std::thread other([&] {
    while (!handling) Sleep(5);
    api_.QX_UnregisterCardNotification();
    unregistered = GetTickCount64();
  });
  ASSERT_TRUE(vkey::Insert(a));
  ASSERT_TRUE(vkey::Insert(b));
  PumpMessagesUntil([&] { return unregistered != 0; }, 5000);
  PumpMessagesFor(1000);
  other.join();
  const auto events = Received();
  ASSERT_GE(events.size(), 1u);
  for (const Seen &s : events) EXPECT_LE(s.ended, unregistered.load());
}

// Unregistered from another thread, the library can be freed at once: the relay that remains
// on the window's thread until it takes messages runs none of its code.
TEST_F(DevNotifyTest, FreedRightAfterAnUnregisterFromAnotherThread) {
  ASSERT_NE(api_.QX_RegisterCardNotification(window_, 0), 0);
  std::thread([] { api_.QX_UnregisterCardNotification(); }).join();
  ASSERT_TRUE(FreeLibrary(api_.module));
  PumpMessagesFor(300);
  ASSERT_TRUE(BindDevNotify(api_));
}

TEST_F(DevNotifyTest, OnlyTheNamesOfKeyReadersAreRecognised) {
  const std::string key = vkey::CreateKey("dn", false);
  const std::string reader = vkey::ReaderOf(key);
  EXPECT_NE(api_.QX_IsQXDevice(reader.c_str()), 0);
  std::string upper = reader;
  for (char &c : upper) c = static_cast<char>(toupper(c));
  const std::string names[] = {
      "\\\\?\\USB#VID_0781&PID_5567#4C530001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
      "",
      "KeySim",
      reader + " ",
      reader.substr(0, reader.size() - 1),
      upper,
      std::string(300, 'K'),
  };
  for (const auto &name : names) EXPECT_EQ(api_.QX_IsQXDevice(name.c_str()), 0) << name;
  EXPECT_EQ(api_.QX_IsQXDevice(nullptr), 0);
}

// Readers with a key in consecutive 260-byte slots from list[0].
TEST_F(DevNotifyTest, ReaderListInSlots) {
  std::int32_t count = -1;
  EXPECT_EQ(api_.QX_GetReaderList(&count, 0), nullptr);
  EXPECT_EQ(count, 0);
  const std::string a = vkey::CreateKey("dn", false), b = vkey::CreateKey("dn", false);
  char **list = api_.QX_GetReaderList(&count, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(count, 2);
  std::set<std::string> names;
  for (std::int32_t i = 0; i < count; ++i) names.insert(list[0] + DEVNOTIFY_NAME_SLOT * i);
  EXPECT_EQ(names, (std::set<std::string>{vkey::ReaderOf(a), vkey::ReaderOf(b)}));
  EXPECT_EQ(api_.QX_DestroyReaderList(list), 0);
  EXPECT_EQ(api_.QX_GetReaderList(nullptr, 0), nullptr);
}
