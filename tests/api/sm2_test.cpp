// SM2 through tokencore against the virtual key, with OpenSSL as the other side: signatures
// and ciphertexts cross-checked both ways, the known answers of the recommended curve, key
// generation, envelope import and agreement between two keys.
#include <cstring>

#include "key_fixture.h"
#include "openssl_side.h"

namespace {

using apitest::Bytes;
using ossl::Hex;

const Bytes kId = Hex("31323334353637383132333435363738");  // "1234567812345678"

// The known answers of the recommended curve.
const Bytes kVectorD = Hex("3945208f7b2144b13f36e38ac6d39f95889393692860b51a42fb81ef4df7c5b8");
const Bytes kVectorXy =
    Hex("09f9df311e5421a150dd7d161e4bc5c672179fad1833fc076bb08ff356f35020"
        "ccea490ce26775a52dc6ea718cc1aa600aed05fbf35e084a6632f6072da9ad13");
const Bytes kVectorMessage = Hex("6d65737361676520646967657374");
const Bytes kVectorE = Hex("f0b43e94ba45accaace692ed534382eb17e6ab5a19ce7b31f4486fdfc0d28640");
const Bytes kVectorRs =
    Hex("f5a03b0648d2c4630eeac513e1bb81a15944da3827d5b74143ac7eaceee720b3"
        "b1b6aa29df212fd8763182bc0d421ca1bb9038fd1f7f42d4840b69c485bbc1aa");
const Bytes kVectorPlain = Hex("656e6372797074696f6e207374616e64617264");
const Bytes kVectorC1 =
    Hex("04ebfc718e8d1798620432268e77feb6415e2ede0e073c0f4f640ecd2e149a73"
        "e858f9d81e5430a57b36daab8f950a3c64e6ee6a63094d99283aff767e124df0");
const Bytes kVectorC3 = Hex("59983c18f809e262923c53aec295d30383b54e39d609d160afcb1908d0bd8766");
const Bytes kVectorC2 = Hex("21886ca989ca9c7d58087307ca93092d651efa");

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The key bytes of a session-key handle (the record starts with two u32 fields).
Bytes SessionKeyOf(HANDLE handle) {
  const auto *record = static_cast<const std::uint8_t *>(handle);
  return Bytes(record + 8, record + 24);
}

class Sm2Test : public apitest::VirtualKey {
 protected:
  void SetUp() override {
    VirtualKey::SetUp();
    sm2_ = OpenContainer(app_, apitest::kSm2Container);
  }

  Bytes PublicKey(HCONTAINER container, BOOL sign) {
    ECCPUBLICKEYBLOB blob{};
    ULONG length = sizeof blob;
    EXPECT_EQ(SKF(SKF_ExportPublicKey)(container, sign, reinterpret_cast<BYTE *>(&blob), &length),
              SAR_OK);
    EXPECT_EQ(length, sizeof blob);
    return ossl::EccPoint(blob);
  }

  // SKF_PrvKeyDecrypt of a C1 C2 C3 ciphertext; the plaintext, or empty with `*result` set.
  Bytes Decrypt(HCONTAINER container, ULONG key_spec, const Bytes &c1c2c3, ULONG *result) {
    Bytes blob = ossl::EccCipherBlob(c1c2c3);
    BYTE plain[256] = {};
    ULONG length = sizeof plain;
    *result = SKF(SKF_PrvKeyDecrypt)(
        container, key_spec, reinterpret_cast<ECCCIPHERBLOB *>(blob.data()), plain, &length);
    return *result == SAR_OK ? Bytes(plain, plain + length) : Bytes{};
  }

