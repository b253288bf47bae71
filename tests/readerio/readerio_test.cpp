// readerio's virtual-key backend against keysimd: the ten operations, their errors, removal,
// faults and concurrent use. Runs natively and under Wine (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "daemon_harness.h"
#include "readerio.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace riotest;
using keysim::proto::Op;

namespace {

// Reader names as listed, checking the slot layout on the way.
std::vector<std::string> listed() {
  uint32_t count = 12345;
  char **list = QX_GetReaderList(&count, 0);
  std::vector<std::string> names;
  if (!list) {
    EXPECT_EQ(count, 0u);
    return names;
  }
  EXPECT_GT(count, 0u);
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(list[i], list[0] + READERIO_NAME_SLOT * i);
    EXPECT_LT(strnlen(list[i], READERIO_NAME_SLOT), size_t(READERIO_NAME_SLOT));
    names.emplace_back(list[i]);
  }
  QX_DestroyReaderList(list);
  return names;
}

bool is_listed(const std::string &reader) {
  auto names = listed();
  return std::find(names.begin(), names.end(), reader) != names.end();
}

uint32_t apdu(QX_DEVHANDLE h, std::vector<uint8_t> cmd, std::vector<uint8_t> *out = nullptr) {
  std::vector<uint8_t> resp(65538, 0xEE);
  uint16_t len = 0xBEEF;
  uint32_t sw = QX_ApduT0(h, cmd.data(), uint32_t(cmd.size()), resp.data(), &len, 1);
  if (out) out->assign(resp.begin(), resp.begin() + (sw >> 8 == 0xFF ? 0 : len));
  return sw;
}

const std::vector<uint8_t> kChallenge8 = {0x00, 0x84, 0x00, 0x00, 0x08};

class Readerio : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(shared_daemon(daemon)) << "no keysimd (native: start failed; Windows: "
                                          "KEYSIM_PORT_FILE not set or unreadable)";
    set_addr_env(daemon.addr);
  }

  // A new blank key, inserted.
  std::string new_key(uint32_t serial = 1) {
    std::string name = fresh_key_name("k");
    EXPECT_EQ(control(daemon.addr, Op::create, {name}, &serial), 0) << name;
    return name;
  }

  QX_DEVHANDLE open(const std::string &key) {
    QX_DEVHANDLE h = nullptr;
    EXPECT_EQ(QX_OpenPath(reader_of(key).c_str(), &h), READERIO_SW_OK) << key;
    EXPECT_NE(h, nullptr);
    return h;
  }

  uint8_t knob(const std::string &key, const char *name, const char *value) {
    return control(daemon.addr, Op::knob, {key, name, value});
  }

  static inline Daemon daemon;
};

TEST(ReaderioExports, AllTenResolveByUndecoratedName) {
  const char *names[] = {"QX_GetReaderList", "QX_DestroyReaderList", "QX_ResetCard",
                         "QX_GetDescriptor", "QX_OpenPort",          "QX_ClosePort",
                         "QX_ApduT0",        "QX_GetDeviceName",     "QX_OpenPath",
                         "QX_GetReaderInfo"};
#ifdef _WIN32
  HMODULE m = LoadLibraryA("readerio.dll");
  ASSERT_NE(m, nullptr);
  auto find = [&](const char *n) { return reinterpret_cast<void *>(GetProcAddress(m, n)); };
#else
  void *m = dlopen(READERIO_PATH, RTLD_NOW);
  ASSERT_NE(m, nullptr) << dlerror();
  auto find = [&](const char *n) { return dlsym(m, n); };
#endif
  for (const char *n : names) EXPECT_NE(find(n), nullptr) << n;
  // Called through the bound address with the header's convention, as a binder would.
  auto apdu_fn = reinterpret_cast<decltype(&QX_ApduT0)>(find("QX_ApduT0"));
  auto info_fn = reinterpret_cast<decltype(&QX_GetReaderInfo)>(find("QX_GetReaderInfo"));
  ASSERT_TRUE(apdu_fn && info_fn);
  uint16_t len = 0;
  EXPECT_EQ(apdu_fn(nullptr, nullptr, 5, nullptr, &len, 1), READERIO_SW_BAD_ARGS);
  QX_READER_INFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(info_fn(nullptr, &info), READERIO_SW_BAD_HANDLE);
  EXPECT_EQ(QX_OpenPort(), READERIO_SW_UNSUPPORTED);
  EXPECT_EQ(QX_GetDeviceName(), READERIO_SW_UNSUPPORTED);
}

