// The certificate-store operations against the current user's "MY" store, checked through
// crypt32 by the certificates' encoded bytes as the virtual keys were provisioned with them.
#include <windows.h>

#include <cstring>

#include "cardcmd_fixture.h"
#include "tests/desktop/support/provisioned_certificates.h"

namespace {

std::string Utf8FromGbk(const char *text) {
  wchar_t wide[128] = {};
  MultiByteToWideChar(936, 0, text, -1, wide, 128);
  char utf8[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

class StoreTest : public CardCmdTest {
 protected:
  void TearDown() override {
    for (const auto &reader : readers_) api_.QX_DelCertFrIE(0, reader.c_str(), 0, 0, nullptr);
    for (const auto &der : foreign_) TakeFromUserStore(der);
    CardCmdTest::TearDown();
  }
  // A provisioned key and its four certificates; what the key puts in the store goes at the end.
  std::string NewProvisioned(std::vector<EncodedCertificate> *certificates) {
    const std::string key = NewKey(true);
    *certificates = ProvisionedCertificates(key);
    EXPECT_EQ(certificates->size(), 4u);
    readers_.push_back(vkey::ReaderOf(key));
    return key;
  }
  int Add(const std::string &key, char *out = nullptr) {
    return api_.QX_AddCertToIE(0, vkey::ReaderOf(key).c_str(), 0, 0, 0, 0, 0, out);
  }
  int Remove(const std::string &key, char *out = nullptr) {
    return api_.QX_DelCertFrIE(0, vkey::ReaderOf(key).c_str(), 0, 0, out);
  }
  // A certificate the user put in the store, taken out at the end.
  void PutForeign(const EncodedCertificate &der) {
    ASSERT_TRUE(PutInUserStore(der));
    foreign_.push_back(der);
  }

  std::vector<std::string> readers_;
  std::vector<EncodedCertificate> foreign_;
};

int InStore(const std::vector<EncodedCertificate> &certificates) {
  int n = 0;
  for (const auto &der : certificates) n += InUserStore(der) ? 1 : 0;
  return n;
}

}  // namespace

TEST_F(StoreTest, AddsEveryCertificateOfTheKeyOnce) {
  std::vector<EncodedCertificate> certs;
  const std::string key = NewProvisioned(&certs);
  ASSERT_EQ(InStore(certs), 0);
  char out[64];
  std::memset(out, 0x5A, sizeof out);
  EXPECT_EQ(Add(key, out), 4);
  for (const auto &der : certs) EXPECT_EQ(CountInUserStore(der), 1);
  EXPECT_EQ(out[0], 0x5A) << "the out buffer is not written";
  EXPECT_EQ(Add(key), 4) << "again: the same four, on the key's account";
  for (const auto &der : certs) EXPECT_EQ(CountInUserStore(der), 1) << "no second copy";
  EXPECT_EQ(Remove(key, out), 4);
  EXPECT_EQ(InStore(certs), 0);
  EXPECT_EQ(out[0], 0x5A);
  EXPECT_EQ(Remove(key), 0);
}

// Removal takes out exactly what the key put there: another key's certificates, a certificate
// of the store's own and the user's copy of one of the key's certificates stay.
TEST_F(StoreTest, RemovalLeavesWhatTheKeyDidNotPutThere) {
  std::vector<EncodedCertificate> a, b, c;
  const std::string key_a = NewProvisioned(&a), key_b = NewProvisioned(&b);
  const std::string key_c = NewProvisioned(&c);
  ASSERT_TRUE(vkey::Remove(key_c));
  PutForeign(c[0]);
  PutForeign(b[1]);
  EXPECT_EQ(Add(key_a), 4);
  EXPECT_EQ(Add(key_b), 3) << "b[1] was in the store already on the user's account";
  EXPECT_EQ(Remove(key_a), 4);
  EXPECT_EQ(InStore(a), 0);
  EXPECT_EQ(InStore(b), 4);
  EXPECT_TRUE(InUserStore(c[0]));
  // The key need not be present to be taken out.
  ASSERT_TRUE(vkey::Remove(key_b));
  EXPECT_EQ(Remove(key_b), 3);
  EXPECT_EQ(InStore(b), 1);
  EXPECT_TRUE(InUserStore(b[1]));
  EXPECT_TRUE(InUserStore(c[0]));
}

// A copy of a key (a backup) carries the same certificates. Those of the key that leaves stay
// while the copy is present, now on the copy's account, and leave with it; one the copy lacks
// goes with the key.
TEST_F(StoreTest, CertificatesOfAKeyStillPresentStay) {
  std::vector<EncodedCertificate> certs;
  const std::string key = NewProvisioned(&certs);
  const std::string copy = vkey::CloneKey(key);
  ASSERT_FALSE(copy.empty());
  readers_.push_back(vkey::ReaderOf(copy));
  const std::int32_t card = Open(DeviceIndexOf(copy));
  ASSERT_GT(card, 0);
  ASSERT_EQ(api_.QX_DeleteCert(card, 0, 0, 0), 0) << "the copy lacks DF11's encryption certificate";
  EXPECT_EQ(Add(key), 4);
  EXPECT_EQ(Add(copy), 0) << "all in the store on the first key's account";

  ASSERT_TRUE(vkey::Remove(key));
  EXPECT_EQ(Remove(key), 1);
  EXPECT_FALSE(InUserStore(certs[0]));
  for (std::size_t i = 1; i < certs.size(); ++i) EXPECT_EQ(CountInUserStore(certs[i]), 1) << i;
  EXPECT_EQ(Remove(key), 0);
  EXPECT_EQ(Add(copy), 3) << "the three are the copy's now";

  ASSERT_TRUE(vkey::Remove(copy));
  EXPECT_EQ(Remove(copy), 3);
  EXPECT_EQ(InStore(certs), 0);
}

TEST_F(StoreTest, StoreCertRegistersTheKeyOfAHandle) {
  std::vector<EncodedCertificate> first, second;
  NewProvisioned(&first);
  const std::string key = NewProvisioned(&second);
  const std::int32_t card = Open(DeviceIndexOf(key));
  ASSERT_GT(card, 0);
  EXPECT_EQ(api_.QX_StoreCert(0, card, 0, 0, 0), 4);
  EXPECT_EQ(InStore(second), 4);
  EXPECT_EQ(InStore(first), 0) << "only the key of the handle";
  EXPECT_EQ(Remove(key), 4) << "registered on its reader's account";
  EXPECT_EQ(api_.QX_StoreCert(0, 0, 0, 0, 0), -1);
}

TEST_F(StoreTest, TipsDescribeTheImport) {
  std::vector<EncodedCertificate> certs;
  const std::string key = NewProvisioned(&certs);
  const std::string reader = vkey::ReaderOf(key);
  char out[64] = {};
  EXPECT_EQ(api_.QX_AddCertToIE_Tip(0, reader.c_str(), 0, 0, 0, 0, 0, out), 4);
  EXPECT_EQ(Utf8FromGbk(out), "有4张证书导入到IE中。");
  EXPECT_EQ(api_.QX_AddCertToIE_TipEx(0, reader.c_str(), 0, 0, 0, 0, 0, out), 4);
  EXPECT_EQ(Utf8FromGbk(out), "USBKey已经插入。\n有4张证书导入到IE中。");
  EXPECT_EQ(InStore(certs), 4);
  EXPECT_EQ(api_.QX_AddCertToIE_Tip(0, "KeySim none", 0, 0, 0, 0, 0, out), -1);
  EXPECT_EQ(Utf8FromGbk(out), "");
  EXPECT_EQ(api_.QX_AddCertToIE_TipEx(0, "KeySim none", 0, 0, 0, 0, 0, out), -1);
  EXPECT_EQ(Utf8FromGbk(out), "USBKey已经插入。");
  EXPECT_EQ(api_.QX_AddCertToIE_Tip(0, reader.c_str(), 0, 0, 0, 0, 0, nullptr), 4);
}

TEST_F(StoreTest, NamesOfNoKeyAreRefused) {
  const std::string long_name(300, 'K');
  for (const char *name :
       {static_cast<const char *>(nullptr), "", "KeySim none", long_name.c_str()}) {
    EXPECT_EQ(api_.QX_AddCertToIE(0, name, 0, 0, 0, 0, 0, nullptr), -1);
  }
  EXPECT_EQ(api_.QX_DelCertFrIE(0, nullptr, 0, 0, nullptr), -1);
  EXPECT_EQ(api_.QX_DelCertFrIE(0, long_name.c_str(), 0, 0, nullptr), -1);
  EXPECT_EQ(api_.QX_DelCertFrIE(0, "KeySim none", 0, 0, nullptr), 0);
}

// A key whose directory lost its containers has nothing to import.
TEST_F(StoreTest, ImportFollowsTheDirectories) {
  std::vector<EncodedCertificate> certs;
  const std::string key = NewProvisioned(&certs);
  const std::int32_t card = Open(0);
  ASSERT_GT(card, 0);
  ASSERT_EQ(api_.QX_DeleteCert(card, 0, 1, 1), 0);
  EXPECT_EQ(Add(key), 3);
  EXPECT_FALSE(InUserStore(certs[3])) << "DF12's signing certificate was deleted";
  EXPECT_EQ(Remove(key), 3);
  ASSERT_EQ(api_.QX_ClearDir(card, 0), 0);
  EXPECT_EQ(Add(key), 0);
  EXPECT_EQ(InStore(certs), 0);
}
