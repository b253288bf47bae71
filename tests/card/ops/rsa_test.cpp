// RSA key files, generation, card operations and PKCS#1 blocks, byte for byte.
#include <openssl/bn.h>

#include <algorithm>
#include <cstring>

#include "ops_fixture.h"
#include "skf/card/op_results.h"
#include "skf/card/pkcs1.h"
#include "skf/card/rsa_keys.h"
#include "skf/card/rsa_ops.h"

namespace {

ByteVec Rev(ByteVec v) {
  std::reverse(v.begin(), v.end());
  return v;
}

ByteVec Select(std::uint8_t low) { return {0x00, 0xA4, 0x02, 0x00, 0x02, 0x00, low}; }

ByteVec Type1(std::size_t k, const ByteVec &data, std::uint8_t first = 0x00) {
  ByteVec b = Cat({{first, 0x01}, Fill(k - data.size() - 3, 0xFF), {0x00}, data});
  return b;
}

RsaPublicKeyRecord PublicRecord(std::uint32_t bits) {
  RsaPublicKeyRecord r = {};
  r.BitLen = bits;
  for (std::size_t i = 0; i < bits / 8; ++i) r.Modulus[i] = static_cast<std::uint8_t>(0xC0 + i);
  const std::uint8_t e[] = {0x00, 0x01, 0x00, 0x01};
  std::memcpy(r.PublicExponent, e, 4);
  return r;
}

using RsaTest = OpsTest;

TEST_F(RsaTest, SignPadsTypeOneAndUsesTheSigningKeyFile) {
  const ByteVec data = Counting(117, 1);
  const ByteVec signature = Counting(128, 0x20);
  Answer("");
  AnswerOk(Rev(signature));
  ByteVec out(256);
  std::uint32_t length = 0;
  ASSERT_EQ(QX_RsaSign(device_, 1, data, out, &length), 0);
  EXPECT_EQ(ByteVec(out.begin(), out.begin() + length), signature);
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Select(0x1D));
  EXPECT_EQ(sent[1], Cat({{0x80, 0xF8, 0x40, 0x00, 0x80}, Rev(Type1(128, data)), {0x80}}));

  EXPECT_EQ(QX_RsaSign(device_, 1, Counting(118), out, &length), -1);
  EXPECT_EQ(QX_RsaSign(device_, 3, data, out, &length), -1) << "no such size unit";
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(RsaTest, VerifyLoadsTheKeyAndComparesThePayload) {
  const RsaPublicKeyRecord key = PublicRecord(1024);
  const ByteVec data = Counting(20, 7);
  const ByteVec signature = Counting(128, 0x31);
  struct Case {
    ByteVec block;
    int result;
  } cases[] = {
      {Type1(128, data), 0},
      {Type1(128, data, 0x05), 0},  // byte 0 is not examined
      {Type1(128, Counting(21, 7)), -1},
      {Type1(128, Counting(20, 8)), -1},
  };
  for (const Case &c : cases) {
    Fake().Reset();
    for (int i = 0; i < 3; ++i) Answer("");
    AnswerOk(Rev(c.block));
    EXPECT_EQ(QX_RsaVerify(device_, key, data, signature), c.result);
  }
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], Select(0x01));
  EXPECT_EQ(sent[1], ByteVec({0x80, 0xD2, 0x20, 0x01, 0x04, 0x01, 0x00, 0x01, 0x00}));
  EXPECT_EQ(sent[2],
            Cat({{0x80, 0xD2, 0x20, 0x02, 0x80}, Rev(ByteVec(key.Modulus, key.Modulus + 128))}));
  EXPECT_EQ(sent[3], Cat({{0x80, 0xF6, 0x40, 0x00, 0x80}, Rev(signature), {0x80}}));
  Fake().Reset();
  EXPECT_EQ(QX_RsaVerify(device_, key, data, Counting(127)), -1);
}

