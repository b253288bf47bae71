// Update and Final steps of multi-part encryption and the stream card functions.
#include <cstring>

#include "ops_fixture.h"
#include "skf/card/sym_stream.h"

namespace {

const ByteVec kKey = Counting(16, 0xA0);
const ByteVec kIv = Counting(16, 0x50);

class StreamTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    Init(0x401, 1);
  }
  void Init(std::uint32_t alg, std::uint32_t padding) {
    s_ = SymStreamState{};
    s_.dwAlgID = alg;
    s_.bPadding = padding;
    std::memcpy(s_.Key, kKey.data(), 16);
    s_.IVLen = 16;
    std::memcpy(s_.IV, kIv.data(), 16);
    s_.hDev = device_;
  }
  int EncUpdate(const ByteVec &in, ByteVec &out) {
    out.assign(in.size() + 32, 0);
    std::uint32_t n = 0;
    const int r = StreamEncryptUpdate(s_, in, out, &n);
    out.resize(n);
    return r;
  }
  int DecUpdate(const ByteVec &in, ByteVec &out) {
    out.assign(in.size() + 32, 0);
    std::uint32_t n = 0;
    const int r = StreamDecryptUpdate(s_, in, out, &n);
    out.resize(n);
    return r;
  }
  template <typename Fn>
  int Final(Fn fn, ByteVec &out) {
    out.assign(32, 0);
    std::uint32_t n = 0;
    const int r = fn(s_, out, &n);
    out.resize(n);
    return r;
  }
  ByteVec RecordIv() const { return ByteVec(s_.IV, s_.IV + 16); }
  // An extended ECB command of 16 bytes.
  static ByteVec Ecb16(std::uint8_t p1, const ByteVec &block) {
    return Cat({{0x80, 0xF3, p1, 0x02, 0x00, 0x00, 0x20}, kKey, block, {0x00, 0x10}});
  }

  SymStreamState s_;
};

TEST_F(StreamTest, EncryptionBuffersToWholeBlocksAndPadsAtFinal) {
  const ByteVec data = Counting(20);
  ByteVec out;
  ASSERT_EQ(EncUpdate(ByteVec(data.begin(), data.begin() + 10), out), kStreamOk);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(Sent().empty()) << "nothing reaches the card without a whole block";

  Answer("");
  AnswerOk(Fill(16, 0x61));
  ASSERT_EQ(EncUpdate(ByteVec(data.begin() + 10, data.end()), out), kStreamOk);
  EXPECT_EQ(out, Fill(16, 0x61));
  Answer("");
  AnswerOk(Fill(16, 0x62));
  ByteVec last;
  ASSERT_EQ(Final(StreamEncryptFinal, last), kStreamOk);
  EXPECT_EQ(last, Fill(16, 0x62));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1], Ecb16(0x00, ByteVec(data.begin(), data.begin() + 16)));
  EXPECT_EQ(sent[3], Ecb16(0x00, Cat({ByteVec(data.begin() + 16, data.end()), Fill(12, 0x0C)})));
}

TEST_F(StreamTest, FinishedEncryptionRefusesUpdatesUntilInit) {
  Init(0x401, 0);
  ByteVec out;
  ASSERT_EQ(EncUpdate(Counting(5), out), kStreamOk);
  EXPECT_EQ(Final(StreamEncryptFinal, out), kStreamFail) << "5 bytes left without padding";
  EXPECT_EQ(EncUpdate(Counting(16), out), kStreamFail);
  EXPECT_TRUE(Sent().empty());

  // With padding, the length query of Final also ends the stream and a second Final repeats.
  Init(0x401, 1);
  std::uint32_t n = 0;
  ASSERT_EQ(StreamEncryptFinal(s_, {}, &n), kStreamOk);
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(s_.Finished, 1u);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(StreamTest, DecryptionHoldsTheLastBlockForFinal) {
  const ByteVec c = Counting(32, 0x90);
  Answer("");
  AnswerOk(Fill(16, 0x41));
  ByteVec out;
  ASSERT_EQ(DecUpdate(c, out), kStreamOk);
  EXPECT_EQ(out, Fill(16, 0x41));
  EXPECT_EQ(s_.PendingLen, 16u);
  ByteVec plain = Fill(16, 0x42);
  plain[15] = 0x04;
  Answer("");
  AnswerOk(plain);
  ByteVec last;
  ASSERT_EQ(Final(StreamDecryptFinal, last), kStreamOk);
  EXPECT_EQ(last, ByteVec(plain.begin(), plain.begin() + 12));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1], Ecb16(0x01, ByteVec(c.begin(), c.begin() + 16)));
  EXPECT_EQ(sent[3], Ecb16(0x01, ByteVec(c.begin() + 16, c.end())));

  // A bad padding byte fails and leaves the state; eight pending bytes cannot be decrypted.
  plain[15] = 0x11;
  Answer("");
  AnswerOk(plain);
  EXPECT_EQ(Final(StreamDecryptFinal, last), kStreamFail);
  EXPECT_EQ(s_.PendingLen, 16u);
  Init(0x401, 1);
  ASSERT_EQ(DecUpdate(Counting(8), out), kStreamOk);
  EXPECT_EQ(Final(StreamDecryptFinal, last), kStreamFail);
}

