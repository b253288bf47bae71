#include <gtest/gtest.h>

#include "reference.h"
#include "skf/crypto/des.h"

namespace {

struct DesVector {
  const char *key, *plain, *cipher;
};

// FIPS 46-3 worked example, the classic "Now is t" block and NBS validation entries.
constexpr DesVector kDesVectors[] = {
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "0000000000000000", "8CA64DE9C1B123A7"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},
};

TEST(Des, KnownAnswersBothDirections) {
  for (const auto &v : kDesVectors) {
    const Bytes key = FromHex(v.key), plain = FromHex(v.plain), cipher = FromHex(v.cipher);
    uint8_t out[8];
    DES_EncryptBlock(plain.data(), out, key.data());
    EXPECT_EQ(Bytes(out, out + 8), cipher) << v.key;
    DES_DecryptBlock(cipher.data(), out, key.data());
    EXPECT_EQ(Bytes(out, out + 8), plain) << v.key;

    // The parity bit of each key byte takes no part.
    Bytes flipped = key;
    for (auto &b : flipped) b ^= 0x01;
    DES_EncryptBlock(plain.data(), out, flipped.data());
    EXPECT_EQ(Bytes(out, out + 8), cipher) << v.key;
  }
}

TEST(Des, MatchesOpenSslOnRandomBlocks) {
  LoadReferenceProviders();
  std::mt19937 rng(46);
  for (int i = 0; i < 200; ++i) {
    const Bytes key = RandomBytes(rng, 8), block = RandomBytes(rng, 8);
    const Bytes ref = RefCipher(EVP_des_ecb(), key, {}, block, true);
    uint8_t enc[8], dec[8];
    DES_EncryptBlock(block.data(), enc, key.data());
    ASSERT_EQ(Bytes(enc, enc + 8), ref);
    DES_DecryptBlock(enc, dec, key.data());
    ASSERT_EQ(Bytes(dec, dec + 8), block);
  }
}

}  // namespace
