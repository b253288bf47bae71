#include <algorithm>
#include <cstring>

#include "card_fixture.h"
#include "skf/card/apdu.h"

namespace {

using TransportTest = CardTest;

const std::vector<std::uint8_t> kCommand = {0x80, 0xCA, 0x00, 0x00, 0x00};

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
  return v;
}

TEST_F(TransportTest, MoreDataIsFetchedWithGetResponse) {
  Answer("", 0x6110);
  AnswerBytes(Bytes(16, 1));
  std::uint8_t response[256] = {};
  std::uint16_t sw = 0;
  ASSERT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), 16);
  EXPECT_EQ(sw, 0x9000);
  EXPECT_EQ(ToHex({response, response + 16}), ToHex(Bytes(16, 1)));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"80 CA 00 00 00", "00 C0 00 00 10"}));
}

TEST_F(TransportTest, ChainKeepsOnlyTheLastAnswer) {
  Answer("", 0x6120);
  AnswerBytes(Bytes(32, 0x40), 0x6108);
  AnswerBytes(Bytes(8, 0x80));
  std::uint8_t response[256] = {};
  std::uint16_t sw = 0;
  ASSERT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), 8);
  EXPECT_EQ(sw, 0x9000);
  EXPECT_EQ(ToHex({response, response + 9}), ToHex(Bytes(8, 0x80)) + " 00");
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{"80 CA 00 00 00", "00 C0 00 00 20", "00 C0 00 00 08"}));
}

TEST_F(TransportTest, StatusWordsPassThroughExceptReaderFailure) {
  std::uint8_t response[16];
  std::uint16_t sw = 0x1234;
  Answer("", 0xFF01);
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), kApduFailed);
  EXPECT_EQ(sw, 0x1234);

  Answer("", 0x6A82);
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), 0);
  EXPECT_EQ(sw, 0x6A82);

  Answer("", 0x6C10);  // a wrong Le is not re-sent
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, response, nullptr), 0);
  EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(TransportTest, EndlessChainFails) {
  const auto piece = Bytes(16, 0);
  Fake().SetDefault(piece.data(), 16, 0x6110);
  std::uint8_t response[256];
  std::uint16_t sw = 0x1234;
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), kApduFailed);
  EXPECT_EQ(sw, 0x1234);
  EXPECT_EQ(Sent().size(), 1u + kMaxGetResponse);
}

// Answers of 32768 bytes and more come back with their real length, not as a negative
// (failed) 16-bit result.
TEST_F(TransportTest, LongAnswersKeepTheirLength) {
  for (std::size_t n : {32767u, 32768u, 40000u, 65535u}) {
    Fake().Reset();
    const auto data = Bytes(n, static_cast<std::uint8_t>(n));
    AnswerBytes(data);
    std::vector<std::uint8_t> response(65536, 0xEE);
    std::uint16_t sw = 0;
    ASSERT_EQ(QX_Application_Manager(device_, kCommand, response, &sw), static_cast<int>(n));
    EXPECT_EQ(sw, 0x9000);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), response.begin())) << n;
    EXPECT_EQ(response[n], 0xEE) << n;
  }
}

TEST_F(TransportTest, AnswerLargerThanTheBufferFails) {
  AnswerBytes(Bytes(20, 0));
  std::uint8_t response[17];
  std::memset(response, 0xEE, sizeof response);
  std::uint16_t sw = 0x1234;
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, {response, 16}, &sw), kApduFailed);
  EXPECT_EQ(sw, 0x1234);
  EXPECT_EQ(response[0], 0xEE);

  AnswerBytes(Bytes(20, 0));  // unless the answer is not wanted
  EXPECT_EQ(QX_Application_Manager(device_, kCommand, kDropResponse, &sw), 20);
  EXPECT_EQ(sw, 0x9000);
}

}  // namespace
