// Whole flows through tokencore against virtual keys, each step checked against OpenSSL or the
// other side: hashing with the signer's ID into a signature, an enveloped pair imported and
// then used, session keys agreed between two keys and used across them, and an imported RSA
// pair unwrapping a session key.
#include <algorithm>
#include <cstring>

#include "key_fixture.h"
#include "openssl_side.h"

namespace {

using apitest::Bytes;

const Bytes kId = ossl::Hex("414c494345313233405941484f4f2e434f4d");  // "ALICE123@YAHOO.COM"

class FlowTest : public apitest::VirtualKey {
 protected:
  void SetUp() override {
    VirtualKey::SetUp();
    sm2_ = OpenContainer(app_, apitest::kSm2Container);
  }

  static Bytes EccPublic(HCONTAINER container, BOOL sign) {
    ECCPUBLICKEYBLOB blob{};
    ULONG length = sizeof blob;
    EXPECT_EQ(SKF(SKF_ExportPublicKey)(container, sign, reinterpret_cast<BYTE *>(&blob), &length),
              SAR_OK);
    return ossl::EccPoint(blob);
  }

  // e through the digest exports: SM3 with the signer's ID and public key, the message fed in
  // updates of 100 bytes.
  Bytes DigestWithId(const Bytes &xy, const Bytes &message) {
    ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(xy);
    Bytes id = kId;
    HANDLE hash = nullptr;
    EXPECT_EQ(
        SKF(SKF_DigestInit)(dev_, SGD_SM3, &pub, id.data(), static_cast<ULONG>(id.size()), &hash),
        SAR_OK);
    Bytes data = message;
    for (std::size_t at = 0; at < data.size(); at += 100) {
      const ULONG n = static_cast<ULONG>(std::min<std::size_t>(100, data.size() - at));
      EXPECT_EQ(SKF(SKF_DigestUpdate)(hash, data.data() + at, n), SAR_OK);
    }
    Bytes e(32);
    ULONG length = 32;
    EXPECT_EQ(SKF(SKF_DigestFinal)(hash, e.data(), &length), SAR_OK);
    EXPECT_EQ(length, 32u);
    SKF(SKF_CloseHandle)(hash);
    return e;
  }

  static Bytes Crypt(HANDLE key, bool encrypt, const Bytes &in) {
    BLOCKCIPHERPARAM param{};
    param.PaddingType = 1;
    EXPECT_EQ(encrypt ? SKF(SKF_EncryptInit)(key, param) : SKF(SKF_DecryptInit)(key, param),
              SAR_OK);
    Bytes data = in, out(in.size() + 16);
    ULONG length = static_cast<ULONG>(out.size());
    EXPECT_EQ(encrypt ? SKF(SKF_Encrypt)(key, data.data(), static_cast<ULONG>(data.size()),
                                         out.data(), &length)
                      : SKF(SKF_Decrypt)(key, data.data(), static_cast<ULONG>(data.size()),
                                         out.data(), &length),
              SAR_OK);
    out.resize(length);
    return out;
  }

  HCONTAINER sm2_ = nullptr;
};

TEST_F(FlowTest, SignerIdDigestSignsAndVerifiesAcrossOpenSsl) {
  Login(app_);
  const Bytes message = ossl::Random(1000);
  const Bytes xy = EccPublic(sm2_, TRUE);
  Bytes e = DigestWithId(xy, message);
  ECCSIGNATUREBLOB sig{};
  ASSERT_EQ(SKF(SKF_ECCSignData)(sm2_, e.data(), 32, &sig), SAR_OK);
  ossl::Pkey card_key = ossl::Sm2FromPublic(xy);
  EXPECT_TRUE(ossl::Sm2Verify(card_key.get(), kId, message, ossl::EccSignature(sig)));
  const Bytes other_id(16, 0x31);
  EXPECT_FALSE(ossl::Sm2Verify(card_key.get(), other_id, message, ossl::EccSignature(sig)));

  ossl::Pkey key = ossl::Sm2Generate();
  const Bytes key_xy = ossl::Sm2Public(key.get());
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(key_xy);
  ECCSIGNATUREBLOB theirs = ossl::EccSignatureBlob(ossl::Sm2Sign(key.get(), kId, message));
  Bytes e2 = DigestWithId(key_xy, message);
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e2.data(), 32, &theirs), SAR_OK);
  Bytes changed = message;
  changed[999] ^= 1;
  Bytes e3 = DigestWithId(key_xy, changed);
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e3.data(), 32, &theirs), SAR_FAIL);
}