TEST_F(Readerio, NoVirtualReadersWithoutAReachableDaemon) {
  std::string key = new_key();
  ASSERT_TRUE(is_listed(reader_of(key)));
  for (const char *addr : {"", "127.0.0.1:1", "no-port", "127.0.0.1:99999"}) {
    set_addr_env(addr);
    for (auto &n : listed()) EXPECT_NE(n.rfind("KeySim ", 0), 0u) << addr << ": " << n;
    QX_DEVHANDLE h = reinterpret_cast<QX_DEVHANDLE>(1);
    EXPECT_NE(QX_OpenPath(reader_of(key).c_str(), &h), READERIO_SW_OK) << addr;
    EXPECT_EQ(h, nullptr);
  }
  set_addr_env(daemon.addr);
  EXPECT_EQ(QX_GetReaderList(nullptr, 0), nullptr);
  EXPECT_EQ(QX_DestroyReaderList(nullptr), READERIO_SW_OK);
}

TEST_F(Readerio, ListsEveryInsertedKeyInItsOwnSlot) {
  std::string a = new_key(), b = new_key();
  auto names = listed();
  EXPECT_NE(std::find(names.begin(), names.end(), reader_of(a)), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), reader_of(b)), names.end());
}

TEST_F(Readerio, OpenResetExchangeDescriptorAndReaderInfo) {
  std::string key = new_key(12345678);
  QX_DEVHANDLE h = open(key);

  uint8_t atr[READERIO_ATR_MAX + 8];
  std::memset(atr, 0xEE, sizeof atr);
  uint16_t atr_len = 0;
  ASSERT_EQ(QX_ResetCard(h, atr, &atr_len, 0), READERIO_SW_OK);
  EXPECT_GE(atr_len, 2);
  EXPECT_LE(atr_len, READERIO_ATR_MAX);
  EXPECT_EQ(atr[READERIO_ATR_MAX], 0xEE);

  std::vector<uint8_t> c1, c2;
  EXPECT_EQ(apdu(h, kChallenge8, &c1), READERIO_SW_OK);
  EXPECT_EQ(apdu(h, kChallenge8, &c2), READERIO_SW_OK);
  EXPECT_EQ(c1.size(), 8u);
  EXPECT_NE(c1, c2);

  // Descriptor: upper-case hex of a name, a NUL and the serial least significant byte first.
  char text[80];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(QX_GetDescriptor(h, text), READERIO_SW_OK);
  size_t n = strnlen(text, sizeof text);
  ASSERT_LE(n, size_t(READERIO_DESCRIPTOR_MAX));
  ASSERT_EQ(n % 2, 0u);
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < n; i += 2) {
    ASSERT_TRUE(std::isxdigit(text[i]) && !std::islower(text[i])) << text;
    bytes.push_back(uint8_t(std::stoi(std::string(text + i, 2), nullptr, 16)));
  }
  auto nul = std::find(bytes.begin(), bytes.end(), 0);
  ASSERT_GE(bytes.end() - nul, 5);
  EXPECT_EQ(std::vector<uint8_t>(nul + 1, nul + 5), (std::vector<uint8_t>{0x4E, 0x61, 0xBC, 0x00}));

  // Reader information: M from the key's knob at byte 344, nothing past cbSize.
  ASSERT_EQ(knob(key, "max_data", "2048"), 0);
  uint8_t rec[600];
  std::memset(rec, 0xAA, sizeof rec);
  uint32_t size = 512, m = 134;
  std::memcpy(rec, &size, 4);
  std::memcpy(rec + 344, &m, 4);
  ASSERT_EQ(QX_GetReaderInfo(h, reinterpret_cast<QX_READER_INFO *>(rec)), READERIO_SW_OK);
  std::memcpy(&m, rec + 344, 4);
  EXPECT_EQ(m, 2048u);
  EXPECT_STREQ(reinterpret_cast<char *>(rec + 4), reader_of(key).c_str());
  EXPECT_EQ(rec[512], 0xAA);

  EXPECT_EQ(QX_ClosePort(h), READERIO_SW_OK);
  EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_BAD_HANDLE);  // closed handles are refused
  EXPECT_EQ(QX_ClosePort(h), READERIO_SW_BAD_HANDLE);
}

