// SM2 card operations and the agreement command, byte for byte.
#include "ops_fixture.h"
#include "skf/card/op_results.h"
#include "skf/card/sm2_agree.h"
#include "skf/card/sm2_ops.h"

namespace {

using Sm2Test = OpsTest;

const std::string kChallenge = "11 22 33 44 55 66 77 88";

TEST_F(Sm2Test, ContainerDecryptionFallsBackToTheGivenOrder) {
  const ByteVec c1 = Fill(64, 0xC1), c2 = Fill(20, 0xC2), c3 = Fill(32, 0xC3);
  const ByteVec cipher = Cat({c1, c2, c3});
  const ByteVec plain = Counting(20);
  for (bool first_accepted : {true, false}) {
    Fake().Reset();
    Answer("");
    if (!first_accepted) Answer("", 0x6A80);
    AnswerOk(plain);
    ByteVec out(64);
    int length = 0;
    ASSERT_EQ(QX_PrivateEccDecrypt(device_, 0, cipher, out, &length), 0);
    EXPECT_EQ(ByteVec(out.begin(), out.begin() + length), plain);
    const auto sent = SentBytes();
    ASSERT_EQ(sent.size(), first_accepted ? 2u : 3u);
    EXPECT_EQ(ToHex(sent[0]), "00 A4 02 00 02 00 0B");
    const ByteVec head = {0x80, 0x3A, 0x40, 0x00, 0x00, 0x00, 0x74};
    EXPECT_EQ(sent[1], Cat({head, c1, c3, c2, {0x00, 0x14}}));
    if (!first_accepted) {
      EXPECT_EQ(sent[2], Cat({head, cipher, {0x00, 0x14}}));
    }
  }
  // A NULL output still decrypts and reports the length; a small one is refused.
  Answer("");
  AnswerOk(plain);
  int length = 0;
  ASSERT_EQ(QX_PrivateEccDecrypt(device_, 1, cipher, {}, &length), 0);
  EXPECT_EQ(length, 20);
  EXPECT_EQ(Sent()[Sent().size() - 2], "00 A4 02 00 02 00 0D");
  Answer("");
  AnswerOk(plain);
  ByteVec small(19);
  EXPECT_EQ(QX_PrivateEccDecrypt(device_, 0, cipher, small, &length), kOutTooSmall);

  // An answer of at most 256 bytes is a plaintext; a longer one is refused, nothing written.
  for (std::size_t n : {256u, 257u, 1024u}) {
    Answer("");
    AnswerOk(Fill(n, 0x5A));
    ByteVec out(1024, 0xEE);
    length = -7;
    EXPECT_EQ(QX_PrivateEccDecrypt(device_, 0, cipher, out, &length), n <= 256 ? 0 : -1) << n;
    EXPECT_EQ(length, n <= 256 ? static_cast<int>(n) : -7) << n;
    EXPECT_EQ(out[0], n <= 256 ? 0x5A : 0xEE) << n;
  }
}

TEST_F(Sm2Test, KeyFilesAreCreatedOnlyWhereMissing) {
  Answer(kChallenge);
  ASSERT_EQ(QX_CreateEccKeyFiles(device_), 0);
  EXPECT_EQ(Sent().size(), 6u) << "authentication and four SELECTs";
  Fake().Reset();
  Answer(kChallenge);
  Answer("");
  Answer("");
  Answer("", 0x6A82);
  ASSERT_EQ(QX_CreateEccKeyFiles(device_), 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[3], "00 A4 02 00 02 00 0B");
  EXPECT_EQ(sent[4], "80 E0 00 19 0A 00 0B 01 01 00 00 01 00 00 00");
}

TEST_F(Sm2Test, SuppliedKeysGoToTheWorkFiles) {
  const ByteVec pub = Counting(64, 0x40);
  // Encryption of more than 160 bytes stops after loading the key.
  ByteVec out(512);
  int length = 0;
  EXPECT_EQ(QX_EccEncrypt(device_, pub, Counting(161), out, &length), -1);
  EXPECT_EQ(Sent(),
            std::vector<std::string>({"00 A4 02 00 02 00 05", "80 36 20 00 40 " + ToHex(pub)}));
  Fake().Reset();
  Answer("");
  Answer("");
  AnswerOk(Fill(128, 0xEE));
  ASSERT_EQ(QX_EccEncrypt(device_, pub, Counting(32), out, &length), 0);
  EXPECT_EQ(length, 128);
  EXPECT_EQ(Sent()[2], "80 38 40 00 00 00 20 " + ToHex(Counting(32)) + " 00 80");

  // Signing with a supplied private key.
  Fake().Reset();
  const ByteVec d = Counting(32, 0xD0);
  Answer("");
  Answer("");
  AnswerOk(Fill(64, 0x55));
  ASSERT_EQ(QX_EccSignExt(device_, d, Counting(32), out, &length), 0);
  EXPECT_EQ(length, 64);
  EXPECT_EQ(Sent(), std::vector<std::string>({"00 A4 02 00 02 00 06", "80 36 A0 01 20 " + ToHex(d),
                                              "80 3C 40 00 20 " + ToHex(Counting(32)) + " 40"}));
  // Verification sends e and the signature in one command.
  Fake().Reset();
  ASSERT_EQ(QX_EccVerify(device_, pub, Counting(32), Fill(64, 0x55)), 0);
  EXPECT_EQ(Sent()[2], "80 3E 40 00 60 " + ToHex(Cat({Counting(32), Fill(64, 0x55)})));
  Answer("");
  Answer("");
  Answer("", 0x6A80);
  EXPECT_EQ(QX_EccVerify(device_, pub, Counting(32), Fill(64, 0x56)), -1);
}

TEST_F(Sm2Test, WorkingMemoryPairLeavesTheKeyFilesAlone) {
  Answer("");
  AnswerOk(Counting(64, 0x30));
  AnswerOk(Counting(32, 0x90));
  std::uint8_t pub[64], prv[32];
  int pub_length = 0, prv_length = 0;
  ASSERT_EQ(QX_GenExtEccKey(device_, pub, &pub_length, prv, &prv_length), 0);
  EXPECT_EQ(pub_length, 64);
  EXPECT_EQ(prv_length, 32);
  EXPECT_EQ(ByteVec(prv, prv + 32), Counting(32, 0x90));
  EXPECT_EQ(Sent(),
            std::vector<std::string>({"80 32 C0 80 00", "80 34 00 00 40", "80 34 00 01 20"}));

  // Generation into the signing pair reads its public key back; a short answer fails.
  Fake().Reset();
  Answer("");
  Answer("");
  AnswerOk(Counting(63));
  EXPECT_EQ(QX_GenEccKeyPair(device_, 1, pub, &pub_length), -1);
  EXPECT_EQ(Sent(),
            std::vector<std::string>({"80 32 4C 0D 00", "00 A4 02 00 02 00 0C", "80 34 20 00 40"}));
}

class AgreementTest : public OpsTest {
 protected:
  int Run(bool sponsor, const ByteVec &own_id, const ByteVec &peer_id, std::uint8_t *key,
          int *length) {
    const auto fn = sponsor ? QX_EccAgreementSponsor : QX_EccAgreementResponder;
    return fn(device_, sponsor ? 1 : 0, own_id, own_pub_.data(), own_prv_.data(), peer_id,
              peer_pub_.data(), peer_temp_.data(), key, length);
  }
  const ByteVec own_pub_ = Counting(64, 0x10), own_prv_ = Counting(32, 0x60);
  const ByteVec peer_pub_ = Counting(64, 0x80), peer_temp_ = Counting(64, 0xC0);
};

TEST_F(AgreementTest, CommandLayoutAndRoles) {
  const ByteVec own_id = Fill(16, 0x41), peer_id = Fill(16, 0x42);
  std::vector<ByteVec> commands;
  for (bool sponsor : {true, false}) {
    Fake().Reset();
    AnswerOk(Counting(16, 0xA0));
    std::uint8_t key[16] = {};
    int length = 0;
    ASSERT_EQ(Run(sponsor, own_id, peer_id, key, &length), 0);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(ByteVec(key, key + 16), Counting(16, 0xA0));
    commands.push_back(SentBytes().at(0));
  }
  const ByteVec expected =
      Cat({{0x80, 0x42, 0x0A, 0x0B, 0x00, 0x00, 0xE7, 0x01, 0x00, 0x10, 0x00, 0x10, 0x00, 0x10},
           own_id,
           peer_id,
           peer_temp_,
           peer_pub_,
           ByteVec(own_pub_.begin(), own_pub_.begin() + 32),
           own_prv_});
  EXPECT_EQ(commands[0], expected);
  ASSERT_EQ(commands[1].size(), 238u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (i != 12) {
      EXPECT_EQ(commands[1][i], commands[0][i]) << i;
    }
  }
  EXPECT_EQ(commands[1][12], 0x01);
}

TEST_F(AgreementTest, NullKeyLongIdentitiesAndShortAnswers) {
  AnswerOk(Counting(16));
  int length = 0;
  ASSERT_EQ(Run(true, Fill(5, 1), Fill(7, 2), nullptr, &length), 0);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(SentBytes().at(0).size(), 5u + 7u + 206u);
  Fake().Reset();
  std::uint8_t key[16];
  EXPECT_EQ(Run(true, Fill(65, 1), Fill(16, 2), key, &length), -1);
  EXPECT_EQ(Run(false, Fill(16, 1), Fill(65, 2), key, &length), -1);
  EXPECT_TRUE(Sent().empty()) << "refused before anything is copied";
  AnswerOk(Counting(8));
  EXPECT_EQ(Run(false, Fill(64, 1), Fill(64, 2), key, &length), -1) << "an 8-byte answer";
  Answer("", 0x6982);
  EXPECT_EQ(Run(false, Fill(1, 1), Fill(1, 2), key, &length), -1);
}

}  // namespace
