// Card cryptography: symmetric ciphers, DES, the retail MAC, digests and RSA.
#include "cardcrypto.h"
#include "cardcrypto_fixture.h"

#include <gtest/gtest.h>
#include <openssl/rsa.h>

#include <cstring>

namespace keysim::cc {
namespace {

using test::hex;

// --- SM4 and the stand-ins -------------------------------------------------------------------

TEST(CardSym, Sm4KnownAnswer) {
  // GB/T 32907 example 1.
  const Bytes key = hex("0123456789abcdeffedcba9876543210");
  const Bytes ct = hex("681edf34d206965e86b3e94f536e4246");
  uint8_t out[16];
  ASSERT_TRUE(card_sym(kModeSm4, true, key.data(), nullptr, key, out));
  EXPECT_EQ(Bytes(out, out + 16), ct);
  ASSERT_TRUE(card_sym(kModeSm4, false, key.data(), nullptr, ct, out));
  EXPECT_EQ(Bytes(out, out + 16), key);
}

// For every cipher: CBC is ECB with the chain applied by hand, decryption inverts, in place works.
TEST(CardSym, CbcChainsEcbForEveryCipher) {
  const Bytes key = hex("00112233445566778899aabbccddeeff");
  const Bytes iv = hex("f0e1d2c3b4a5968778695a4b3c2d1e0f");
  Bytes plain(48);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 1);
  for (uint8_t cipher : {kModeSsf33, kModeSm1, kModeSm4}) {
    SCOPED_TRACE(static_cast<int>(cipher));
    Bytes expect(plain.size());
    Bytes chain = iv;
    for (size_t b = 0; b < plain.size(); b += 16) {
      uint8_t x[16];
      for (size_t j = 0; j < 16; ++j) x[j] = plain[b + j] ^ chain[j];
      ASSERT_TRUE(card_sym(cipher, true, key.data(), nullptr, Bytes(x, x + 16), &expect[b]));
      chain.assign(&expect[b], &expect[b] + 16);
    }
    Bytes buf = plain;
    const uint8_t cbc = cipher | kModeCbc;
    ASSERT_TRUE(card_sym(cbc, true, key.data(), iv.data(), buf, buf.data()));
    EXPECT_EQ(buf, expect);
    ASSERT_TRUE(card_sym(cbc, false, key.data(), iv.data(), buf, buf.data()));
    EXPECT_EQ(buf, plain);
  }
}

TEST(CardSym, StandinsAreDistinctCiphers) {
  const Bytes key = hex("0123456789abcdeffedcba9876543210");
  uint8_t out[3][16];
  for (uint8_t m : {kModeSsf33, kModeSm1, kModeSm4}) {
    ASSERT_TRUE(card_sym(m, true, key.data(), nullptr, key, out[m]));
  }
  EXPECT_NE(0, std::memcmp(out[0], out[1], 16));
  EXPECT_NE(0, std::memcmp(out[0], out[2], 16));
  EXPECT_NE(0, std::memcmp(out[1], out[2], 16));
}

TEST(CardSym, RejectsBadModeLengthAndMissingIv) {
  const Bytes key(16, 0x11), iv(16, 0), data(32, 0x22);
  uint8_t out[32];
  EXPECT_FALSE(card_sym(0x03, true, key.data(), nullptr, data, out));
  EXPECT_FALSE(card_sym(0x7F, true, key.data(), nullptr, data, out));
  EXPECT_FALSE(card_sym(kModeSm4, true, key.data(), nullptr, std::span(data).first(15), out));
  EXPECT_FALSE(card_sym(kModeSm4 | kModeCbc, true, key.data(), nullptr, data, out));
  EXPECT_TRUE(card_sym(kModeSm4 | kModeCbc, true, key.data(), iv.data(), data, out));
}

// --- DES ---------------------------------------------------------------------------------------

TEST(Des, KnownAnswersSingleAndTriple) {
  ASSERT_TRUE(des_available()) << "OpenSSL legacy provider missing";
  uint8_t out[8];
  // The classic FIPS 46 worked example.
  ASSERT_TRUE(des_ecb(true, hex("133457799bbcdff1"), hex("0123456789abcdef"), out));
  EXPECT_EQ(Bytes(out, out + 8), hex("85e813540f0ab405"));
  ASSERT_TRUE(des_ecb(false, hex("133457799bbcdff1"), hex("85e813540f0ab405"), out));
  EXPECT_EQ(Bytes(out, out + 8), hex("0123456789abcdef"));
  // SP 800-67 three-key example, first block ("The qufc").
  ASSERT_TRUE(des_ecb(true, hex("0123456789abcdef23456789abcdef01456789abcdef0123"),
                      hex("5468652071756663"), out));
  EXPECT_EQ(Bytes(out, out + 8), hex("a826fd8ce53b855f"));
}

TEST(Des, TwoKeyIsThreeKeyWithK3EqualK1) {
  const Bytes k16 = hex("0123456789abcdeffedcba9876543210");
  Bytes k24 = k16;
  k24.insert(k24.end(), k16.begin(), k16.begin() + 8);
  const Bytes data = hex("00112233445566778899aabbccddeeff");
  uint8_t a[16], b[16];
  ASSERT_TRUE(des_ecb(true, k16, data, a));
  ASSERT_TRUE(des_ecb(true, k24, data, b));
  EXPECT_EQ(0, std::memcmp(a, b, 16));
  ASSERT_TRUE(des_ecb(false, k16, Bytes(a, a + 16), b));
  EXPECT_EQ(Bytes(b, b + 16), data);
}

TEST(Des, RejectsBadLengths) {
  uint8_t out[16];
  const Bytes block(8, 0);
  EXPECT_FALSE(des_ecb(true, Bytes(7, 1), block, out));
  EXPECT_FALSE(des_ecb(true, Bytes(9, 1), block, out));
  EXPECT_FALSE(des_ecb(true, Bytes(8, 1), Bytes(12, 0), out));
  EXPECT_FALSE(des_ecb(true, Bytes(8, 1), Bytes(), out));
}

// --- Retail MAC --------------------------------------------------------------------------------

// The MAC written independently: CBC under K1 with block 0 as IV over blocks 1..n-2, then the
// last block through two-key triple DES (E K1, D K2, E K1) with the chain; a message of one
// block or less only gets D K2, E K1 (flag 0) or nothing (other flags) on its zero-filled block 0.
Bytes reference_mac(const Bytes &key, const Bytes &msg, int flag) {
  Bytes m = msg;
  if (m.size() < 8) m.resize(8, 0);
  const size_t n = m.size() / 8;
  const Bytes k1(key.begin(), key.begin() + 8), k2(key.begin() + 8, key.end());
  Bytes c(m.begin(), m.begin() + 8);
  auto xor_block = [&](size_t i) {
    Bytes x(8);
    for (size_t j = 0; j < 8; ++j) x[j] = c[j] ^ m[i * 8 + j];
    return x;
  };
  uint8_t t[8];
  for (size_t i = 1; i + 1 < n; ++i) {
    EXPECT_TRUE(des_ecb(true, k1, xor_block(i), t));
    c.assign(t, t + 8);
  }
  if (n >= 2) {
    EXPECT_TRUE(des_ecb(true, flag == 0 ? key : k1, xor_block(n - 1), t));
    c.assign(t, t + 8);
  } else if (flag == 0) {
    EXPECT_TRUE(des_ecb(false, k2, c, t));
    EXPECT_TRUE(des_ecb(true, k1, Bytes(t, t + 8), t));
    c.assign(t, t + 8);
  }
  return Bytes(c.begin(), c.begin() + 4);
}

TEST(RetailMac, MatchesIndependentFormulation) {
  ASSERT_TRUE(des_available());
  const Bytes key = hex("0123456789abcdeffedcba9876543210");
  Bytes msg(128);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(0x35 * i + 3);
  const struct {
    size_t len;
    int flag;
  } cases[] = {{40, 0}, {40, 1}, {16, 1}, {16, 0}, {24, 0},  {8, 0},   {8, 1},
               {5, 0},  {0, 0},  {0, 1},  {43, 0}, {128, 0}, {128, 7}, {127, -1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "len " << c.len << " flag " << c.flag);
    const Bytes m(msg.begin(), msg.begin() + static_cast<long>(c.len));
    uint8_t mac[4];
    ASSERT_TRUE(retail_mac(key.data(), m, c.flag, mac));
    EXPECT_EQ(Bytes(mac, mac + 4), reference_mac(key, m, c.flag));
  }
}

TEST(RetailMac, EdgeCases) {
  const Bytes key = hex("0123456789abcdeffedcba9876543210");
  const Bytes msg =
      hex("a1a2a3a4000000008000000000000000"
          "0102030405060708"
          "99");
  uint8_t mac[4], other[4];
  // One block, flag 1: block 0 itself.
  ASSERT_TRUE(retail_mac(key.data(), std::span(msg).first(8), 1, mac));
  EXPECT_EQ(Bytes(mac, mac + 4), hex("a1a2a3a4"));
  // 16 bytes, flag 1: DES under K1 of block 1 XOR block 0.
  uint8_t x[8], e[8];
  for (int i = 0; i < 8; ++i) x[i] = msg[i] ^ msg[8 + i];
  ASSERT_TRUE(des_ecb(true, std::span(key).first(8), std::span(x), e));
  ASSERT_TRUE(retail_mac(key.data(), std::span(msg).first(16), 1, mac));
  EXPECT_EQ(0, std::memcmp(mac, e, 4));
  // Trailing bytes past the last whole block do not count.
  ASSERT_TRUE(retail_mac(key.data(), std::span(msg).first(24), 0, mac));
  ASSERT_TRUE(retail_mac(key.data(), msg, 0, other));
  EXPECT_EQ(0, std::memcmp(mac, other, 4));
  // More than the 128-byte work buffer is refused.
  EXPECT_FALSE(retail_mac(key.data(), Bytes(129, 0), 0, mac));
}

// --- Digests and random ------------------------------------------------------------------------

TEST(Digest, KnownAnswers) {
  auto text = [](const char *s) { return Bytes(s, s + std::strlen(s)); };
  uint8_t m[16], s[32];
  md5(text("message digest"), m);  // RFC 1321 test suite
  EXPECT_EQ(Bytes(m, m + 16), hex("f96b697d7cb7938d525a2f31aaf161d0"));
  md5(Bytes(), m);
  EXPECT_EQ(Bytes(m, m + 16), hex("d41d8cd98f00b204e9800998ecf8427e"));
  sm3(text("abc"), s);  // GB/T 32905 examples 1 and 2
  EXPECT_EQ(Bytes(s, s + 32),
            hex("66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"));
  std::string abcd;
  for (int i = 0; i < 16; ++i) abcd += "abcd";
  sm3(text(abcd.c_str()), s);
  EXPECT_EQ(Bytes(s, s + 32),
            hex("debe9ff92275b8a138604889c18e5a4d6fdb70e5387e5765293dcba39c0c5732"));
}

TEST(Random, FillsAndDiffers) {
  uint8_t a[32] = {}, b[32] = {};
  ASSERT_TRUE(random_bytes(a, sizeof a));
  ASSERT_TRUE(random_bytes(b, sizeof b));
  EXPECT_NE(0, std::memcmp(a, b, sizeof a));
  EXPECT_TRUE(random_bytes(nullptr, 0));
}

// --- RSA ---------------------------------------------------------------------------------------

class Rsa : public testing::TestWithParam<int> {};

TEST_P(Rsa, CrtAndPublicAgreeWithOpenSsl) {
  const int bits = GetParam();
  const size_t k = static_cast<size_t>(bits) / 8;
  RsaKey key;
  ASSERT_TRUE(rsa_generate(bits, key));
  ASSERT_EQ(key.n.size(), k);
  EXPECT_EQ(key.e, hex("010001"));
  test::Pkey pkey = test::rsa_pkey(key);
  ASSERT_TRUE(pkey);

  // A full-length input below n, and a short one whose result keeps the modulus length.
  Bytes full(k);
  ASSERT_TRUE(random_bytes(full.data(), k));
  full[0] = static_cast<uint8_t>(key.n[0] - 1);
  for (const Bytes &in : {full, hex("02")}) {
    Bytes padded(k - in.size(), 0);
    padded.insert(padded.end(), in.begin(), in.end());
    Bytes mine;
    ASSERT_TRUE(rsa_private_crt(key, in, mine));
    ASSERT_EQ(mine.size(), k);

    test::PkeyCtx ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING), 1);
    Bytes ref(k);
    size_t ref_len = k;
    ASSERT_EQ(EVP_PKEY_decrypt(ctx.get(), ref.data(), &ref_len, padded.data(), k), 1);
    EXPECT_EQ(mine, ref);

    Bytes back;
    ASSERT_TRUE(rsa_public(key.n, key.e, mine, back));
    EXPECT_EQ(back, padded);
  }
}

INSTANTIATE_TEST_SUITE_P(Bits, Rsa, testing::Values(1024, 2048));

TEST(RsaErrors, RefusesOutOfRangeInputsAndBadKeys) {
  RsaKey key;
  ASSERT_TRUE(rsa_generate(1024, key));
  Bytes out;
  EXPECT_FALSE(rsa_private_crt(key, key.n, out));  // input = n
  EXPECT_FALSE(rsa_public(key.n, key.e, key.n, out));
  RsaKey wrong_n = key;
  wrong_n.n.back() ^= 2;
  EXPECT_FALSE(rsa_private_crt(wrong_n, hex("02"), out));
  RsaKey no_p = key;
  no_p.p.clear();
  EXPECT_FALSE(rsa_private_crt(no_p, hex("02"), out));
  EXPECT_FALSE(rsa_public(key.n, Bytes(), hex("02"), out));
  EXPECT_FALSE(rsa_generate(512, key));
}

}  // namespace
}  // namespace keysim::cc
