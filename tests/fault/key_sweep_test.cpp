// Fault sweeps of the exports that write keys and PINs: key generation, key-pair import, PIN
// change and unblock, the device key change.
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "fault_sweep.h"
#include "tests/api/device_auth.h"
#include "tests/api/openssl_side.h"

namespace {

using fault::Session;
using vkey::Bytes;

class KeySweep : public VirtualKeyTest {};

ULONG Property(HCONTAINER c) {
  ULONG property = 9;
  EXPECT_EQ(SKF(SKF_GetContianerProperty)(c, &property), SAR_OK);
  return property;
}

// The key pair of a failed generation stays on the card with the entry unchanged: generating
// again works.
void AfterGeneration(Session &s, ULONG result, ULONG property, const std::function<ULONG()> &gen) {
  fault::ExpectDirectoriesReadable(s.dev);
  ASSERT_NE(s.container, nullptr);
  if (result == SAR_OK) {
    EXPECT_EQ(Property(s.container), property);
  }
  if (Property(s.container) == property) return;
  EXPECT_EQ(Property(s.container), 0u) << "the entry is unchanged";
  EXPECT_EQ(gen(), SAR_OK) << "generating again";
  EXPECT_EQ(Property(s.container), property);
}

// A key-pair generation into a new container; `property` is the container property it sets.
void SweepGeneration(VirtualKeyTest &t, const char *name, ULONG property,
                     std::function<ULONG(HCONTAINER)> generate) {
  fault::Export e;
  e.name = name;
  e.open_app = true;
  e.setup = fault::CreateEmptyContainer;
  e.container = "EMPTY";
  e.login = true;
  // 13-19 the selections of the four key files, whose failure means "create it"; 21 the PIN
  // mode query, whose failure means the plain presentation.
  e.passed_over = {13, 15, 17, 19, 21};
  e.call = [generate](Session &s) { return generate(s.container); };
  e.after = [generate, property](VirtualKeyTest &, Session &s, ULONG result) {
    AfterGeneration(s, result, property, [&] { return generate(s.container); });
  };
  fault::Sweep(t, e);
}

TEST_F(KeySweep, GenRSAKeyPair) {
  SweepGeneration(*this, "SKF_GenRSAKeyPair", 1, [](HCONTAINER c) {
    RSAPUBLICKEYBLOB blob{};
    return SKF(SKF_GenRSAKeyPair)(c, 1024, &blob);
  });
}

TEST_F(KeySweep, GenECCKeyPair) {
  SweepGeneration(*this, "SKF_GenECCKeyPair", 2, [](HCONTAINER c) {
    ECCPUBLICKEYBLOB blob{};
    return SKF(SKF_GenECCKeyPair)(c, SGD_SM2_1, &blob);
  });
}

// After an import, failed or not, the signing pair is untouched and signs.
void ExpectSigningKeyWorks(Session &s, bool sm2) {
  fault::Login(s.app);
  Bytes data(32, 0x11);
  if (sm2) {
    ECCSIGNATUREBLOB signature{};
    EXPECT_EQ(SKF(SKF_ECCSignData)(s.container, data.data(), 32, &signature), SAR_OK);
  } else {
    BYTE signature[128];
    ULONG size = sizeof signature;
    EXPECT_EQ(SKF(SKF_RSASignData)(s.container, data.data(), 32, signature, &size), SAR_OK);
  }
}

TEST_F(KeySweep, ImportRSAKeyPair) {
  struct Envelope {
    ossl::Pkey pair = ossl::RsaGenerate(1024);
    Bytes wrapped, encrypted;
  };
  auto env = std::make_shared<Envelope>();
  fault::Export e;
  e.name = "SKF_ImportRSAKeyPair";
  e.container = "RSA-CONTAINER";
  e.login = true;
  e.passed_over = {11};  // the PIN mode query
  e.prepare = [env](Session &s) {
    RSAPUBLICKEYBLOB sign{};
    ULONG length = sizeof sign;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(s.container, TRUE, reinterpret_cast<BYTE *>(&sign), &length),
              SAR_OK);
    const Bytes sym = ossl::Random(16);
    env->encrypted = ossl::Sm4Ecb(sym, ossl::RsaPrivateDer(env->pair.get()), true, true);
    env->wrapped = ossl::RsaEncrypt(ossl::RsaFromPublicBlob(sign).get(), sym);
  };
  e.call = [env](Session &s) {
    return SKF(SKF_ImportRSAKeyPair)(s.container, SGD_SMS4_ECB, env->wrapped.data(),
                                     static_cast<ULONG>(env->wrapped.size()), env->encrypted.data(),
                                     static_cast<ULONG>(env->encrypted.size()));
  };
  e.after = [env](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    ExpectSigningKeyWorks(s, false);
    if (result != SAR_OK) return;  // the exchange key may be partly written
    const Bytes session = ossl::Random(16);
    Bytes wrapped = ossl::RsaEncrypt(env->pair.get(), session);
    BYTE out[256];
    ULONG size = sizeof out;
    ASSERT_EQ(SKF(SKFEX_RSADecrypt)(s.container, wrapped.data(), static_cast<ULONG>(wrapped.size()),
                                    out, &size, 1),
              SAR_OK);
    EXPECT_EQ(Bytes(out, out + size), session) << "the imported pair decrypts";
  };
  fault::Sweep(*this, e);
}

