// ZVSM2KEY, the key-cache mapping that traywatch makes: tokenbase zeroes its first 34480 bytes
// right before a create or delete of an application or container returns SAR_OK, and only
// then; without the mapping those exports still succeed. tokencore never touches it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "both_fixture.h"
#include "pin_mapping.h"

namespace legacytest {
namespace {

constexpr char kMappingName[] = "ZVSM2KEY";
constexpr std::size_t kMappingSize = 40960;
constexpr std::size_t kCleared = 34480;
constexpr std::uint8_t kFill = 0xA5;

class KeyCacheMappingTest : public BothLibraries {
 protected:
  // The key connected through `lib` and device-authenticated; its application.
  HAPPLICATION Open(const host::Library &lib, const std::string &key, DEVHANDLE *device) {
    *device = Connect(lib, key);
    const BYTE any[16] = {};
    EXPECT_EQ(SKF_OF(lib, SKF_DevAuth)(*device, any, sizeof any), SAR_OK);
    return OpenApp(lib, *device);
  }
  // A provisioned key as tokenbase formats it, opened through tokenbase.
  HAPPLICATION BaseApp() {
    const std::string key = NewKey(true);
    EXPECT_TRUE(AsFormattedByBase(key));
    DEVHANDLE device = nullptr;
    return Open(host::Base(), key, &device);
  }
  ULONG CreateContainer(HAPPLICATION app) {
    HCONTAINER container = nullptr;
    return SKF_OF(host::Base(), SKF_CreateContainer)(app, name_, &container);
  }

  char name_[16] = "NEW-CONTAINER";
};

TEST_F(KeyCacheMappingTest, SuccessfulChangesZeroTheFirstPart) {
  PinMapping mapping(kMappingSize, kMappingName);
  ASSERT_NE(mapping.Text(), nullptr);
  auto *bytes = reinterpret_cast<std::uint8_t *>(mapping.Text());
  const std::string key = NewKey(true);
  ASSERT_TRUE(AsFormattedByBase(key));
  DEVHANDLE base_device = nullptr, core_device = nullptr;
  HAPPLICATION base = Open(host::Base(), key, &base_device);
  HAPPLICATION core = Open(host::Core(), key, &core_device);
  HCONTAINER container = nullptr;
  HAPPLICATION added = nullptr;
  char name[] = "NEW-CONTAINER", none[] = "NO-CONTAINER", app2[] = "SECOND", pin[] = "12345678";
  const auto &b = host::Base();
  const auto &c = host::Core();
  struct Step {
    const char *what;
    std::function<ULONG()> run;
    ULONG result;
    bool cleared;
  } steps[] = {
      {"create container", [&] { return SKF_OF(b, SKF_CreateContainer)(base, name, &container); },
       SAR_OK, true},
      {"create it again", [&] { return SKF_OF(b, SKF_CreateContainer)(base, name, &container); },
       SAR_FILE_ALREADY_EXIST, false},
      {"delete container", [&] { return SKF_OF(b, SKF_DeleteContainer)(base, name); }, SAR_OK,
       true},
      {"delete an unknown one", [&] { return SKF_OF(b, SKF_DeleteContainer)(base, none); },
       SAR_FAIL, false},
      {"create application",
       [&] {
         return SKF_OF(b, SKF_CreateApplication)(base_device, app2, pin, 3, pin, 3, 0xFF, &added);
       },
       SAR_OK, true},
      {"delete application", [&] { return SKF_OF(b, SKF_DeleteApplication)(base_device, app2); },
       SAR_OK, true},
      {"tokencore's create", [&] { return SKF_OF(c, SKF_CreateContainer)(core, name, &container); },
       SAR_OK, false},
      {"tokencore's delete", [&] { return SKF_OF(c, SKF_DeleteContainer)(core, name); }, SAR_OK,
       false},
  };
  for (const Step &s : steps) {
    std::memset(bytes, kFill, kMappingSize);
    EXPECT_EQ(s.run(), s.result) << s.what;
    const std::size_t zeroed = s.cleared ? kCleared : 0;
    for (std::size_t i = 0; i < kMappingSize; ++i) {
      if (bytes[i] != (i < zeroed ? 0 : kFill)) {
        ADD_FAILURE() << s.what << ": byte " << i << " is " << int(bytes[i]);
        break;
      }
    }
  }
}

TEST_F(KeyCacheMappingTest, SmallMappingIsZeroedWhole) {
  constexpr std::size_t kSmall = 4096;
  PinMapping mapping(kSmall, kMappingName);
  ASSERT_NE(mapping.Text(), nullptr);
  std::memset(mapping.Text(), kFill, kSmall);
  ASSERT_EQ(CreateContainer(BaseApp()), SAR_OK);
  EXPECT_EQ(std::string(mapping.Text(), kSmall), std::string(kSmall, '\0'));
}

TEST_F(KeyCacheMappingTest, WithoutTheMappingChangesStillSucceed) {
  HAPPLICATION app = BaseApp();
  EXPECT_EQ(CreateContainer(app), SAR_OK);
  EXPECT_EQ(SKF_OF(host::Base(), SKF_DeleteContainer)(app, name_), SAR_OK);
}

}  // namespace
}  // namespace legacytest
