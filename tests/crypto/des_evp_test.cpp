#include <gtest/gtest.h>

#include <algorithm>

#include "reference.h"
#include "skf/crypto/des_evp.h"

namespace {

struct Result {
  int rc;
  Bytes out;
};

Result Encrypt(const Bytes &in, const Bytes &key, int triple, int padding) {
  Bytes out(in.size() + 8, 0xEE);
  int len = -7;
  const int rc = DES_EvpEncrypt(out.data(), &len, in.data(), static_cast<int>(in.size()),
                                key.data(), static_cast<int>(key.size()), triple, padding);
  out.resize(rc == 1 ? static_cast<size_t>(len) : 0);
  return {rc, out};
}

Result Decrypt(const Bytes &in, const Bytes &key, int triple, int padding) {
  Bytes out(in.size() + 8, 0xEE);
  int len = -7;
  const int rc = DES_EvpDecrypt(out.data(), &len, in.data(), static_cast<int>(in.size()),
                                key.data(), static_cast<int>(key.size()), triple, padding);
  out.resize(rc == 1 ? static_cast<size_t>(len) : 0);
  return {rc, out};
}

struct CipherCase {
  const char *name;
  size_t keyLen;
  int triple;
  const EVP_CIPHER *(*reference)();
};

constexpr CipherCase kCiphers[] = {
    {"DES", 8, 0, EVP_des_ecb},
    {"two-key 3DES", 16, 1, EVP_des_ede_ecb},
    {"three-key 3DES", 24, 1, EVP_des_ede3_ecb},
    {"three-key 3DES, longer key", 32, 1, EVP_des_ede3_ecb},
};

TEST(DesEvp, MatchesOpenSslWithAndWithoutPadding) {
  LoadReferenceProviders();
  std::mt19937 rng(3);
  for (const auto &c : kCiphers) {
    for (int i = 0; i < 20; ++i) {
      const Bytes key = RandomBytes(rng, c.keyLen);
      const Bytes refKey(key.begin(), key.begin() + std::min<size_t>(key.size(), 24));
      for (int padding : {0, 1}) {
        const size_t len = padding ? rng() % 70 : 8 * (rng() % 9);
        const Bytes plain = RandomBytes(rng, len);
        const Bytes expected = RefCipher(c.reference(), refKey, {}, plain, true, padding);
        const Result enc = Encrypt(plain, key, c.triple, padding);
        ASSERT_EQ(enc.rc, 1) << c.name;
        ASSERT_EQ(enc.out, expected) << c.name << " padding " << padding << " len " << len;
        const Result dec = Decrypt(enc.out, key, c.triple, padding);
        ASSERT_EQ(dec.rc, 1) << c.name;
        ASSERT_EQ(dec.out, plain) << c.name << " padding " << padding << " len " << len;
      }
    }
  }
}

TEST(DesEvp, BlockByBlockTwoKeyTripleDes) {
  // The software path of the symmetric layer: each 8-byte block on its own, no padding.
  LoadReferenceProviders();
  std::mt19937 rng(24);
  const Bytes key = RandomBytes(rng, 16), plain = RandomBytes(rng, 24);
  Bytes joined;
  for (size_t off = 0; off < plain.size(); off += 8) {
    const Result r = Encrypt(Bytes(plain.begin() + off, plain.begin() + off + 8), key, 1, 0);
    ASSERT_EQ(r.rc, 1);
    ASSERT_EQ(r.out.size(), 8u);
    joined.insert(joined.end(), r.out.begin(), r.out.end());
  }
  EXPECT_EQ(joined, RefCipher(EVP_des_ede_ecb(), key, {}, plain, true));
}

TEST(DesEvp, RefusesBadLengthsAndShortKeys) {
  const Bytes key24(24, 0x3C), data(24, 0x5A);
  // Without padding the input must be whole blocks; decryption always needs whole blocks.
  EXPECT_EQ(Encrypt(Bytes(20, 1), key24, 1, 0).rc, 0);
  EXPECT_EQ(Decrypt(Bytes(20, 1), key24, 1, 0).rc, 0);
  EXPECT_EQ(Decrypt(Bytes(20, 1), key24, 1, 1).rc, 0);
  EXPECT_EQ(Encrypt(Bytes(20, 1), key24, 1, 1).rc, 1);
  // A key shorter than its cipher needs would be read past its end.
  const struct {
    size_t keyLen;
    int triple;
  } shortKeys[] = {{0, 0}, {7, 0}, {8, 1}, {15, 1}, {17, 1}, {23, 1}};
  for (const auto &k : shortKeys) {
    const Bytes key(k.keyLen, 0x3C);
    EXPECT_EQ(Encrypt(data, key, k.triple, 0).rc, 0) << k.keyLen;
    EXPECT_EQ(Decrypt(data, key, k.triple, 0).rc, 0) << k.keyLen;
  }
  uint8_t out[32];
  int len = 0;
  EXPECT_EQ(DES_EvpEncrypt(out, &len, data.data(), -8, key24.data(), 24, 1, 0), 0);
  EXPECT_EQ(DES_EvpEncrypt(out, &len, nullptr, 8, key24.data(), 24, 1, 0), 0);
  EXPECT_EQ(DES_EvpEncrypt(out, nullptr, data.data(), 8, key24.data(), 24, 1, 0), 0);
  EXPECT_EQ(DES_EvpDecrypt(nullptr, &len, data.data(), 8, key24.data(), 24, 1, 0), 0);
  EXPECT_EQ(DES_EvpDecrypt(out, &len, data.data(), 8, nullptr, 24, 1, 0), 0);
}

TEST(DesEvp, MalformedPaddingFailsDecryption) {
  LoadReferenceProviders();
  const Bytes key(16, 0x21);
  Bytes plain(16, 0x40);
  plain[15] = 0x09;  // above the block size
  const Bytes cipher = RefCipher(EVP_des_ede_ecb(), key, {}, plain, true);
  EXPECT_EQ(Decrypt(cipher, key, 1, 1).rc, 0);
  // Without padding the same blocks come back whole.
  const Result whole = Decrypt(cipher, key, 1, 0);
  EXPECT_EQ(whole.rc, 1);
  EXPECT_EQ(whole.out, plain);
}

}  // namespace
