#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "reference.h"
#include "skf/crypto/retail_mac.h"

namespace {

// ISO/IEC 9797-1 CBC-MAC over blocks 1..n-1 with block 0 as the IV (DES-CBC of OpenSSL),
// then algorithm 3's final decrypt-encrypt step when asked for.
Bytes ReferenceMac(const Bytes &msg, const Bytes &key, bool algorithm3) {
  const Bytes k1(key.begin(), key.begin() + 8), k2(key.begin() + 8, key.end());
  Bytes padded = msg;
  padded.resize(std::max<size_t>(8, msg.size() - msg.size() % 8));
  Bytes chain(padded.begin(), padded.begin() + 8);
  if (padded.size() > 8) {
    const Bytes body(padded.begin() + 8, padded.end());
    const Bytes cbc = RefCipher(EVP_des_cbc(), k1, chain, body, true);
    chain.assign(cbc.end() - 8, cbc.end());
  }
  if (algorithm3) {
    chain = RefCipher(EVP_des_ecb(), k2, {}, chain, false);
    chain = RefCipher(EVP_des_ecb(), k1, {}, chain, true);
  }
  return Bytes(chain.begin(), chain.begin() + 4);
}

Bytes Mac(const Bytes &msg, const Bytes &key, uint8_t flag, int len = -1) {
  uint8_t mac[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(DES_RetailMac(msg.data(), len < 0 ? static_cast<int>(msg.size()) : len, mac, key.data(),
                          flag),
            0);
  return Bytes(mac, mac + 4);
}

TEST(RetailMac, MatchesIsoAlgorithmsOverAllLengths) {
  LoadReferenceProviders();
  std::mt19937 rng(9797);
  for (int len = 0; len <= 128; ++len) {
    const Bytes key = RandomBytes(rng, 16), msg = RandomBytes(rng, len);
    ASSERT_EQ(Mac(msg, key, 0), ReferenceMac(msg, key, true)) << len;
    // Every non-zero flag is the single-key CBC-MAC.
    for (uint8_t flag : {1, 0x80, 0xFF}) {
      ASSERT_EQ(Mac(msg, key, flag), ReferenceMac(msg, key, false)) << len;
    }
  }
}

TEST(RetailMac, CallerShapes) {
  LoadReferenceProviders();
  const Bytes key = FromHex("00112233445566778899AABBCCDDEEFF");
  // Unblock command: 16 bytes, flag 1: DES under K1 of block 1 XOR block 0.
  const Bytes unblock = FromHex("0000000000000000 0123456789ABCDEF");
  const Bytes k1(key.begin(), key.begin() + 8);
  const Bytes single = RefCipher(EVP_des_ecb(), k1, {}, FromHex("0123456789ABCDEF"), true);
  EXPECT_EQ(Mac(unblock, key, 1), Bytes(single.begin(), single.begin() + 4));

  // Up to 8 bytes there is no chaining: flag 1 gives block 0 itself, zero-filled.
  EXPECT_EQ(Mac(FromHex("A1B2C3D4E5F60718"), key, 1), FromHex("A1B2C3D4"));
  EXPECT_EQ(Mac(FromHex("A1B2"), key, 1), FromHex("A1B20000"));

  // Trailing bytes after the last whole block are ignored.
  const Bytes forty(40, 0x5A);
  Bytes longer = forty;
  longer.insert(longer.end(), {1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(Mac(longer, key, 0), Mac(forty, key, 0));
}

TEST(RetailMac, RefusesLengthsOutsideTheWorkBuffer) {
  const Bytes key(16, 0x11);
  const Bytes msg(200, 0x22);
  for (int len : {129, 200, 100000, -1, -8}) {
    uint8_t mac[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(DES_RetailMac(msg.data(), len, mac, key.data(), 0), -1) << len;
    EXPECT_EQ(Bytes(mac, mac + 4), Bytes(4, 0)) << len;
  }
  uint8_t mac[4];
  EXPECT_EQ(DES_RetailMac(nullptr, 16, mac, key.data(), 0), -1);
  EXPECT_EQ(DES_RetailMac(msg.data(), 16, mac, nullptr, 0), -1);
  EXPECT_EQ(DES_RetailMac(msg.data(), 16, nullptr, key.data(), 0), -1);
}

}  // namespace