TEST_F(RsaTest, UnpaddingRules) {
  const ByteVec payload = {0xAA, 0xBB};
  struct Case {
    ByteVec block;
    std::uint32_t k;
    int result;
    std::uint32_t length;
  } cases[] = {
      {Cat({{0x00, 0x02}, Fill(8, 0x31), {0x00}, payload}), 13, 0, 2},
      {Cat({{0x07, 0x02}, Fill(8, 0x31), {0x00}, payload}), 13, 0, 2},   // byte 0 not examined
      {Cat({{0x00, 0x02}, Fill(7, 0x31), {0x00}, payload}), 12, -1, 0},  // 7 padding bytes
      {Cat({{0x00, 0x02}, Fill(11, 0x31)}), 13, -1, 0},                  // no separator
      {Cat({{0x00, 0x01}, Fill(8, 0x31), {0x00}, payload}), 13, -1, 0},  // other type
      {Cat({{0x00, 0x02}, Fill(8, 0x31), {0x00}, payload}), 14, -1, 0},  // length is not k
      {Cat({{0x00, 0x02}, Fill(9, 0x31), {0x00}}), 12, 0, 0},            // empty payload
  };
  for (const Case &c : cases) {
    ByteVec out(32);
    std::uint32_t n = 99;
    EXPECT_EQ(PKCS1_UnpadType2(out.data(), &n, c.block.data(),
                               static_cast<std::uint32_t>(c.block.size()), c.k),
              c.result)
        << ToHex(c.block);
    if (c.result == 0) {
      EXPECT_EQ(n, c.length);
      EXPECT_EQ(ByteVec(out.begin(), out.begin() + n),
                ByteVec(payload.begin(), payload.begin() + n));
    }
  }
}

TEST_F(RsaTest, TypeTwoPaddingIsFreshNonzeroRandomness) {
  const ByteVec key = Counting(16);
  ByteVec first(256), second(256);
  ASSERT_EQ(PKCS1_PadType2(first.data(), key.data(), 16, 256), 0);
  ASSERT_EQ(PKCS1_PadType2(second.data(), key.data(), 16, 256), 0);
  for (const ByteVec *b : {&first, &second}) {
    EXPECT_EQ((*b)[0], 0x00);
    EXPECT_EQ((*b)[1], 0x02);
    EXPECT_EQ((*b)[256 - 17], 0x00);
    EXPECT_EQ(ByteVec(b->end() - 16, b->end()), key);
    EXPECT_TRUE(std::none_of(b->begin() + 2, b->end() - 17, [](std::uint8_t v) { return v == 0; }));
    // Not limited to decimal digits, as a text-based generator would be.
    EXPECT_TRUE(std::any_of(b->begin() + 2, b->end() - 17,
                            [](std::uint8_t v) { return v < 0x30 || v > 0x39; }));
  }
  EXPECT_NE(first, second) << "two paddings in the same second differ";
  EXPECT_EQ(PKCS1_PadType2(first.data(), Counting(246).data(), 246, 256), -1);
}

TEST_F(RsaTest, PrivateOperationLoadsTheWholeKeyAndKeepsARawAnswer) {
  RsaKeyRecord key = {};
  key.BitLen = 1024;
  const RsaPublicKeyRecord pub = PublicRecord(1024);
  std::memcpy(key.Modulus, pub.Modulus, 128);
  std::memcpy(key.PublicExponent, pub.PublicExponent, 4);
  std::uint8_t *parts[] = {key.Prime1, key.Prime2, key.Coefficient, key.Prime1Exponent,
                           key.Prime2Exponent};
  for (int i = 0; i < 5; ++i) std::memset(parts[i], 0x10 * (i + 1), 64);
  const ByteVec in = Counting(128, 9);
  const ByteVec raw = Counting(128, 0x60);  // not a type-2 block
  for (int i = 0; i < 10; ++i) Answer("");
  AnswerOk(Rev(raw));
  ByteVec out(256);
  std::uint32_t length = 0;
  ASSERT_EQ(QX_RsaPrivateOp(device_, key, in, out, &length), 0);
  EXPECT_EQ(ByteVec(out.begin(), out.begin() + length), raw);
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 11u);
  EXPECT_EQ(sent[3], Cat({{0x80, 0xF6, 0x40, 0x00, 0x80}, Fill(128, 0x01), {0x80}}));
  EXPECT_EQ(sent[4], Select(0x02));
  const std::uint8_t order[] = {0x03, 0x04, 0x05, 0x06, 0x07};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sent[5 + i], Cat({{0x80, 0xD2, 0xA0, order[i], 0x40},
                                Fill(64, static_cast<std::uint8_t>(0x10 * (i + 1)))}));
  }
  EXPECT_EQ(sent[10], Cat({{0x80, 0xF8, 0x40, 0x00, 0x80}, Rev(in), {0x80}}));

  Fake().Reset();
  EXPECT_EQ(QX_RsaPrivateOp(device_, key, Counting(100), out, &length), -1);
  key.BitLen = 1536;
  EXPECT_EQ(QX_RsaPrivateOp(device_, key, in, out, &length), -1);
}

