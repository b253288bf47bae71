// The PIN gate in front of the container private keys: no PIN, a wrong PIN, the shared PIN
// slot present and empty or holding a PIN, and the exports that pass over the shared slot.
#include <cstring>
#include <functional>

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
    // Ciphertexts for the container keys, made while the PIN is not needed.
    ECCPUBLICKEYBLOB pub{};
    ULONG length = sizeof pub;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(sm2_, FALSE, reinterpret_cast<BYTE *>(&pub), &length),
              SAR_OK);
    ossl::Pkey enc = ossl::Sm2FromPublic(ossl::EccPoint(pub));
    sm2_cipher_ = ossl::EccCipherBlob(ossl::Sm2Encrypt(enc.get(), Bytes(16, 7)));
    RSAPUBLICKEYBLOB rsa_pub{};
    length = sizeof rsa_pub;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(rsa_, TRUE, reinterpret_cast<BYTE *>(&rsa_pub), &length),
              SAR_OK);
    rsa_cipher_ = ossl::RsaEncrypt(ossl::RsaFromPublicBlob(rsa_pub).get(), Bytes(16, 7));
  }
  void TearDown() override {
    VirtualKey::TearDown();
    PinMapping::RemoveAny();
  }

  // Every private-key export once, each with arguments that succeed when the PIN is right.
  std::vector<GateCase> Cases() {
    auto *cipher = reinterpret_cast<ECCCIPHERBLOB *>(sm2_cipher_.data());
    return {
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

  HCONTAINER sm2_ = nullptr;
  HCONTAINER rsa_ = nullptr;
  Bytes sm2_cipher_;
  Bytes rsa_cipher_;
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
  EXPECT_EQ(Cases()[3].call(), SAR_OK) << "the verified PIN is in the slot";
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
}

}  // namespace
