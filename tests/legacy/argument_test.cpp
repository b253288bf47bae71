// Argument checks of the exports that tokenbase has in versions of its own, side by side with
// tokencore's: tokenbase keeps tokencore's checks, so NULL pointers, handles the library did not
// make and names too long for their fields are refused before anything is read through them.
// The handles are records each library made over a key that has left since, so an export that
// reached the card would fail with SAR_FAIL instead of the code of its check.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "scenario.h"

namespace legacytest {
namespace {

struct Records {
  HAPPLICATION app = nullptr;
  HANDLE session = nullptr;
  DEVHANDLE device = nullptr;
};

Records MakeRecords(const host::Library &lib) {
  Records r;
  const std::string key = vkey::CreateKey("arguments", true);
  EXPECT_TRUE(AsFormattedByBase(key));
  EXPECT_EQ(ConnectThrough(lib, key, &r.device), SAR_OK);
  SKF_OF(lib, SKF_OpenApplication)(r.device, const_cast<char *>(kAppName), &r.app);
  BYTE value[16] = {};
  SKF_OF(lib, SKF_SetSymmKey)(r.device, value, SGD_SMS4_ECB, &r.session);
  SKF_OF(lib, SKF_DisConnectDev)(r.device);
  vkey::Remove(key);
  return r;
}

struct Case {
  const char *what;
  std::function<ULONG(const host::Library &, const Records &)> call;
  ULONG core;
  ULONG base;
};

class LegacyArguments : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vkey::Attach()) << "no keysimd"; }
};

TEST_F(LegacyArguments, TokencoresChecksInTokenbasesExports) {
  struct Foreign {
    std::uint32_t id = 0xAD01;
    DEVHANDLE device = reinterpret_cast<DEVHANDLE>(0x13);
  } foreign;  // laid out like a record, but not one the library made
  auto *stranger = reinterpret_cast<HAPPLICATION>(&foreign);
  static char name33[34], file[] = "f";
  std::memset(name33, 'n', 33);
  static char buffer[256];
  static BYTE data[16];
  static ULONG size, number;
  static DEVINFO info;
  static DEVHANDLE device;
  BLOCKCIPHERPARAM long_iv{};
  long_iv.IVLen = 33;
  const BLOCKCIPHERPARAM param{};
  const Case cases[] = {
      {"connect: NULL name",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_ConnectDev)(nullptr, &device);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"connect: NULL handle out",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_ConnectDev)("KeySim none", nullptr);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"enum devices: NULL size",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_EnumDev)(TRUE, buffer, nullptr);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"device information: NULL device",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_GetDevInfo)(nullptr, &info);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"device information: NULL structure",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_GetDevInfo)(r.device, nullptr);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"transmit: NULL everything",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_Transmit)(nullptr, nullptr, 0, nullptr, nullptr);
       },
       SAR_INVALIDHANDLEERR, SAR_OK},
      {"list files: NULL handle",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_EnumFiles)(nullptr, buffer, &size);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"list files: a foreign handle",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_EnumFiles)(stranger, buffer, &size);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"list files: NULL size",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_EnumFiles)(r.app, buffer, nullptr);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"list files: the key has left",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_EnumFiles)(r.app, buffer, &size);
       },
       SAR_FAIL, SAR_FAIL},
      {"read: 33-character name",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_ReadFile)(r.app, name33, 0, 4, data, &size);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"read: NULL length",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_ReadFile)(r.app, file, 0, 4, data, nullptr);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"read: a foreign handle",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_ReadFile)(stranger, file, 0, 4, data, &size);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"write: NULL data",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_WriteFile)(r.app, file, 0, nullptr, 4);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"write: NULL name",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_WriteFile)(r.app, nullptr, 0, data, 4);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"write: a foreign handle",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_WriteFile)(stranger, file, 0, data, 4);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"create file: 33-character name",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_CreateFile)(r.app, name33, 10, 0xFF, 0xFF);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"create file: empty name",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_CreateFile)(r.app, const_cast<char *>(""), 10, 0xFF, 0xFF);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"create file: NULL handle",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_CreateFile)(nullptr, file, 10, 0xFF, 0xFF);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"create file: a foreign handle",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_CreateFile)(stranger, file, 10, 0xFF, 0xFF);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"create file: the key has left",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_CreateFile)(r.app, file, 10, 0xFF, 0xFF);
       },
       SAR_FAIL, SAR_FAIL},
      {"delete file: 33-character name",
       [](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_DeleteFile)(r.app, name33);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"delete file: a foreign handle",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_DeleteFile)(stranger, file);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"encrypt init: NULL key",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_EncryptInit)(nullptr, param);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"encrypt init: a foreign key",
       [&](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_EncryptInit)(stranger, param);
       },
       SAR_INVALIDHANDLEERR, SAR_INVALIDHANDLEERR},
      {"encrypt init: IV of 33 bytes",
       [&](const host::Library &l, const Records &r) {
         return SKF_OF(l, SKF_EncryptInit)(r.session, long_iv);
       },
       SAR_INVALIDPARAMERR, SAR_INVALIDPARAMERR},
      {"clear secure state: NULL handle",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_ClearSecureState)(nullptr);
       },
       SAR_OK, SAR_OK},
      {"MAC: NULL everything",
       [](const host::Library &l, const Records &) {
         return SKF_OF(l, SKF_MacInit)(nullptr, nullptr, nullptr);
       },
       SAR_NOTSUPPORTYETERR, SAR_OK},
  };
  for (const host::Build build : {host::Build::kCore, host::Build::kBase}) {
    const host::Library &lib = host::Of(build);
    const Records records = MakeRecords(lib);
    for (const Case &c : cases) {
      EXPECT_EQ(Code(c.call(lib, records)), Code(build == host::Build::kCore ? c.core : c.base))
          << c.what << " (" << host::NameOf(build) << ")";
    }
  }
  (void)number;
}

}  // namespace
}  // namespace legacytest