  HCONTAINER sm2_ = nullptr;
};

TEST_F(Sm2Test, KnownAnswersOfTheRecommendedCurve) {
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(kVectorXy);
  Bytes e = kVectorE;
  ECCSIGNATUREBLOB sig = ossl::EccSignatureBlob(kVectorRs);
  EXPECT_EQ(SKF(SKF_ExtECCVerify)(dev_, &pub, e.data(), 32, &sig), SAR_OK);
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e.data(), 32, &sig), SAR_OK);
  sig.s[63] ^= 1;
  EXPECT_EQ(SKF(SKF_ExtECCVerify)(dev_, &pub, e.data(), 32, &sig), SAR_FAIL);
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e.data(), 32, &sig), SAR_FAIL);

  ECCPRIVATEKEYBLOB priv = ossl::EccPrivateBlob(kVectorD);
  Bytes blob = ossl::EccCipherBlob(Cat({kVectorC1, kVectorC2, kVectorC3}));
  auto *cipher = reinterpret_cast<ECCCIPHERBLOB *>(blob.data());
  ULONG length = 0;
  ASSERT_EQ(SKF(SKF_ExtECCDecrypt)(dev_, &priv, cipher, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, kVectorPlain.size() + 1);
  BYTE plain[64] = {};
  length = static_cast<ULONG>(kVectorPlain.size() - 1);
  EXPECT_EQ(SKF(SKF_ExtECCDecrypt)(dev_, &priv, cipher, plain, &length), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, kVectorPlain.size());
  EXPECT_EQ(plain[0], 0) << "nothing written into a short buffer";
  length = sizeof plain;
  ASSERT_EQ(SKF(SKF_ExtECCDecrypt)(dev_, &priv, cipher, plain, &length), SAR_OK);
  EXPECT_EQ(Bytes(plain, plain + length), kVectorPlain);
}

TEST_F(Sm2Test, SignaturesCrossCheckWithOpenSsl) {
  Login(app_);
  const Bytes message = ossl::Random(100);
  const Bytes xy = PublicKey(sm2_, TRUE);
  Bytes e = ossl::Sm2Digest(xy, kId, message);
  ECCSIGNATUREBLOB sig{};
  ASSERT_EQ(SKF(SKF_ECCSignData)(sm2_, e.data(), 32, &sig), SAR_OK);
  ossl::Pkey card_key = ossl::Sm2FromPublic(xy);
  EXPECT_TRUE(ossl::Sm2Verify(card_key.get(), kId, message, ossl::EccSignature(sig)));

  ossl::Pkey key = ossl::Sm2Generate();
  const Bytes key_xy = ossl::Sm2Public(key.get());
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(key_xy);
  Bytes e2 = ossl::Sm2Digest(key_xy, kId, message);
  ECCSIGNATUREBLOB theirs = ossl::EccSignatureBlob(ossl::Sm2Sign(key.get(), kId, message));
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e2.data(), 32, &theirs), SAR_OK);
  e2[0] ^= 1;
  EXPECT_EQ(SKF(SKF_ECCVerify)(dev_, &pub, e2.data(), 32, &theirs), SAR_FAIL);

  // A caller-supplied private key signs on the card as well.
  ECCPRIVATEKEYBLOB priv = ossl::EccPrivateBlob(ossl::Sm2Private(key.get()));
  Bytes e3 = ossl::Sm2Digest(key_xy, kId, message);
  ECCSIGNATUREBLOB ext{};
  ASSERT_EQ(SKF(SKF_ExtECCSign)(dev_, &priv, e3.data(), 32, &ext), SAR_OK);
  EXPECT_TRUE(ossl::Sm2Verify(key.get(), kId, message, ossl::EccSignature(ext)));
}

TEST_F(Sm2Test, ExternalEncryptionBothWays) {
  ossl::Pkey key = ossl::Sm2Generate();
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(ossl::Sm2Public(key.get()));
  ECCPRIVATEKEYBLOB priv = ossl::EccPrivateBlob(ossl::Sm2Private(key.get()));
  for (std::size_t n : {1u, 32u, 160u}) {
    Bytes plain = ossl::Random(n);
    Bytes out(sizeof(ECCCIPHERBLOB) + n);
    auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(out.data());
    ASSERT_EQ(SKF(SKF_ExtECCEncrypt)(dev_, &pub, plain.data(), static_cast<ULONG>(n), blob),
              SAR_OK);
    EXPECT_EQ(blob->CipherLen, n);
    EXPECT_EQ(ossl::Sm2Decrypt(key.get(), ossl::EccCardCipher(blob)), plain) << n;

    Bytes theirs = ossl::EccCipherBlob(ossl::Sm2Encrypt(key.get(), plain));
    BYTE back[256] = {};
    ULONG length = sizeof back;
    ASSERT_EQ(SKF(SKF_ExtECCDecrypt)(dev_, &priv, reinterpret_cast<ECCCIPHERBLOB *>(theirs.data()),
                                     back, &length),
              SAR_OK);
    EXPECT_EQ(Bytes(back, back + length), plain) << n;
  }
  Bytes too_long = ossl::Random(161);
  Bytes out(sizeof(ECCCIPHERBLOB) + 161);
  EXPECT_EQ(SKF(SKF_ExtECCEncrypt)(dev_, &pub, too_long.data(), 161,
                                   reinterpret_cast<ECCCIPHERBLOB *>(out.data())),
            SAR_FAIL);
}

