// Container family and certificates on provisioned keys, with the container directory and the
// certificate files read back raw.
#include <cstring>
#include <string>

#include "keysim_fixture.h"
#include "layouts.h"

namespace {

using vkey::Bytes;

constexpr std::uint16_t kApp = 0xAD01;
using TypeProperty = std::pair<ULONG, ULONG>;

class ContainerTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    key_ = NewKey(true);
    device_ = Connect(key_);
    char name[] = "KEYSIM-APP";
    ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app_), SAR_OK);
  }
  HCONTAINER Open(const std::string &name) {
    HCONTAINER c = nullptr;
    EXPECT_EQ(SKF(SKF_OpenContainer)(app_, const_cast<char *>(name.c_str()), &c), SAR_OK) << name;
    return c;
  }
  std::string List() {
    ULONG size = 0;
    EXPECT_EQ(SKF(SKF_EnumContainer)(app_, nullptr, &size), SAR_OK);
    std::string list(size, 'x');
    EXPECT_EQ(SKF(SKF_EnumContainer)(app_, list.data(), &size), SAR_OK);
    list.resize(size);
    return list;
  }
  TypeProperty TypeAndProperty(HCONTAINER c) {
    ULONG type = 9, second = 9, property = 9;
    EXPECT_EQ(SKF(SKF_GetContianerType)(c, &type), SAR_OK);
    EXPECT_EQ(SKF(SKF_GetContainerType)(c, &second), SAR_OK);
    EXPECT_EQ(type, second) << "both spellings answer alike";
    EXPECT_EQ(SKF(SKF_GetContianerProperty)(c, &property), SAR_OK);
    return {type, property};
  }
  Bytes Directory(vkey::RawCard &raw) { return ReadFile(raw, {kApp, 0xEF01}); }

  std::string key_;
  DEVHANDLE device_ = nullptr;
  HAPPLICATION app_ = nullptr;
};

TEST_F(ContainerTest, ListOpenAndTypes) {
  EXPECT_EQ(List(), std::string("SM2-CONTAINER\0RSA-CONTAINER\0\0", 29));
  HCONTAINER sm2 = Open("SM2-CONTAINER");
  HCONTAINER rsa = Open("RSA-CONTAINER");
  EXPECT_EQ(static_cast<HandleRecord *>(sm2)->id, 0xDF11u);
  EXPECT_EQ(static_cast<HandleRecord *>(rsa)->id, 0xDF12u);
  HCONTAINER none = nullptr;
  char unknown[] = "SM2-CONTAINE";
  EXPECT_EQ(SKF(SKF_OpenContainer)(app_, unknown, &none), SAR_FAIL);
  EXPECT_EQ(TypeAndProperty(sm2), TypeProperty(2, 2));
  EXPECT_EQ(TypeAndProperty(rsa), TypeProperty(1, 1));

  // A type needs a key pair with the certificate of the same use; the property only the key.
  vkey::RawCard raw(key_);
  Bytes image = Directory(raw);
  struct Flags {
    std::uint32_t key_type, enc_cert, enc_key, sign_cert, sign_key;
    ULONG type, property;
  };
  const Flags cases[] = {
      {3, 0, 1, 0, 1, 0, 2}, {3, 0, 1, 1, 1, 2, 2}, {3, 1, 1, 0, 0, 2, 2}, {3, 1, 0, 0, 1, 0, 2},
      {2, 0, 0, 1, 1, 1, 1}, {0, 1, 1, 1, 1, 0, 0}, {7, 1, 1, 0, 0, 2, 2},
  };
  for (const Flags &f : cases) {
    const std::size_t at = ContainerEntryAt(0);
    PutU32(image, at, f.key_type);
    PutU32(image, at + 4, f.enc_cert);
    PutU32(image, at + 8, f.enc_key);
    PutU32(image, at + 12, f.sign_cert);
    PutU32(image, at + 16, f.sign_key);
    WriteFile(raw, {kApp, 0xEF01}, image);
    EXPECT_EQ(TypeAndProperty(sm2), TypeProperty(f.type, f.property))
        << "key type " << f.key_type << " flags " << f.enc_cert << f.enc_key << f.sign_cert
        << f.sign_key;
  }
}

