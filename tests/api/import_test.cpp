// Key-pair import: the directory records the new exchange pair, and a card-decrypted private key
// whose last byte is no padding is taken unstripped.
#include <cstring>
#include <string>

#include "key_fixture.h"
#include "layouts.h"
#include "openssl_side.h"

namespace {

using apitest::Bytes;

class ImportTest : public apitest::VirtualKey {
 protected:
  // The container's entry of the application's directory, read raw.
  Bytes Entry(HCONTAINER container) {
    vkey::RawCard raw(key_);
    const Bytes directory = ReadFile(raw, {0xAD01, 0xEF01});
    const std::size_t at = ContainerEntryAt((static_cast<HandleRecord *>(container)->id & 0xF) - 1);
    return Bytes(directory.begin() + static_cast<std::ptrdiff_t>(at),
                 directory.begin() + static_cast<std::ptrdiff_t>(at + 20));
  }
  static std::uint32_t KeyType(const Bytes &entry) { return vkey::U32At(entry, 0); }
  static std::uint32_t EncKeyPresent(const Bytes &entry) { return vkey::U32At(entry, 8); }

  Bytes ExportPublic(HCONTAINER container, BOOL sign, ULONG *result) {
    Bytes blob(sizeof(RSAPUBLICKEYBLOB));
    ULONG length = static_cast<ULONG>(blob.size());
    *result = SKF(SKF_ExportPublicKey)(container, sign, blob.data(), &length);
    blob.resize(*result == SAR_OK ? length : 0);
    return blob;
  }
};

// Containers with a signing pair only take an exchange pair, and their entry says so.
TEST_F(ImportTest, AnImportedPairIsRecordedInTheDirectory) {
  Login(app_);
  struct Case {
    const char *name;
    std::uint32_t key_type;
  };
  for (const Case c : {Case{"ONLY-SIGN-SM2", 3}, Case{"ONLY-SIGN-RSA", 1}}) {
    HCONTAINER container = CreateContainer(app_, c.name);
    ULONG result = 0;
    if (c.key_type == 3) {
      ECCPUBLICKEYBLOB sign{};
      ASSERT_EQ(SKF(SKF_GenECCKeyPair)(container, SGD_SM2_1, &sign), SAR_OK);
      EXPECT_EQ(EncKeyPresent(Entry(container)), 0u);
      ossl::Pkey pair = ossl::Sm2Generate();
      Bytes storage;
      ENVELOPEDKEYBLOB *env =
          ossl::Envelope(storage, ossl::EccPoint(sign), pair.get(), false, SGD_SMS4_ECB);
      ASSERT_EQ(SKF(SKF_ImportECCKeyPair)(container, env), SAR_OK);
      const Bytes exported = ExportPublic(container, FALSE, &result);
      ASSERT_EQ(result, SAR_OK);
      ECCPUBLICKEYBLOB got{};
      std::memcpy(&got, exported.data(), sizeof got);
      EXPECT_EQ(ossl::EccPoint(got), ossl::Sm2Public(pair.get()));
    } else {
      RSAPUBLICKEYBLOB sign{};
      ASSERT_EQ(SKF(SKF_GenRSAKeyPair)(container, 1024, &sign), SAR_OK);
      EXPECT_EQ(EncKeyPresent(Entry(container)), 0u);
      ExportPublic(container, FALSE, &result);
      EXPECT_EQ(result, SAR_FAIL) << "no exchange pair yet";
      ossl::Pkey pair = ossl::RsaGenerate(1024);
      const Bytes sym = ossl::Random(16);
      Bytes wrapped = ossl::RsaEncrypt(ossl::RsaFromPublicBlob(sign).get(), sym);
      Bytes der = ossl::Sm4Ecb(sym, ossl::RsaPrivateDer(pair.get()), true, true);
      ASSERT_EQ(SKF(SKF_ImportRSAKeyPair)(container, SGD_SMS4_ECB, wrapped.data(),
                                          static_cast<ULONG>(wrapped.size()), der.data(),
                                          static_cast<ULONG>(der.size())),
                SAR_OK);
      const Bytes exported = ExportPublic(container, FALSE, &result);
      ASSERT_EQ(result, SAR_OK);
      const RSAPUBLICKEYBLOB want = ossl::RsaPublicBlob(pair.get());
      EXPECT_EQ(std::memcmp(exported.data(), &want, sizeof want), 0);
    }
    const Bytes entry = Entry(container);
    EXPECT_EQ(EncKeyPresent(entry), 1u) << c.name;
    EXPECT_EQ(KeyType(entry), c.key_type) << c.name;
  }
}

// Card decryption (SM1, identifier 0x101) with the padding stripped first; a last byte above 16
// is no padding, so the key is decrypted again whole and the DER decoder takes what it holds.
TEST_F(ImportTest, CardDecryptedKeyWithoutPaddingIsTakenWhole) {
  Login(app_);
  HCONTAINER rsa = OpenContainer(app_, apitest::kRsaContainer);
  RSAPUBLICKEYBLOB sign{};
  ULONG length = sizeof sign;
  ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa, TRUE, reinterpret_cast<BYTE *>(&sign), &length), SAR_OK);
  ossl::Pkey pair = ossl::RsaGenerate(1024);
  Bytes der = ossl::RsaPrivateDer(pair.get());
  der.resize((der.size() / 16 + 1) * 16, 0xA5);  // trailing bytes after the structure
  Bytes sym = ossl::Random(16);
  // The card's own SM1 encryption under the same key.
  HANDLE card_key = nullptr;
  ASSERT_EQ(SKF(SKF_SetSymmKey)(dev_, sym.data(), SGD_SM1_ECB, &card_key), SAR_OK);
  BLOCKCIPHERPARAM param{};
  ASSERT_EQ(SKF(SKF_EncryptInit)(card_key, param), SAR_OK);
  Bytes encrypted(der.size());
  length = static_cast<ULONG>(encrypted.size());
  ASSERT_EQ(SKF(SKF_Encrypt)(card_key, der.data(), static_cast<ULONG>(der.size()), encrypted.data(),
                             &length),
            SAR_OK);
  Bytes wrapped = ossl::RsaEncrypt(ossl::RsaFromPublicBlob(sign).get(), sym);
  ASSERT_EQ(SKF(SKF_ImportRSAKeyPair)(rsa, SGD_SM1_ECB, wrapped.data(),
                                      static_cast<ULONG>(wrapped.size()), encrypted.data(), length),
            SAR_OK);
  RSAPUBLICKEYBLOB got{};
  length = sizeof got;
  ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa, FALSE, reinterpret_cast<BYTE *>(&got), &length), SAR_OK);
  const RSAPUBLICKEYBLOB want = ossl::RsaPublicBlob(pair.get());
  EXPECT_EQ(std::memcmp(&got, &want, sizeof want), 0);
}

}  // namespace
