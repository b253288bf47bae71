#include <cstring>

#include "card_fixture.h"
#include "skf/card/files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Seq(std::size_t n, std::uint8_t first = 0) {
  Bytes v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
  return v;
}
Bytes Slice(const Bytes &v, std::size_t at, std::size_t n) {
  return {v.begin() + static_cast<long>(at), v.begin() + static_cast<long>(at + n)};
}
std::string Cmd(const char *header, const Bytes &data = {}) {
  Bytes all = FromHex(header);
  all.insert(all.end(), data.begin(), data.end());
  return ToHex(all);
}

using FileTest = CardTest;

TEST_F(FileTest, WholeFileIsWrittenInPiecesAfterItsLength) {
  const Bytes data = Seq(300);
  ASSERT_EQ(QX_WriteBinaryFile(device_, data), 0);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 D6 00 00 02 01 2C"),
                                              Cmd("00 D6 00 02 80", Slice(data, 0, 128)),
                                              Cmd("00 D6 00 82 80", Slice(data, 128, 128)),
                                              Cmd("00 D6 01 02 2C", Slice(data, 256, 44))}));
}

TEST_F(FileTest, WholeFileEdgeLengths) {
  ASSERT_EQ(QX_WriteBinaryFile(device_, {}), 0);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 D6 00 00 02 00 00")}));

  Fake().Reset();
  const Bytes data = Seq(128);
  ASSERT_EQ(QX_WriteBinaryFile(device_, data), 0);
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{Cmd("00 D6 00 00 02 00 80"), Cmd("00 D6 00 02 80", data)}));

  Fake().Reset();
  EXPECT_EQ(QX_WriteBinaryFile(device_, Bytes(0xFFFF)), -1);  // does not fit the length field
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FileTest, WholeFileWriteStopsAtTheFirstRefusal) {
  Answer("");
  Answer("", 0x6581);
  EXPECT_EQ(QX_WriteBinaryFile(device_, Seq(300)), -1);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(FileTest, WholeFileIsReadInPieces) {
  const Bytes data = Seq(300, 7);
  Answer("01 2C");
  AnswerBytes(Slice(data, 0, 128));
  AnswerBytes(Slice(data, 128, 128));
  AnswerBytes(Slice(data, 256, 44));
  Bytes out(400, 0xEE);
  std::uint32_t length = 0;
  ASSERT_EQ(QX_ReadBinaryFile(device_, out, &length), 0);
  EXPECT_EQ(length, 300u);
  EXPECT_EQ(Slice(out, 0, 300), data);
  EXPECT_EQ(out[300], 0xEE);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 B0 00 00 02"), Cmd("00 B0 00 02 80"),
                                              Cmd("00 B0 00 82 80"), Cmd("00 B0 01 02 2C")}));
}

TEST_F(FileTest, WholeFileReadResults) {
  const struct {
    const char *name;
    std::vector<std::pair<Bytes, std::uint32_t>> answers;
    std::size_t buffer;
    int result;
    std::uint32_t length;  // 99: not written
    std::size_t commands;
  } cases[] = {
      {"length only", {{FromHex("01 2C"), 0x9000}}, 0, 0, 300, 1},
      {"empty data", {{FromHex("00 00"), 0x9000}}, 16, 0, 0, 1},
      {"nothing stored", {{FromHex("FF FF"), 0x9000}}, 16, -1, 99, 1},
      {"buffer too small", {{FromHex("00 11"), 0x9000}}, 16, -1, 17, 1},
      {"length refused", {{{}, 0x6A82}}, 16, -1, 99, 1},
      {"short piece", {{FromHex("00 10"), 0x9000}, {Seq(15), 0x9000}}, 16, -1, 16, 2},
      {"piece refused", {{FromHex("00 10"), 0x9000}, {{}, 0x6B00}}, 16, -1, 16, 2},
  };
  for (const auto &c : cases) {
    Fake().Reset();
    for (const auto &[data, sw] : c.answers) AnswerBytes(data, sw);
    Bytes out(c.buffer);
    std::uint32_t length = 99;
    EXPECT_EQ(QX_ReadBinaryFile(device_, out, &length), c.result) << c.name;
    EXPECT_EQ(length, c.length) << c.name;
    EXPECT_EQ(Sent().size(), c.commands) << c.name;
  }
}