TEST_F(ContainerTest, EightEntriesAndNamesOfSixtyFourCharacters) {
  vkey::RawCard raw(key_);
  Bytes image = Directory(raw);
  ASSERT_EQ(image.size(), kCreatedContainerDirectorySize);
  image.resize(kContainerDirectorySize, 0);
  std::string want;
  for (int j = 0; j < 8; ++j) {
    const std::string name = j == 7 ? std::string(64, 'Q') : "C" + std::to_string(j + 1);
    std::fill_n(image.begin() + ContainerEntryAt(j), 148, 0);
    PutText(image, ContainerEntryAt(j) + 20, name);
    want += name + '\0';
  }
  EXPECT_EQ(image[ContainerEntryAt(7) + 84], 0) << "the NUL in the first reserved byte";
  WriteFile(raw, {kApp, 0xEF01}, image);
  EXPECT_EQ(List(), want + '\0');
  EXPECT_EQ(static_cast<HandleRecord *>(Open("C5"))->id, 0xDF15u);
  EXPECT_EQ(static_cast<HandleRecord *>(Open(std::string(64, 'Q')))->id, 0xDF18u);

  // The same file cut to 620 bytes offers four entries.
  image.resize(kCreatedContainerDirectorySize);
  WriteFile(raw, {kApp, 0xEF01}, image);
  EXPECT_EQ(List(), std::string("C1\0C2\0C3\0C4\0\0", 13));
  HCONTAINER c = nullptr;
  char c5[] = "C5";
  EXPECT_EQ(SKF(SKF_OpenContainer)(app_, c5, &c), SAR_FAIL);

  // One byte beyond the image: refused, not read past.
  image.resize(kContainerDirectorySize + 1, 0);
  WriteFile(raw, {kApp, 0xEF01}, image);
  ULONG size = 0;
  EXPECT_EQ(SKF(SKF_EnumContainer)(app_, nullptr, &size), SAR_FAIL);
}

TEST_F(ContainerTest, ExportedCertificatesAreTheStoredOnes) {
  HCONTAINER sm2 = Open("SM2-CONTAINER");
  vkey::RawCard raw(key_);
  for (const auto &[sign, ef] : {std::pair{TRUE, 0xEF02}, std::pair{FALSE, 0xEF01}}) {
    const Bytes stored = ReadFile(raw, {kApp, 0xDF11, std::uint16_t(ef)});
    ASSERT_FALSE(stored.empty());
    ULONG size = 0;
    ASSERT_EQ(SKF(SKF_ExportCertificate)(sm2, sign, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, stored.size() + 1);
    Bytes out(stored.size() + 8, 0xEE);
    size = static_cast<ULONG>(stored.size() - 1);
    EXPECT_EQ(SKF(SKF_ExportCertificate)(sm2, sign, out.data(), &size), SAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, stored.size());
    EXPECT_EQ(out[0], 0xEE) << "nothing written";
    size = static_cast<ULONG>(out.size());
    ASSERT_EQ(SKF(SKF_ExportCertificate)(sm2, sign, out.data(), &size), SAR_OK);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + size), stored);
  }
}