TEST_F(Sm2Test, ContainerKeysDecryptWhatOpenSslEncrypted) {
  Login(app_);
  const Bytes plain = ossl::Random(48);
  ossl::Pkey enc = ossl::Sm2FromPublic(PublicKey(sm2_, FALSE));
  ossl::Pkey sign = ossl::Sm2FromPublic(PublicKey(sm2_, TRUE));
  const Bytes to_enc = ossl::Sm2Encrypt(enc.get(), plain);
  const Bytes to_sign = ossl::Sm2Encrypt(sign.get(), plain);
  ULONG result = 0;
  EXPECT_EQ(Decrypt(sm2_, 1, to_enc, &result), plain);
  EXPECT_EQ(Decrypt(sm2_, 2, to_sign, &result), plain);
  Decrypt(sm2_, 2, to_enc, &result);
  EXPECT_EQ(result, SAR_FAIL) << "key spec 2 is the signing key";

  Bytes blob = ossl::EccCipherBlob(to_enc);
  auto *cipher = reinterpret_cast<ECCCIPHERBLOB *>(blob.data());
  ULONG length = 0;
  ASSERT_EQ(SKF(SKF_PrvKeyDecrypt)(sm2_, 1, cipher, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, plain.size() + 1);
  ASSERT_EQ(SKF(SKFEX_ECCDecrypt)(sm2_, 1, cipher, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, 256u);
  BYTE out[256] = {};
  length = 47;
  EXPECT_EQ(SKF(SKFEX_ECCDecrypt)(sm2_, 1, cipher, out, &length), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, plain.size());
  length = sizeof out;
  ASSERT_EQ(SKF(SKFEX_ECCDecrypt)(sm2_, 1, cipher, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), plain);

  // An RSA container has no SM2 key to decrypt with.
  HCONTAINER rsa = OpenContainer(app_, apitest::kRsaContainer);
  Decrypt(rsa, 1, to_enc, &result);
  EXPECT_EQ(result, SAR_FAIL);
}

TEST_F(Sm2Test, SessionKeyWrappedForOpenSsl) {
  ossl::Pkey key = ossl::Sm2Generate();
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(ossl::Sm2Public(key.get()));
  Bytes out(sizeof(ECCCIPHERBLOB) + 16);
  auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(out.data());
  HANDLE first = nullptr, second = nullptr;
  ASSERT_EQ(SKF(SKF_ECCExportSessionKey)(sm2_, SGD_SMS4_ECB, &pub, blob, &first), SAR_OK);
  EXPECT_EQ(blob->CipherLen, 16u);
  const Bytes unwrapped = ossl::Sm2Decrypt(key.get(), ossl::EccCardCipher(blob));
  EXPECT_EQ(unwrapped, SessionKeyOf(first));
  EXPECT_EQ(*static_cast<const ULONG *>(first), static_cast<ULONG>(SGD_SMS4_ECB));
  ASSERT_EQ(SKF(SKF_ECCExportSessionKey)(sm2_, SGD_SM1_CBC, &pub, blob, &second), SAR_OK);
  EXPECT_NE(SessionKeyOf(first), SessionKeyOf(second)) << "a new key every call";
  EXPECT_EQ(SKF(SKF_ECCExportSessionKey)(sm2_, SGD_SM1_MAC, &pub, blob, &second),
            SAR_INVALIDPARAMERR);
}

TEST_F(Sm2Test, GeneratesPairsIntoContainers) {
  Login(app_);
  HCONTAINER fresh = CreateContainer(app_, "FRESH-SM2");
  ECCPUBLICKEYBLOB blob{};
  ASSERT_EQ(SKF(SKF_GenECCKeyPair)(fresh, SGD_SM2_1, &blob), SAR_OK);
  EXPECT_EQ(blob.BitLen, 256u);
  EXPECT_EQ(ossl::EccPoint(blob), PublicKey(fresh, TRUE));
  ULONG type = 0;
  ASSERT_EQ(SKF(SKF_GetRsaType)(fresh, &type), SAR_OK);
  EXPECT_EQ(type, 3u);
  ULONG length = 0;
  EXPECT_EQ(SKF(SKF_ExportPublicKey)(fresh, FALSE, nullptr, &length), SAR_FAIL)
      << "no encryption pair yet";
  ASSERT_EQ(SKF(SKF_GenECCKeyPair)(fresh, SGD_SM2_ENC_PAIR, &blob), SAR_OK);
  EXPECT_EQ(ossl::EccPoint(blob), PublicKey(fresh, FALSE));
  ASSERT_EQ(SKF(SKF_ExportPublicKey)(fresh, FALSE, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, sizeof(ECCPUBLICKEYBLOB));
  length = sizeof(ECCPUBLICKEYBLOB) - 1;
  EXPECT_EQ(SKF(SKF_ExportPublicKey)(fresh, FALSE, reinterpret_cast<BYTE *>(&blob), &length),
            SAR_BUFFER_TOO_SMALL);

  EXPECT_EQ(SKF(SKF_GenECCKeyPair)(fresh, SGD_SM2_3, &blob), SAR_FAIL);
  HCONTAINER rsa = OpenContainer(app_, apitest::kRsaContainer);
  EXPECT_EQ(SKF(SKF_GenECCKeyPair)(rsa, SGD_SM2_1, &blob), SAR_FAIL);
}

// Every SM2 blob the library fills holds whole numbers, whatever the caller's blob held before:
// each is filled with FF first and each 64-byte field read as one number.
TEST_F(Sm2Test, OutputBlobsHoldWholeNumbers) {
  Login(app_);
  ossl::Pkey key = ossl::Sm2Generate();
  const Bytes key_xy = ossl::Sm2Public(key.get());
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(key_xy);
  ECCPRIVATEKEYBLOB priv = ossl::EccPrivateBlob(ossl::Sm2Private(key.get()));
  const Bytes message = ossl::Random(40);

  ECCPUBLICKEYBLOB generated;
  std::memset(&generated, 0xFF, sizeof generated);
  ASSERT_EQ(SKF(SKF_GenECCKeyPair)(sm2_, SGD_SM2_ENC_PAIR, &generated), SAR_OK);
  EXPECT_EQ(ossl::EccPoint(generated), PublicKey(sm2_, FALSE));

  ECCSIGNATUREBLOB sig;
  std::memset(&sig, 0xFF, sizeof sig);
  const Bytes xy = PublicKey(sm2_, TRUE);
  Bytes e = ossl::Sm2Digest(xy, kId, message);
  ASSERT_EQ(SKF(SKF_ECCSignData)(sm2_, e.data(), 32, &sig), SAR_OK);
  ossl::Pkey card_key = ossl::Sm2FromPublic(xy);
  EXPECT_TRUE(ossl::Sm2Verify(card_key.get(), kId, message, ossl::EccSignature(sig)));
  std::memset(&sig, 0xFF, sizeof sig);
  e = ossl::Sm2Digest(key_xy, kId, message);
  ASSERT_EQ(SKF(SKF_ExtECCSign)(dev_, &priv, e.data(), 32, &sig), SAR_OK);
  EXPECT_TRUE(ossl::Sm2Verify(key.get(), kId, message, ossl::EccSignature(sig)));

  Bytes out(sizeof(ECCCIPHERBLOB) + 16, 0xFF);
  auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(out.data());
  HANDLE session = nullptr;
  ASSERT_EQ(SKF(SKF_ECCExportSessionKey)(sm2_, SGD_SMS4_ECB, &pub, blob, &session), SAR_OK);
  EXPECT_EQ(ossl::Sm2Decrypt(key.get(), ossl::EccCardCipher(blob)), SessionKeyOf(session));
  std::fill(out.begin(), out.end(), 0xFF);
  ASSERT_EQ(SKF(SKF_ExtECCEncrypt)(dev_, &pub, const_cast<BYTE *>(message.data()), 16, blob),
            SAR_OK);
  EXPECT_EQ(ossl::Sm2Decrypt(key.get(), ossl::EccCardCipher(blob)),
            Bytes(message.begin(), message.begin() + 16));

  // Agreement data: the temporary public keys of both sides.
  ECCPUBLICKEYBLOB sponsor_temp, responder_temp;
  std::memset(&sponsor_temp, 0xFF, sizeof sponsor_temp);
  std::memset(&responder_temp, 0xFF, sizeof responder_temp);
  Bytes id = Hex("0102030405060708090a0b0c0d0e0f10");
  HANDLE agreement = nullptr, agreed = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataWithECC)(sm2_, SGD_SMS4_ECB, &sponsor_temp, id.data(), 16,
                                                  &agreement),
            SAR_OK);
  EXPECT_EQ(ossl::Sm2Public(ossl::Sm2FromPublic(ossl::EccPoint(sponsor_temp)).get()).size(), 64u);
  ECCPUBLICKEYBLOB own = ossl::EccPublicBlob(PublicKey(sm2_, FALSE));
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataAndKeyWithECC)(sm2_, SGD_SMS4_ECB, &own, &sponsor_temp,
                                                        &responder_temp, id.data(), 16, id.data(),
                                                        16, &agreed),
            SAR_OK);
  EXPECT_EQ(ossl::EccPoint(responder_temp).size(), 64u);
}

