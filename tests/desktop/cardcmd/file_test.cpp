// File operations: SELECT, READ BINARY and UPDATE BINARY against the card's own bytes, the
// certificate deletion and the clearing of a container directory.
#include <cstring>

#include "cardcmd_fixture.h"
#include "tests/desktop/support/provisioned_certificates.h"

namespace {

constexpr std::uint8_t kEf01[] = {0xEF, 0x01};
constexpr std::size_t kEntryAt = 28, kEntrySize = 148;
constexpr std::size_t kEncFlag = 4, kSignFlag = 12;

vkey::Bytes RawFile(const std::string &key, const std::vector<std::uint16_t> &path) {
  vkey::RawCard card(key);
  if (!card.SelectPath(path)) return {};
  return card.ReadPrefixed().value_or(vkey::Bytes{});
}

}  // namespace

// The device directory read as certdesk reads it: length, then 128-byte pieces.
TEST_F(CardCmdTest, SelectAndReadGiveTheCardsBytes) {
  const std::string key = NewKey(true);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  std::uint16_t sw = 0;
  ASSERT_GE(api_.Select_File(card, 0, 0, 0, nullptr, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  ASSERT_GE(api_.Select_File(card, 2, 0, 2, kEf01, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  std::uint8_t head[2] = {};
  ASSERT_EQ(api_.Read_Binary(card, 0, 0, 0, 0, 2, head, &sw), 2);
  ASSERT_EQ(sw, kSwOk);
  const std::size_t length = head[0] << 8 | head[1];
  vkey::Bytes data(length);
  for (std::size_t at = 0; at < length; at += 128) {
    const auto n = static_cast<std::uint8_t>(std::min<std::size_t>(128, length - at));
    const std::size_t offset = at + 2;
    ASSERT_EQ(api_.Read_Binary(card, 0, offset >> 8, offset & 0xFF, 0, n, &data[at], &sw), n);
    ASSERT_EQ(sw, kSwOk);
  }
  EXPECT_EQ(data, RawFile(key, {0xEF01}));
  EXPECT_EQ(vkey::TextAt(data, 0, 68), "VARN");
  const std::uint8_t missing[] = {0xEF, 0x07};
  EXPECT_GE(api_.Select_File(card, 2, 0, 2, missing, &sw), 0);
  EXPECT_NE(sw, kSwOk) << "the card's answer comes back";
}

TEST_F(CardCmdTest, UpdateWritesWhereReadReads) {
  const std::string key = NewKey(true);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  const std::uint8_t app[] = {0xAD, 0x01}, container[] = {0xDF, 0x11};
  std::uint16_t sw = 0;
  ASSERT_GE(api_.Select_File(card, 0, 0, 0, nullptr, &sw), 0);
  ASSERT_GE(api_.Select_File(card, 1, 0, 2, app, &sw), 0);
  ASSERT_GE(api_.Select_File(card, 1, 0, 2, container, &sw), 0);
  ASSERT_GE(api_.Select_File(card, 2, 0, 2, kEf01, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  std::uint8_t pattern[128];
  for (std::size_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_GE(api_.Update_Binary(card, 0, 0x01, 0x10, 128, pattern, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  std::uint8_t back[128] = {};
  ASSERT_EQ(api_.Read_Binary(card, 0, 0x01, 0x10, 0, 128, back, &sw), 128);
  EXPECT_EQ(0, std::memcmp(back, pattern, sizeof back));
  vkey::RawCard raw(key);
  ASSERT_TRUE(raw.SelectPath({0xAD01, 0xDF11, 0xEF01}));
  EXPECT_EQ(raw.ReadRaw(0x110, 128), vkey::Bytes(pattern, pattern + 128));
}

// A caller's selection holds across its calls even when another call used the card in between:
// cardcmd selects it again then, and only then.
TEST_F(CardCmdTest, ReadsTheCallersFileAfterAnotherUsedTheCard) {
  const std::string key = NewKey(true);
  const std::int32_t reader = Open(0), other = Open(0);
  ASSERT_GT(reader, 0);
  ASSERT_GT(other, 0);
  const std::uint8_t app[] = {0xAD, 0x01}, container[] = {0xDF, 0x11}, ef02[] = {0xEF, 0x02};
  std::uint16_t sw = 0;
  ASSERT_GE(api_.Select_File(reader, 0, 0, 0, nullptr, &sw), 0);
  ASSERT_GE(api_.Select_File(reader, 1, 0, 2, app, &sw), 0);
  ASSERT_GE(api_.Select_File(reader, 1, 0, 2, container, &sw), 0);
  ASSERT_GE(api_.Select_File(reader, 2, 0, 2, kEf01, &sw), 0);
  ASSERT_GE(api_.Select_File(reader, 2, 0, 2, ef02, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  const vkey::Bytes certificate = RawFile(key, {0xAD01, 0xDF11, 0xEF02});
  ASSERT_GT(certificate.size(), 128u);

  std::uint8_t piece[128] = {};
  std::uint64_t before = vkey::Commands(key);
  ASSERT_EQ(api_.Read_Binary(reader, 0, 0, 2, 0, 128, piece, &sw), 128);
  EXPECT_EQ(vkey::Commands(key), before + 1) << "nothing selected again for a lone caller";
  EXPECT_EQ(vkey::Bytes(piece, piece + 128), vkey::Bytes(&certificate[0], &certificate[128]));

  // The other handle leaves the device directory current.
  ASSERT_GE(api_.Select_File(other, 0, 0, 0, nullptr, &sw), 0);
  ASSERT_GE(api_.Select_File(other, 2, 0, 2, kEf01, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  before = vkey::Commands(key);
  ASSERT_EQ(api_.Read_Binary(reader, 0, 0, 130, 0, 16, piece, &sw), 16);
  EXPECT_EQ(sw, kSwOk);
  EXPECT_EQ(vkey::Commands(key), before + 5) << "MF, AD01, DF11, EF02, then the read";
  EXPECT_EQ(vkey::Bytes(piece, piece + 16), vkey::Bytes(&certificate[128], &certificate[144]));

  // A relative SELECT is relative to the caller's DF, and a write goes to the caller's file.
  ASSERT_GE(api_.Select_File(other, 0, 0, 0, nullptr, &sw), 0);
  ASSERT_GE(api_.Select_File(reader, 2, 0, 2, kEf01, &sw), 0);
  ASSERT_EQ(sw, kSwOk) << "EF01 of DF11";
  ASSERT_GE(api_.Select_File(other, 2, 0, 2, kEf01, &sw), 0);
  const std::uint8_t pattern[4] = {0x5A, 0xA5, 0x5A, 0xA5};
  ASSERT_GE(api_.Update_Binary(reader, 0, 0x01, 0x00, sizeof pattern, pattern, &sw), 0);
  ASSERT_EQ(sw, kSwOk);
  vkey::RawCard raw(key);
  ASSERT_TRUE(raw.SelectPath({0xAD01, 0xDF11, 0xEF01}));
  EXPECT_EQ(raw.ReadRaw(0x100, sizeof pattern), vkey::Bytes(pattern, pattern + sizeof pattern));
}

// Forms the operations do not take are refused before anything reaches the card.
TEST_F(CardCmdTest, BadFormsSendNothing) {
  const std::string key = NewKey(true);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  std::uint8_t buffer[256] = {};
  std::uint16_t sw = 0;
  const std::uint64_t before = vkey::Commands(key);
  EXPECT_EQ(api_.Read_Binary(card, 0, 0, 0, 0, 0, buffer, &sw), -1) << "length 0";
  EXPECT_EQ(api_.Read_Binary(card, 0, 0, 0, 0, 129, buffer, &sw), -1) << "over 128";
  EXPECT_EQ(api_.Read_Binary(card, 4, 0, 0, 0, 2, buffer, &sw), -1) << "class 04";
  EXPECT_EQ(api_.Read_Binary(card, 0, 0, 0, 1, 2, buffer, &sw), -1) << "Lc";
  EXPECT_EQ(api_.Read_Binary(card, 0, 0, 0, 0, 2, nullptr, &sw), -1);
  EXPECT_EQ(api_.Read_Binary(card, 0, 0, 0, 0, 2, buffer, nullptr), -1);
  EXPECT_EQ(api_.Update_Binary(card, 0, 0, 0, 0, buffer, &sw), -1) << "no data";
  EXPECT_EQ(api_.Update_Binary(card, 0, 0, 0, 129, buffer, &sw), -1);
  EXPECT_EQ(api_.Update_Binary(card, 0x80, 0, 0, 2, buffer, &sw), -1);
  EXPECT_EQ(api_.Update_Binary(card, 0, 0, 0, 2, nullptr, &sw), -1);
  EXPECT_EQ(api_.Select_File(card, 1, 0, 2, nullptr, &sw), -1) << "Lc without data";
  EXPECT_EQ(api_.Select_File(card, 0, 0, 0, nullptr, nullptr), -1);
  EXPECT_EQ(vkey::Commands(key), before);
}

TEST_F(CardCmdTest, DeleteCertEmptiesTheFileAndClearsItsFlag) {
  const std::string key = NewKey(true);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  ASSERT_EQ(ProvisionedCertificates(key).size(), 4u);
  const vkey::Bytes before = RawFile(key, {0xAD01, 0xEF01});
  ASSERT_EQ(api_.QX_DeleteCert(card, 0, 0, 1), 0);
  vkey::RawCard raw(key);
  ASSERT_TRUE(raw.SelectPath({0xAD01, 0xDF11, 0xEF02}));
  EXPECT_EQ(raw.ReadRaw(0, 2), (vkey::Bytes{0xFF, 0xFF})) << "an empty file";
  vkey::Bytes expected = before;
  expected[kEntryAt + kSignFlag] = 0;
  EXPECT_EQ(RawFile(key, {0xAD01, 0xEF01}), expected) << "only the signing flag of DF11";
  EXPECT_EQ(ProvisionedCertificates(key).size(), 3u);

  ASSERT_EQ(api_.QX_DeleteCert(card, 0, 1, 0), 0);
  expected[kEntryAt + kEntrySize + kEncFlag] = 0;
  EXPECT_EQ(RawFile(key, {0xAD01, 0xEF01}), expected) << "the encryption flag of DF12";

  const std::uint64_t commands = vkey::Commands(key);
  EXPECT_EQ(api_.QX_DeleteCert(card, 8, 0, 0), -1);
  EXPECT_EQ(api_.QX_DeleteCert(card, -1, 0, 0), -1);
  EXPECT_EQ(api_.QX_DeleteCert(card, 0, 8, 0), -1);
  EXPECT_EQ(vkey::Commands(key), commands);
  EXPECT_EQ(api_.QX_DeleteCert(card, 0, 2, 0), -1) << "a free container entry";
  EXPECT_EQ(api_.QX_DeleteCert(card, 1, 0, 0), -1) << "no application AD02";
  EXPECT_EQ(RawFile(key, {0xAD01, 0xEF01}), expected);
}

TEST_F(CardCmdTest, ClearDirFreesTheContainersAndKeepsThePinRecord) {
  const std::string key = NewKey(true);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  const vkey::Bytes before = RawFile(key, {0xAD01, 0xEF01});
  ASSERT_GT(before.size(), kEntryAt + kEntrySize);
  ASSERT_NE(before[kEntryAt + 20], 0) << "a named container";
  ASSERT_EQ(api_.QX_ClearDir(card, 0), 0);
  vkey::Bytes expected(before.size(), 0);
  std::copy(before.begin(), before.begin() + kEntryAt, expected.begin());
  EXPECT_EQ(RawFile(key, {0xAD01, 0xEF01}), expected);
  EXPECT_EQ(api_.QX_ClearDir(card, 1), -1) << "no application AD02";
  EXPECT_EQ(api_.QX_ClearDir(card, 8), -1);
}
