// The PIN gate in front of the container private keys: no PIN, a wrong PIN, the shared PIN
// slot present and empty or holding a PIN, and the exports that pass over the shared slot.
#include <cstring>
#include <functional>
#include <string>

#include "key_fixture.h"
#include "openssl_side.h"
#include "pin_mapping.h"

namespace {

using apitest::Bytes;

struct GateCase {
  const char *what;
  bool skips_shared_slot;
  std::function<ULONG()> call;
};

class GateTest : public apitest::VirtualKey {
 protected:
  void SetUp() override {
    PinMapping::RemoveAny();
    VirtualKey::SetUp();
    sm2_ = OpenContainer(app_, apitest::kSm2Container);
    rsa_ = OpenContainer(app_, apitest::kRsaContainer);
    fresh_ = CreateContainer(app_, "GATE-RSA");
    // Exchange pairs of known keys, imported once here (they are imported again by the cases),
    // and the ciphertexts for the container keys.
    ECCPUBLICKEYBLOB sign{};
    ULONG length = sizeof sign;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(sm2_, TRUE, reinterpret_cast<BYTE *>(&sign), &length),
              SAR_OK);
    sm2_pair_ = ossl::Sm2Generate();
    envelope_ = ossl::Envelope(envelope_storage_, ossl::EccPoint(sign), sm2_pair_.get(), false,
                               SGD_SMS4_ECB);
    sm2_cipher_ = ossl::EccCipherBlob(ossl::Sm2Encrypt(sm2_pair_.get(), Bytes(16, 7)));
    RSAPUBLICKEYBLOB rsa_pub{};
    length = sizeof rsa_pub;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa_, TRUE, reinterpret_cast<BYTE *>(&rsa_pub), &length),
              SAR_OK);
    ossl::Pkey rsa_sign = ossl::RsaFromPublicBlob(rsa_pub);
    rsa_cipher_ = ossl::RsaEncrypt(rsa_sign.get(), Bytes(16, 7));
    ossl::Pkey rsa_pair = ossl::RsaGenerate(1024);
    const Bytes sym = ossl::Random(16);
    rsa_wrapped_sym_ = ossl::RsaEncrypt(rsa_sign.get(), sym);
    rsa_encrypted_der_ = ossl::Sm4Ecb(sym, ossl::RsaPrivateDer(rsa_pair.get()), true, true);
    session_wrapped_ = ossl::RsaEncrypt(rsa_pair.get(), Bytes(16, 9));
    static_ = ossl::EccPublicBlob(ossl::Sm2Public(sm2_pair_.get()));
    temp_ = ossl::EccPublicBlob(ossl::Sm2Public(ossl::Sm2Generate().get()));
    BYTE id[16] = {};
    ECCPUBLICKEYBLOB own_temp{};
    ASSERT_EQ(
        SKF(SKF_GenerateAgreementDataWithECC)(sm2_, SGD_SMS4_ECB, &own_temp, id, 16, &agreement_),
        SAR_OK);
    Login(app_);
    for (const auto &c : Cases()) {
      if (std::string(c.what).rfind("Import", 0) == 0) {
        ASSERT_EQ(c.call(), SAR_OK) << c.what;
      }
    }
    ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
  }
  void TearDown() override {
    VirtualKey::TearDown();
    PinMapping::RemoveAny();
  }

  // Every private-key export once, each with arguments that succeed when the PIN is right. The
  // imports come first: they put back the exchange pairs the ciphertexts were made for.
  std::vector<GateCase> Cases() {
    auto *cipher = reinterpret_cast<ECCCIPHERBLOB *>(sm2_cipher_.data());
    return {
        {"ImportECCKeyPair", false,
         [=, this] { return SKF(SKF_ImportECCKeyPair)(sm2_, envelope_); }},
        {"ImportRSAKeyPair", false,
         [=, this] {
           return SKF(SKF_ImportRSAKeyPair)(rsa_, SGD_SMS4_ECB,
                                            const_cast<BYTE *>(rsa_wrapped_sym_.data()),
                                            static_cast<ULONG>(rsa_wrapped_sym_.size()),
                                            const_cast<BYTE *>(rsa_encrypted_der_.data()),
                                            static_cast<ULONG>(rsa_encrypted_der_.size()));
         }},
        {"ImportSessionKey", false,
         [=, this] {
           HANDLE key = nullptr;
           return SKF(SKF_ImportSessionKey)(rsa_, SGD_SMS4_ECB,
                                            const_cast<BYTE *>(session_wrapped_.data()),
                                            static_cast<ULONG>(session_wrapped_.size()), &key);
         }},
        {"PrvRsaKeyDecrypt", false,
         [=, this] {
           BYTE out[256];
           ULONG n = sizeof out;
           return SKF(SKF_PrvRsaKeyDecrypt)(rsa_, 2, const_cast<BYTE *>(rsa_cipher_.data()), 128,
                                            out, &n);
         }},
        {"GenRSAKeyPair", false,
         [=, this] {
           RSAPUBLICKEYBLOB blob{};
           return SKF(SKF_GenRSAKeyPair)(fresh_, 1024, &blob);
         }},
        {"GenerateKeyWithECC", false,
         [=, this] {
           ECCPUBLICKEYBLOB peer = static_, peer_temp = temp_;
           BYTE id[16] = {1};
           HANDLE key = nullptr;
           return SKF(SKF_GenerateKeyWithECC)(agreement_, &peer, &peer_temp, id, 16, &key);
         }},
        {"GenerateAgreementDataAndKeyWithECC", false,
         [=, this] {
           ECCPUBLICKEYBLOB peer = static_, peer_temp = temp_, own_temp{};
           BYTE id[16] = {2};
           HANDLE key = nullptr;
           return SKF(SKF_GenerateAgreementDataAndKeyWithECC)(sm2_, SGD_SMS4_ECB, &peer, &peer_temp,
                                                              &own_temp, id, 16, id, 16, &key);
         }},
        {"ECCSignData", false,
         [=, this] {
           BYTE e[32] = {1};
           ECCSIGNATUREBLOB sig{};
           return SKF(SKF_ECCSignData)(sm2_, e, 32, &sig);
         }},
        {"RSASignData", false,
         [=, this] {
           BYTE data[20] = {1};
           BYTE sig[256];
           ULONG n = sizeof sig;
           return SKF(SKF_RSASignData)(rsa_, data, 20, sig, &n);
         }},
        {"PriRsaDecrypt", false,
         [=, this] {
           BYTE out[256];
           ULONG n = sizeof out;
           return SKF(SKF_PriRsaDecrypt)(rsa_, 1, rsa_cipher_.data(), 128, out, &n);
         }},
        {"SKFEX_RSADecrypt", true,
         [=, this] {
           BYTE out[256];
           ULONG n = sizeof out;
           return SKF(SKFEX_RSADecrypt)(rsa_, rsa_cipher_.data(), 128, out, &n, 2);
         }},
        {"PrvKeyDecrypt", true,
         [=, this] {
           BYTE out[256];
           ULONG n = sizeof out;
           return SKF(SKF_PrvKeyDecrypt)(sm2_, 1, cipher, out, &n);
         }},
        {"SKFEX_ECCDecrypt", true,
         [=, this] {
           BYTE out[256];
           ULONG n = sizeof out;
           return SKF(SKFEX_ECCDecrypt)(sm2_, 1, cipher, out, &n);
         }},
        {"GenECCKeyPair", false,
         [=, this] {
           ECCPUBLICKEYBLOB blob{};
           return SKF(SKF_GenECCKeyPair)(sm2_, SGD_SM2_ENC_PAIR, &blob);
         }},
    };
  }

  // The case named `what`.
  GateCase Case(const char *what) {
    for (const GateCase &c : Cases()) {
      if (std::string(c.what) == what) return c;
    }
    ADD_FAILURE() << what;
    return {what, false, [] { return ULONG{SAR_FAIL}; }};
  }

  HCONTAINER sm2_ = nullptr;
  HCONTAINER rsa_ = nullptr;
  HCONTAINER fresh_ = nullptr;
  ossl::Pkey sm2_pair_;
  Bytes envelope_storage_;
  ENVELOPEDKEYBLOB *envelope_ = nullptr;
  Bytes sm2_cipher_;
  Bytes rsa_cipher_;
  Bytes rsa_wrapped_sym_, rsa_encrypted_der_, session_wrapped_;
  ECCPUBLICKEYBLOB static_{}, temp_{};
  HANDLE agreement_ = nullptr;
};