TEST_F(RsaTest, ContainerDecryptionPicksTheFormByLength) {
  const ByteVec payload = Counting(16, 0xD0);
  struct Case {
    std::size_t in_length;
    int signing;
    std::uint8_t file;
  } cases[] = {{128, 0, 0x1B}, {200, 1, 0x1D}, {256, 0, 0x1B}};
  for (const Case &c : cases) {
    Fake().Reset();
    const std::size_t k = c.in_length == 128 ? 128 : 256;
    const ByteVec block = Cat({{0x00, 0x02}, Fill(k - 19, 0x5A), {0x00}, payload});
    Answer("");
    AnswerOk(Rev(block));
    const ByteVec in = Counting(c.in_length, 1);
    ByteVec out(256);
    std::uint32_t length = 0;
    ASSERT_EQ(QX_RsaDecrypt(device_, c.signing, in, out, &length), 0) << c.in_length;
    EXPECT_EQ(ByteVec(out.begin(), out.begin() + length), payload);
    const auto sent = SentBytes();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], Select(c.file));
    ByteVec padded = in;
    padded.resize(k, 0);  // a shorter ciphertext is zero-extended at its end
    EXPECT_EQ(sent[1],
              k == 128
                  ? Cat({{0x80, 0xF8, 0x40, 0x00, 0x80}, Rev(padded), {0x80}})
                  : Cat({{0x80, 0xF8, 0x40, 0x00, 0x00, 0x01, 0x00}, Rev(padded), {0x01, 0x00}}));
  }
  // The raw form returns all k bytes; over 256 bytes nothing is sent.
  Fake().Reset();
  Answer("");
  AnswerOk(Counting(128));
  ByteVec out(256);
  std::uint32_t length = 0;
  ASSERT_EQ(QX_RsaDecryptRaw(device_, 0, Counting(128), out, &length), 0);
  EXPECT_EQ(length, 128u);
  EXPECT_EQ(QX_RsaDecrypt(device_, 0, Counting(300), out, &length), -1);
  EXPECT_EQ(Sent().size(), 2u);
  // An output too small for the payload.
  Answer("");
  AnswerOk(Rev(Cat({{0x00, 0x02}, Fill(128 - 19, 0x5A), {0x00}, payload})));
  EXPECT_EQ(
      QX_RsaDecrypt(device_, 0, Counting(128), std::span<std::uint8_t>(out.data(), 8), &length),
      kOutTooSmall);
  EXPECT_EQ(length, 16u);
}

