// readerio's PC/SC backend: pcscd with the vpcd driver, keysimd attached to vpcd as a virtual
// card. The test starts pcscd itself (when none runs) and needs root for it, as CI has.
// Skipped only when pcscd or the vpcd driver is not installed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "daemon_harness.h"
#include "readerio.h"

using namespace riotest;
using keysim::proto::Op;

namespace {

constexpr const char *kPcscd = "/usr/sbin/pcscd";
constexpr const char *kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";

bool exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// The first listed reader that is not a virtual key of the keysim backend.
std::string pcsc_reader() {
  uint32_t n = 0;
  char **list = QX_GetReaderList(&n, 0);
  std::string found;
  for (uint32_t i = 0; i < n; ++i)
    if (std::strncmp(list[i], "KeySim ", 7) != 0 && found.empty()) found = list[i];
  QX_DestroyReaderList(list);
  return found;
}

class Pcsc : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!exists(kPcscd) || !exists(kVpcdDriver)) GTEST_SKIP() << "pcscd or vpcd not installed";
    ASSERT_EQ(geteuid(), 0u) << "starting pcscd needs root";
    if (!exists("/run/pcscd/pcscd.comm")) {
      pcscd = fork();
      ASSERT_GE(pcscd, 0);
      if (pcscd == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execl(kPcscd, kPcscd, "--foreground", "--error", nullptr);
        _exit(127);
      }
    }
    dir = make_temp_dir();
    uint32_t serial = 424242;
    ASSERT_TRUE(start_daemon(key_daemon, dir));
    ASSERT_EQ(control(key_daemon.addr, Op::create, {"vcard"}, &serial), 0);
    ASSERT_TRUE(stop_daemon(key_daemon));
    ASSERT_TRUE(start_daemon(key_daemon, dir, {"--vpcd", "vcard"}));
    set_addr_env(key_daemon.addr);
  }
  void TearDown() override {
    if (key_daemon.pid) stop_daemon(key_daemon);
    remove_dir(dir);
    if (pcscd > 0) {
      kill(pcscd, SIGTERM);
      waitpid(pcscd, nullptr, 0);
    }
  }
  Daemon key_daemon;
  std::string dir;
  pid_t pcscd = 0;
};

TEST_F(Pcsc, ListsTheVpcdCardBesideTheVirtualKeyAndExchanges) {
  std::string reader;
  for (int i = 0; i < 200 && reader.empty(); ++i) {
    reader = pcsc_reader();
    if (reader.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(reader.empty()) << "vpcd reader never showed a card";

  QX_DEVHANDLE h = nullptr;
  ASSERT_EQ(QX_OpenPath(reader.c_str(), &h), READERIO_SW_OK) << reader;
  uint8_t atr[READERIO_ATR_MAX];
  uint16_t atr_len = 0;
  ASSERT_EQ(QX_ResetCard(h, atr, &atr_len, 0), READERIO_SW_OK);
  EXPECT_GE(atr_len, 2);

  const uint8_t get_challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  uint8_t resp[300];
  uint16_t len = 0;
  EXPECT_EQ(QX_ApduT0(h, get_challenge, sizeof get_challenge, resp, &len, 1), READERIO_SW_OK);
  EXPECT_EQ(len, 8);
  const uint8_t unknown[] = {0x00, 0xFE, 0x00, 0x00};
  uint32_t sw = QX_ApduT0(h, unknown, sizeof unknown, resp, &len, 1);
  EXPECT_NE(sw, READERIO_SW_OK);
  EXPECT_NE(sw >> 8, 0xFFu);

  char text[65];
  ASSERT_EQ(QX_GetDescriptor(h, text), READERIO_SW_OK);
  EXPECT_GT(std::strlen(text), 10u);
  QX_READER_INFO info{};
  info.cbSize = sizeof info;
  ASSERT_EQ(QX_GetReaderInfo(h, &info), READERIO_SW_OK);
  EXPECT_GE(info.dwMaxDataLength, 261u);
  EXPECT_STREQ(info.szBackend, "PCSC");

  // One list call shows both backends.
  uint32_t n = 0;
  char **list = QX_GetReaderList(&n, 0);
  bool virtual_listed = false;
  for (uint32_t i = 0; i < n; ++i) virtual_listed |= std::strcmp(list[i], "KeySim vcard") == 0;
  QX_DestroyReaderList(list);
  EXPECT_TRUE(virtual_listed);
  EXPECT_EQ(QX_ClosePort(h), READERIO_SW_OK);

  // Removing the key takes the card out of the vpcd reader.
  ASSERT_EQ(control(key_daemon.addr, Op::remove, {"vcard"}), 0);
  for (int i = 0; i < 200 && !pcsc_reader().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(pcsc_reader(), "");
}

}  // namespace
