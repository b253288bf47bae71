// Session keys wrapped by OpenSSL under a provisioned key's container keys and imported on
// the card: the imported key encrypts as OpenSSL does with the key it wrapped.
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <cstddef>
#include <cstring>

#include "keysim_fixture.h"

namespace {

using vkey::Bytes;

const Bytes kSessionKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                           0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78};
const Bytes kData = {'s', 'e', 's', 's', 'i', 'o', 'n', ' ', 'k', 'e', 'y',
                     ' ', 'i', 'm', 'p', 'o', 'r', 't', ' ', 'c', 'h', 'e',
                     'c', 'k', ' ', '3', '2', ' ', 'b', 'y', 't', 'e'};
char kUserPin[] = "12345678";

Bytes Sm4Ecb(const Bytes &key, const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size());
  int n = 0;
  EVP_EncryptInit_ex(ctx, EVP_sm4_ecb(), nullptr, key.data(), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

// OpenSSL public key from the parameters, then an encryption under it.
Bytes EncryptTo(const char *type, OSSL_PARAM_BLD *bld, int padding) {
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX *make = EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr);
  EVP_PKEY *pkey = nullptr;
  EXPECT_EQ(EVP_PKEY_fromdata_init(make), 1);
  EXPECT_EQ(EVP_PKEY_fromdata(make, &pkey, EVP_PKEY_PUBLIC_KEY, params), 1);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
  EXPECT_EQ(EVP_PKEY_encrypt_init(ctx), 1);
  if (padding) EVP_PKEY_CTX_set_rsa_padding(ctx, padding);
  std::size_t n = 0;
  EXPECT_EQ(EVP_PKEY_encrypt(ctx, nullptr, &n, kSessionKey.data(), kSessionKey.size()), 1);
  Bytes out(n);
  EXPECT_EQ(EVP_PKEY_encrypt(ctx, out.data(), &n, kSessionKey.data(), kSessionKey.size()), 1);
  out.resize(n);
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(pkey);
  EVP_PKEY_CTX_free(make);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  return out;
}

Bytes RsaWrap(const RSAPUBLICKEYBLOB &pub) {
  const std::size_t k = pub.BitLen / 8;
  BIGNUM *n = BN_bin2bn(pub.Modulus + sizeof pub.Modulus - k, static_cast<int>(k), nullptr);
  BIGNUM *e = BN_bin2bn(pub.PublicExponent, sizeof pub.PublicExponent, nullptr);
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
  Bytes out = EncryptTo("RSA", bld, RSA_PKCS1_PADDING);
  BN_free(n);
  BN_free(e);
  return out;
}

// OpenSSL's SM2 ciphertext (DER: x, y, C3, C2) as an ECCCIPHERBLOB, values right-aligned.
Bytes Sm2Wrap(const ECCPUBLICKEYBLOB &pub) {
  Bytes point = {0x04};
  point.insert(point.end(), pub.XCoordinate + 32, pub.XCoordinate + 64);
  point.insert(point.end(), pub.YCoordinate + 32, pub.YCoordinate + 64);
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
  OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
  const Bytes der = EncryptTo("SM2", bld, 0);
  const unsigned char *p = der.data();
  STACK_OF(ASN1_TYPE) *items = d2i_ASN1_SEQUENCE_ANY(nullptr, &p, static_cast<long>(der.size()));
  EXPECT_EQ(sk_ASN1_TYPE_num(items), 4);
  Bytes blob(offsetof(ECCCIPHERBLOB, Cipher) + kSessionKey.size(), 0);
  auto *out = reinterpret_cast<ECCCIPHERBLOB *>(blob.data());
  for (int i = 0; i < 2; ++i) {
    BIGNUM *v = ASN1_INTEGER_to_BN(sk_ASN1_TYPE_value(items, i)->value.integer, nullptr);
    BN_bn2binpad(v, (i == 0 ? out->XCoordinate : out->YCoordinate) + 32, 32);
    BN_free(v);
  }
  const ASN1_OCTET_STRING *hash = sk_ASN1_TYPE_value(items, 2)->value.octet_string;
  const ASN1_OCTET_STRING *c2 = sk_ASN1_TYPE_value(items, 3)->value.octet_string;
  EXPECT_EQ(ASN1_STRING_length(hash), 32);
  EXPECT_EQ(ASN1_STRING_length(c2), static_cast<int>(kSessionKey.size()));
  std::memcpy(out->HASH, ASN1_STRING_get0_data(hash), 32);
  out->CipherLen = static_cast<ULONG>(ASN1_STRING_length(c2));
  std::memcpy(out->Cipher, ASN1_STRING_get0_data(c2), out->CipherLen);
  sk_ASN1_TYPE_pop_free(items, ASN1_TYPE_free);
  return blob;
}

class ImportSessionKeyTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    key_ = NewKey(true);
    device_ = Connect(key_);
    ASSERT_NE(device_, nullptr);
    char app_name[] = "KEYSIM-APP";
    ASSERT_EQ(SKF(SKF_OpenApplication)(device_, app_name, &app_), SAR_OK);
    ULONG retries = 0;
    ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, USER_TYPE, kUserPin, &retries), SAR_OK);
  }
  void TearDown() override {
    if (app_) SKF(SKF_ClearSecureState)(app_);
    VirtualKeyTest::TearDown();
  }

  HCONTAINER Open(const char *name) {
    HCONTAINER c = nullptr;
    EXPECT_EQ(SKF(SKF_OpenContainer)(app_, const_cast<char *>(name), &c), SAR_OK) << name;
    return c;
  }
  template <typename Blob>
  Blob PublicKey(HCONTAINER c) {
    Blob blob = {};
    ULONG n = sizeof blob;
    EXPECT_EQ(SKF(SKF_ExportPublicKey)(c, FALSE, reinterpret_cast<BYTE *>(&blob), &n), SAR_OK);
    return blob;
  }
  static ULONG Import(HCONTAINER c, ULONG alg, Bytes wrapped, HANDLE *key) {
    return SKF(SKF_ImportSessionKey)(c, alg, wrapped.data(), static_cast<ULONG>(wrapped.size()),
                                     key);
  }
  static Bytes Encrypt(HANDLE key, const Bytes &in) {
    BLOCKCIPHERPARAM param = {};
    EXPECT_EQ(SKF(SKF_EncryptInit)(key, param), SAR_OK);
    Bytes out(in.size() + 16);
    ULONG n = static_cast<ULONG>(out.size());
    EXPECT_EQ(SKF(SKF_Encrypt)(key, const_cast<BYTE *>(in.data()), static_cast<ULONG>(in.size()),
                               out.data(), &n),
              SAR_OK);
    out.resize(n);
    return out;
  }

  std::string key_;
  DEVHANDLE device_ = nullptr;
  HAPPLICATION app_ = nullptr;
};

TEST_F(ImportSessionKeyTest, RsaWrappedByOpenSsl) {
  HCONTAINER c = Open("RSA-CONTAINER");
  const RSAPUBLICKEYBLOB pub = PublicKey<RSAPUBLICKEYBLOB>(c);
  ASSERT_EQ(pub.BitLen, 1024u);
  const Bytes wrapped = RsaWrap(pub);
  HANDLE key = nullptr;
  ASSERT_EQ(Import(c, SGD_SMS4_ECB, wrapped, &key), SAR_OK);
  EXPECT_EQ(Encrypt(key, kData), Sm4Ecb(kSessionKey, kData));

  // Identifier 1 is kept as given: software triple DES under the same key.
  HANDLE des = nullptr;
  ASSERT_EQ(Import(c, 1, wrapped, &des), SAR_OK);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes want(kData.size());
  int n = 0;
  EVP_EncryptInit_ex(ctx, EVP_des_ede_ecb(), nullptr, kSessionKey.data(), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, want.data(), &n, kData.data(), static_cast<int>(kData.size()));
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_EQ(Encrypt(des, kData), want);

  Bytes longer = wrapped;
  longer.push_back(0);
  EXPECT_EQ(Import(c, SGD_SMS4_ECB, longer, &key), SAR_INDATALENERR) << "longer than the key";
}

