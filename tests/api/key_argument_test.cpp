// Argument checks of the key exports in their order, with their codes, and the bounds on
// lengths the callers give. The handles are records the library made whose device readerio no
// longer knows, so an export that reached the card would fail with SAR_FAIL instead of the code
// of the check it passed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "argument_cases.h"
#include "tokencore.h"

namespace {

using namespace argcases;

class KeyArguments : public ::testing::Test {
 protected:
  const LibraryRecords &records = SharedRecords();
  HCONTAINER c = records.container;
  HCONTAINER closed = records.closed_container;
  DEVHANDLE dev = kStrangeDevice;
  BYTE data[512] = {};
  BYTE out[512] = {};
  ULONG size = sizeof out;
  HANDLE handle = nullptr;
  RSAPUBLICKEYBLOB rsa_pub{SGD_RSA, 1024, {}, {}};
  RSAPRIVATEKEYBLOB rsa_priv{};
  ECCPUBLICKEYBLOB ecc_pub{256, {}, {}};
  ECCPRIVATEKEYBLOB ecc_priv{256, {}};
  ECCSIGNATUREBLOB sig{};
  // An ECCCIPHERBLOB with 16 bytes of C2 room; CipherLen set per case.
  BYTE cipher_room[sizeof(ECCCIPHERBLOB) + 16] = {};
  ECCCIPHERBLOB *cipher = reinterpret_cast<ECCCIPHERBLOB *>(cipher_room);
  ENVELOPEDKEYBLOB envelope{};
};

TEST_F(KeyArguments, RsaFamily) {
  RunCases({
      {"random: no device", [&] { return SKF(SKF_GenRandom)(nullptr, data, 8); },
       SAR_INVALIDHANDLEERR},
      {"random: no buffer", [&] { return SKF(SKF_GenRandom)(dev, nullptr, 8); },
       SAR_INVALIDPARAMERR},
      {"ext pair: no device", [&] { return SKF(SKF_GenExtRSAKey)(nullptr, 1024, &rsa_priv); },
       SAR_INVALIDHANDLEERR},
      {"ext pair: no blob", [&] { return SKF(SKF_GenExtRSAKey)(dev, 1024, nullptr); },
       SAR_INVALIDPARAMERR},
      {"ext pair: 1536 bits", [&] { return SKF(SKF_GenExtRSAKey)(dev, 1536, &rsa_priv); },
       SAR_RSAMODULUSLENERR},
      {"pair: no handle", [&] { return SKF(SKF_GenRSAKeyPair)(nullptr, 1024, &rsa_pub); },
       SAR_INVALIDHANDLEERR},
      {"pair: size before device", [&] { return SKF(SKF_GenRSAKeyPair)(closed, 1536, &rsa_pub); },
       SAR_RSAMODULUSLENERR},
      {"pair: closed", [&] { return SKF(SKF_GenRSAKeyPair)(closed, 2048, &rsa_pub); },
       SAR_INVALIDHANDLEERR},
      {"pair: no blob", [&] { return SKF(SKF_GenRSAKeyPair)(c, 2048, nullptr); },
       SAR_INVALIDPARAMERR},
      {"sign: closed", [&] { return SKF(SKF_RSASignData)(closed, data, 20, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"sign: no length", [&] { return SKF(SKF_RSASignData)(c, data, 20, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"verify: no device",
       [&] { return SKF(SKF_RSAVerify)(nullptr, &rsa_pub, data, 20, out, 128); },
       SAR_INVALIDHANDLEERR},
      {"verify: no key", [&] { return SKF(SKF_RSAVerify)(dev, nullptr, data, 20, out, 128); },
       SAR_INVALIDPARAMERR},
      {"wrap: closed",
       [&] {
         return SKF(SKF_RSAExportSessionKey)(closed, SGD_SMS4_ECB, &rsa_pub, out, &size, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"wrap: no handle out",
       [&] { return SKF(SKF_RSAExportSessionKey)(c, SGD_SMS4_ECB, &rsa_pub, out, &size, nullptr); },
       SAR_INVALIDPARAMERR},
      {"public op: no device",
       [&] { return SKF(SKF_ExtRSAPubKeyOperation)(nullptr, &rsa_pub, data, 128, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"public op: no length",
       [&] { return SKF(SKF_ExtRSAPubKeyOperation)(dev, &rsa_pub, data, 128, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"public op: 4096 bits",
       [&] {
         RSAPUBLICKEYBLOB big = rsa_pub;
         big.BitLen = 4096;
         return SKF(SKF_ExtRSAPubKeyOperation)(dev, &big, data, 128, out, &size);
       },
       SAR_MODULUSLENERR},
      {"public op: input longer than the key",
       [&] { return SKF(SKF_ExtRSAPubKeyOperation)(dev, &rsa_pub, data, 129, out, &size); },
       SAR_INDATALENERR},
      {"private op: no device",
       [&] { return SKF(SKF_ExtRSAPriKeyOperation)(nullptr, &rsa_priv, data, 128, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"private op: no key",
       [&] { return SKF(SKF_ExtRSAPriKeyOperation)(dev, nullptr, data, 128, out, &size); },
       SAR_INVALIDPARAMERR},
  });
}

TEST_F(KeyArguments, RsaExtensions) {
  ULONG type = 0;
  RunCases({
      {"type: closed", [&] { return SKF(SKF_GetRsaType)(closed, &type); }, SAR_INVALIDHANDLEERR},
      {"type: no out", [&] { return SKF(SKF_GetRsaType)(c, nullptr); }, SAR_INVALIDPARAMERR},
      {"raw: no handle", [&] { return SKF(SKF_PriRsaDecrypt)(nullptr, 1, data, 128, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"raw: closed", [&] { return SKF(SKF_PriRsaDecrypt)(closed, 1, data, 128, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"raw: 257 bytes", [&] { return SKF(SKF_PriRsaDecrypt)(c, 1, data, 257, out, &size); },
       SAR_INVALIDPARAMERR},
      {"raw by key spec: 257 bytes",
       [&] { return SKF(SKF_PrvRsaKeyDecrypt)(c, 2, data, 257, out, &size); }, SAR_INVALIDPARAMERR},
      {"raw by key spec: no length",
       [&] { return SKF(SKF_PrvRsaKeyDecrypt)(c, 2, data, 128, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"unpadded: no handle",
       [&] { return SKF(SKFEX_RSADecrypt)(nullptr, data, 128, out, &size, 1); },
       SAR_INVALIDHANDLEERR},
      {"unpadded: 257 bytes",
       [&] { return SKF(SKFEX_RSADecrypt)(closed, data, 257, out, &size, 1); },
       SAR_INVALIDPARAMERR},
      {"unpadded: closed", [&] { return SKF(SKFEX_RSADecrypt)(closed, data, 128, out, &size, 1); },
       SAR_INVALIDHANDLEERR},
  });
  // A length query answers 256 before the device is looked at: no card, no PIN.
  ULONG length = 0;
  EXPECT_EQ(SKF(SKFEX_RSADecrypt)(closed, data, 128, nullptr, &length, 1), SAR_OK);
  EXPECT_EQ(length, 256u);
}

TEST_F(KeyArguments, EccFamily) {
  RunCases({
      {"pair: closed", [&] { return SKF(SKF_GenECCKeyPair)(closed, SGD_SM2_1, &ecc_pub); },
       SAR_INVALIDHANDLEERR},
      {"pair: no blob", [&] { return SKF(SKF_GenECCKeyPair)(c, SGD_SM2_1, nullptr); },
       SAR_INVALIDPARAMERR},
      {"sign: no handle whatever the length",
       [&] { return SKF(SKF_ECCSignData)(nullptr, data, 20, &sig); }, SAR_INVALIDHANDLEERR},
      {"sign: length before device", [&] { return SKF(SKF_ECCSignData)(closed, data, 20, &sig); },
       SAR_INDATALENERR},
      {"sign: closed", [&] { return SKF(SKF_ECCSignData)(closed, data, 32, &sig); },
       SAR_INVALIDHANDLEERR},
      {"sign: no signature", [&] { return SKF(SKF_ECCSignData)(c, data, 32, nullptr); },
       SAR_INVALIDPARAMERR},
      {"verify: no device", [&] { return SKF(SKF_ECCVerify)(nullptr, &ecc_pub, data, 32, &sig); },
       SAR_INVALIDHANDLEERR},
      {"verify: no signature", [&] { return SKF(SKF_ECCVerify)(dev, &ecc_pub, data, 32, nullptr); },
       SAR_INVALIDPARAMERR},
      {"verify: 192 bytes do not fit one command",
       [&] { return SKF(SKF_ECCVerify)(dev, &ecc_pub, data, 192, &sig); }, SAR_INDATALENERR},
      {"wrap: no handle",
       [&] {
         return SKF(SKF_ECCExportSessionKey)(nullptr, SGD_SMS4_ECB, &ecc_pub, cipher, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"wrap: algorithm before device",
       [&] {
         return SKF(SKF_ECCExportSessionKey)(closed, SGD_SMS4_MAC, &ecc_pub, cipher, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"wrap: closed",
       [&] {
         return SKF(SKF_ECCExportSessionKey)(closed, SGD_SMS4_ECB, &ecc_pub, cipher, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"encrypt: no device",
       [&] { return SKF(SKF_ExtECCEncrypt)(nullptr, &ecc_pub, data, 16, cipher); },
       SAR_INVALIDHANDLEERR},
      {"encrypt: no output",
       [&] { return SKF(SKF_ExtECCEncrypt)(dev, &ecc_pub, data, 16, nullptr); },
       SAR_INVALIDPARAMERR},
      {"decrypt: no device",
       [&] { return SKF(SKF_ExtECCDecrypt)(nullptr, &ecc_priv, cipher, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"decrypt: no length",
       [&] { return SKF(SKF_ExtECCDecrypt)(dev, &ecc_priv, cipher, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"decrypt: a 255-bit key",
       [&] {
         ECCPRIVATEKEYBLOB odd = ecc_priv;
         odd.BitLen = 255;
         return SKF(SKF_ExtECCDecrypt)(dev, &odd, cipher, out, &size);
       },
       SAR_INDATALENERR},
      {"decrypt: a cipher length past any command",
       [&] {
         cipher->CipherLen = 0x7FFFFFFF;
         return SKF(SKF_ExtECCDecrypt)(dev, &ecc_priv, cipher, out, &size);
       },
       SAR_INDATALENERR},
      {"ext sign: no signature first",
       [&] { return SKF(SKF_ExtECCSign)(nullptr, &ecc_priv, data, 32, nullptr); },
       SAR_INVALIDPARAMERR},
      {"ext sign: no data", [&] { return SKF(SKF_ExtECCSign)(nullptr, &ecc_priv, data, 0, &sig); },
       SAR_INVALIDPARAMERR},
      {"ext sign: no device",
       [&] { return SKF(SKF_ExtECCSign)(nullptr, &ecc_priv, data, 31, &sig); },
       SAR_INVALIDHANDLEERR},
      {"ext sign: 31 bytes", [&] { return SKF(SKF_ExtECCSign)(dev, &ecc_priv, data, 31, &sig); },
       SAR_INDATALENERR},
      {"ext verify: no key",
       [&] { return SKF(SKF_ExtECCVerify)(nullptr, nullptr, data, 32, &sig); },
       SAR_INVALIDPARAMERR},
      {"ext verify: length before device",
       [&] { return SKF(SKF_ExtECCVerify)(nullptr, &ecc_pub, data, 31, &sig); }, SAR_INDATALENERR},
      {"ext verify: no device",
       [&] { return SKF(SKF_ExtECCVerify)(nullptr, &ecc_pub, data, 32, &sig); },
       SAR_INVALIDHANDLEERR},
      {"public key: closed", [&] { return SKF(SKF_ExportPublicKey)(closed, TRUE, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"public key: no length", [&] { return SKF(SKF_ExportPublicKey)(c, TRUE, out, nullptr); },
       SAR_INVALIDPARAMERR},
  });
}

TEST_F(KeyArguments, AgreementAndDecryptExtensions) {
  BYTE id[65] = {};
  ECCPUBLICKEYBLOB temp{};
  HANDLE agreement = records.agreement;
  BYTE foreign_agreement[256] = {};  // a record the library did not make
  ULONG pub_length = 0, priv_length = 0;
  RunCases({
      {"sponsor data: no handle",
       [&] {
         return SKF(SKF_GenerateAgreementDataWithECC)(nullptr, SGD_SMS4_ECB, &temp, id, 16,
                                                      &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"sponsor data: no identity",
       [&] {
         return SKF(SKF_GenerateAgreementDataWithECC)(closed, SGD_SMS4_ECB, &temp, nullptr, 16,
                                                      &handle);
       },
       SAR_INVALIDPARAMERR},
      {"sponsor data: algorithm",
       [&] {
         return SKF(SKF_GenerateAgreementDataWithECC)(closed, SGD_SMS4_MAC, &temp, id, 16, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"sponsor data: closed",
       [&] {
         return SKF(SKF_GenerateAgreementDataWithECC)(closed, SGD_SMS4_ECB, &temp, id, 16, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"sponsor data: identity over 32 bytes",
       [&] {
         return SKF(SKF_GenerateAgreementDataWithECC)(c, SGD_SMS4_ECB, &temp, id, 33, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"sponsor key: no handle",
       [&] { return SKF(SKF_GenerateKeyWithECC)(nullptr, &ecc_pub, &temp, id, 16, &handle); },
       SAR_INVALIDHANDLEERR},
      {"sponsor key: no identity",
       [&] {
         return SKF(SKF_GenerateKeyWithECC)(agreement, &ecc_pub, &temp, nullptr, 16, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"sponsor key: a record the library did not make",
       [&] {
         return SKF(SKF_GenerateKeyWithECC)(foreign_agreement, &ecc_pub, &temp, id, 16, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"sponsor key: reaches the card",
       [&] { return SKF(SKF_GenerateKeyWithECC)(agreement, &ecc_pub, &temp, id, 16, &handle); },
       SAR_FAIL},
      {"responder: no sponsor identity",
       [&] {
         return SKF(SKF_GenerateAgreementDataAndKeyWithECC)(
             closed, SGD_SMS4_ECB, &ecc_pub, &ecc_pub, &temp, id, 16, nullptr, 16, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"responder: algorithm",
       [&] {
         return SKF(SKF_GenerateAgreementDataAndKeyWithECC)(closed, 0x410, &ecc_pub, &ecc_pub,
                                                            &temp, id, 16, id, 16, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"responder: closed",
       [&] {
         return SKF(SKF_GenerateAgreementDataAndKeyWithECC)(
             closed, SGD_SMS4_ECB, &ecc_pub, &ecc_pub, &temp, id, 16, id, 16, &handle);
       },
       SAR_INVALIDHANDLEERR},
      {"responder: identity over 64 bytes",
       [&] {
         return SKF(SKF_GenerateAgreementDataAndKeyWithECC)(c, SGD_SMS4_ECB, &ecc_pub, &ecc_pub,
                                                            &temp, id, 16, id, 65, &handle);
       },
       SAR_INVALIDPARAMERR},
      {"ext pair: no outputs",
       [&] { return SKF(SKF_GenExtEccKey)(dev, out, nullptr, out, &priv_length); },
       SAR_INVALIDPARAMERR},
      {"ext pair: a NULL device goes to the card",
       [&] { return SKF(SKF_GenExtEccKey)(nullptr, out, &pub_length, out, &priv_length); },
       SAR_FAIL},
      {"decrypt: no handle", [&] { return SKF(SKF_PrvKeyDecrypt)(nullptr, 1, cipher, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"decrypt: closed", [&] { return SKF(SKF_PrvKeyDecrypt)(closed, 1, cipher, out, &size); },
       SAR_INVALIDHANDLEERR},
      {"decrypt: no cipher", [&] { return SKF(SKF_PrvKeyDecrypt)(c, 1, nullptr, out, &size); },
       SAR_INVALIDPARAMERR},
      {"decrypt: cipher length past any command",
       [&] {
         cipher->CipherLen = 0x10000;
         return SKF(SKF_PrvKeyDecrypt)(c, 1, cipher, out, &size);
       },
       SAR_INDATALENERR},
      {"vendor decrypt: cipher length past any command",
       [&] { return SKF(SKFEX_ECCDecrypt)(c, 1, cipher, out, &size); }, SAR_INDATALENERR},
  });
  ULONG length = 0;
  EXPECT_EQ(SKF(SKFEX_ECCDecrypt)(closed, 1, cipher, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, 256u) << "a length query answers before the device is looked at";
}

TEST_F(KeyArguments, KeyPairImport) {
  RunCases({
      {"rsa: closed",
       [&] { return SKF(SKF_ImportRSAKeyPair)(closed, SGD_SMS4_ECB, data, 128, data, 64); },
       SAR_INVALIDHANDLEERR},
      {"rsa: no wrapped key",
       [&] { return SKF(SKF_ImportRSAKeyPair)(c, SGD_SMS4_ECB, nullptr, 128, data, 64); },
       SAR_INVALIDPARAMERR},
      {"rsa: wrapped key over 256 bytes",
       [&] { return SKF(SKF_ImportRSAKeyPair)(c, SGD_SMS4_ECB, data, 257, data, 64); },
       SAR_INDATALENERR},
      {"rsa: private key over 2048 bytes",
       [&] { return SKF(SKF_ImportRSAKeyPair)(c, SGD_SMS4_ECB, data, 128, data, 2049); },
       SAR_INDATALENERR},
      {"ecc: no handle", [&] { return SKF(SKF_ImportECCKeyPair)(nullptr, &envelope); },
       SAR_INVALIDHANDLEERR},
      {"ecc: closed", [&] { return SKF(SKF_ImportECCKeyPair)(closed, &envelope); },
       SAR_INVALIDHANDLEERR},
      {"ecc: no envelope", [&] { return SKF(SKF_ImportECCKeyPair)(c, nullptr); },
       SAR_INVALIDPARAMERR},
      {"ecc: wrapped key past any command",
       [&] {
         envelope.ECCCipherBlob.CipherLen = 1944;
         return SKF(SKF_ImportECCKeyPair)(c, &envelope);
       },
       SAR_INDATALENERR},
      {"ecc: a wrapped key in bounds reaches the card",
       [&] {
         envelope.ECCCipherBlob.CipherLen = 0;
         return SKF(SKF_ImportECCKeyPair)(c, &envelope);
       },
       SAR_FAIL},
  });
}

}  // namespace