TEST_F(FlowTest, EnvelopedPairDecryptsThroughBothExports) {
  Login(app_);
  const Bytes sign_xy = EccPublic(sm2_, TRUE);
  for (bool long_form : {false, true}) {
    SCOPED_TRACE(long_form ? "96-byte layout" : "64-byte layout");
    ossl::Pkey pair = ossl::Sm2Generate();
    Bytes storage;
    ASSERT_EQ(SKF(SKF_ImportECCKeyPair)(
                  sm2_, ossl::Envelope(storage, sign_xy, pair.get(), long_form, SGD_SMS4_ECB)),
              SAR_OK);
    const Bytes plain = ossl::Random(77);
    Bytes blob = ossl::EccCipherBlob(ossl::Sm2Encrypt(pair.get(), plain));
    auto *cipher = reinterpret_cast<ECCCIPHERBLOB *>(blob.data());
    BYTE out[256] = {};
    ULONG length = sizeof out;
    ASSERT_EQ(SKF(SKF_PrvKeyDecrypt)(sm2_, 1, cipher, out, &length), SAR_OK);
    EXPECT_EQ(Bytes(out, out + length), plain);
    std::memset(out, 0, sizeof out);
    length = sizeof out;
    ASSERT_EQ(SKF(SKFEX_ECCDecrypt)(sm2_, 1, cipher, out, &length), SAR_OK);
    EXPECT_EQ(Bytes(out, out + length), plain);
  }
}

TEST_F(FlowTest, AgreedKeysEncryptOnOneKeyAndDecryptOnTheOther) {
  DEVHANDLE peer_dev = Connect(NewKey());
  HAPPLICATION peer_app = OpenApp(peer_dev);
  HCONTAINER peer = OpenContainer(peer_app, apitest::kSm2Container);
  Login(app_);
  Login(peer_app);

  Bytes sponsor_id(16, 0x53), responder_id(18, 0x52);
  ECCPUBLICKEYBLOB sponsor_temp{}, responder_temp{};
  HANDLE agreement = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataWithECC)(sm2_, SGD_SMS4_ECB, &sponsor_temp,
                                                  sponsor_id.data(), 16, &agreement),
            SAR_OK);
  ECCPUBLICKEYBLOB sponsor_static = ossl::EccPublicBlob(EccPublic(sm2_, FALSE));
  ECCPUBLICKEYBLOB responder_static = ossl::EccPublicBlob(EccPublic(peer, FALSE));
  HANDLE responder_key = nullptr, sponsor_key = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataAndKeyWithECC)(
                peer, SGD_SMS4_ECB, &sponsor_static, &sponsor_temp, &responder_temp,
                responder_id.data(), 18, sponsor_id.data(), 16, &responder_key),
            SAR_OK);
  ASSERT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &responder_static, &responder_temp,
                                        responder_id.data(), 18, &sponsor_key),
            SAR_OK);

  const Bytes message = ossl::Random(45);
  const Bytes to_responder = Crypt(sponsor_key, true, message);
  EXPECT_EQ(to_responder.size(), 48u);
  EXPECT_EQ(Crypt(responder_key, false, to_responder), message);
  const Bytes to_sponsor = Crypt(responder_key, true, message);
  EXPECT_EQ(to_sponsor, to_responder) << "ECB under one key";
  EXPECT_EQ(Crypt(sponsor_key, false, to_sponsor), message);
}

TEST_F(FlowTest, ImportedRsaPairUnwrapsSessionKeys) {
  Login(app_);
  HCONTAINER rsa = OpenContainer(app_, apitest::kRsaContainer);
  RSAPUBLICKEYBLOB sign_blob{};
  ULONG length = sizeof sign_blob;
  ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa, TRUE, reinterpret_cast<BYTE *>(&sign_blob), &length),
            SAR_OK);
  ossl::Pkey sign = ossl::RsaFromPublicBlob(sign_blob);
  ossl::Pkey pair = ossl::RsaGenerate(1024);
  const Bytes sym = ossl::Random(16);
  Bytes encrypted = ossl::Sm4Ecb(sym, ossl::RsaPrivateDer(pair.get()), true, true);
  Bytes wrapped_sym = ossl::RsaEncrypt(sign.get(), sym);
  ASSERT_EQ(SKF(SKF_ImportRSAKeyPair)(rsa, SGD_SMS4_ECB, wrapped_sym.data(),
                                      static_cast<ULONG>(wrapped_sym.size()), encrypted.data(),
                                      static_cast<ULONG>(encrypted.size())),
            SAR_OK);

  const Bytes session = ossl::Random(16);
  Bytes wrapped = ossl::RsaEncrypt(pair.get(), session);
  HANDLE key = nullptr;
  ASSERT_EQ(SKF(SKF_ImportSessionKey)(rsa, SGD_SMS4_ECB, wrapped.data(),
                                      static_cast<ULONG>(wrapped.size()), &key),
            SAR_OK);
  const Bytes data = ossl::Random(100);
  EXPECT_EQ(Crypt(key, true, data), ossl::Sm4Ecb(session, data, true, true));

  // Wrapped under the signing key instead: the encryption key does not unwrap it.
  Bytes for_sign = ossl::RsaEncrypt(sign.get(), session);
  HANDLE wrong = nullptr;
  EXPECT_NE(SKF(SKF_ImportSessionKey)(rsa, SGD_SMS4_ECB, for_sign.data(),
                                      static_cast<ULONG>(for_sign.size()), &wrong),
            SAR_OK);
}

}  // namespace