TEST_F(Readerio, PassesTheCardsStatusWordThrough) {
  std::string key = new_key();
  QX_DEVHANDLE h = open(key);
  std::vector<uint8_t> out;
  uint32_t sw = apdu(h, {0x00, 0xFE, 0x00, 0x00}, &out);  // no such instruction
  EXPECT_NE(sw, READERIO_SW_OK);
  EXPECT_NE(sw >> 8, 0xFFu);
  EXPECT_TRUE(out.empty());
  ASSERT_EQ(knob(key, "fault_sw", "1:6A82"), 0);
  EXPECT_EQ(apdu(h, kChallenge8), 0x6A82u);
  EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_OK);
  QX_ClosePort(h);
}

TEST_F(Readerio, RefusesBadArgumentsWithoutWriting) {
  std::string key = new_key();
  QX_DEVHANDLE h = open(key);
  uint8_t cmd[8] = {0x00, 0x84, 0x00, 0x00, 0x08}, resp[16];
  uint16_t len = 7;
  struct Case {
    const char *what;
    uint32_t got, want;
  } cases[] = {
      {"null command", QX_ApduT0(h, nullptr, 5, resp, &len, 1), READERIO_SW_BAD_ARGS},
      {"null response", QX_ApduT0(h, cmd, 5, nullptr, &len, 1), READERIO_SW_BAD_ARGS},
      {"null length", QX_ApduT0(h, cmd, 5, resp, nullptr, 1), READERIO_SW_BAD_ARGS},
      {"3-byte command", QX_ApduT0(h, cmd, 3, resp, &len, 1), READERIO_SW_BAD_ARGS},
      {"oversized command", QX_ApduT0(h, cmd, READERIO_MAX_COMMAND + 1, resp, &len, 1),
       READERIO_SW_BAD_ARGS},
      {"null handle", QX_ApduT0(nullptr, cmd, 5, resp, &len, 1), READERIO_SW_BAD_HANDLE},
      {"made-up handle", QX_ApduT0(reinterpret_cast<QX_DEVHANDLE>(0x1234), cmd, 5, resp, &len, 1),
       READERIO_SW_BAD_HANDLE},
      {"reset null buffer", QX_ResetCard(h, nullptr, &len, 0), READERIO_SW_BAD_ARGS},
      {"reset null length", QX_ResetCard(h, resp, nullptr, 0), READERIO_SW_BAD_ARGS},
      {"descriptor null", QX_GetDescriptor(h, nullptr), READERIO_SW_BAD_ARGS},
      {"info null", QX_GetReaderInfo(h, nullptr), READERIO_SW_BAD_ARGS},
      {"open null name", QX_OpenPath(nullptr, &h), READERIO_SW_BAD_ARGS},
      {"open null out", QX_OpenPath(reader_of(key).c_str(), nullptr), READERIO_SW_BAD_ARGS},
      {"close made-up", QX_ClosePort(reinterpret_cast<QX_DEVHANDLE>(0x1234)),
       READERIO_SW_BAD_HANDLE},
  };
  for (auto &c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_EQ(len, 7);

  // A record too small to hold M is refused and left as it was.
  uint8_t rec[512];
  std::memset(rec, 0xAA, sizeof rec);
  uint32_t small = 347;
  std::memcpy(rec, &small, 4);
  EXPECT_EQ(QX_GetReaderInfo(h, reinterpret_cast<QX_READER_INFO *>(rec)), READERIO_SW_BAD_ARGS);
  EXPECT_TRUE(std::all_of(rec + 4, rec + sizeof rec, [](uint8_t b) { return b == 0xAA; }));

  QX_DEVHANDLE none = reinterpret_cast<QX_DEVHANDLE>(1);
  EXPECT_NE(QX_OpenPath((reader_of(key) + "-nosuch").c_str(), &none), READERIO_SW_OK);
  EXPECT_EQ(none, nullptr);
  QX_ClosePort(h);
}

TEST_F(Readerio, RemovedKeyLeavesTheListAndItsHandlesFail) {
  std::string key = new_key();
  QX_DEVHANDLE before = open(key);
  ASSERT_EQ(control(daemon.addr, Op::remove, {key}), 0);
  EXPECT_FALSE(is_listed(reader_of(key)));
  EXPECT_EQ(apdu(before, kChallenge8), READERIO_SW_REMOVED);
  QX_DEVHANDLE h = reinterpret_cast<QX_DEVHANDLE>(1);
  EXPECT_NE(QX_OpenPath(reader_of(key).c_str(), &h), READERIO_SW_OK);

  ASSERT_EQ(control(daemon.addr, Op::insert, {key}), 0);
  EXPECT_TRUE(is_listed(reader_of(key)));
  EXPECT_EQ(apdu(before, kChallenge8), READERIO_SW_REMOVED);  // a re-insertion is a new key
  QX_DEVHANDLE after = open(key);
  EXPECT_EQ(apdu(after, kChallenge8), READERIO_SW_OK);
  QX_ClosePort(before);
  QX_ClosePort(after);
}

TEST_F(Readerio, InjectedFaultsReachTheCaller) {
  std::string key = new_key();
  QX_DEVHANDLE h = open(key);
  ASSERT_EQ(knob(key, "fault_reader", "2"), 0);
  EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_OK);
  EXPECT_EQ(apdu(h, kChallenge8) >> 8, 0xFFu);  // reader failure at the 2nd command
  EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_OK);

  ASSERT_EQ(knob(key, "remove_at", "1"), 0);
  EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_REMOVED);
  EXPECT_FALSE(is_listed(reader_of(key)));
  QX_ClosePort(h);
}