TEST_F(Sm2Test, ImportsEnvelopedPairsInBothLayouts) {
  Login(app_);
  const Bytes sign_xy = PublicKey(sm2_, TRUE);
  for (bool long_form : {false, true}) {
    ossl::Pkey pair = ossl::Sm2Generate();
    Bytes storage;
    ENVELOPEDKEYBLOB *env = ossl::Envelope(storage, sign_xy, pair.get(), long_form, SGD_SMS4_ECB);
    ASSERT_EQ(SKF(SKF_ImportECCKeyPair)(sm2_, env), SAR_OK) << long_form;
    EXPECT_EQ(PublicKey(sm2_, FALSE), ossl::Sm2Public(pair.get()));
    const Bytes plain = ossl::Random(20);
    ULONG result = 0;
    EXPECT_EQ(Decrypt(sm2_, 1, ossl::Sm2Encrypt(pair.get(), plain), &result), plain) << long_form;
  }
  // The signing key must be the one the envelope was wrapped for.
  ossl::Pkey other = ossl::Sm2Generate();
  ossl::Pkey pair = ossl::Sm2Generate();
  Bytes storage;
  ENVELOPEDKEYBLOB *env =
      ossl::Envelope(storage, ossl::Sm2Public(other.get()), pair.get(), false, SGD_SMS4_ECB);
  EXPECT_EQ(SKF(SKF_ImportECCKeyPair)(sm2_, env), SAR_FAIL);
  HCONTAINER rsa = OpenContainer(app_, apitest::kRsaContainer);
  EXPECT_EQ(SKF(SKF_ImportECCKeyPair)(rsa, env), SAR_FAIL);
  env->ECCCipherBlob.CipherLen = 0x10000;
  EXPECT_EQ(SKF(SKF_ImportECCKeyPair)(sm2_, env), SAR_INDATALENERR);
}

