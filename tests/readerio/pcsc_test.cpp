// readerio's PC/SC backend: pcscd with the vpcd driver, keysimd attached to vpcd as a virtual
// card, in namespaces of the test program's own (pcsc_harness.h). Skipped only when pcscd or
// the vpcd driver is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "pcsc_harness.h"
#include "readerio.h"

using namespace riotest;
using keysim::proto::Op;

namespace {

class Pcsc : public ::testing::Test {
 protected:
  void SetUp() override {
    bool installed = false;
    const std::string why = private_pcscd(installed);
    if (!installed) GTEST_SKIP() << why;
    ASSERT_EQ(why, "");
    ASSERT_TRUE(key.start(424242, false));
    set_addr_env(key.addr());
  }
  VpcdKey key;
};

TEST_F(Pcsc, ListsTheVpcdCardBesideTheVirtualKeyAndExchanges) {
  const std::string reader = wait_for_pcsc_card();
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

  // The descriptor: the reader name, a NUL, then the card's own six bytes from its
  // answer-to-reset (serial 424242 = 00067932 least significant byte first, 10 01).
  char text[65];
  ASSERT_EQ(QX_GetDescriptor(h, text), READERIO_SW_OK);
  std::string name_hex;
  for (unsigned char c : reader) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", c);
    name_hex += two;
  }
  EXPECT_EQ(std::string(text), name_hex + "00" + "327906001001");
  QX_READER_INFO info{};
  info.cbSize = sizeof info;
  ASSERT_EQ(QX_GetReaderInfo(h, &info), READERIO_SW_OK);
  EXPECT_GE(info.dwMaxDataLength, 261u);
  EXPECT_STREQ(info.szBackend, "PCSC");

  // One list call shows both backends.
  uint32_t n = 0;
  char **list = QX_GetReaderList(&n, 0);
  bool virtual_listed = false;
  for (uint32_t i = 0; i < n; ++i) virtual_listed |= list[i] == reader_of(VpcdKey::kName);
  QX_DestroyReaderList(list);
  EXPECT_TRUE(virtual_listed);
  EXPECT_EQ(QX_ClosePort(h), READERIO_SW_OK);

  // Removing the key takes the card out of the vpcd reader.
  ASSERT_EQ(control(key.addr(), Op::remove, {VpcdKey::kName}), 0);
  EXPECT_TRUE(wait_for_no_pcsc_card());
}

}  // namespace
