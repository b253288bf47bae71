// RSA through tokencore against the virtual key, with OpenSSL as the other side: PKCS#1 v1.5
// signatures both ways at 1024 and 2048 bits, session keys wrapped for OpenSSL, the raw
// operations, external key generation, key-pair import and the decrypt extensions.
#include <cstring>

#include "key_fixture.h"
#include "openssl_side.h"

namespace {

using apitest::Bytes;

class RsaTest : public apitest::VirtualKey {
 protected:
  void SetUp() override {
    VirtualKey::SetUp();
    rsa_ = OpenContainer(app_, apitest::kRsaContainer);
  }

  ossl::Pkey PublicKey(HCONTAINER container, BOOL sign) {
    RSAPUBLICKEYBLOB blob{};
    ULONG length = sizeof blob;
    EXPECT_EQ(SKF(SKF_ExportPublicKey)(container, sign, reinterpret_cast<BYTE *>(&blob), &length),
              SAR_OK);
    EXPECT_EQ(length, sizeof blob);
    return ossl::RsaFromPublicBlob(blob);
  }

  HCONTAINER rsa_ = nullptr;
};

TEST_F(RsaTest, SignaturesCrossCheckWithOpenSslAtBothSizes) {
  Login(app_);
  HCONTAINER big = CreateContainer(app_, "RSA-2048");
  RSAPUBLICKEYBLOB generated{};
  ASSERT_EQ(SKF(SKF_GenRSAKeyPair)(big, 2048, &generated), SAR_OK);
  EXPECT_EQ(generated.BitLen, 2048u);
  ULONG type = 0;
  ASSERT_EQ(SKF(SKF_GetRsaType)(big, &type), SAR_OK);
  EXPECT_EQ(type, 2u);

  for (HCONTAINER container : {rsa_, big}) {
    ossl::Pkey key = PublicKey(container, TRUE);
    const std::size_t k = static_cast<std::size_t>(EVP_PKEY_get_size(key.get()));
    Bytes data = ossl::Random(k - 11);
    ULONG length = 0;
    ASSERT_EQ(SKF(SKF_RSASignData)(container, data.data(), static_cast<ULONG>(data.size()), nullptr,
                                   &length),
              SAR_OK);
    EXPECT_EQ(length, k + 1);
    BYTE signature[256] = {};
    length = static_cast<ULONG>(k - 1);
    EXPECT_EQ(SKF(SKF_RSASignData)(container, data.data(), 20, signature, &length),
              SAR_BUFFER_TOO_SMALL);
    length = sizeof signature;
    ASSERT_EQ(SKF(SKF_RSASignData)(container, data.data(), static_cast<ULONG>(data.size()),
                                   signature, &length),
              SAR_OK);
    ASSERT_EQ(length, k);
    EXPECT_TRUE(ossl::RsaVerifyRaw(key.get(), data, Bytes(signature, signature + k))) << k;
    Bytes too_long = ossl::Random(k - 10);
    EXPECT_EQ(SKF(SKF_RSASignData)(container, too_long.data(), static_cast<ULONG>(k - 10),
                                   signature, &length),
              SAR_FAIL);
  }

  for (int bits : {1024, 2048}) {
    ossl::Pkey key = ossl::RsaGenerate(bits);
    RSAPUBLICKEYBLOB pub = ossl::RsaPublicBlob(key.get());
    Bytes data = ossl::Random(36);
    Bytes signature = ossl::RsaSignRaw(key.get(), data);
    EXPECT_EQ(SKF(SKF_RSAVerify)(dev_, &pub, data.data(), 36, signature.data(),
                                 static_cast<ULONG>(signature.size())),
              SAR_OK)
        << bits;
    data[35] ^= 1;
    EXPECT_EQ(SKF(SKF_RSAVerify)(dev_, &pub, data.data(), 36, signature.data(),
                                 static_cast<ULONG>(signature.size())),
              SAR_FAIL)
        << bits;
  }
}

TEST_F(RsaTest, GenerationKeepsTheCallersLeadingBytesAndRefusesOtherSizes) {
  Login(app_);
  RSAPUBLICKEYBLOB blob;
  std::memset(&blob, 0xAA, sizeof blob);
  ASSERT_EQ(SKF(SKF_GenRSAKeyPair)(rsa_, 1024, &blob), SAR_OK);
  EXPECT_EQ(blob.AlgID, static_cast<ULONG>(SGD_RSA));
  EXPECT_EQ(blob.BitLen, 1024u);
  EXPECT_EQ(Bytes(blob.Modulus, blob.Modulus + 128), Bytes(128, 0xAA));
  EXPECT_EQ(ossl::RsaPublicBlob(PublicKey(rsa_, TRUE).get()).Modulus[255], blob.Modulus[255]);
  EXPECT_EQ(SKF(SKF_GenRSAKeyPair)(rsa_, 2048, &blob), SAR_FAIL) << "a 1024-bit container";
  EXPECT_EQ(SKF(SKF_GenRSAKeyPair)(rsa_, 1536, &blob), SAR_RSAMODULUSLENERR);
  HCONTAINER sm2 = OpenContainer(app_, apitest::kSm2Container);
  EXPECT_EQ(SKF(SKF_GenRSAKeyPair)(sm2, 1024, &blob), SAR_FAIL);
  ULONG length = 0;
  ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa_, TRUE, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, sizeof(RSAPUBLICKEYBLOB) + 1);
}

