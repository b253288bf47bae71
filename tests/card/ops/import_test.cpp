// Imported-key decryption and key-pair import, byte for byte.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>

#include "ops_fixture.h"
#include "skf/card/imported_key.h"
#include "skf/card/key_import.h"

namespace {

using ImportTest = OpsTest;

ByteVec Rev(ByteVec v) {
  std::reverse(v.begin(), v.end());
  return v;
}

TEST_F(ImportTest, CardPathDecryptsBlockByBlockAndStrips) {
  const ByteVec key = Counting(16, 0xB0);
  const ByteVec in = Counting(32, 0x20);
  ByteVec second = Fill(16, 0x77);
  second[15] = 0x04;
  Answer("");
  AnswerOk(Fill(16, 0x66));
  Answer("");
  AnswerOk(second);
  ByteVec out(32);
  int length = 0;
  ASSERT_EQ(QX_DecryptImportedKey(device_, 0x201, 1, key, in, out, &length), 0);
  EXPECT_EQ(length, 28);
  EXPECT_EQ(ByteVec(out.begin(), out.begin() + 28),
            Cat({Fill(16, 0x66), ByteVec(second.begin(), second.begin() + 12)}));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u) << "probe and one block command per block";
  EXPECT_EQ(ToHex(sent[0]), kProbeHex);
  EXPECT_EQ(sent[1], Cat({{0x80, 0xF3, 0x01, 0x00, 0x00, 0x00, 0x20},
                          key,
                          ByteVec(in.begin(), in.begin() + 16),
                          {0x00, 0x10}}));

  // A last byte above 16 fails; so does a key over 64 bytes or a partial block.
  Fake().Reset();
  second[15] = 0x11;
  Answer("");
  AnswerOk(second);
  EXPECT_EQ(QX_DecryptImportedKey(device_, 0x401, 1, key, Counting(16), out, &length), -1);
  EXPECT_EQ(SentBytes()[1][3], 0x02) << "SM4 is card mode 2";
  EXPECT_EQ(QX_DecryptImportedKey(device_, 0x401, 0, Fill(65, 1), in, out, &length), -1);
  EXPECT_EQ(QX_DecryptImportedKey(device_, 0x401, 0, key, Counting(24), out, &length), -1);
  EXPECT_EQ(QX_DecryptImportedKey(device_, 0x401, 0, key, in,
                                  std::span<std::uint8_t>(out.data(), 16), &length),
            -1);
}

TEST_F(ImportTest, CardModeByIdentifier) {
  const struct {
    std::uint32_t alg;
    std::uint8_t mode;
  } cases[] = {{0x101, 0x01}, {0x401, 0x02}, {0x201, 0x00}, {0x102, 0x00}, {0x402, 0x00}};
  for (const auto &c : cases) {
    Fake().Reset();
    Answer("");
    AnswerOk(Fill(16, 0x66));
    ByteVec out(16);
    int length = 0;
    ASSERT_EQ(QX_DecryptImportedKey(device_, c.alg, 0, Counting(16), Counting(16), out, &length),
              0);
    const auto sent = SentBytes();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1][3], c.mode) << std::hex << c.alg;
  }
}

// The key lies zero-padded in 64 bytes: two-key triple DES for 16 bytes, three-key (its first
// 24 bytes) for any other length.
TEST_F(ImportTest, IdentifierOneIsTripleDesInSoftware) {
  const ByteVec plain = Counting(16, 0x01);
  for (std::size_t key_length : {16u, 8u, 20u, 24u, 32u}) {
    const ByteVec key = Counting(key_length, 0x31);
    ByteVec padded = key;
    padded.resize(24, 0x00);
    ByteVec cipher(16);
    int n = 0;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ASSERT_EQ(EVP_EncryptInit_ex(ctx, key_length == 16 ? EVP_des_ede_ecb() : EVP_des_ede3_ecb(),
                                 nullptr, padded.data(), nullptr),
              1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    ASSERT_EQ(EVP_EncryptUpdate(ctx, cipher.data(), &n, plain.data(), 16), 1);
    EVP_CIPHER_CTX_free(ctx);
    ByteVec out(16);
    int length = 0;
    ASSERT_EQ(QX_DecryptImportedKey(device_, 1, 1, key, cipher, out, &length), 0) << key_length;
    EXPECT_EQ(length, 16) << "no stripping in software";
    EXPECT_EQ(out, plain) << key_length;
  }
  int length = 0;
  ByteVec out(16);
  EXPECT_EQ(QX_DecryptImportedKey(device_, 1, 0, Counting(16), Counting(12), out, &length), -1);
  EXPECT_TRUE(Sent().empty());
}

RsaKeyRecord Record(std::uint32_t bits) {
  RsaKeyRecord r = {};
  r.BitLen = bits;
  const std::size_t k = bits / 8;
  for (std::size_t i = 0; i < k; ++i) r.Modulus[i] = static_cast<std::uint8_t>(0x80 + i);
  const std::uint8_t e[] = {0x00, 0x01, 0x00, 0x01};
  std::memcpy(r.PublicExponent, e, 4);
  std::uint8_t *parts[] = {r.Prime1, r.Prime2, r.Coefficient, r.Prime1Exponent, r.Prime2Exponent};
  for (int p = 0; p < 5; ++p) {
    for (std::size_t i = 0; i < k / 2; ++i) parts[p][i] = static_cast<std::uint8_t>(p * 16 + i + 1);
  }
  r.Prime1[0] = 0x00;  // one byte shorter than k/2
  return r;
}

TEST_F(ImportTest, RsaPairGoesIntoTheExchangeFiles) {
  for (std::uint32_t bits : {1024u, 2048u}) {
    Fake().Reset();
    const RsaKeyRecord key = Record(bits);
    const std::size_t k = bits / 8;
    ASSERT_EQ(QX_RsaImportKeyPair(device_, key), 0);
    const auto sent = SentBytes();
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(ToHex(sent[0]), "00 A4 02 00 02 00 1A");
    EXPECT_EQ(ToHex(sent[1]), "80 D2 20 01 04 01 00 01 00");
    const ByteVec n(key.Modulus, key.Modulus + k);
    EXPECT_EQ(sent[2], bits == 1024 ? Cat({{0x80, 0xD2, 0x20, 0x02, 0x80}, Rev(n)})
                                    : Cat({{0x80, 0xD2, 0x20, 0x02, 0x00, 0x01, 0x00}, Rev(n)}));
    EXPECT_EQ(ToHex(sent[3]), "00 A4 02 00 02 00 1B");
    const std::uint8_t order[] = {0x03, 0x04, 0x05, 0x06, 0x07};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(sent[4 + i][3], order[i]);
      EXPECT_EQ(sent[4 + i][4], k / 2);
      EXPECT_EQ(sent[4 + i].size(), 5 + k / 2);
    }
    EXPECT_EQ(sent[4].back(), 0x00) << "the short prime arrives zero-extended at its top";
  }
  RsaKeyRecord odd = Record(1024);
  odd.BitLen = 1536;
  EXPECT_EQ(QX_RsaImportKeyPair(device_, odd), -1);
  EXPECT_EQ(Sent().size(), 9u);
}

