// tokenbase on a key of the standard format: a device directory of 1156 bytes (as tokencore and
// the virtual key's provisioning write it), a container directory of eight entries and a file
// table longer than its 20 records. tokenbase works on the entries of its own images (two
// applications, four containers, 20 files); every write keeps the bytes past them as they were,
// so that tokencore still finds what it wrote there.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "both_fixture.h"

namespace legacytest {
namespace {

constexpr std::uint16_t kApp1 = 0xAD01;
constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr std::uint16_t kFileTableEf = 0xEF02;
constexpr std::size_t kDeviceDirectory = 1156;
constexpr std::size_t kBaseDeviceImage = 340;
constexpr std::size_t kEightContainers = 1212;
constexpr std::size_t kBaseContainerImage = 620;
constexpr std::size_t kContainerEntryAt = 28;
constexpr std::size_t kContainerEntrySize = 148;
constexpr std::size_t kContainerNameAt = 20;
constexpr std::size_t kFileTable = 1040;
constexpr std::size_t kLongFileTable = kFileTable + 60;
constexpr ULONG kAnyone = 0xFF;

// One directory file of the key and where tokenbase's image of it ends.
struct DirectoryFile {
  const char *what;
  std::vector<std::uint16_t> path;
  std::size_t image;
};

std::optional<Bytes> ReadFile(const std::string &key, const std::vector<std::uint16_t> &path) {
  vkey::RawCard card(key);
  return card.SelectPath(path) ? card.ReadPrefixed() : std::nullopt;
}

// The names of a multi-string, "a,b".
std::string Names(const char *list) {
  std::string names;
  for (const char *p = list; *p; p += std::strlen(p) + 1) {
    names += (names.empty() ? "" : ",") + std::string(p);
  }
  return names;
}

std::string Applications(const host::Library &lib, DEVHANDLE device) {
  char list[512] = {};
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(lib, SKF_EnumApplication)(device, list, &size);
  return code == SAR_OK ? Names(list) : "(failed)";
}

std::string Containers(const host::Library &lib, HAPPLICATION app) {
  char list[1024] = {};
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(lib, SKF_EnumContainer)(app, list, &size);
  return code == SAR_OK ? Names(list) : "(failed)";
}

std::string Files(const host::Library &lib, HAPPLICATION app) {
  char list[1024] = {};
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(lib, SKF_EnumFiles)(app, list, &size);
  return code == SAR_OK ? Names(list) : "(failed)";
}

class StandardFormatTest : public BothLibraries {
 protected:
  // A provisioned key whose container directory holds eight entries, the seventh in use, and
  // whose file table runs 60 bytes past its 20 records with a live record there.
  std::string PrepareKey() {
    const std::string key = NewKey(true);
    vkey::RawCard card(key);
    EXPECT_TRUE(card.SelectPath({kApp1, kDirectoryEf}));
    auto containers = card.ReadPrefixed();
    EXPECT_TRUE(containers.has_value());
    if (!containers) return key;
    containers->resize(kEightContainers, 0);
    const char seventh[] = "SEVENTH";
    std::memcpy(&(*containers)[kContainerEntryAt + 6 * kContainerEntrySize + kContainerNameAt],
                seventh, sizeof seventh);
    EXPECT_TRUE(card.WritePrefixed(*containers));
    Bytes table(kLongFileTable, 0);
    table[kFileTable] = 1;      // FileExist
    table[kFileTable + 1] = 1;  // FileAllocated
    std::memcpy(&table[kFileTable + 2], "ghost", 6);
    EXPECT_TRUE(card.SelectPath({kApp1, kFileTableEf}));
    EXPECT_TRUE(card.WritePrefixed(table));
    return key;
  }
  DEVHANDLE AuthenticatedDevice(const host::Library &lib, const std::string &key) {
    DEVHANDLE device = Connect(lib, key);
    const BYTE any[16] = {};
    EXPECT_EQ(SKF_OF(lib, SKF_DevAuth)(device, any, sizeof any), SAR_OK);
    return device;
  }
};

TEST_F(StandardFormatTest, BaseWorksOnItsEntriesAndKeepsTheRest) {
  const std::string key = PrepareKey();
  const auto &core = host::Core();
  const auto &base = host::Base();
  char pin[] = "12345678", core_b[] = "CORE-B", core_c[] = "CORE-C";
  // tokencore's application in the third entry, past tokenbase's two.
  DEVHANDLE core_device = AuthenticatedDevice(core, key);
  HAPPLICATION added = nullptr;
  ASSERT_EQ(
      SKF_OF(core, SKF_CreateApplication)(core_device, core_b, pin, 3, pin, 3, kAnyone, &added),
      SAR_OK);
  ASSERT_EQ(
      SKF_OF(core, SKF_CreateApplication)(core_device, core_c, pin, 3, pin, 3, kAnyone, &added),
      SAR_OK);
  ASSERT_EQ(SKF_OF(core, SKF_DeleteApplication)(core_device, core_b), SAR_OK);

  const DirectoryFile files[] = {
      {"device directory", {kDirectoryEf}, kBaseDeviceImage},
      {"container directory", {kApp1, kDirectoryEf}, kBaseContainerImage},
      {"file table", {kApp1, kFileTableEf}, kFileTable},
  };
  std::vector<Bytes> before;
  for (const auto &f : files) {
    const auto bytes = ReadFile(key, f.path);
    ASSERT_TRUE(bytes.has_value()) << f.what;
    before.push_back(*bytes);
  }
  ASSERT_EQ(before[0].size(), kDeviceDirectory);

  DEVHANDLE device = AuthenticatedDevice(base, key);
  HAPPLICATION app = nullptr, second = nullptr;
  HCONTAINER container = nullptr;
  char app_name[] = "KEYSIM-APP", base_b[] = "BASE-B", label[] = "BASE-LABEL", name[] = "NEW",
       file[] = "f";
  BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  DEVINFO info{};
  ULONG retries = 0;
  const struct Step {
    const char *what;
    std::function<ULONG()> run;
  } steps[] = {
      {"SKF_GetDevInfo", [&] { return SKF_OF(base, SKF_GetDevInfo)(device, &info); }},
      {"SKF_SetLabel", [&] { return SKF_OF(base, SKF_SetLabel)(device, label); }},
      {"SKF_CreateApplication",
       [&] {
         return SKF_OF(base, SKF_CreateApplication)(device, base_b, pin, 3, pin, 3, kAnyone,
                                                    &second);
       }},
      {"SKF_DeleteApplication",
       [&] { return SKF_OF(base, SKF_DeleteApplication)(device, base_b); }},
      {"SKF_OpenApplication",
       [&] { return SKF_OF(base, SKF_OpenApplication)(device, app_name, &app); }},
      {"SKF_VerifyPIN", [&] { return SKF_OF(base, SKF_VerifyPIN)(app, USER_TYPE, pin, &retries); }},
      {"SKF_CreateContainer",
       [&] { return SKF_OF(base, SKF_CreateContainer)(app, name, &container); }},
      {"SKF_DeleteContainer", [&] { return SKF_OF(base, SKF_DeleteContainer)(app, name); }},
      {"SKF_CreateFile",
       [&] { return SKF_OF(base, SKF_CreateFile)(app, file, 100, kAnyone, kAnyone); }},
      {"SKF_WriteFile",
       [&] { return SKF_OF(base, SKF_WriteFile)(app, file, 0, data, sizeof data); }},
      {"SKF_DeleteFile", [&] { return SKF_OF(base, SKF_DeleteFile)(app, file); }},
  };
  for (const Step &s : steps) {
    ASSERT_EQ(s.run(), SAR_OK) << s.what;
    for (std::size_t i = 0; i < std::size(files); ++i) {
      const auto now = ReadFile(key, files[i].path);
      ASSERT_TRUE(now.has_value()) << s.what << ", " << files[i].what;
      EXPECT_EQ(now->size(), before[i].size()) << s.what << ", " << files[i].what;
      EXPECT_TRUE(std::equal(now->begin() + files[i].image, now->end(),
                             before[i].begin() + files[i].image, before[i].end()))
          << s.what << " changed the " << files[i].what << " past tokenbase's image";
    }
  }
  EXPECT_EQ(std::string(info.Label), vkey::TextAt(before[0], 0, 68));

  // Each library lists the entries of its own image.
  EXPECT_EQ(Applications(base, device), "KEYSIM-APP");
  EXPECT_EQ(Applications(core, core_device), "KEYSIM-APP,CORE-C");
  EXPECT_EQ(Containers(base, app), "SM2-CONTAINER,RSA-CONTAINER");
  HAPPLICATION core_app = OpenApp(core, core_device);
  EXPECT_EQ(Containers(core, core_app), "SM2-CONTAINER,RSA-CONTAINER,SEVENTH");
  EXPECT_EQ(Files(base, app), "");
  DEVINFO core_info{};
  ASSERT_EQ(SKF_OF(core, SKF_GetDevInfo)(core_device, &core_info), SAR_OK);
  EXPECT_STREQ(core_info.Label, label);
}

}  // namespace
}  // namespace legacytest