TEST_F(RsaTest, GenerationAndExportReadTheComponents) {
  const ByteVec modulus = Counting(256, 0x80);
  Answer("");
  Answer("");
  AnswerOk(Rev(modulus));
  Answer("01 00 01 00");
  RsaPublicKeyRecord pub = {};
  ASSERT_EQ(QX_GenRsaKeyPair(device_, 2048, 1, &pub), 0);
  EXPECT_EQ(pub.BitLen, 2048u);
  EXPECT_EQ(ByteVec(pub.Modulus, pub.Modulus + 256), modulus);
  EXPECT_EQ(ByteVec(pub.PublicExponent, pub.PublicExponent + 4), ByteVec({0, 1, 0, 1}));
  EXPECT_EQ(Sent(), std::vector<std::string>({"80 D0 5C 1D 00", "00 A4 02 00 02 00 1C",
                                              "80 D8 20 02 00 01 00", "80 D8 20 01 04"}));

  Fake().Reset();
  Answer("");
  AnswerOk(Counting(128));
  Answer("01 00 01 00");
  for (int i = 0; i < 5; ++i) AnswerOk(Fill(64, static_cast<std::uint8_t>(i)));
  RsaKeyRecord key = {};
  ASSERT_EQ(QX_GenExtRsaKey(device_, 1024, &key), 0);
  EXPECT_EQ(Sent(), std::vector<std::string>({"80 D0 80 80 00", "80 D8 00 02 80", "80 D8 00 01 04",
                                              "80 D8 00 06 40", "80 D8 00 07 40", "80 D8 00 03 40",
                                              "80 D8 00 04 40", "80 D8 00 05 40"}));
  EXPECT_EQ(key.Prime1Exponent[0], 0);
  EXPECT_EQ(key.Coefficient[0], 4);

  // Export of the exchange key of a 1024-bit container; a short modulus answer fails.
  Fake().Reset();
  Answer("");
  AnswerOk(Counting(127));
  EXPECT_EQ(QX_RsaExportPublicKey(device_, 1, 0, &pub), -1);
  EXPECT_EQ(Sent(), std::vector<std::string>({"00 A4 02 00 02 00 1A", "80 D8 20 02 80"}));
}

TEST_F(RsaTest, KeyFilesAreCreatedOnlyWhereMissing) {
  Answer("11 22 33 44 55 66 77 88");  // challenge
  ASSERT_EQ(QX_CreateRsaKeyFiles(device_, 2048), 0);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[2], "00 A4 02 00 02 00 1A");
  EXPECT_EQ(sent[5], "00 A4 02 00 02 00 1D");

  Fake().Reset();
  Answer("11 22 33 44 55 66 77 88");
  Answer("");
  Answer("");
  Answer("", 0x6A82);
  ASSERT_EQ(QX_CreateRsaKeyFiles(device_, 2048), 0);
  sent = Sent();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[4], "80 E0 00 11 0A 00 1B 01 01 00 00 01 00 00 00");

  Fake().Reset();
  Answer("11 22 33 44 55 66 77 88");
  Answer("");
  Answer("", 0x6A82);
  Answer("", 0x6A84);
  EXPECT_EQ(QX_CreateRsaKeyFiles(device_, 1024), -1);
  EXPECT_EQ(Sent().back(), "80 E0 00 10 0E 00 1A 00 00 00 00 00 00 00 00 00 00 00 00");
}

TEST_F(RsaTest, BignumBytesAndReversal) {
  BIGNUM *bn = BN_new();
  const std::uint8_t be[] = {0x01, 0x02, 0x03};
  BN_bin2bn(be, 3, bn);
  std::uint8_t field[4] = {};
  EXPECT_EQ(BignumToBytes(bn, field), 3);
  EXPECT_EQ(ByteVec(field, field + 3), ByteVec({0x03, 0x02, 0x01}));
  EXPECT_EQ(ReverseBuffer(field, 4), 2);
  EXPECT_EQ(ByteVec(field, field + 4), ByteVec({0x00, 0x01, 0x02, 0x03}));
  EXPECT_EQ(BignumToBytes(bn, std::span<std::uint8_t>(field, 2)), -1) << "does not fit";
  BN_zero(bn);
  EXPECT_EQ(BignumToBytes(bn, field), 0);
  BN_free(bn);
  for (std::uint32_t n : {0u, 1u}) {
    EXPECT_EQ(ReverseBuffer(field, n), 0);
    EXPECT_EQ(ByteVec(field, field + 4), ByteVec({0x00, 0x01, 0x02, 0x03}));
  }
}

}  // namespace
