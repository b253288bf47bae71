// Runs in its own process: nothing here loads an OpenSSL provider before the library does,
// so single DES works only if the library itself makes the legacy provider available.
#include <gtest/gtest.h>

#include <cstring>

#include "skf/crypto/des_evp.h"

namespace {

TEST(DesEvpProviders, SingleAndTripleDesAvailableOnTheirOwn) {
  // FIPS 46-3 worked example; two-key triple DES with K1 = K2 is single DES.
  const uint8_t key[16] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1,
                           0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  const uint8_t plain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const uint8_t expected[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  for (int triple : {0, 1}) {
    uint8_t out[8] = {};
    int len = 0;
    ASSERT_EQ(DES_EvpEncrypt(out, &len, plain, 8, key, triple ? 16 : 8, triple, 0), 1) << triple;
    EXPECT_EQ(len, 8);
    EXPECT_EQ(std::memcmp(out, expected, 8), 0) << triple;
  }
}

}  // namespace
