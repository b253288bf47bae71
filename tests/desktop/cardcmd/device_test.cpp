// Device operations: indexes in readerio's order, the serial, reset and close.
#include <cstdio>
#include <cstring>
#include <map>

#include "cardcmd_fixture.h"
#include "readerio.h"

namespace {

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%08u", static_cast<unsigned>(serial));
  return text;
}

}  // namespace

// Indexes 0..3 name the readers with a key in readerio's order; a fifth key has no index.
TEST_F(CardCmdTest, DeviceIndexesFollowTheReaderList) {
  std::map<std::string, std::uint32_t> serial_of;
  for (std::uint32_t i = 0; i < 5; ++i) {
    const std::uint32_t serial = 11110001 + 1010 * i;
    serial_of[vkey::ReaderOf(NewKey(false, serial))] = serial;
  }
  std::uint32_t count = 0;
  char **list = ::QX_GetReaderList(&count, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(count, 5u);
  for (std::int32_t i = 0; i < 4; ++i) {
    const std::int32_t card = Open(i);
    ASSERT_GT(card, 0) << "index " << i;
    const std::string expected = SerialText(serial_of.at(list[i]));
    char text[64];
    std::memset(text, 0x5A, sizeof text);
    ASSERT_EQ(api_.QX_GET_SN(card, text), 0);
    EXPECT_EQ(std::string(text), expected) << "index " << i;
    EXPECT_EQ(text[9], 0x5A) << "nothing past the serial text";
    std::uint8_t bcd[64] = {};
    ASSERT_EQ(api_.QX_GET_BCDSN(card, bcd), 0);
    for (std::size_t b = 0; b < 4; ++b) {
      EXPECT_EQ(bcd[b], (expected[2 * b] - '0') << 4 | (expected[2 * b + 1] - '0')) << b;
    }
  }
  ::QX_DestroyReaderList(list);
  EXPECT_EQ(api_.QX_Open(4), 0) << "device indexes end at 3";
  EXPECT_EQ(api_.QX_Open(-1), 0);
}

TEST_F(CardCmdTest, NoKeyAtAnIndexGivesNoHandle) {
  EXPECT_EQ(api_.QX_Open(0), 0);
  const std::string key = NewKey(false);
  EXPECT_EQ(api_.QX_Open(1), 0);
  ASSERT_TRUE(vkey::Remove(key));
  EXPECT_EQ(api_.QX_Open(0), 0);
}

// A closed handle addresses nothing, even once its slot serves another key.
TEST_F(CardCmdTest, ClosedHandlesAreRefused) {
  NewKey(false);
  const std::int32_t card = api_.QX_Open(0);
  ASSERT_GT(card, 0);
  ASSERT_EQ(api_.QX_Close(card), 0);
  EXPECT_EQ(api_.QX_Close(card), -1);
  const std::int32_t again = Open(0);
  ASSERT_GT(again, 0);
  EXPECT_NE(again, card);
  std::uint16_t sw = 0;
  EXPECT_EQ(api_.Select_File(card, 0, 0, 0, nullptr, &sw), -1);
  char serial[64] = {};
  EXPECT_LT(api_.QX_GET_SN(card, serial), 0);
  EXPECT_LT(api_.QX_GET_SN(0, serial), 0);
  EXPECT_EQ(api_.Select_File(again, 0, 0, 0, nullptr, &sw), 0);
  EXPECT_EQ(sw, kSwOk);
}

TEST_F(CardCmdTest, ResetAnswersAndSelectsTheMasterFile) {
  const std::string key = NewKey(true);
  const std::int32_t card = OpenApplication(0);
  ASSERT_GT(card, 0);
  std::uint8_t atr[80];
  std::memset(atr, 0, sizeof atr);
  ASSERT_EQ(api_.QX_IC_RESET(card, atr), 0);
  EXPECT_NE(atr[0], 0) << "an answer-to-reset";
  // After the reset no application is selected: the PIN operation refuses without a command.
  const std::uint64_t verifies = vkey::Commands(key, 0x00, 0x20);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card, "12345678", 8), -1000);
  EXPECT_EQ(vkey::Commands(key, 0x00, 0x20), verifies);
  ASSERT_TRUE(vkey::Remove(key));
  EXPECT_LT(api_.QX_IC_RESET(card, atr), 0) << "the key has gone";
}
