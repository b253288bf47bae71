// PIN, administrator key, format and application creation against the virtual key, and what
// the card holds afterwards, read back through readerio.
#include <cstring>
#include <string>

#include "pin_fixture.h"
#include "skf/card/admin_pin.h"
#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/format.h"
#include "skf/card/pin_result.h"
#include "skf/card/user_pin.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t I32(const Bytes &b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class UserPinTest : public PinKeyTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(UserPinTest, VerifyAndChange) {
  FormatWithApplication();
  Knob("pin_mode", GetParam());
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), 0);
  EXPECT_EQ(QX_VerifyUserPin(device_, "654321", 6), 2);
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), 0) << "success resets the counter";

  std::uint32_t retries = 99;
  EXPECT_EQ(QX_ChangeUserPin(device_, "000000", "654321", &retries), -1);
  EXPECT_EQ(retries, 2u);
  const char *long_pin = "0123456789abcdef";
  ASSERT_EQ(QX_ChangeUserPin(device_, kUserPin, long_pin, &retries), 0);
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), 2);
  EXPECT_EQ(QX_VerifyUserPin(device_, "0123456789abcdef and more", 25), 0)
      << "only 16 characters take part";
  ASSERT_EQ(QX_ChangeUserPin(device_, long_pin, "abcd", &retries), 0);
  EXPECT_EQ(QX_VerifyUserPin(device_, "abcd", 4), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, UserPinTest, ::testing::Values("plain", "protected"));

TEST_F(PinKeyTest, WrongPinsCountDownToBlocked) {
  FormatWithApplication();
  Knob("pin_mode", "protected");
  EXPECT_EQ(QX_VerifyUserPin(device_, "000000", 6), 2);
  EXPECT_EQ(QX_VerifyUserPin(device_, "000000", 6), 1);
  EXPECT_EQ(QX_VerifyUserPin(device_, "000000", 6), kPinBlocked);  // 63C0
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), kPinBlocked);  // 6983
  std::uint32_t retries = 99;
  EXPECT_EQ(QX_ChangeUserPin(device_, kUserPin, "654321", &retries), -1);
  EXPECT_EQ(retries, 0u);

  // The administrator unblocks it with a new PIN.
  EXPECT_EQ(QX_UnblockUserPin(device_, "wrong admin", "777777", &retries), -1);
  EXPECT_EQ(retries, kAdminRetries - 1);
  ASSERT_EQ(QX_UnblockUserPin(device_, kAdminPin, "777777", &retries), 0);
  EXPECT_EQ(QX_VerifyUserPin(device_, "777777", 6), 0);
}

TEST_F(PinKeyTest, StatusWordsOfThePinCommands) {
  FormatWithApplication();
  Knob("pin_mode", "plain");
  const struct {
    std::uint16_t sw;
    int result;
  } cases[] = {{0x63C3, 3},
               {0x63C0, kPinBlocked},
               {0x6983, kPinBlocked},
               {0x9303, kPinBlocked},
               {0x6A82, kPinFailed}};
  for (const auto &c : cases) {
    FailCommand(2, c.sw);  // the VERIFY after the PIN mode
    EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), c.result) << std::hex << c.sw;
    FailCommand(2, c.sw);  // the key update after the challenge
    std::uint32_t retries = 99;
    EXPECT_EQ(QX_VerifyAdminPin(device_, kAdminPin, &retries), c.result) << std::hex << c.sw;
    EXPECT_EQ(retries, c.result > 0 ? 3u : c.result == kPinBlocked ? 0u : 99u);
  }
  Knob("fault_reader", "2");
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), kPinFailed);
  EXPECT_EQ(QX_VerifyUserPin(device_, kUserPin, 6), 0) << "the card itself is untouched";
}

TEST_F(PinKeyTest, AdministratorVerifyChangeAndCount) {
  FormatWithApplication();
  std::uint32_t retries = 99;
  EXPECT_EQ(QX_VerifyAdminPin(device_, kAdminPin, &retries), 0);
  EXPECT_EQ(retries, 99u);
  EXPECT_EQ(QX_VerifyAdminPin(device_, "admin", &retries), 4);
  EXPECT_EQ(retries, 4u);
  EXPECT_EQ(QX_ChangeAdminPin(device_, "admin", "0123456789abcdef", &retries), 3);
  ASSERT_EQ(QX_ChangeAdminPin(device_, kAdminPin, "0123456789abcdef", &retries), 0);
  EXPECT_EQ(QX_VerifyAdminPin(device_, kAdminPin, &retries), 4);
  EXPECT_EQ(QX_VerifyAdminPin(device_, "0123456789abcdefXX", &retries), 0);
  // The unblock key follows the changed administrator PIN.
  EXPECT_EQ(QX_UnblockUserPin(device_, "0123456789abcdef", "246810", &retries), 0);
  EXPECT_EQ(QX_VerifyUserPin(device_, "246810", 6), 0);
}