TEST_F(ImportSessionKeyTest, Sm2WrappedByOpenSslAndByTheLibrary) {
  HCONTAINER c = Open("SM2-CONTAINER");
  ECCPUBLICKEYBLOB pub = PublicKey<ECCPUBLICKEYBLOB>(c);
  const Bytes wrapped = Sm2Wrap(pub);
  HANDLE key = nullptr;
  ASSERT_EQ(Import(c, SGD_SMS4_ECB, wrapped, &key), SAR_OK);
  EXPECT_EQ(Encrypt(key, kData), Sm4Ecb(kSessionKey, kData));

  // A key the library wraps itself comes back the same.
  Bytes exported(offsetof(ECCCIPHERBLOB, Cipher) + 16);
  HANDLE original = nullptr;
  ASSERT_EQ(
      SKF(SKF_ECCExportSessionKey)(c, SGD_SMS4_ECB, &pub,
                                   reinterpret_cast<ECCCIPHERBLOB *>(exported.data()), &original),
      SAR_OK);
  HANDLE imported = nullptr;
  ASSERT_EQ(Import(c, SGD_SMS4_ECB, exported, &imported), SAR_OK);
  EXPECT_EQ(Encrypt(imported, kData), Encrypt(original, kData));

  // The SM2 path reads the blob by its CipherLen: hosts pass sizeof(ECCCIPHERBLOB) or 0 as the
  // length. A length too short for the blob's fixed fields (an RSA block handed to an SM2
  // container) is refused before they are read. CipherLen is at most 160.
  for (const ULONG short_length : {ULONG{1}, ULONG{128}}) {
    HANDLE refused = nullptr;
    EXPECT_EQ(SKF(SKF_ImportSessionKey)(c, SGD_SMS4_ECB, const_cast<BYTE *>(wrapped.data()),
                                        short_length, &refused),
              SAR_INDATALENERR)
        << short_length;
  }
  for (const ULONG given : {ULONG{0}, ULONG{sizeof(ECCCIPHERBLOB)}}) {
    HANDLE any_length = nullptr;
    ASSERT_EQ(SKF(SKF_ImportSessionKey)(c, SGD_SMS4_ECB, const_cast<BYTE *>(wrapped.data()), given,
                                        &any_length),
              SAR_OK)
        << given;
    EXPECT_EQ(Encrypt(any_length, kData), Sm4Ecb(kSessionKey, kData)) << given;
  }
  Bytes huge = wrapped;
  huge.resize(offsetof(ECCCIPHERBLOB, Cipher) + 161);
  reinterpret_cast<ECCCIPHERBLOB *>(huge.data())->CipherLen = 161;
  EXPECT_EQ(Import(c, SGD_SMS4_ECB, huge, &key), SAR_INDATALENERR);
}

TEST_F(ImportSessionKeyTest, GateRefusals) {
  HCONTAINER c = Open("RSA-CONTAINER");
  const Bytes wrapped = RsaWrap(PublicKey<RSAPUBLICKEYBLOB>(c));
  HANDLE key = nullptr;
  ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
  EXPECT_EQ(Import(c, SGD_SMS4_ECB, wrapped, &key), SAR_USER_NOT_LOGGED_IN);

  // A container whose directory entry has no encryption key: refused before the PIN step.
  {
    vkey::RawCard raw(key_);
    ASSERT_TRUE(raw.SelectPath({0xAD01, 0xEF01}));
    auto directory = raw.ReadPrefixed();
    ASSERT_TRUE(directory);
    constexpr std::size_t kSecondEntry = 28 + 148, kEncKeyPresent = 8;
    ASSERT_EQ(vkey::U32At(*directory, kSecondEntry), 1u) << "RSA 1024";
    std::memset(directory->data() + kSecondEntry + kEncKeyPresent, 0, 4);
    ASSERT_TRUE(raw.WritePrefixed(*directory));
  }
  const std::uint64_t verifies = vkey::Commands(key_, 0x00, 0x20);
  EXPECT_EQ(Import(c, SGD_SMS4_ECB, wrapped, &key), SAR_FAIL);
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0x20), verifies);
}

}  // namespace
