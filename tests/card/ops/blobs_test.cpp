// Key blob conversions: right-aligned RSA blobs, the last 32 bytes of the SM2 fields.
#include <cstring>
#include <vector>

#include "ops_fixture.h"
#include "skf/card/key_blobs.h"
#include "skf/card/op_results.h"

namespace {

TEST(KeyBlobs, RsaBlobsHoldA1024BitKeyRightAligned) {
  RSAPRIVATEKEYBLOB blob;
  std::memset(&blob, 0xEE, sizeof blob);
  blob.BitLen = 1024;
  for (int i = 0; i < 128; ++i) blob.Modulus[128 + i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 64; ++i) blob.Coefficient[64 + i] = static_cast<std::uint8_t>(0x80 + i);
  const std::uint8_t e[] = {0, 1, 0, 1};
  std::memcpy(blob.PublicExponent, e, 4);
  RsaKeyRecord record = {};
  RsaPrivateBlobToRecord(blob, &record);
  EXPECT_EQ(record.BitLen, 1024u);
  EXPECT_EQ(ByteVec(record.Modulus, record.Modulus + 128), Counting(128));
  EXPECT_EQ(ByteVec(record.Coefficient, record.Coefficient + 64), Counting(64, 0x80));
  EXPECT_EQ(record.Modulus[128], 0) << "the record's rest stays zero";

  RSAPRIVATEKEYBLOB back;
  std::memset(&back, 0x11, sizeof back);
  RsaRecordToPrivateBlob(record, &back);
  EXPECT_EQ(back.AlgID, kAlgRsa);
  EXPECT_EQ(std::memcmp(back.Modulus + 128, blob.Modulus + 128, 128), 0);
  EXPECT_EQ(back.Modulus[127], 0x11) << "bytes outside the key's places are left alone";
  EXPECT_EQ(std::memcmp(back.Coefficient + 64, blob.Coefficient + 64, 64), 0);

  // 2048 bits: every field whole, both ways.
  RSAPUBLICKEYBLOB pub = {};
  pub.BitLen = 2048;
  for (int i = 0; i < 256; ++i) pub.Modulus[i] = static_cast<std::uint8_t>(i);
  RsaPublicKeyRecord pr = {};
  RsaPublicBlobToRecord(pub, &pr);
  EXPECT_EQ(ByteVec(pr.Modulus, pr.Modulus + 256), Counting(256));
  RSAPUBLICKEYBLOB pub_back = {};
  RsaRecordToPublicBlob(pr, &pub_back);
  EXPECT_EQ(std::memcmp(pub_back.Modulus, pub.Modulus, 256), 0);
  EXPECT_EQ(pub_back.BitLen, 2048u);
}

TEST(KeyBlobs, Sm2ValuesAreTheLast32BytesOfEachFieldAfterZeros) {
  const ByteVec xy = Counting(64, 1);
  ECCPUBLICKEYBLOB pub;
  std::memset(&pub, 0xEE, sizeof pub);
  EccPointToBlob(xy.data(), &pub);
  EXPECT_EQ(pub.BitLen, 256u);
  EXPECT_EQ(ByteVec(pub.XCoordinate + 32, pub.XCoordinate + 64), Counting(32, 1));
  EXPECT_EQ(ByteVec(pub.YCoordinate + 32, pub.YCoordinate + 64), Counting(32, 33));
  EXPECT_EQ(ByteVec(pub.XCoordinate, pub.XCoordinate + 32), ByteVec(32, 0))
      << "the first 32 bytes are zeroed";
  std::uint8_t back[64];
  EccPointFromBlob(pub, back);
  EXPECT_EQ(ByteVec(back, back + 64), xy);

  ECCSIGNATUREBLOB sig;
  std::memset(&sig, 0xEE, sizeof sig);
  ASSERT_EQ(EccSignatureToBlob(xy, &sig), 0);
  EXPECT_EQ(sig.s[32], 33);
  EXPECT_EQ(ByteVec(sig.r, sig.r + 32), ByteVec(32, 0));
  EXPECT_EQ(ByteVec(sig.s, sig.s + 32), ByteVec(32, 0));
  EccSignatureFromBlob(sig, back);
  EXPECT_EQ(ByteVec(back, back + 64), xy);
  EXPECT_EQ(EccSignatureToBlob(Counting(62), &sig), -1);

  ECCPRIVATEKEYBLOB prv = {};
  prv.PrivateKey[32] = 0x5A;
  EccPrivateFromBlob(prv, back);
  EXPECT_EQ(back[0], 0x5A);
}

TEST(KeyBlobs, CipherBlobsAreBoundedByTheirRoom) {
  const ByteVec card = Cat({Counting(64, 1), Fill(20, 0xC2), Fill(32, 0xC3)});
  std::vector<std::uint8_t> storage(sizeof(ECCCIPHERBLOB) + 31, 0xEE);
  auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(storage.data());
  const std::size_t room = 32;
  EXPECT_EQ(EccCipherToBlob(Cat({card, Fill(13, 1)}), blob, room), -1) << "C2 of 33 bytes";
  EXPECT_EQ(blob->CipherLen, 0xEEEEEEEEu) << "nothing written";
  EXPECT_EQ(EccCipherToBlob(Counting(95), blob, room), -1);
  ASSERT_EQ(EccCipherToBlob(card, blob, room), 0);
  EXPECT_EQ(blob->CipherLen, 20u);
  EXPECT_EQ(blob->HASH[0], 0xC3);
  EXPECT_EQ(blob->XCoordinate[32], 1);
  EXPECT_EQ(ByteVec(blob->XCoordinate, blob->XCoordinate + 32), ByteVec(32, 0));
  EXPECT_EQ(ByteVec(blob->YCoordinate, blob->YCoordinate + 32), ByteVec(32, 0));

  ByteVec out(116);
  int length = 0;
  ASSERT_EQ(EccCipherFromBlob(blob, room, out, &length), 0);
  EXPECT_EQ(length, 116);
  EXPECT_EQ(out, card);
  EXPECT_EQ(EccCipherFromBlob(blob, room, std::span<std::uint8_t>(out.data(), 115), &length),
            kOutTooSmall);
  blob->CipherLen = 33;
  EXPECT_EQ(EccCipherFromBlob(blob, room, out, &length), -1) << "CipherLen past the blob";
}

}  // namespace
