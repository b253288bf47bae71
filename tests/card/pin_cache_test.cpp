// The shared PIN cache: present with a PIN, present and empty, absent, and texts that do not
// fit; a verified PIN lands in it.
#include <cstring>
#include <string>

#include "card_fixture.h"
#include "pin_mapping.h"
#include "skf/card/pin_cache.h"
#include "skf/card/user_pin.h"

namespace {

TEST(PinCacheTest, AbsentMappingReadsAndWritesNothing) {
  PinMapping::RemoveAny();
  char pin[kPinTextSize] = "unchanged";
  EXPECT_EQ(GetPin_FromMap(pin), -2);
  EXPECT_STREQ(pin, "unchanged");
  EXPECT_EQ(SetPin_ToMap("1234"), -1);
}

TEST(PinCacheTest, TextAtOffsetZeroBoundedTo16Characters) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  char pin[kPinTextSize + 8];
  std::memset(pin, '#', sizeof pin);
  EXPECT_EQ(GetPin_FromMap(pin), -1) << "empty";

  ASSERT_EQ(SetPin_ToMap("123456"), 0);
  EXPECT_STREQ(mapping.Text(), "123456");
  ASSERT_EQ(GetPin_FromMap(pin), 0);
  EXPECT_STREQ(pin, "123456");

  std::memset(mapping.Text(), 'x', 64);
  ASSERT_EQ(SetPin_ToMap("0123456789abcdefTAIL"), 0);
  EXPECT_EQ(std::string(mapping.Text()), "0123456789abcdef");
  EXPECT_EQ(mapping.Text()[17], 'x') << "no more than 17 bytes written";
  std::memset(pin, '#', sizeof pin);
  ASSERT_EQ(GetPin_FromMap(pin), 0);
  EXPECT_STREQ(pin, "0123456789abcdef");
  EXPECT_EQ(pin[kPinTextSize], '#');

  // A text of 17 or more characters is refused, and nothing is copied.
  std::memset(mapping.Text(), 'y', 40);
  mapping.Text()[40] = 0;
  std::memset(pin, '#', sizeof pin);
  EXPECT_EQ(GetPin_FromMap(pin), -1);
  EXPECT_EQ(pin[0], '#');
}

using VerifiedPinCacheTest = CardTest;

TEST_F(VerifiedPinCacheTest, OnlyAVerifiedPinIsWritten) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  Answer("00 01");
  Answer("", 0x63C2);
  EXPECT_EQ(QX_VerifyUserPin(device_, "1111", 4), 2);
  EXPECT_STREQ(mapping.Text(), "");
  Answer("00 01");
  EXPECT_EQ(QX_VerifyUserPin(device_, "1234", 4), 0);
  EXPECT_STREQ(mapping.Text(), "1234");
  Answer("00 01");
  std::uint32_t retries = 0;
  EXPECT_EQ(QX_ChangeUserPin(device_, "1234", "5678", &retries), 0);
  EXPECT_STREQ(mapping.Text(), "1234") << "a change leaves the cache alone";
}

}  // namespace
