// Whole-buffer symmetric operations: probe and piece size, command forms, host padding and CBC
// chaining, byte for byte through the test readerio.
#include <openssl/evp.h>

#include "ops_fixture.h"
#include "skf/card/sym_cipher.h"
#include "skf/card/sym_commands.h"

namespace {

const ByteVec kKey = Counting(16, 0xA0);
const ByteVec kIv = Counting(16, 0x50);

class SymTest : public OpsTest {
 protected:
  int Encrypt(std::uint32_t alg, std::uint32_t padding, const ByteVec &in, ByteVec &out,
              ByteVec *iv = nullptr) {
    out.assign(in.size() + 32, 0);
    int length = -7;
    const int r = QX_SymEncrypt(device_, alg, padding, kKey.data(), 16, iv ? iv->data() : nullptr,
                                iv ? 16 : 0, in.data(), static_cast<int>(in.size()), out, &length);
    if (r == 0) out.resize(static_cast<std::size_t>(length));
    return r;
  }
  int Decrypt(std::uint32_t alg, std::uint32_t padding, const ByteVec &in, ByteVec &out,
              ByteVec *iv = nullptr) {
    out.assign(in.size() + 32, 0);
    int length = -7;
    const int r = QX_SymDecrypt(device_, alg, padding, kKey.data(), 16, iv ? iv->data() : nullptr,
                                iv ? 16 : 0, in.data(), static_cast<int>(in.size()), out, &length);
    if (r == 0) out.resize(static_cast<std::size_t>(length));
    return r;
  }
  void ProbeRefused() { Answer("", 0x6700); }
};

TEST_F(SymTest, ProbeAndReaderMaximumSetThePieceSize) {
  struct Case {
    std::uint32_t info_sw, max_data;
    bool write;
    std::uint32_t probe_sw;
    int want_long, want_piece;
  } cases[] = {
      {0x9000, 0, false, 0x9000, 1, 80},  // a reader that leaves M alone reports 134
      {0x9000, 261, true, 0x9000, 1, 208},       {0x9000, 1024, true, 0x9000, 1, 976},
      {0x9000, 4096, true, 0x9000, 1, 4048},     {0x9000, 64, true, 0x9000, 1, 16},
      {0x9000, 63, true, 0x9000, 0, 0},           // no whole block: short commands
      {0x9000, 1000000, true, 0x9000, 1, 40960},  // clamped to the work buffers
      {0x6A81, 4096, true, 0x9000, 0, 0},         // reader query failed
      {0x9000, 4096, true, 0x6700, 0, 0},         // probe refused
  };
  for (const Case &c : cases) {
    Fake().Reset();
    ReaderInfo(c.info_sw, c.max_data, c.write);
    Answer("", c.probe_sw);
    const SymLink link = QX_SymProbe(device_);
    EXPECT_EQ(link.bSupLong, c.want_long) << c.max_data << " " << std::hex << c.probe_sw;
    EXPECT_EQ(link.piece, c.want_piece) << c.max_data;
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0], kProbeHex);
    EXPECT_EQ(ReaderInfoCalls(), 1u);
  }
}

TEST_F(SymTest, ShortCommandsCutSm1IntoPiecesOf112WithPaddingInTheLast) {
  ProbeRefused();
  const ByteVec data = Counting(200);
  const ByteVec a1 = Fill(112, 0x11), a2 = Fill(96, 0x22);
  AnswerOk(a1);
  AnswerOk(a2);
  ByteVec out;
  ASSERT_EQ(Encrypt(0x101, 1, data, out), 0);
  EXPECT_EQ(out, Cat({a1, a2}));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1], Cat({{0x80, 0xF3, 0x00, 0x01, 0x80},
                          kKey,
                          ByteVec(data.begin(), data.begin() + 112),
                          {0x70}}));
  EXPECT_EQ(sent[2], Cat({{0x80, 0xF3, 0x00, 0x01, 0x70},
                          kKey,
                          ByteVec(data.begin() + 112, data.end()),
                          Fill(8, 0x08),
                          {0x60}}));
}

TEST_F(SymTest, ShortSm4EcbSendsOneBlockPerCommand) {
  ProbeRefused();
  const ByteVec data = Counting(48);
  for (int i = 0; i < 3; ++i) AnswerOk(Fill(16, static_cast<std::uint8_t>(i)));
  ByteVec out;
  ASSERT_EQ(Encrypt(0x401, 0, data, out), 0);
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(sent[i], Cat({{0x80, 0xF3, 0x00, 0x02, 0x20},
                            kKey,
                            ByteVec(data.begin() + 16 * (i - 1), data.begin() + 16 * i),
                            {0x10}}));
  }
  EXPECT_EQ(out, Cat({Fill(16, 0), Fill(16, 1), Fill(16, 2)}));
}

TEST_F(SymTest, ExtendedCommandCarriesAWholePaddingBlock) {
  Answer("");
  AnswerOk(Fill(32, 0x33));
  ByteVec out;
  ASSERT_EQ(Encrypt(0x401, 1, Counting(16), out), 0);
  EXPECT_EQ(out.size(), 32u);
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], Cat({{0x80, 0xF3, 0x00, 0x02, 0x00, 0x00, 0x30},
                          kKey,
                          Counting(16),
                          Fill(16, 0x10),
                          {0x00, 0x20}}));
}

