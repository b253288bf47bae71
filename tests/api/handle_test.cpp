// Handles: every export takes only a record the library made, of the kind it expects. Records
// of the other kinds, and memory the library never handed out, are SAR_INVALIDHANDLEERR.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "argument_cases.h"
#include "virtual_key.h"

namespace {

using namespace argcases;

TEST(Handles, OnlyRecordsOfTheRightKindAreTaken) {
  ASSERT_TRUE(vkey::Attach()) << "no keysimd";
  const std::string key = vkey::CreateKey("handles", true);
  DEVHANDLE dev = nullptr;
  ASSERT_EQ(SKF(SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &dev), SAR_OK);
  char app_name[] = "KEYSIM-APP", container_name[] = "SM2-CONTAINER";
  HAPPLICATION app = nullptr;
  HCONTAINER container = nullptr;
  HANDLE session = nullptr, hash = nullptr, agreement = nullptr;
  BYTE data[64] = {};
  ECCPUBLICKEYBLOB temp{};
  ASSERT_EQ(SKF(SKF_OpenApplication)(dev, app_name, &app), SAR_OK);
  ASSERT_EQ(SKF(SKF_OpenContainer)(app, container_name, &container), SAR_OK);
  ASSERT_EQ(SKF(SKF_SetSymmKey)(dev, data, SGD_SMS4_ECB, &session), SAR_OK);
  ASSERT_EQ(SKF(SKF_DigestInit)(dev, SGD_SHA256, nullptr, nullptr, 0, &hash), SAR_OK);
  ASSERT_EQ(
      SKF(SKF_GenerateAgreementDataWithECC)(container, SGD_SMS4_ECB, &temp, data, 16, &agreement),
      SAR_OK);
  // Memory laid out like a record with this device, which the library never handed out.
  struct {
    std::uint32_t id;
    DEVHANDLE device;
    BYTE rest[600];
  } foreign = {0xAD01, dev, {}};
  std::memset(foreign.rest, 0xA5, sizeof foreign.rest);

  // One export per kind; each call must not be refused for its own kind.
  struct Use {
    const char *kind;
    void *own;
    std::function<ULONG(void *)> call;
  };
  const std::vector<Use> uses = {
      {"application", app,
       [&](void *h) {
         ULONG size = 0;
         return SKF(SKF_EnumContainer)(static_cast<HAPPLICATION>(h), nullptr, &size);
       }},
      {"container", container,
       [&](void *h) {
         ULONG type = 0;
         return SKF(SKF_GetContainerType)(static_cast<HCONTAINER>(h), &type);
       }},
      {"session key", session,
       [&](void *h) {
         ULONG length = 0;
         return SKF(SKF_Encrypt)(h, data, 16, nullptr, &length);
       }},
      {"hash", hash, [&](void *h) { return SKF(SKF_DigestUpdate)(h, data, 16); }},
      {"agreement", agreement,
       [&](void *h) {
         ECCPUBLICKEYBLOB peer{};
         HANDLE out = nullptr;
         return SKF(SKF_GenerateKeyWithECC)(h, &peer, &peer, data, 16, &out);
       }},
  };
  for (const Use &use : uses) {
    EXPECT_NE(use.call(use.own), SAR_INVALIDHANDLEERR) << use.kind;
    for (const Use &other : uses) {
      if (other.own == use.own) continue;
      EXPECT_EQ(use.call(other.own), SAR_INVALIDHANDLEERR) << other.kind << " as " << use.kind;
    }
    EXPECT_EQ(use.call(&foreign), SAR_INVALIDHANDLEERR) << "foreign memory as " << use.kind;
  }
  SKF(SKF_DisConnectDev)(dev);
  vkey::Remove(key);
}

}  // namespace