TEST_F(KeySweep, ImportECCKeyPair) {
  struct Envelope {
    ossl::Pkey pair = ossl::Sm2Generate();
    Bytes storage;
    ENVELOPEDKEYBLOB *blob = nullptr;
  };
  auto env = std::make_shared<Envelope>();
  fault::Export e;
  e.name = "SKF_ImportECCKeyPair";
  e.container = "SM2-CONTAINER";
  e.login = true;
  e.passed_over = {11};  // the PIN mode query
  e.prepare = [env](Session &s) {
    ECCPUBLICKEYBLOB sign{};
    ULONG length = sizeof sign;
    ASSERT_EQ(SKF(SKF_ExportPublicKey)(s.container, TRUE, reinterpret_cast<BYTE *>(&sign), &length),
              SAR_OK);
    env->blob =
        ossl::Envelope(env->storage, ossl::EccPoint(sign), env->pair.get(), false, SGD_SMS4_ECB);
  };
  e.call = [env](Session &s) { return SKF(SKF_ImportECCKeyPair)(s.container, env->blob); };
  e.after = [env](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    ExpectSigningKeyWorks(s, true);
    if (result != SAR_OK) return;  // the encryption key may be partly written
    const Bytes plain = ossl::Random(20);
    Bytes blob = ossl::EccCipherBlob(ossl::Sm2Encrypt(env->pair.get(), plain));
    BYTE out[256];
    ULONG size = sizeof out;
    ASSERT_EQ(SKF(SKF_PrvKeyDecrypt)(s.container, 1, reinterpret_cast<ECCCIPHERBLOB *>(blob.data()),
                                     out, &size),
              SAR_OK);
    EXPECT_EQ(Bytes(out, out + size), plain) << "the imported pair decrypts";
  };
  fault::Sweep(*this, e);
}

ULONG Verify(HAPPLICATION app, ULONG type, const char *pin) {
  std::string text = pin;
  ULONG retries = 0;
  return SKF(SKF_VerifyPIN)(app, type, text.data(), &retries);
}

// After a change, failed or not, the header reads and exactly one of the PINs holds.
void ExpectOnePin(Session &s, ULONG type, const char *old_pin, const char *new_pin, ULONG result) {
  fault::ExpectDirectoriesReadable(s.dev);
  const bool now_new = Verify(s.app, type, new_pin) == SAR_OK;
  if (result == SAR_OK) {
    EXPECT_TRUE(now_new) << "the new PIN holds";
  }
  if (!now_new) {
    EXPECT_EQ(Verify(s.app, type, old_pin), SAR_OK) << "the old PIN holds";
  }
}

// PIN change of one type: old 12345678, new 87654321.
void SweepPinChange(VirtualKeyTest &t, ULONG type, const char *name, std::set<int> passed_over) {
  fault::Export e;
  e.name = name;
  e.open_app = true;
  e.passed_over = std::move(passed_over);
  e.call = [type](Session &s) {
    char old_pin[] = "12345678", new_pin[] = "87654321";
    ULONG retries = 0;
    return SKF(SKF_ChangePIN)(s.app, type, old_pin, new_pin, &retries);
  };
  e.after = [type](VirtualKeyTest &, Session &s, ULONG result) {
    ExpectOnePin(s, type, "12345678", "87654321", result);
  };
  fault::Sweep(t, e);
}

// The MF selection before the read; for the user PIN also the PIN mode query.
TEST_F(KeySweep, ChangeUserPin) {
  SweepPinChange(*this, USER_TYPE, "SKF_ChangePIN (user)", {1, 10});
}

TEST_F(KeySweep, ChangeAdminPin) {
  SweepPinChange(*this, ADMIN_TYPE, "SKF_ChangePIN (administrator)", {1});
}

TEST_F(KeySweep, UnblockPin) {
  fault::Export e;
  e.name = "SKF_UnblockPIN";
  e.open_app = true;
  e.passed_over = {1, 14};  // the MF selections before the two reads
  e.call = [](Session &s) {
    char admin[] = "12345678", user[] = "11223344";
    ULONG retries = 0;
    return SKF(SKF_UnblockPIN)(s.app, admin, user, &retries);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    ExpectOnePin(s, USER_TYPE, "12345678", "11223344", result);
  };
  fault::Sweep(*this, e);
}

constexpr char kDeviceKey[] = "1234567812345678";
constexpr char kNewDeviceKey[] = "NEWDEVICEKEY0001";

ULONG DevAuthWith(DEVHANDLE dev, const char *key) {
  const Bytes data = DeviceAuthData(Challenge(dev), key);
  return SKF(SKF_DevAuth)(dev, data.data(), 16);
}

TEST_F(KeySweep, ChangeDevAuthKey) {
  fault::Export e;
  e.name = "SKF_ChangeDevAuthKey";
  e.setup = [](VirtualKeyTest &, Session &s) {
    ASSERT_TRUE(vkey::Knob(s.key, "builtin_key", "off"));
    ASSERT_EQ(DevAuthWith(s.dev, kDeviceKey), SAR_OK);
  };
  // 1 the MF selection; 2-3 the built-in authentication, whose failure sends the key.
  e.passed_over = {1, 2, 3};
  e.call = [](Session &s) {
    return SKF(SKF_ChangeDevAuthKey)(s.dev, reinterpret_cast<const BYTE *>(kNewDeviceKey), 16);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    const bool now_new = DevAuthWith(s.dev, kNewDeviceKey) == SAR_OK;
    if (result == SAR_OK) {
      EXPECT_TRUE(now_new) << "the new device key holds";
    }
    if (!now_new) {
      EXPECT_EQ(DevAuthWith(s.dev, kDeviceKey), SAR_OK) << "the old one holds";
    }
  };
  fault::Sweep(*this, e);
}

}  // namespace