TEST_F(SymTest, CbcChainsEachPieceOnThePreviousCiphertext) {
  const ByteVec data = Counting(160, 3);
  const ByteVec a1 = Counting(80, 0x80), a2 = Counting(80, 0x10);
  for (bool encrypt : {true, false}) {
    Fake().Reset();
    Answer("");
    AnswerOk(a1);
    AnswerOk(a2);
    ByteVec iv = kIv, out;
    ASSERT_EQ(encrypt ? Encrypt(0x402, 0, data, out, &iv) : Decrypt(0x402, 0, data, out, &iv), 0);
    EXPECT_EQ(out, Cat({a1, a2}));
    const ByteVec &cipher1 = encrypt ? a1 : ByteVec(data.begin(), data.begin() + 80);
    const ByteVec &cipher2 = encrypt ? a2 : ByteVec(data.begin() + 80, data.end());
    const std::uint8_t p1 = encrypt ? 0x00 : 0x01;
    const auto sent = SentBytes();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], Cat({{0x80, 0xF1, p1, 0x82, 0x00, 0x00, 0x70},
                            kKey,
                            kIv,
                            ByteVec(data.begin(), data.begin() + 80),
                            {0x00, 0x50}}));
    EXPECT_EQ(sent[2], Cat({{0x80, 0xF1, p1, 0x82, 0x00, 0x00, 0x70},
                            kKey,
                            ByteVec(cipher1.end() - 16, cipher1.end()),
                            ByteVec(data.begin() + 80, data.end()),
                            {0x00, 0x50}}));
    EXPECT_EQ(iv, ByteVec(cipher2.end() - 16, cipher2.end())) << "the caller's IV follows";
  }
}

TEST_F(SymTest, DecryptionPaddingByTheLastByte) {
  struct Case {
    std::uint8_t last;
    int result;
    std::size_t length;
  } cases[] = {{0x11, -1, 0}, {0x00, 0, 32}, {0x05, 0, 27}, {0x10, 0, 16}};
  for (const Case &c : cases) {
    Fake().Reset();
    Answer("");
    ByteVec plain = Counting(32);
    plain[31] = c.last;
    AnswerOk(plain);
    ByteVec out;
    ASSERT_EQ(Decrypt(0x401, 1, Counting(32), out), c.result) << int(c.last);
    if (c.result == 0) {
      EXPECT_EQ(out, ByteVec(plain.begin(), plain.begin() + c.length));
    }
  }
}

TEST_F(SymTest, RefusalsBeforeAnyDataCommand) {
  ByteVec out(64), iv = kIv;
  int length = 0;
  const ByteVec in = Counting(32);
  // CBC needs a 16-byte IV.
  EXPECT_EQ(
      QX_SymEncrypt(device_, 0x402, 0, kKey.data(), 16, iv.data(), 8, in.data(), 32, out, &length),
      -1);
  EXPECT_EQ(
      QX_SymDecrypt(device_, 0x102, 0, kKey.data(), 16, nullptr, 16, in.data(), 32, out, &length),
      -1);
  // Decryption of a partial block, an output that cannot hold the result, padding on nothing.
  EXPECT_EQ(
      QX_SymDecrypt(device_, 0x401, 0, kKey.data(), 16, nullptr, 0, in.data(), 31, out, &length),
      -1);
  EXPECT_EQ(QX_SymEncrypt(device_, 0x401, 1, kKey.data(), 16, nullptr, 0, in.data(), 32,
                          std::span<std::uint8_t>(out.data(), 47), &length),
            -1);
  EXPECT_EQ(
      QX_SymDecrypt(device_, 0x401, 1, kKey.data(), 16, nullptr, 0, in.data(), 0, out, &length),
      -1);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 5u) << "only the probes";
  for (const auto &s : sent) EXPECT_EQ(s, kProbeHex);
}

TEST_F(SymTest, LengthQueryAfterTheProbe) {
  const ByteVec in = Counting(33);
  for (auto [padding, want] : {std::pair{1u, 48}, std::pair{0u, 33}}) {
    int length = 0;
    ASSERT_EQ(QX_SymEncrypt(device_, 0x401, padding, kKey.data(), 16, nullptr, 0, in.data(), 33, {},
                            &length),
              0);
    EXPECT_EQ(length, want);
  }
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(SymTest, ShortCardAnswerFails) {
  Answer("");
  AnswerOk(Fill(15, 0));
  ByteVec out;
  EXPECT_EQ(Encrypt(0x401, 0, Counting(16), out), -1);
  Answer("");
  Answer("", 0x6985);
  EXPECT_EQ(Encrypt(0x401, 0, Counting(16), out), -1);
}

TEST_F(SymTest, IdentifierOneIsTripleDesPerBlockInSoftware) {
  const ByteVec in = Counting(24, 0x40);
  ByteVec out;
  ASSERT_EQ(Encrypt(1, 1, in, out), 0);
  ASSERT_EQ(out.size(), 24u) << "no padding on this path";
  ByteVec ref(24);
  int n = 0;
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  ASSERT_EQ(EVP_EncryptInit_ex(ctx, EVP_des_ede_ecb(), nullptr, kKey.data(), nullptr), 1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  ASSERT_EQ(EVP_EncryptUpdate(ctx, ref.data(), &n, in.data(), 24), 1);
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_EQ(out, ref);
  ByteVec back;
  ASSERT_EQ(Decrypt(1, 0, out, back), 0);
  EXPECT_EQ(back, in);
  EXPECT_EQ(Encrypt(1, 0, Counting(20), out), -1);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