TEST_F(RsaTest, SessionKeyWrappedForOpenSsl) {
  ossl::Pkey key = ossl::RsaGenerate(1024);
  RSAPUBLICKEYBLOB pub = ossl::RsaPublicBlob(key.get());
  HANDLE query = nullptr, wrapped_key = nullptr;
  ULONG length = 0;
  ASSERT_EQ(SKF(SKF_RSAExportSessionKey)(rsa_, SGD_SMS4_CBC, &pub, nullptr, &length, &query),
            SAR_OK);
  EXPECT_EQ(length, 129u);
  EXPECT_NE(query, nullptr) << "a length query makes a key too";
  BYTE wrapped[256] = {};
  length = sizeof wrapped;
  ASSERT_EQ(SKF(SKF_RSAExportSessionKey)(rsa_, SGD_SMS4_CBC, &pub, wrapped, &length, &wrapped_key),
            SAR_OK);
  ASSERT_EQ(length, 128u);
  const Bytes key_bytes = ossl::RsaDecrypt(key.get(), Bytes(wrapped, wrapped + 128));
  const auto *record = static_cast<const std::uint8_t *>(wrapped_key);
  EXPECT_EQ(key_bytes, Bytes(record + 8, record + 24));
  EXPECT_EQ(*static_cast<const ULONG *>(wrapped_key), static_cast<ULONG>(SGD_SMS4_CBC));
}

// The MF work key files that the library's own format makes take supplied keys of both RSA sizes
// and SM2 keys (a card refuses a key its file was not made for).
TEST_F(RsaTest, AKeyTheLibraryFormattedTakesSuppliedKeys) {
  ASSERT_TRUE(vkey::Remove(key_));  // the blank key is then the first reader
  const std::string blank = vkey::CreateKey("blank", false);
  char text[] = "0123456789abcdef";
  ASSERT_EQ(SKF(SKF_FormatCard)(text), SAR_OK);
  DEVHANDLE dev = Connect(blank);
  for (int bits : {1024, 2048}) {
    const std::size_t k = static_cast<std::size_t>(bits) / 8;
    ossl::Pkey key = ossl::RsaGenerate(bits);
    RSAPUBLICKEYBLOB pub = ossl::RsaPublicBlob(key.get());
    RSAPRIVATEKEYBLOB priv = ossl::RsaPrivateBlob(key.get());
    Bytes x = ossl::Random(k);
    x[0] = 0x01;
    BYTE out[256] = {};
    ULONG length = sizeof out;
    ASSERT_EQ(
        SKF(SKF_ExtRSAPubKeyOperation)(dev, &pub, x.data(), static_cast<ULONG>(k), out, &length),
        SAR_OK)
        << bits;
    EXPECT_EQ(Bytes(out, out + length), ossl::RsaRaw(key.get(), x, false)) << bits;
    length = sizeof out;
    ASSERT_EQ(
        SKF(SKF_ExtRSAPriKeyOperation)(dev, &priv, x.data(), static_cast<ULONG>(k), out, &length),
        SAR_OK)
        << bits;
    EXPECT_EQ(Bytes(out, out + length), ossl::RsaRaw(key.get(), x, true)) << bits;
  }
  ossl::Pkey sm2 = ossl::Sm2Generate();
  ECCPUBLICKEYBLOB pub = ossl::EccPublicBlob(ossl::Sm2Public(sm2.get()));
  ECCPRIVATEKEYBLOB priv = ossl::EccPrivateBlob(ossl::Sm2Private(sm2.get()));
  Bytes plain = ossl::Random(20);
  Bytes cipher(sizeof(ECCCIPHERBLOB) + 20);
  auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(cipher.data());
  ASSERT_EQ(SKF(SKF_ExtECCEncrypt)(dev, &pub, plain.data(), 20, blob), SAR_OK);
  EXPECT_EQ(ossl::Sm2Decrypt(sm2.get(), ossl::EccCardCipher(blob)), plain);
  BYTE back[64] = {};
  ULONG length = sizeof back;
  ASSERT_EQ(SKF(SKF_ExtECCDecrypt)(dev, &priv, blob, back, &length), SAR_OK);
  EXPECT_EQ(Bytes(back, back + length), plain);
  Bytes e = ossl::Random(32);
  ECCSIGNATUREBLOB sig{};
  ASSERT_EQ(SKF(SKF_ExtECCSign)(dev, &priv, e.data(), 32, &sig), SAR_OK);
  EXPECT_EQ(SKF(SKF_ExtECCVerify)(dev, &pub, e.data(), 32, &sig), SAR_OK);
}