TEST_F(Readerio, AnswerDelaySlowsThatKeyAlone) {
  std::string slow = new_key(), fast = new_key();
  for (const char *bad : {"", "-1", "60001", "5ms"}) {
    EXPECT_NE(knob(slow, "answer_delay", bad), 0) << bad;
  }
  ASSERT_EQ(knob(slow, "answer_delay", "300"), 0);
  QX_DEVHANDLE s = open(slow), f = open(fast);
  auto ms_of = [](QX_DEVHANDLE h) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(apdu(h, kChallenge8), READERIO_SW_OK);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  EXPECT_GE(ms_of(s), 300);
  EXPECT_LT(ms_of(f), 300);
  ASSERT_EQ(knob(slow, "answer_delay", "off"), 0);
  EXPECT_LT(ms_of(s), 300);
  QX_ClosePort(s);
  QX_ClosePort(f);
}

TEST_F(Readerio, ThreadsListOpenAndExchangeAtOnce) {
  std::string key = new_key();
  QX_DEVHANDLE shared = open(key);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        if (!is_listed(reader_of(key))) ++failures;
        QX_DEVHANDLE h = shared;
        if (t % 2) {
          h = nullptr;
          if (QX_OpenPath(reader_of(key).c_str(), &h) != READERIO_SW_OK) ++failures;
        }
        std::vector<uint8_t> out;
        if (apdu(h, kChallenge8, &out) != READERIO_SW_OK || out.size() != 8) ++failures;
        if (h != shared) QX_ClosePort(h);
      }
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(failures, 0);
  QX_ClosePort(shared);
}

}  // namespace