TEST_F(GateTest, NoPinHeldRefusesEveryPrivateKeyUse) {
  for (const auto &c : Cases()) EXPECT_EQ(c.call(), SAR_USER_NOT_LOGGED_IN) << c.what;
  Login(app_);
  for (const auto &c : Cases()) EXPECT_EQ(c.call(), SAR_OK) << c.what;
  ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
  for (const auto &c : Cases()) EXPECT_EQ(c.call(), SAR_USER_NOT_LOGGED_IN) << c.what;
}

TEST_F(GateTest, SharedSlotPresentButEmptyRefusesAllButTheSlotBlindExports) {
  Login(app_);
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  for (const auto &c : Cases()) {
    mapping.Text()[0] = '\0';  // a verification on the card fills it again
    EXPECT_EQ(c.call(), c.skips_shared_slot ? SAR_OK : SAR_USER_NOT_LOGGED_IN) << c.what;
  }
}

TEST_F(GateTest, SharedSlotPinIsTakenAndVerifiedAgain) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  std::strcpy(mapping.Text(), "12345678");
  // The shared PIN fills application 1's slot for the exports that ask the shared slot; the
  // others then find it there too.
  for (const auto &c : Cases()) EXPECT_EQ(c.call(), SAR_OK) << c.what;
  ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
  std::strcpy(mapping.Text(), "87654321");
  // The wrong shared PIN lands in the slot too, where the slot-blind exports then find it.
  for (const auto &c : Cases()) EXPECT_EQ(c.call(), SAR_PIN_INCORRECT) << c.what;
  ULONG max = 0, left = 0;
  BOOL default_pin = FALSE;
  ASSERT_EQ(SKF(SKF_GetPINInfo)(app_, 1, &max, &left, &default_pin), SAR_OK);
  EXPECT_EQ(left, max) << "re-verification leaves the directory's count alone";
}