TEST_F(PinKeyTest, FormattedBlankKeyReadsBack) {
  NewKey();
  ASSERT_EQ(QX_FormatCard(device_, kDeviceKey), 0);
  std::uint32_t length = 0;
  const Bytes directory = ReadDirectoryFile(0, 0xEF01, &length);
  ASSERT_EQ(length, 1156u);
  EXPECT_EQ(std::string(directory.begin(), directory.begin() + 5), std::string("VARN\0", 5));
  EXPECT_EQ(Bytes(directory.begin() + 4, directory.end()), Bytes(1152, 0));
  std::uint16_t sw = 0;
  for (std::uint16_t id : {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006}) {
    ASSERT_TRUE(SelectPath({}));
    const Bytes fid = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
    EXPECT_EQ(QX_Select(device_, 0x02, 0x00, fid, &sw), 0);
    EXPECT_EQ(sw, kSwOk) << "key file " << id;
  }
}

TEST_F(PinKeyTest, FormatThroughTheFormatKeyWhenTheBuiltInKeyIsRefused) {
  NewKey();
  Knob("builtin_key", "off");
  EXPECT_EQ(QX_FormatCard(device_, kDeviceKey), -1) << "not the key's device key";
  ASSERT_EQ(QX_FormatCard(device_, kFactoryKey), 0);
  std::uint32_t length = 0;
  EXPECT_EQ(ReadDirectoryFile(0, 0xEF01, &length).size(), 1156u);

  // The format installs the first 16 bytes of its key text as the device key.
  Knob("builtin_key", "on");
  ASSERT_EQ(QX_FormatCard(device_, "abcdefghijklmnopQ"), 0);
  Knob("builtin_key", "off");
  ASSERT_TRUE(SelectPath({}));
  EXPECT_EQ(QX_AuthDir(device_), -1);
  EXPECT_EQ(QX_FormatAuth(device_, kFactoryKey), -1);
  EXPECT_EQ(QX_FormatAuth(device_, "abcdefghijklmnop"), 0);
  EXPECT_EQ(QX_FormatCard(device_, "abcdefghijklmnop"), 0);
}

TEST_F(PinKeyTest, ApplicationOnANewAndOnAnExistingDf) {
  FormatWithApplication();
  std::uint32_t length = 0;
  Bytes containers = ReadDirectoryFile(0xAD01, 0xEF01, &length);
  ASSERT_EQ(length, 620u);
  EXPECT_EQ(I32(containers, 0), 0u);
  EXPECT_EQ(I32(containers, 4), kAdminRetries);
  EXPECT_EQ(I32(containers, 8), kAdminRetries);
  EXPECT_EQ(I32(containers, 12), kUserRetries);
  EXPECT_EQ(I32(containers, 16), kUserRetries);
  EXPECT_EQ(Bytes(containers.begin() + 20, containers.end()), Bytes(600, 0));
  const Bytes files = ReadDirectoryFile(0xAD01, 0xEF02, &length);
  EXPECT_EQ(files, Bytes(1040, 0));

  // Spend a user try and change the PIN, then build the same DF again: keys and files anew.
  ASSERT_TRUE(SelectPath({{0x01, 0xAD01}}));
  std::uint32_t retries = 0;
  EXPECT_EQ(QX_VerifyUserPin(device_, "000000", 6), 2);
  ASSERT_EQ(QX_ChangeUserPin(device_, kUserPin, "999999", &retries), 0);
  ASSERT_TRUE(SelectPath({}));
  ASSERT_EQ(QX_AuthDir(device_), 0);
  ASSERT_EQ(QX_CreateApplicationDf(device_, 0xAD01, "other admin", 300, "135790", 10), 0);
  containers = ReadDirectoryFile(0xAD01, 0xEF01, &length);
  ASSERT_EQ(length, 620u);
  EXPECT_EQ(I32(containers, 4), 300u) << "the header keeps the full limit";
  EXPECT_EQ(I32(containers, 16), 10u);
  ASSERT_TRUE(SelectPath({{0x01, 0xAD01}}));
  EXPECT_EQ(QX_VerifyUserPin(device_, "999999", 6), 9);
  EXPECT_EQ(QX_VerifyUserPin(device_, "135790", 6), 0);
  EXPECT_EQ(QX_VerifyAdminPin(device_, "other admin", &retries), 0);

  // A second application beside the first.
  ASSERT_TRUE(SelectPath({}));
  ASSERT_EQ(QX_CreateApplicationDf(device_, 0xAD02, kAdminPin, 2, "222222", 4), 0);
  ASSERT_TRUE(SelectPath({{0x01, 0xAD02}}));
  EXPECT_EQ(QX_VerifyUserPin(device_, "135790", 6), 3);
  EXPECT_EQ(QX_VerifyUserPin(device_, "222222", 6), 0);
}

TEST_F(PinKeyTest, RefusedPinKeyIsReportedApart) {
  NewKey();
  ASSERT_EQ(QX_FormatCard(device_, kDeviceKey), 0);
  ASSERT_TRUE(SelectPath({}));
  // SELECT, CREATE DF, CREATE EF01, 6 writes, CREATE EF02, 10 writes, key file: then the user
  // PIN key is command 22.
  FailCommand(22, 0x6A84);
  EXPECT_EQ(QX_CreateApplicationDf(device_, 0xAD01, kAdminPin, 5, kUserPin, 3), -1000);
  // The DF exists now: SELECT, challenge, authentication, then the preparation fails.
  ASSERT_TRUE(SelectPath({}));
  FailCommand(4, 0x6A84);
  EXPECT_EQ(QX_CreateApplicationDf(device_, 0xAD01, kAdminPin, 5, kUserPin, 3), -1);
}

}  // namespace
