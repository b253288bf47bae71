// readerio's pure parts: how much answer a command may get, descriptor texts, the wire codec.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apdu_shape.h"
#include "atr.h"
#include "descriptor.h"
#include "net.h"
#include "protocol.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes with_data(Bytes head, size_t n, Bytes tail) {
  head.insert(head.end(), n, 0x11);
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(ExpectedLength, FollowsTheCommandForm) {
  struct Case {
    const char *what;
    Bytes cmd;
    size_t ne;
  } cases[] = {
      {"case 1", {0x00, 0xA4, 0x00, 0x00}, 0},
      {"case 2 short", {0x00, 0x84, 0x00, 0x00, 0x08}, 8},
      {"case 2 short, Le 00", {0x00, 0xA4, 0x00, 0x00, 0x00}, 256},
      {"case 3 short", with_data({0x00, 0xA4, 0x00, 0x00, 0x02}, 2, {}), 0},
      {"case 4 short", with_data({0x80, 0xF3, 0x00, 0x02, 0x20}, 32, {0x10}), 16},
      {"case 4 short, Le 00", with_data({0x80, 0xF8, 0x00, 0x00, 0x80}, 128, {0x00}), 256},
      {"case 2 extended", {0x80, 0xD8, 0x00, 0x00, 0x00, 0x01, 0x00}, 256},
      {"case 2 extended, Le 0000", {0x80, 0xD8, 0x00, 0x00, 0x00, 0x00, 0x00}, 65536},
      {"case 3 extended", with_data({0x80, 0xD2, 0x20, 0x02, 0x00, 0x01, 0x00}, 256, {}), 0},
      {"case 4 extended", with_data({0x80, 0xF3, 0x00, 0x00, 0x00, 0x00, 0x20}, 32, {0x00, 0x10}),
       16},
      {"case 4 extended, Le 0000",
       with_data({0x80, 0x3A, 0x00, 0x00, 0x00, 0x00, 0x80}, 128, {0x00, 0x00}), 65536},
      {"short Lc longer than the data", with_data({0x00, 0xD6, 0x00, 0x00, 0x10}, 4, {}), 0},
      {"6 bytes after 00", {0x00, 0xB0, 0x00, 0x00, 0x00, 0x05}, 0},
      {"extended Lc 0000 with data", with_data({0x80, 0xD2, 0, 0, 0, 0, 0}, 3, {}), 0},
      {"extended lengths not adding up", with_data({0x80, 0xD2, 0, 0, 0, 0, 4}, 5, {}), 0},
      {"empty", {}, 0},
  };
  for (auto &c : cases) EXPECT_EQ(readerio::expected_length(c.cmd), c.ne) << c.what;
}

TEST(Descriptor, ValidTexts) {
  for (const char *ok : {"0A1B", "4B455953494D00", "00"})
    EXPECT_TRUE(readerio::valid_descriptor(ok));
  for (const char *bad : {"", "0a1b", "0A1", "0G", "0A 1B"})
    EXPECT_FALSE(readerio::valid_descriptor(bad)) << bad;
  EXPECT_TRUE(readerio::valid_descriptor(std::string(64, 'F')));
  EXPECT_FALSE(readerio::valid_descriptor(std::string(66, 'F')));
}

TEST(Descriptor, PcscTextIsNameNulNumberAndStable) {
  Bytes atr = {0x3B, 0x02, 0x14, 0x50};
  std::string t = readerio::pcsc_descriptor("Virtual PCD 00 00", atr);
  EXPECT_TRUE(readerio::valid_descriptor(t));
  EXPECT_EQ(t.substr(0, 36),
            "5669727475616C20504344203030203030"
            "00");
  EXPECT_EQ(t.size(), 36u + 8 + 4);
  EXPECT_EQ(t, readerio::pcsc_descriptor("Virtual PCD 00 00", atr));
  EXPECT_NE(t.substr(36, 8),
            readerio::pcsc_descriptor("Virtual PCD 00 00", Bytes{0x3B, 0x00}).substr(36, 8));
  // A long reader name is cut so the text stays within 64 characters.
  std::string longer = readerio::pcsc_descriptor(std::string(200, 'R'), atr);
  EXPECT_TRUE(readerio::valid_descriptor(longer));
  EXPECT_EQ(longer.size(), 64u);
}

// An answer-to-reset from its bytes after TS, with TS 3B first and the check byte TCK last.
Bytes with_tck(Bytes body) {
  uint8_t tck = 0;
  for (uint8_t b : body) tck ^= b;
  body.insert(body.begin(), 0x3B);
  body.push_back(tck);
  return body;
}