TEST_F(GateTest, AskMarkerTakesTheSharedPin) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  std::strcpy(mapping.Text(), "12345678");
  char pin[32] =
      "\x1d\x1e"
      "48151623";
  ULONG retries = 0;
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, 1, pin, &retries), SAR_OK);
  EXPECT_STREQ(pin, "12345678");
  mapping.Text()[0] = '\0';
  EXPECT_EQ(Case("SKFEX_RSADecrypt").call(), SAR_OK) << "the verified PIN is in the slot";
}

TEST_F(GateTest, ApplicationsAfterTheFirstShareOneSlot) {
  const BYTE any[16] = {};
  ASSERT_EQ(SKF(SKF_DevAuth)(dev_, any, sizeof any), SAR_OK);  // the built-in key is accepted
  HAPPLICATION second = nullptr, third = nullptr;
  char admin[] = "12345678", user[] = "22222222", name2[] = "APP-2", name3[] = "APP-3";
  ASSERT_EQ(SKF(SKF_CreateApplication)(dev_, name2, admin, 5, user, 5, 0xFF, &second), SAR_OK);
  ASSERT_EQ(SKF(SKF_CreateApplication)(dev_, name3, admin, 5, user, 5, 0xFF, &third), SAR_OK);
  HCONTAINER container = CreateContainer(second, "SECOND");
  ECCPUBLICKEYBLOB blob{};
  Login(app_);
  EXPECT_EQ(SKF(SKF_GenECCKeyPair)(container, SGD_SM2_1, &blob), SAR_USER_NOT_LOGGED_IN)
      << "application 1's PIN is not application 2's";
  ULONG retries = 0;
  ASSERT_EQ(SKF(SKF_VerifyPIN)(third, 1, user, &retries), SAR_OK);
  EXPECT_EQ(SKF(SKF_GenECCKeyPair)(container, SGD_SM2_1, &blob), SAR_OK)
      << "the PIN verified for application 3 serves application 2";
  BYTE e[32] = {1};
  ECCSIGNATUREBLOB sig{};
  EXPECT_EQ(SKF(SKF_ECCSignData)(sm2_, e, 32, &sig), SAR_OK) << "application 1 keeps its own";

  // The sponsor's agreement record of the second application takes the second slot too.
  ASSERT_EQ(SKF(SKF_GenECCKeyPair)(container, SGD_SM2_ENC_PAIR, &blob), SAR_OK);
  HANDLE agreement = nullptr;
  BYTE id[16] = {3};
  ASSERT_EQ(
      SKF(SKF_GenerateAgreementDataWithECC)(container, SGD_SMS4_ECB, &blob, id, 16, &agreement),
      SAR_OK);
  ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
  Login(app_);
  ECCPUBLICKEYBLOB peer = static_, peer_temp = temp_;
  HANDLE key = nullptr;
  EXPECT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &peer, &peer_temp, id, 16, &key),
            SAR_USER_NOT_LOGGED_IN);
  ASSERT_EQ(SKF(SKF_VerifyPIN)(third, 1, user, &retries), SAR_OK);
  EXPECT_EQ(SKF(SKF_GenerateKeyWithECC)(agreement, &peer, &peer_temp, id, 16, &key), SAR_OK);
}

// A container whose directory shows no signing pair cannot sign or unwrap an envelope: refused
// before any PIN is sent, although one is held.
TEST_F(GateTest, NoSigningPairIsRefusedBeforeThePin) {
  Login(app_);
  vkey::RawCard raw(key_);
  ASSERT_TRUE(raw.SelectPath({0xAD01, 0xEF01}));
  auto directory = raw.ReadPrefixed();
  ASSERT_TRUE(directory);
  constexpr std::size_t kSignKeyPresent = 16;
  for (std::size_t entry : {28u, 28u + 148u}) {
    std::memset(directory->data() + entry + kSignKeyPresent, 0, 4);
  }
  ASSERT_TRUE(raw.WritePrefixed(*directory));
  const std::uint64_t verifies = vkey::Commands(key_, 0x00, 0x20);
  for (const char *what : {"ECCSignData", "RSASignData", "ImportECCKeyPair", "ImportRSAKeyPair"}) {
    EXPECT_EQ(Case(what).call(), SAR_FAIL) << what;
  }
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0x20), verifies);
}

}  // namespace