TEST_F(RsaTest, RawOperationsWithCallerKeys) {
  ossl::Pkey key = ossl::RsaGenerate(1024);
  RSAPUBLICKEYBLOB pub = ossl::RsaPublicBlob(key.get());
  RSAPRIVATEKEYBLOB priv = ossl::RsaPrivateBlob(key.get());
  Bytes x = ossl::Random(128);
  x[0] = 0x01;
  BYTE out[256] = {};
  ULONG length = sizeof out;
  ASSERT_EQ(SKF(SKF_ExtRSAPubKeyOperation)(dev_, &pub, x.data(), 128, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), ossl::RsaRaw(key.get(), x, false));
  EXPECT_EQ(SKF(SKF_ExtRSAPubKeyOperation)(dev_, &pub, x.data(), 129, out, &length),
            SAR_INDATALENERR);

  const Bytes payload = ossl::Random(16);
  Bytes cipher = ossl::RsaEncrypt(key.get(), payload);
  length = sizeof out;
  ASSERT_EQ(SKF(SKF_ExtRSAPriKeyOperation)(dev_, &priv, cipher.data(), 128, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), payload) << "a type-2 block gives its payload";
  length = sizeof out;
  ASSERT_EQ(SKF(SKF_ExtRSAPriKeyOperation)(dev_, &priv, x.data(), 128, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), ossl::RsaRaw(key.get(), x, true)) << "anything else raw";
}

TEST_F(RsaTest, RandomComesInChallengesOfEight) {
  const std::uint64_t before = vkey::Commands(key_, 0x00, 0x84);
  BYTE random[13] = {};
  ASSERT_EQ(SKF(SKF_GenRandom)(dev_, random, 13), SAR_OK);
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0x84) - before, 2u);
  BYTE again[13] = {};
  ASSERT_EQ(SKF(SKF_GenRandom)(dev_, again, 13), SAR_OK);
  EXPECT_NE(Bytes(random, random + 13), Bytes(again, again + 13));
  EXPECT_EQ(SKF(SKF_GenRandom)(dev_, random, 0), SAR_OK);
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0x84) - before, 4u);
}

TEST_F(RsaTest, ExternalPairIsAConsistentKey) {
  RSAPRIVATEKEYBLOB blob{};
  ASSERT_EQ(SKF(SKF_GenExtRSAKey)(dev_, 1024, &blob), SAR_OK);
  EXPECT_EQ(blob.BitLen, 1024u);
  EXPECT_EQ(Bytes(blob.PrivateExponent, blob.PrivateExponent + 256), Bytes(256, 0));
  // The CRT parts decrypt what the public part encrypted.
  RSAPUBLICKEYBLOB pub{};
  pub.AlgID = SGD_RSA;
  pub.BitLen = 1024;
  std::memcpy(pub.Modulus, blob.Modulus, 256);
  std::memcpy(pub.PublicExponent, blob.PublicExponent, 4);
  ossl::Pkey key = ossl::RsaFromPublicBlob(pub);
  const Bytes payload = ossl::Random(24);
  Bytes cipher = ossl::RsaEncrypt(key.get(), payload);
  BYTE out[256] = {};
  ULONG length = sizeof out;
  ASSERT_EQ(SKF(SKF_ExtRSAPriKeyOperation)(dev_, &blob, cipher.data(), 128, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), payload);
  EXPECT_EQ(SKF(SKF_GenExtRSAKey)(dev_, 4096, &blob), SAR_RSAMODULUSLENERR);
}