// The update takes the new bytes over before the card is asked: a failed one has used up its
// whole blocks, and only its rest stays pending.
TEST_F(StreamTest, FailedEncryptionUpdateHasConsumedItsData) {
  const ByteVec data = Counting(20, 0x30);
  Answer("");
  Answer("", 0x6A80);
  ByteVec out;
  EXPECT_EQ(EncUpdate(data, out), kStreamFail);
  ASSERT_EQ(s_.PendingLen, 4u);
  EXPECT_EQ(ByteVec(s_.Pending, s_.Pending + 4), ByteVec(data.begin() + 16, data.end()));
  Answer("");
  AnswerOk(Fill(16, 0x63));
  ASSERT_EQ(EncUpdate(Counting(12, 0x80), out), kStreamOk);
  EXPECT_EQ(SentBytes().back(),
            Ecb16(0x00, Cat({ByteVec(data.begin() + 16, data.end()), Counting(12, 0x80)})));
}

// Every decryption update asks the card: the probe and the reader query also go out when no
// whole block can be sent yet.
TEST_F(StreamTest, DecryptionUpdateWithoutAWholeBlockStillProbes) {
  const std::uint32_t queries = ReaderInfoCalls();
  Answer("");
  ByteVec out;
  ASSERT_EQ(DecUpdate(Counting(8), out), kStreamOk);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Sent(), std::vector<std::string>{kProbeHex});
  EXPECT_EQ(ReaderInfoCalls(), queries + 1);
  EXPECT_EQ(s_.PendingLen, 8u);
}

TEST_F(StreamTest, CbcUpdatesAdvanceTheRecordIvAndFinalDoesNot) {
  Init(0x402, 1);
  Answer("");
  AnswerOk(Counting(32, 0x70));
  ByteVec out;
  ASSERT_EQ(EncUpdate(Counting(40), out), kStreamOk);
  EXPECT_EQ(RecordIv(), ByteVec(out.end() - 16, out.end()));
  EXPECT_EQ(
      SentBytes()[1],
      Cat({{0x80, 0xF1, 0x00, 0x82, 0x00, 0x00, 0x40}, kKey, kIv, Counting(32), {0x00, 0x20}}));
  const ByteVec before = RecordIv();
  Answer("");
  AnswerOk(Fill(16, 0x01));
  ASSERT_EQ(Final(StreamEncryptFinal, out), kStreamOk);
  EXPECT_EQ(RecordIv(), before);
}

TEST_F(StreamTest, ShortCbcIsChainedOnTheHostOverSingleBlocks) {
  Init(0x102, 0);
  const ByteVec p = Counting(48, 1);
  const ByteVec c[3] = {Fill(16, 0xC1), Fill(16, 0xC2), Fill(16, 0xC3)};
  Answer("", 0x6700);
  for (const ByteVec &ci : c) AnswerOk(ci);
  ByteVec out;
  ASSERT_EQ(EncUpdate(p, out), kStreamOk);
  EXPECT_EQ(out, Cat({c[0], c[1], c[2]}));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  ByteVec chain = kIv;
  for (int i = 0; i < 3; ++i) {
    ByteVec x(16);
    for (int j = 0; j < 16; ++j) x[j] = p[16 * i + j] ^ chain[j];
    EXPECT_EQ(sent[i + 1], Cat({{0x80, 0xF3, 0x00, 0x81, 0x20}, kKey, x, {0x10}}));
    EXPECT_EQ(sent[i + 1].size(), 38u);
    chain = c[i];
  }

  // Decryption: plaintext = answer XOR previous ciphertext, the record IV the last block.
  Init(0x102, 0);
  Answer("", 0x6700);
  AnswerOk(Fill(16, 0x00));
  AnswerOk(Fill(16, 0x00));
  ASSERT_EQ(DecUpdate(Cat({c[0], c[1], c[2]}), out), kStreamOk);
  EXPECT_EQ(out, Cat({kIv, c[0]}));
  EXPECT_EQ(RecordIv(), c[1]);
}

TEST_F(StreamTest, BoundsAndMissingDevice) {
  ByteVec out(8);
  std::uint32_t n = 0;
  const ByteVec in = Counting(32);
  EXPECT_EQ(StreamEncryptUpdate(s_, in, out, &n), kStreamBufferTooSmall);
  EXPECT_EQ(n, 32u);
  EXPECT_EQ(s_.PendingLen, 0u) << "nothing taken";
  EXPECT_EQ(StreamDecryptUpdate(s_, {}, out, &n), kStreamOk) << "an empty decryption";
  EXPECT_EQ(n, 0u);
  s_.hDev = nullptr;
  EXPECT_EQ(StreamEncryptUpdate(s_, in, out, &n), kStreamNoDevice);
  EXPECT_EQ(StreamDecryptFinal(s_, out, &n), kStreamNoDevice);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