TEST_F(ContainerTest, ImportWritesTheCertificateThenTheFlag) {
  HCONTAINER rsa = Open("RSA-CONTAINER");
  vkey::RawCard raw(key_);
  Bytes image = Directory(raw);
  const std::size_t entry = ContainerEntryAt(1);
  PutU32(image, entry + 4, 0);  // no encryption certificate
  WriteFile(raw, {kApp, 0xEF01}, image);
  ULONG size = 0;
  EXPECT_EQ(SKF(SKF_ExportCertificate)(rsa, FALSE, nullptr, &size), SAR_FAIL)
      << "a certificate never imported";

  Bytes cert(1000);
  for (std::size_t i = 0; i < cert.size(); ++i) cert[i] = static_cast<std::uint8_t>(i * 13 + 1);
  ASSERT_EQ(SKF(SKF_ImportCertificate)(rsa, FALSE, cert.data(), 1000), SAR_OK);
  EXPECT_EQ(ReadFile(raw, {kApp, 0xDF12, 0xEF01}), cert);
  const Bytes after = Directory(raw);
  ASSERT_EQ(after.size(), kCreatedContainerDirectorySize);
  PutU32(image, entry + 4, 1);
  EXPECT_EQ(after, image) << "only the flag changed";
  ASSERT_EQ(SKF(SKF_ExportCertificate)(rsa, FALSE, nullptr, &size), SAR_OK);
  EXPECT_EQ(size, 1001u);
  Bytes out(1000);
  ASSERT_EQ(SKF(SKF_ExportCertificate)(rsa, FALSE, out.data(), &size), SAR_OK);
  EXPECT_EQ(size, 1000u);
  EXPECT_EQ(out, cert);

  // A stored length beyond the 2048-byte image is refused, nothing copied.
  WriteFile(raw, {kApp, 0xDF12, 0xEF01}, Bytes(2049, 0x5A));
  Bytes big(4096, 0xEE);
  size = static_cast<ULONG>(big.size());
  EXPECT_EQ(SKF(SKF_ExportCertificate)(rsa, FALSE, big.data(), &size), SAR_FAIL);
  EXPECT_EQ(big[0], 0xEE);
}

TEST_F(ContainerTest, ClosedContainerIsRefused) {
  HCONTAINER sm2 = Open("SM2-CONTAINER");
  ASSERT_EQ(SKF(SKF_CloseContainer)(sm2), SAR_OK);
  ULONG type = 0;
  EXPECT_EQ(SKF(SKF_GetContianerType)(sm2, &type), SAR_INVALIDHANDLEERR);
  ASSERT_EQ(SKF(SKF_CloseApplication)(app_), SAR_OK);
  EXPECT_EQ(SKF(SKF_EnumContainer)(app_, nullptr, &type), SAR_INVALIDHANDLEERR);
}

TEST_F(ContainerTest, CreateTakesTheFreeEntriesOfTheDirectory) {
  char c3[] = "C3", c4[] = "C4", c5[] = "C5", sm2[] = "SM2-CONTAINER";
  HCONTAINER c = nullptr;
  EXPECT_EQ(SKF(SKF_CreateContainer)(app_, sm2, &c), SAR_FILE_ALREADY_EXIST);
  ASSERT_EQ(SKF(SKF_CreateContainer)(app_, c3, &c), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(c)->id, 0xDF13u);
  ASSERT_EQ(SKF(SKF_CreateContainer)(app_, c4, &c), SAR_OK);
  EXPECT_EQ(SKF(SKF_CreateContainer)(app_, c5, &c), SAR_FAIL) << "620 bytes hold 4 entries";

  vkey::RawCard raw(key_);
  Bytes image = Directory(raw);
  ASSERT_EQ(image.size(), kCreatedContainerDirectorySize);
  EXPECT_EQ(vkey::TextAt(image, ContainerEntryAt(2) + 20, 64), "C3");
  EXPECT_EQ(vkey::U32At(image, ContainerEntryAt(2)), 0u) << "key type none";
  ASSERT_TRUE(raw.SelectPath({kApp, 0xDF13, 0xEF01}));
  EXPECT_FALSE(raw.ReadPrefixed()) << "an empty certificate file";
  ASSERT_TRUE(raw.SelectPath({kApp, 0xDF13, 0xEF02}));
  EXPECT_EQ(TypeAndProperty(c), TypeProperty(0, 0));

  // Deleted, the entry is free for the next container, whose DF is prepared again.
  Bytes cert(300, 0x42);
  HCONTAINER first = Open("C3");
  ASSERT_EQ(SKF(SKF_ImportCertificate)(first, TRUE, cert.data(), 300), SAR_OK);
  EXPECT_EQ(SKF(SKF_DeleteContainer)(app_, c5), SAR_FAIL);
  ASSERT_EQ(SKF(SKF_DeleteContainer)(app_, c3), SAR_OK);
  image = Directory(raw);
  EXPECT_EQ(Bytes(image.begin() + ContainerEntryAt(2), image.begin() + ContainerEntryAt(3)),
            Bytes(148, 0));
  EXPECT_EQ(List(), std::string("SM2-CONTAINER\0RSA-CONTAINER\0C4\0\0", 32));
  char again[] = "again";
  ASSERT_EQ(SKF(SKF_CreateContainer)(app_, again, &c), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(c)->id, 0xDF13u);
  ASSERT_TRUE(raw.SelectPath({kApp, 0xDF13, 0xEF02}));
  EXPECT_FALSE(raw.ReadPrefixed()) << "the old certificate is gone";
}