TEST_F(Sm2Test, AgreementBetweenTwoKeysGivesBothTheSameKey) {
  const std::string peer_key = NewKey();
  DEVHANDLE peer_dev = Connect(peer_key);
  HAPPLICATION peer_app = OpenApp(peer_dev);
  HCONTAINER peer = OpenContainer(peer_app, apitest::kSm2Container);
  Login(app_);
  Login(peer_app);  // same application number and PIN: one slot serves both keys

  Bytes sponsor_id = Hex("0102030405060708090a0b0c0d0e0f10");
  Bytes responder_id(20, 0x42);
  ECCPUBLICKEYBLOB sponsor_temp{}, responder_temp{};
  HANDLE agreement = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataWithECC)(sm2_, SGD_SMS4_ECB, &sponsor_temp,
                                                  sponsor_id.data(), 16, &agreement),
            SAR_OK);
  ECCPUBLICKEYBLOB sponsor_static = ossl::EccPublicBlob(PublicKey(sm2_, FALSE));
  ECCPUBLICKEYBLOB responder_static = ossl::EccPublicBlob(PublicKey(peer, FALSE));
  HANDLE responder_key = nullptr, sponsor_key = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateAgreementDataAndKeyWithECC)(
                peer, SGD_SMS4_ECB, &sponsor_static, &sponsor_temp, &responder_temp,
                responder_id.data(), 20, sponsor_id.data(), 16, &responder_key),
            SAR_OK);
  ASSERT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &responder_static, &responder_temp,
                                        responder_id.data(), 20, &sponsor_key),
            SAR_OK);
  EXPECT_EQ(SessionKeyOf(sponsor_key), SessionKeyOf(responder_key));
  EXPECT_NE(SessionKeyOf(sponsor_key), Bytes(16, 0));

  // A wrong peer identity gives the sponsor another key.
  responder_id[0] ^= 1;
  HANDLE wrong = nullptr;
  ASSERT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &responder_static, &responder_temp,
                                        responder_id.data(), 20, &wrong),
            SAR_OK);
  EXPECT_NE(SessionKeyOf(wrong), SessionKeyOf(responder_key));
  Bytes long_id(65, 1);
  EXPECT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &responder_static, &responder_temp,
                                        long_id.data(), 65, &wrong),
            SAR_INVALIDPARAMERR);
}

}  // namespace