TEST_F(RsaTest, ImportedPairDecryptsWhatOpenSslEncrypted) {
  Login(app_);
  ossl::Pkey sign = PublicKey(rsa_, TRUE);
  // SM4 in software with the padding removed; identifier 1, two-key triple DES in software,
  // keeps the padding after the DER.
  for (const ULONG alg : {ULONG{SGD_SMS4_ECB}, ULONG{1}}) {
    ossl::Pkey pair = ossl::RsaGenerate(1024);
    const Bytes sym = ossl::Random(16);
    const Bytes der = ossl::RsaPrivateDer(pair.get());
    Bytes encrypted = alg == SGD_SMS4_ECB ? ossl::Sm4Ecb(sym, der, true, true)
                                          : ossl::Des2Ecb(sym, der, true, true);
    Bytes wrapped = ossl::RsaEncrypt(sign.get(), sym);
    ASSERT_EQ(
        SKF(SKF_ImportRSAKeyPair)(rsa_, alg, wrapped.data(), static_cast<ULONG>(wrapped.size()),
                                  encrypted.data(), static_cast<ULONG>(encrypted.size())),
        SAR_OK)
        << alg;
    RSAPUBLICKEYBLOB want = ossl::RsaPublicBlob(pair.get());
    RSAPUBLICKEYBLOB got{};
    ULONG length = sizeof got;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa_, FALSE, reinterpret_cast<BYTE *>(&got), &length),
              SAR_OK);
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);

    const Bytes payload = ossl::Random(30);
    Bytes cipher = ossl::RsaEncrypt(pair.get(), payload);
    BYTE out[256] = {};
    length = sizeof out;
    ASSERT_EQ(SKF(SKFEX_RSADecrypt)(rsa_, cipher.data(), 128, out, &length, 1), SAR_OK);
    EXPECT_EQ(Bytes(out, out + length), payload);
    length = sizeof out;
    ASSERT_EQ(SKF(SKF_PrvRsaKeyDecrypt)(rsa_, 1, cipher.data(), 128, out, &length), SAR_OK);
    ASSERT_EQ(length, 128u);
    EXPECT_EQ(Bytes(out, out + 128), ossl::RsaRaw(pair.get(), cipher, true));
    EXPECT_EQ(SKF(SKF_PrvRsaKeyDecrypt)(rsa_, 1, cipher.data(), 128, nullptr, &length), SAR_OK);
    EXPECT_EQ(length, 129u);
    length = sizeof out;
    ASSERT_EQ(SKF(SKF_PriRsaDecrypt)(rsa_, 0, cipher.data(), 128, out, &length), SAR_OK);
    EXPECT_EQ(Bytes(out, out + 128), ossl::RsaRaw(pair.get(), cipher, true));
    // Usage 2 takes the signing key, which did not encrypt this (its answer is no type-2
    // block, or the card refuses a value above its modulus).
    length = sizeof out;
    EXPECT_EQ(SKF(SKFEX_RSADecrypt)(rsa_, cipher.data(), 128, out, &length, 2), SAR_FAIL);
  }
  HCONTAINER sm2 = OpenContainer(app_, apitest::kSm2Container);
  Bytes any(128, 1);
  EXPECT_EQ(SKF(SKF_ImportRSAKeyPair)(sm2, SGD_SMS4_ECB, any.data(), 128, any.data(), 128),
            SAR_FAIL);
}

TEST_F(RsaTest, DecryptExtensionsWithTheSigningKey) {
  Login(app_);
  ossl::Pkey sign = PublicKey(rsa_, TRUE);
  const Bytes payload = ossl::Random(40);
  Bytes cipher = ossl::RsaEncrypt(sign.get(), payload);
  BYTE out[256] = {};
  ULONG length = sizeof out;
  ASSERT_EQ(SKF(SKFEX_RSADecrypt)(rsa_, cipher.data(), 128, out, &length, 2), SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), payload);
  length = 39;
  EXPECT_EQ(SKF(SKFEX_RSADecrypt)(rsa_, cipher.data(), 128, out, &length, 2), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 40u);
  length = sizeof out;
  ASSERT_EQ(SKF(SKF_PriRsaDecrypt)(rsa_, 1, cipher.data(), 128, out, &length), SAR_OK);
  Bytes block(out, out + 128);
  EXPECT_EQ(block[1], 2);
  EXPECT_EQ(Bytes(block.end() - 40, block.end()), payload);
  length = sizeof out;
  ASSERT_EQ(SKF(SKF_PrvRsaKeyDecrypt)(rsa_, 2, cipher.data(), 128, out, &length), SAR_OK);
  EXPECT_EQ(Bytes(out, out + 128), block);
  EXPECT_EQ(SKF(SKF_PrvRsaKeyDecrypt)(rsa_, 2, cipher.data(), 257, out, &length),
            SAR_INVALIDPARAMERR);
  HCONTAINER sm2 = OpenContainer(app_, apitest::kSm2Container);
  EXPECT_EQ(SKF(SKF_PriRsaDecrypt)(sm2, 1, cipher.data(), 128, out, &length), SAR_FAIL);
  ULONG type = 0;
  ASSERT_EQ(SKF(SKF_GetRsaType)(rsa_, &type), SAR_OK);
  EXPECT_EQ(type, 1u);
}

}  // namespace
