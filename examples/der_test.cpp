// The encodings skfdemo hands to the OpenSSL command line, parsed back by OpenSSL: integers with
// leading zero bytes or the top bit set, both RSA sizes, the SM2 curve.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>

#include "examples/der.h"

namespace {

constexpr std::size_t kField = 64;

// The key OpenSSL reads from `pem`; null unless OpenSSL writes the same PEM text back, so that
// only canonical encodings pass.
EVP_PKEY *ReadPem(const std::string &pem) {
  BIO *in = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY *key = PEM_read_bio_PUBKEY(in, nullptr, nullptr, nullptr);
  BIO_free(in);
  if (!key) return nullptr;
  BIO *out = BIO_new(BIO_s_mem());
  PEM_write_bio_PUBKEY(out, key);
  char *text = nullptr;
  const long size = BIO_get_mem_data(out, &text);
  const bool same = std::string(text, static_cast<std::size_t>(size)) == pem;
  BIO_free(out);
  if (same) return key;
  EVP_PKEY_free(key);
  return nullptr;
}

Bytes BnBytes(const BIGNUM *bn, int size) {
  Bytes out(static_cast<std::size_t>(size));
  BN_bn2binpad(bn, out.data(), size);
  return out;
}

TEST(SkfdemoDer, Sm2SignatureIntegersParseBack) {
  struct Case {
    std::uint8_t r_first, s_first;
  } cases[] = {{0x00, 0x80}, {0x7F, 0xFF}, {0x00, 0x00}};
  for (const Case &c : cases) {
    ECCSIGNATUREBLOB blob;
    std::memset(&blob, 0xEE, sizeof blob);  // leading halves are not part of the values
    for (std::size_t i = 32; i < kField; ++i) {
      blob.r[i] = static_cast<std::uint8_t>(i);
      blob.s[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    blob.r[32] = c.r_first;
    blob.s[32] = c.s_first;
    blob.s[33] = c.s_first == 0 ? 0 : blob.s[33];
    const Bytes der = Sm2SignatureDer(blob);
    const unsigned char *p = der.data();
    ECDSA_SIG *sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
    ASSERT_NE(sig, nullptr) << int(c.r_first);
    EXPECT_EQ(p, der.data() + der.size());
    EXPECT_EQ(BnBytes(ECDSA_SIG_get0_r(sig), 32), Bytes(blob.r + 32, blob.r + kField));
    EXPECT_EQ(BnBytes(ECDSA_SIG_get0_s(sig), 32), Bytes(blob.s + 32, blob.s + kField));
    ECDSA_SIG_free(sig);
  }
}

TEST(SkfdemoDer, Sm2PublicKeyIsOnTheSm2Curve) {
  // The generator point of the SM2 curve as a public key.
  static constexpr std::uint8_t gx[] = {0x32, 0xC4, 0xAE, 0x2C, 0x1F, 0x19, 0x81, 0x19,
                                        0x5F, 0x99, 0x04, 0x46, 0x6A, 0x39, 0xC9, 0x94,
                                        0x8F, 0xE3, 0x0B, 0xBF, 0xF2, 0x66, 0x0B, 0xE1,
                                        0x71, 0x5A, 0x45, 0x89, 0x33, 0x4C, 0x74, 0xC7};
  static constexpr std::uint8_t gy[] = {0xBC, 0x37, 0x36, 0xA2, 0xF4, 0xF6, 0x77, 0x9C,
                                        0x59, 0xBD, 0xCE, 0xE3, 0x6B, 0x69, 0x21, 0x53,
                                        0xD0, 0xA9, 0x87, 0x7C, 0xC6, 0x2A, 0x47, 0x40,
                                        0x02, 0xDF, 0x32, 0xE5, 0x21, 0x39, 0xF0, 0xA0};
  ECCPUBLICKEYBLOB blob{};
  blob.BitLen = 256;
  std::memcpy(blob.XCoordinate + 32, gx, 32);
  std::memcpy(blob.YCoordinate + 32, gy, 32);
  EVP_PKEY *key = ReadPem(Sm2PublicKeyPem(blob));
  ASSERT_NE(key, nullptr);
  char group[32] = {};
  EXPECT_EQ(
      EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr),
      1);
  EXPECT_STREQ(group, "SM2");
  unsigned char point[65];
  std::size_t size = 0;
  ASSERT_EQ(
      EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &size), 1);
  ASSERT_EQ(size, 65u);
  EXPECT_EQ(Bytes(point + 1, point + 33), Bytes(gx, gx + 32));
  EXPECT_EQ(Bytes(point + 33, point + 65), Bytes(gy, gy + 32));
  EVP_PKEY_free(key);
}

TEST(SkfdemoDer, RsaPublicKeyOfBothSizesParsesBack) {
  for (ULONG bits : {1024u, 2048u}) {
    RSAPUBLICKEYBLOB blob;
    std::memset(&blob, 0xEE, sizeof blob);  // bytes left of a 1024-bit modulus are not used
    blob.BitLen = bits;
    const std::size_t k = bits / 8;
    std::uint8_t *modulus = blob.Modulus + MAX_RSA_MODULUS_LEN - k;
    for (std::size_t i = 0; i < k; ++i) modulus[i] = static_cast<std::uint8_t>(0xC1 + i * 7);
    modulus[k - 1] |= 1;
    const std::uint8_t exponent[] = {0x00, 0x01, 0x00, 0x01};
    std::memcpy(blob.PublicExponent, exponent, sizeof exponent);
    EVP_PKEY *key = ReadPem(RsaPublicKeyPem(blob));
    ASSERT_NE(key, nullptr) << bits;
    EXPECT_EQ(EVP_PKEY_get_bits(key), static_cast<int>(bits));
    BIGNUM *n = nullptr, *e = nullptr;
    ASSERT_EQ(EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n), 1);
    ASSERT_EQ(EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e), 1);
    EXPECT_EQ(BnBytes(n, static_cast<int>(k)), Bytes(modulus, modulus + k));
    EXPECT_EQ(BN_get_word(e), 65537u);
    BN_free(n);
    BN_free(e);
    EVP_PKEY_free(key);
  }
  RSAPUBLICKEYBLOB odd{};
  odd.BitLen = 1536;
  EXPECT_TRUE(RsaPublicKeyPem(odd).empty());
}

}  // namespace