TEST(Atr, CardDataFromCompactTlvHistoricalBytes) {
  const Bytes data = {0x4E, 0x61, 0xBC, 0x00, 0x10, 0x01};
  auto with = [&](Bytes head, Bytes tail = {}) {
    head.insert(head.end(), data.begin(), data.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  Bytes bad_check = with_tck(with({0x88, 0x80, 0x01, 0x80, 0x56}));
  bad_check.back() ^= 1;
  const struct {
    const char *what;
    Bytes atr;
    bool found;
  } cases[] = {
      {"T=0 and T=1, TCK", with_tck(with({0x88, 0x80, 0x01, 0x80, 0x56})), true},
      {"T=0 only, no TCK", with({0x3B, 0x08, 0x80, 0x56}), true},
      {"TA1 before", with_tck(with({0x98, 0x96, 0x80, 0x01, 0x80, 0x56})), true},
      {"after another object", with_tck(with({0x8A, 0x80, 0x01, 0x80, 0x31, 0xC0, 0x56})), true},
      {"category 00, status last",
       with_tck(with({0x8B, 0x80, 0x01, 0x00, 0x56}, {0x00, 0x90, 0x00})), true},
      {"wrong check byte", bad_check, false},
      {"check byte missing", with({0x3B, 0x88, 0x80, 0x01, 0x80, 0x56}), false},
      {"a byte too many", with({0x3B, 0x08, 0x80, 0x56}, {0x00}), false},
      {"historical bytes cut short", with({0x3B, 0x09, 0x80, 0x56}), false},
      {"not direct or inverse", with({0x3C, 0x08, 0x80, 0x56}), false},
      {"tag 5 of another length", with_tck(with({0x89, 0x80, 0x01, 0x80, 0x57}, {0x00})), false},
      {"object past the end", with_tck({0x83, 0x80, 0x01, 0x80, 0x56, 0x4E}), false},
      {"proprietary historical bytes",
       with_tck({0x8A, 0x80, 0x01, 'K', 'E', 'Y', 'S', 'I', 'M', '-', 'V', '1', '0'}), false},
      {"TD announced, missing", {0x3B, 0x80}, false},
      {"empty", {}, false},
  };
  for (const auto &c : cases) {
    const auto got = readerio::atr_card_data(c.atr);
    ASSERT_EQ(got.has_value(), c.found) << c.what;
    if (got) {
      EXPECT_EQ(Bytes(got->begin(), got->end()), data) << c.what;
    }
  }
}

TEST(Descriptor, PcscTextCarriesTheCardDataOfTheAtr) {
  // The virtual key's answer-to-reset for serial 12345678: the serial text and the PIN
  // protection read the same six bytes as from the key's own descriptor.
  const Bytes atr = {0x3B, 0x88, 0x80, 0x01, 0x80, 0x56, 0x4E, 0x61, 0xBC, 0x00, 0x10, 0x01, 0x5D};
  EXPECT_EQ(readerio::pcsc_descriptor("Virtual PCD 00 00", atr),
            "5669727475616C20504344203030203030"
            "00"
            "4E61BC001001");
}

TEST(Wire, ReaderStopsAtEveryOverrun) {
  keysim::proto::Writer w;
  w.u8(7);
  w.text("abc");
  w.blob(Bytes{1, 2, 3});
  {
    keysim::proto::Reader r{w.body};
    EXPECT_EQ(r.u8(), 7);
    EXPECT_EQ(r.text(16), "abc");
    EXPECT_EQ(r.blob(16), (Bytes{1, 2, 3}));
    EXPECT_TRUE(r.done());
    EXPECT_EQ(r.u32(), 0u);
    EXPECT_FALSE(r.ok);
  }
  struct Case {
    const char *what;
    Bytes body;
  } cases[] = {
      {"text longer than the body", {0x00, 0x05, 'a', 'b'}},
      {"text above its bound",
       {0x00, 0x11, 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a',
        'a'}},
      {"blob length near 2^32", {0xFF, 0xFF, 0xFF, 0xFF, 1}},
      {"truncated length", {0x00}},
  };
  for (auto &c : cases) {
    keysim::proto::Reader r{c.body};
    if (c.body.size() > 2 && c.body[0] == 0xFF)
      EXPECT_TRUE(r.blob(16).empty());
    else
      EXPECT_TRUE(r.text(16).empty());
    EXPECT_FALSE(r.ok) << c.what;
  }
}

TEST(Wire, AddressesNeedHostAndPort) {
  std::string host;
  uint16_t port = 0;
  EXPECT_TRUE(keysim::net::split_address("127.0.0.1:4000", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 4000);
  for (const char *bad : {"", "127.0.0.1", ":80", "host:", "host:0", "host:65536", "host:8x"})
    EXPECT_FALSE(keysim::net::split_address(bad, host, port)) << bad;
  EXPECT_TRUE(keysim::proto::valid_key_name("key_1-A"));
  for (const char *bad : {"", "../x", "a b", "k/1", "123456789012345678901234567890123"})
    EXPECT_FALSE(keysim::proto::valid_key_name(bad)) << bad;
}

}  // namespace
