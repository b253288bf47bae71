#include <openssl/des.h>

#include <cstring>
#include <string>

#include "builtin_key.h"
#include "card_fixture.h"
#include "skf/card/auth.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Single DES through OpenSSL, the independent implementation.
Bytes Des(const Bytes &block, const std::uint8_t key[8]) {
  DES_cblock k, in, out;
  std::memcpy(k, key, 8);
  std::memcpy(in, block.data(), 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&k, &schedule);
  DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
  return {out, out + 8};
}

using AuthTest = CardTest;

TEST_F(AuthTest, BuiltinKeyIsTheOneTheVirtualKeyAccepts) {
  const Bytes challenge = FromHex("01 23 45 67 89 AB CD EF");
  AnswerBytes(challenge);
  ASSERT_EQ(QX_AuthDir(device_), 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "00 84 00 00 08");
  EXPECT_EQ(sent[1], "00 82 00 00 08 " + ToHex(Des(challenge, keysim::kBuiltinAuthKey)));
}

TEST_F(AuthTest, AuthenticationFailures) {
  Answer("", 0x6A88);  // no challenge: nothing more is sent
  EXPECT_EQ(QX_AuthDir(device_), -1);
  EXPECT_EQ(Sent().size(), 1u);

  Fake().Reset();
  Answer("01 02 03 04");  // a short challenge
  EXPECT_EQ(QX_AuthDir(device_), -1);

  Fake().Reset();
  Answer("01 02 03 04 05 06 07 08");
  Answer("", 0x6300);
  EXPECT_EQ(QX_AuthDir(device_), -1);

  Fake().Reset();
  Answer("01 02 03 04 05 06 07 08");
  Answer("", 0xFF01);
  EXPECT_EQ(QX_FormatAuth(device_, "key"), -1);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(AuthTest, FormatAuthenticationLetsTheCardEncrypt) {
  const struct {
    std::string text;
    std::string key;
  } cases[] = {
      {"0123456789ABCDEFG", "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46"},
      {"12345678", "31 32 33 34 35 36 37 38 00 00 00 00 00 00 00 00"},
  };
  for (const auto &c : cases) {
    Fake().Reset();
    Answer("A0 A1 A2 A3 A4 A5 A6 A7");
    Answer("00 11 22 33 44 55 66 77 01 02 04 08 10 20 40 80");
    ASSERT_EQ(QX_FormatAuth(device_, c.text.c_str()), 0) << c.text;
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "80 F3 00 00 20 " + c.key + " A0 A1 A2 A3 A4 A5 A6 A7" +
                           " 00 00 00 00 00 00 00 00 10");
    EXPECT_EQ(sent[2], "00 82 00 00 08 01 13 26 3B 54 75 26 F7");
  }
}

// The derivation written out with OpenSSL's DES.
Bytes Reference(const std::string &pin) {
  Bytes p(16, 0);
  std::memcpy(p.data(), pin.data(), std::min<std::size_t>(pin.size(), 16));
  std::uint8_t key[8];
  Bytes block(p.begin(), p.begin() + 8);
  if (pin.size() <= 8) {
    std::memcpy(key, "qotwebun", 8);
  } else {
    const Bytes e = Des(block, reinterpret_cast<const std::uint8_t *>("lurapekm"));
    std::memcpy(key, e.data(), 8);
    for (int j = 0; j < 8; ++j) block[j] = e[7 - j] ^ p[8 + j];
  }
  const Bytes r = Des(block, key);
  Bytes out;
  for (int k = 1; k <= 6; ++k) {
    auto reduce = [](int v) { return v > 9 ? v - 6 : v; };
    out.push_back(static_cast<std::uint8_t>(reduce(r[k] >> 4) << 4 | reduce(r[k] & 15)));
  }
  out.push_back(0);
  return out;
}

TEST(DerivePinTest, MatchesTheReferenceOnBothPaths) {
  for (const std::string pin : {"", "1", "12345678", "123456789", "1234567890123456", "abcdefgh"}) {
    std::uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    QX_DerivePin(pin.c_str(), out);
    EXPECT_EQ(ToHex({out, out + 7}), ToHex(Reference(pin))) << pin;
    EXPECT_EQ(out[7], 0xEE) << "wrote past the 7 bytes";
    for (int k = 0; k < 6; ++k) {
      EXPECT_LE(out[k] >> 4, 9);
      EXPECT_LE(out[k] & 15, 9);
    }
  }
}

TEST(DerivePinTest, OnlyTheFirstSixteenCharactersTakePart) {
  std::uint8_t a[7], b[7], c[7];
  QX_DerivePin("1234567890123456XYZ", a);
  QX_DerivePin("1234567890123456", b);
  QX_DerivePin("123456789012345", c);
  EXPECT_EQ(0, std::memcmp(a, b, 7));
  EXPECT_NE(0, std::memcmp(b, c, 7));
}

}  // namespace
