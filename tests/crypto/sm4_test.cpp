#include <gtest/gtest.h>

#include <algorithm>

#include "reference.h"
#include "skf/crypto/sm4.h"

namespace {

// GB/T 32907 appendix A: key = plaintext = 0123456789abcdeffedcba9876543210.
const Bytes kKey = FromHex("0123456789abcdeffedcba9876543210");
const Bytes kCipherOnce = FromHex("681edf34d206965e86b3e94f536e4246");
const Bytes kCipherMillion = FromHex("595298c7c6fd271f0402f804c33d3f66");

TEST(Sm4, StandardExample) {
  uint32_t enc[kSm4Rounds], dec[kSm4Rounds];
  SM4_SetKey(kKey.data(), enc, 0);
  SM4_SetKey(kKey.data(), dec, kSm4DecryptMode);
  uint8_t block[16];
  SM4_CryptBlock(kKey.data(), block, enc);
  EXPECT_EQ(Bytes(block, block + 16), kCipherOnce);
  uint8_t back[16];
  SM4_CryptBlock(block, back, dec);
  EXPECT_EQ(Bytes(back, back + 16), kKey);
  // The decryption schedule is the encryption schedule reversed.
  for (int i = 0; i < kSm4Rounds; ++i) EXPECT_EQ(dec[i], enc[kSm4Rounds - 1 - i]);
}

TEST(Sm4, StandardExampleMillionFold) {
  uint32_t rk[kSm4Rounds];
  SM4_SetKey(kKey.data(), rk, 2);  // any mode but 1 encrypts
  uint8_t a[16], b[16];
  std::copy(kKey.begin(), kKey.end(), a);
  for (int i = 0; i < 1000000; i += 2) {
    SM4_CryptBlock(a, b, rk);
    SM4_CryptBlock(b, a, rk);
  }
  EXPECT_EQ(Bytes(a, a + 16), kCipherMillion);
}

TEST(Sm4, DecryptEcbMatchesOpenSsl) {
  std::mt19937 rng(32907);
  for (int blocks : {1, 2, 3, 17, 64}) {
    const Bytes key = RandomBytes(rng, 16), plain = RandomBytes(rng, 16 * blocks);
    const Bytes cipher = RefCipher(EVP_sm4_ecb(), key, {}, plain, true);
    Bytes out(cipher.size());
    int outLen = -1;
    ASSERT_EQ(SM4_DecryptEcb(cipher.data(), static_cast<int>(cipher.size()), key.data(), out.data(),
                             &outLen, 0),
              0);
    EXPECT_EQ(outLen, static_cast<int>(plain.size()));
    EXPECT_EQ(out, plain) << blocks;
  }
}

// Decrypts two blocks whose second plaintext ends in last; returns result and length.
std::pair<int, int> StripCase(uint8_t last, Bytes *plainOut = nullptr) {
  const Bytes key(16, 0x5C);
  Bytes plain(32, 0xA7);
  plain[31] = last;
  const Bytes cipher = RefCipher(EVP_sm4_ecb(), key, {}, plain, true);
  Bytes out(32, 0);
  int outLen = -7;
  const int rc = SM4_DecryptEcb(cipher.data(), 32, key.data(), out.data(), &outLen, 1);
  if (plainOut != nullptr) *plainOut = out;
  return {rc, outLen};
}

TEST(Sm4, DecryptEcbStripRule) {
  struct {
    uint8_t last;
    int rc, outLen;
  } const cases[] = {
      {0x00, 0, 32},   // 00 keeps the whole block
      {0x01, 0, 31},   //
      {0x10, 0, 16},   // a whole block of padding
      {0x11, -1, -7},  // 17 is no padding: failure, length untouched
      {0xFF, -1, -7},
  };
  for (const auto &c : cases) {
    const auto [rc, outLen] = StripCase(c.last);
    EXPECT_EQ(rc, c.rc) << int(c.last);
    EXPECT_EQ(outLen, c.outLen) << int(c.last);
  }
  // Stripped bytes are never written.
  Bytes out;
  StripCase(0x08, &out);
  EXPECT_EQ(Bytes(out.begin() + 24, out.end()), Bytes(8, 0));
  EXPECT_EQ(out[23], 0xA7);
}

TEST(Sm4, DecryptEcbLengthsAndArguments) {
  const Bytes key(16, 1), in(64, 2);
  int outLen = -7;
  // NULL output reports the length and decrypts nothing.
  EXPECT_EQ(SM4_DecryptEcb(in.data(), 48, key.data(), nullptr, &outLen, 1), 0);
  EXPECT_EQ(outLen, 48);
  Bytes out(64);
  for (int bad : {33, 15, 1, -16, -1}) {
    outLen = -7;
    EXPECT_EQ(SM4_DecryptEcb(in.data(), bad, key.data(), out.data(), &outLen, 0), -1) << bad;
    EXPECT_EQ(outLen, -7) << bad;
  }
  // No data: nothing to strip, an empty result.
  EXPECT_EQ(SM4_DecryptEcb(in.data(), 0, key.data(), out.data(), &outLen, 1), 0);
  EXPECT_EQ(outLen, 0);
  EXPECT_EQ(SM4_DecryptEcb(in.data(), 16, key.data(), out.data(), nullptr, 0), -1);
  EXPECT_EQ(SM4_DecryptEcb(nullptr, 16, key.data(), out.data(), &outLen, 0), -1);
  EXPECT_EQ(SM4_DecryptEcb(in.data(), 16, nullptr, out.data(), &outLen, 0), -1);
}

}  // namespace