// A PKCS #1 RSAPrivateKey of any size; BitLen is the modulus length in whole bytes.
TEST_F(ImportTest, ParsedDerKeyMatchesOpenSsl) {
  for (int bits : {1024, 2048, 1023}) {
    EVP_PKEY *pkey = EVP_RSA_gen(static_cast<unsigned>(bits));
    ASSERT_NE(pkey, nullptr);
    unsigned char *der = nullptr;
    const int der_length = i2d_PrivateKey(pkey, &der);
    ASSERT_GT(der_length, 0);
    RsaKeyRecord key = {};
    ASSERT_EQ(ParseRsaPrivateKey({der, static_cast<std::size_t>(der_length)}, &key), 0) << bits;
    const std::size_t k = (static_cast<std::size_t>(bits) + 7) / 8;
    EXPECT_EQ(key.BitLen, 8 * k);
    const struct {
      const char *name;
      const std::uint8_t *field;
      std::size_t width;
    } parts[] = {{OSSL_PKEY_PARAM_RSA_N, key.Modulus, k},
                 {OSSL_PKEY_PARAM_RSA_E, key.PublicExponent, 4},
                 {OSSL_PKEY_PARAM_RSA_D, key.PrivateExponent, k},
                 {OSSL_PKEY_PARAM_RSA_FACTOR1, key.Prime1, k / 2},
                 {OSSL_PKEY_PARAM_RSA_FACTOR2, key.Prime2, k / 2},
                 {OSSL_PKEY_PARAM_RSA_EXPONENT1, key.Prime1Exponent, k / 2},
                 {OSSL_PKEY_PARAM_RSA_EXPONENT2, key.Prime2Exponent, k / 2},
                 {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.Coefficient, k / 2}};
    for (const auto &p : parts) {
      BIGNUM *bn = nullptr;
      ASSERT_EQ(EVP_PKEY_get_bn_param(pkey, p.name, &bn), 1);
      ByteVec want(p.width);
      BN_bn2binpad(bn, want.data(), static_cast<int>(p.width));
      BN_free(bn);
      EXPECT_EQ(ByteVec(p.field, p.field + p.width), want) << p.name;
    }
    OPENSSL_free(der);
    EVP_PKEY_free(pkey);
  }
}

// Bytes that are no PKCS #1 RSAPrivateKey leave the record untouched: junk, and the same key
// wrapped as PKCS #8.
TEST_F(ImportTest, OnlyTheRsaPrivateKeyStructureIsTaken) {
  EVP_PKEY *pkey = EVP_RSA_gen(1024);
  ASSERT_NE(pkey, nullptr);
  PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(pkey);
  ASSERT_NE(info, nullptr);
  unsigned char *pkcs8 = nullptr;
  const int pkcs8_length = i2d_PKCS8_PRIV_KEY_INFO(info, &pkcs8);
  ASSERT_GT(pkcs8_length, 0);
  const ByteVec inputs[] = {Counting(100), ByteVec(pkcs8, pkcs8 + pkcs8_length)};
  for (const ByteVec &der : inputs) {
    RsaKeyRecord untouched = {};
    untouched.BitLen = 77;
    EXPECT_EQ(ParseRsaPrivateKey(der, &untouched), -1);
    EXPECT_EQ(untouched.BitLen, 77u);
  }
  OPENSSL_free(pkcs8);
  PKCS8_PRIV_KEY_INFO_free(info);
  EVP_PKEY_free(pkey);
}

TEST_F(ImportTest, EccPairGoesIntoTheEncryptionFiles) {
  const ByteVec pub = Counting(64, 0x10), prv = Counting(32, 0x70);
  ASSERT_EQ(QX_EccImportKeyPair(device_, pub, prv), 0);
  EXPECT_EQ(Sent(),
            std::vector<std::string>({"00 A4 02 00 02 00 0A", "80 36 20 00 40 " + ToHex(pub),
                                      "00 A4 02 00 02 00 0B", "80 36 A0 01 20 " + ToHex(prv)}));
  Fake().Reset();
  Answer("");
  Answer("", 0x6A80);
  EXPECT_EQ(QX_EccImportKeyPair(device_, pub, prv), -1);
  EXPECT_EQ(Sent().size(), 2u);
}

}  // namespace