TEST_F(FileTest, DataFileCreateAuthenticatesFirst) {
  AnswerBytes(Seq(8));  // the challenge
  ASSERT_EQ(QX_CreateDataFile(device_, 3, 1088), 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], "00 84 00 00 08");
  EXPECT_EQ(sent[1].substr(0, 14), "00 82 00 00 08");
  EXPECT_EQ(sent[2], Cmd("80 E0 00 03 0D 00 24 04 40", Bytes(9, 0)));

  Fake().Reset();
  Answer("", 0x6A88);  // no challenge: nothing created
  EXPECT_EQ(QX_CreateDataFile(device_, 3, 1088), -1);
  EXPECT_EQ(Sent().size(), 1u);

  Fake().Reset();
  EXPECT_EQ(QX_CreateDataFile(device_, kDataFileCount, 16), -1);
  EXPECT_EQ(QX_CreateDataFile(device_, 0, 0x10000), -1);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FileTest, DataFileDeleteResults) {
  const struct {
    std::uint32_t sw;
    int result;
  } cases[] = {{0x9000, 0}, {0x6A82, 0}, {0x6D00, 1}, {0x6985, -1}, {0xFF01, -1}};
  for (const auto &c : cases) {
    Fake().Reset();
    AnswerBytes(Seq(8));
    Answer("");
    Answer("", c.sw);
    EXPECT_EQ(QX_DeleteDataFile(device_, 5), c.result) << std::hex << c.sw;
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2], "80 E4 00 00 02 00 26");
  }
}

TEST_F(FileTest, DataFileReadAtAnOffset) {
  const Bytes data = Seq(200, 1);
  Answer("");  // SELECT
  AnswerBytes(Slice(data, 0, 128));
  AnswerBytes(Slice(data, 128, 72));
  Bytes out(200);
  int count = -1;
  ASSERT_EQ(QX_ReadDataFile(device_, 0, 10, out, &count), 0);
  EXPECT_EQ(count, 200);
  EXPECT_EQ(out, data);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 A4 02 00 02 00 21"), Cmd("00 B0 00 0A 80"),
                                              Cmd("00 B0 00 8A 48")}));

  Fake().Reset();
  Answer("");
  AnswerBytes(Slice(data, 0, 128));
  Answer("", 0x6B00);
  EXPECT_EQ(QX_ReadDataFile(device_, 0, 10, out, &count), -1);
  EXPECT_EQ(count, 128);

  Fake().Reset();
  Answer("", 0x6A82);
  EXPECT_EQ(QX_ReadDataFile(device_, 0, 10, out, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(QX_ReadDataFile(device_, 0, 0xFFF0, out, &count), -1);  // past a 16-bit offset
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(FileTest, DataFileWriteAtAnOffset) {
  const Bytes data = Seq(130, 1);
  int count = -1;
  ASSERT_EQ(QX_WriteDataFile(device_, 19, 5, data, &count), 0);
  EXPECT_EQ(count, 130);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 A4 02 00 02 00 34"),
                                              Cmd("00 D6 00 05 80", Slice(data, 0, 128)),
                                              Cmd("00 D6 00 85 02", Slice(data, 128, 2))}));

  Fake().Reset();
  ASSERT_EQ(QX_WriteDataFile(device_, 0, 0, {}, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 A4 02 00 02 00 21")}));

  // A refused piece: the count is what was written before it; a refused SELECT writes nothing.
  const Bytes more = Seq(300, 7);
  Fake().Reset();
  Answer("");
  Answer("");
  Answer("", 0x6581);
  count = -1;
  EXPECT_EQ(QX_WriteDataFile(device_, 0, 0, more, &count), -1);
  EXPECT_EQ(count, 128);
  EXPECT_EQ(Sent().size(), 3u);
  Fake().Reset();
  Answer("", 0x6A82);
  count = -1;
  EXPECT_EQ(QX_WriteDataFile(device_, 0, 0, more, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(FileTest, FileAreaSelectionNeverFails) {
  Answer("", 0x6A82);
  EXPECT_EQ(QX_SelectFileArea(device_), 0);
  EXPECT_EQ(Sent(), (std::vector<std::string>{Cmd("00 A4 01 00 02 DF EA")}));
}

}  // namespace