// Create rights 0x10 and 0x01 ask for the PIN of the application's slot, verified again on
// the card; applications 2 to 8 share one slot of each kind.
TEST_F(ContainerTest, CreateRightsAskForTheSlotPin) {
  SKF(SKF_ClearSecureState)(nullptr);
  vkey::RawCard raw(key_);
  Bytes apps = ReadFile(raw, {0xEF01});
  PutU32(apps, AppEntryAt(0) + 4, 0x10);
  WriteFile(raw, {0xEF01}, apps);
  char c[] = "C", f[] = "F", user[] = "12345678", admin[] = "12345678";
  HCONTAINER h = nullptr;
  ULONG left = 0;
  EXPECT_EQ(SKF(SKF_CreateContainer)(app_, c, &h), SAR_USER_NOT_LOGGED_IN);
  EXPECT_EQ(SKF(SKF_CreateFile)(app_, f, 8, 0, 0), SAR_USER_NOT_LOGGED_IN);
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, USER_TYPE, user, &left), SAR_OK);
  EXPECT_EQ(SKF(SKF_CreateContainer)(app_, c, &h), SAR_OK);
  EXPECT_EQ(SKF(SKF_CreateFile)(app_, f, 8, 0, 0), SAR_OK);
  SKF(SKF_ClearSecureState)(nullptr);
  EXPECT_EQ(SKF(SKF_DeleteContainer)(app_, c), SAR_USER_NOT_LOGGED_IN);
  EXPECT_EQ(SKF(SKF_DeleteFile)(app_, f), SAR_USER_NOT_LOGGED_IN);

  PutU32(apps, AppEntryAt(0) + 4, 0x01);
  WriteFile(raw, {0xEF01}, apps);
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, USER_TYPE, user, &left), SAR_OK);
  EXPECT_EQ(SKF(SKF_DeleteContainer)(app_, c), SAR_USER_NOT_LOGGED_IN) << "the admin slot";
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, ADMIN_TYPE, admin, &left), SAR_OK);
  EXPECT_EQ(SKF(SKF_DeleteContainer)(app_, c), SAR_OK);

  // Two more applications with their own user PINs.
  Authenticate(device_);
  char a2[] = "A2", a3[] = "A3", pin2[] = "22222222", pin3[] = "33333333";
  HAPPLICATION app2 = nullptr, app3 = nullptr;
  ASSERT_EQ(SKF(SKF_CreateApplication)(device_, a2, admin, 5, pin2, 5, 0x10, &app2), SAR_OK);
  ASSERT_EQ(SKF(SKF_CreateApplication)(device_, a3, admin, 5, pin3, 5, 0x10, &app3), SAR_OK);
  SKF(SKF_ClearSecureState)(nullptr);
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app3, USER_TYPE, pin3, &left), SAR_OK);
  EXPECT_EQ(SKF(SKF_CreateContainer)(app3, c, &h), SAR_OK);
  EXPECT_EQ(SKF(SKF_CreateContainer)(app2, c, &h), SAR_PIN_INCORRECT)
      << "application 3's PIN in the shared slot, refused by application 2's card keys";
  PutU32(apps, AppEntryAt(0) + 4, 0x10);
  WriteFile(raw, {0xEF01}, apps);
  EXPECT_EQ(SKF(SKF_CreateContainer)(app_, c, &h), SAR_USER_NOT_LOGGED_IN)
      << "application 1 has a slot of its own";
}

}  // namespace
