#include <chrono>
#include <cstring>
#include <string>

#include "card_fixture.h"
#include "skf/card/device.h"

namespace {

using DeviceTest = CardTest;

std::string Joined(const char *names, std::uint32_t length) { return {names, length}; }

TEST_F(DeviceTest, ReaderNamesAreJoinedWithOneNulEach) {
  Fake().SetReaders("A\0BC", 2, 0);
  char names[kReaderListSize];
  std::memset(names, 'x', sizeof names);
  std::uint32_t length = 0;
  ASSERT_EQ(QX_EnumReaderNames(0, names, &length), 0);
  EXPECT_EQ(Joined(names, length), std::string("A\0BC\0", 5));
  EXPECT_EQ(names[5], 'x');

  length = 0;  // length only
  ASSERT_EQ(QX_EnumReaderNames(0, {}, &length), 0);
  EXPECT_EQ(length, 5u);

  char small[4];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(QX_EnumReaderNames(0, small, &length), -1);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(small[0], 'x');
}

TEST_F(DeviceTest, EmptyListsGiveLengthZero) {
  std::uint32_t length = 9;
  Fake().SetReaders(nullptr, 0, 0);  // a list with no entries: a pause, then nothing
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(QX_EnumReaderNames(0, {}, &length), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(75));
  EXPECT_EQ(length, 0u);

  // No list at all: no pause (five calls take less than three pauses would).
  Fake().SetReaders(nullptr, 3, 1);
  const auto again = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) {
    length = 9;
    ASSERT_EQ(QX_EnumReaderNames(0, {}, &length), 0);
    EXPECT_EQ(length, 0u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(240));
}

TEST_F(DeviceTest, ReaderListIsBoundedToWholeNames) {
  const std::string name(100, 'r');
  const std::string three = name + '\0' + name + '\0' + name;
  Fake().SetReaders(three.c_str(), 3, 0);
  char names[1024];
  std::uint32_t length = 0;
  ASSERT_EQ(QX_EnumReaderNames(0, names, &length), 0);
  EXPECT_EQ(length, 202u);
  EXPECT_EQ(Joined(names, length), name + '\0' + name + '\0');
}

TEST_F(DeviceTest, OpenAndClose) {
  EXPECT_EQ(QX_OpenByPath("A"), kFakeDevice);
  Fake().SetOpenStatus(0x6A82);
  EXPECT_EQ(QX_OpenByPath("A"), nullptr);
  EXPECT_EQ(QX_OpenByPath(nullptr), nullptr);

  EXPECT_EQ(QX_Close(nullptr), 0);
  EXPECT_EQ(Fake().ClosedCount(), 0u);
  EXPECT_EQ(QX_Close(kFakeDevice), 0);
  EXPECT_EQ(Fake().ClosedCount(), 1u);
}

TEST_F(DeviceTest, AnswerToReset) {
  const std::uint8_t atr[] = {0x3B, 0x9F, 0x95};
  Fake().SetAtr(atr, sizeof atr, 0x9000);
  std::uint8_t out[kAtrSize] = {};
  ASSERT_EQ(QX_ResetCardAtr(device_, out), 0);
  EXPECT_EQ(0, std::memcmp(out, atr, sizeof atr));
  EXPECT_EQ(QX_ResetCardAtr(device_, nullptr), kCardFailed);

  Fake().SetAtr(atr, sizeof atr, 0x6F00);
  EXPECT_EQ(QX_ResetCardAtr(device_, out), kCardFailed);

  const std::vector<std::uint8_t> too_long(40, 0x3B);  // reported longer than its 32 bytes
  Fake().SetAtr(too_long.data(), 40, 0x9000);
  EXPECT_EQ(QX_ResetCardAtr(device_, out), kCardFailed);
}

struct DescriptorCase {
  std::string text;
  int result;
  std::string bytes;  // hex of the decoded bytes
};

TEST_F(DeviceTest, DescriptorDecoding) {
  const std::string df_at_12 = std::string(24, '1') + "DF" + "DF";
  const std::string df_at_11 = std::string(22, '1') + "DF" + "00";
  const DescriptorCase cases[] = {
      {"0A1B", 0, "0A 1B"},
      {"0A1", 0, "0A"},  // an odd last character is ignored
      {"GZ", 0, "23"},   // letters beyond F carry: (16 x 16 + 35) mod 256
      {"0a1B", kCardFailed, ""},
      {"0A-1", kCardFailed, ""},
      {df_at_12, 0, "11 11 11 11 11 11 11 11 11 11 11 11 E0 DF"},
      {df_at_11, 0, "11 11 11 11 11 11 11 11 11 11 11 DF 00"},
      {std::string(64, 'A'), 0, ToHex(std::vector<std::uint8_t>(32, 0xAA))},
      {std::string(65, 'A'), kCardFailed, ""},  // longer than the 64 characters allowed
  };
  for (const DescriptorCase &c : cases) {
    Fake().SetDescriptor(c.text.c_str(), 0x9000);
    std::uint8_t out[kDescriptorSize + 1];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(QX_ReadDescriptor(device_, out), c.result) << c.text;
    const auto expected = FromHex(c.bytes);
    EXPECT_EQ(ToHex({out, out + expected.size()}), c.bytes) << c.text;
    EXPECT_EQ(out[expected.size()], 0xEE) << c.text << ": wrote past the decoded bytes";
  }
  Fake().SetDescriptor("0A1B", 0x6D00);
  std::uint8_t out[kDescriptorSize];
  EXPECT_EQ(QX_ReadDescriptor(device_, out), kCardFailed);
  EXPECT_EQ(QX_ReadDescriptor(device_, nullptr), kCardFailed);
}

TEST_F(DeviceTest, SerialTextFromTheNumberAfterTheFirstZeroByte) {
  const struct {
    std::string descriptor;
    int result;
    std::string serial;
  } cases[] = {
      {"4B4559"
       "00"
       "4E61BC00"
       "1234",
       0, "12345678"},  // "KEY", zero, 12345678
      {"00"
       "FFFFFFFF",
       0, "94967295"},  // 4294967295
      {"01020304"
       "00"
       "01000000",
       0, "00000001"},
      {std::string(64, 'F'), kCardFailed, ""},                    // no zero byte
      {std::string(56, 'F') + "00" + "FFFFFF", kCardFailed, ""},  // number cut by the end
  };
  for (const auto &c : cases) {
    Fake().SetDescriptor(c.descriptor.c_str(), 0x9000);
    char serial[kSerialTextSize] = {};
    ASSERT_EQ(QX_GET_BCDSN(device_, serial), c.result) << c.descriptor;
    EXPECT_EQ(std::string(serial), c.serial) << c.descriptor;
  }
}

TEST(TextTest, NumberToBcdAlignsRight) {
  const std::uint8_t number[] = {0x4E, 0x61, 0xBC, 0x00};  // 12345678
  const struct {
    std::size_t n;
    std::string bcd;
  } cases[] = {{2, "56 78"}, {5, "00 12 34 56 78"}, {7, "00 00 00 12 34 56 78"}};
  for (const auto &c : cases) {
    std::vector<std::uint8_t> out(c.n, 0xEE);
    ASSERT_EQ(NumberToBcd(number, out), 0);
    EXPECT_EQ(ToHex(out), c.bcd);
  }
  std::uint8_t out[2];
  const std::uint8_t one[] = {0xFF};
  ASSERT_EQ(NumberToBcd(one, out), 0);
  EXPECT_EQ(ToHex({out, out + 2}), "02 55");
  const std::uint8_t five[5] = {};
  EXPECT_EQ(NumberToBcd(five, out), kCardFailed);
  EXPECT_EQ(NumberToBcd({}, out), kCardFailed);
  EXPECT_EQ(NumberToBcd(number, {}), kCardFailed);
}

TEST(TextTest, ToUpperHex) {
  const std::uint8_t bytes[] = {0xAB, 0x01, 0xF0};
  char text[7];
  EXPECT_EQ(ToUpperHex(bytes, text), 6);
  EXPECT_STREQ(text, "AB01F0");
  char small[6];
  EXPECT_EQ(ToUpperHex(bytes, small), -1);
}

}  // namespace
