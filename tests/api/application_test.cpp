// Application family on provisioned and raw-prepared keys, with the device directory read back
// raw and compared with its layout.
#include <cstring>
#include <string>

#include "keysim_fixture.h"
#include "layouts.h"

namespace {

using vkey::Bytes;

class ApplicationTest : public VirtualKeyTest {
 protected:
  std::string List(DEVHANDLE device) {
    ULONG size = 0;
    EXPECT_EQ(SKF(SKF_EnumApplication)(device, nullptr, &size), SAR_OK);
    std::string list(size, 'x');
    EXPECT_EQ(SKF(SKF_EnumApplication)(device, list.data(), &size), SAR_OK);
    EXPECT_EQ(size + 1, list.size()) << "NULL buffer asks one byte more";
    list.resize(size);
    return list;
  }
};

TEST_F(ApplicationTest, ListOpenAndDeleteOnAProvisionedKey) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  EXPECT_EQ(List(device), std::string("KEYSIM-APP\0\0", 12));
  std::string small(5, 'x');
  ULONG size = 5;
  EXPECT_EQ(SKF(SKF_EnumApplication)(device, small.data(), &size), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(small, "xxxxx");

  char name[] = "KEYSIM-APP";
  char other[] = "KEYSIM-AP";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device, name, &app), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD01u);
  EXPECT_EQ(static_cast<HandleRecord *>(app)->device, device);
  HAPPLICATION again = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device, name, &again), SAR_OK);
  EXPECT_NE(again, app) << "a new record for every open";
  EXPECT_EQ(SKF(SKF_OpenApplication)(device, other, &again), SAR_APPLICATION_NOT_EXISTS);

  vkey::RawCard raw(key);
  const Bytes before = ReadFile(raw, {0xEF01});
  Authenticate(device);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(device, other), SAR_FAIL);
  ASSERT_EQ(SKF(SKF_DeleteApplication)(device, name), SAR_OK);
  const Bytes after = ReadFile(raw, {0xEF01});
  ASSERT_EQ(after.size(), kAppDirectorySize);
  Bytes want = before;
  std::fill_n(want.begin() + AppEntryAt(0), kAppEntrySize, 0);
  EXPECT_EQ(after, want) << "only the entry is cleared";
  EXPECT_EQ(List(device), std::string(1, '\0'));
  EXPECT_EQ(SKF(SKF_OpenApplication)(device, name, &again), SAR_APPLICATION_NOT_EXISTS);
}

TEST_F(ApplicationTest, EntriesComeFromTheStoredLength) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  vkey::RawCard raw(key);
  // 68 + 2 x 136 bytes: two entries, a third beyond the stored length is not seen.
  Bytes image(kAppDirectorySize, 0);
  std::memcpy(image.data(), "VARN", 4);
  PutEntry(image, 0, "A");
  PutEntry(image, 1, "B");
  PutEntry(image, 2, "C");
  image.resize(340);
  WriteFile(raw, {0xEF01}, image);
  EXPECT_EQ(List(device), std::string("A\0B\0\0", 5));

  // Entries not in use are skipped even with a name.
  image.resize(kAppDirectorySize, 0);
  PutEntry(image, 2, "C");
  PutU32(image, AppEntryAt(0), 0);
  WriteFile(raw, {0xEF01}, image);
  EXPECT_EQ(List(device), std::string("B\0C\0\0", 5));
  char c[] = "C";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device, c, &app), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD03u);
}

TEST_F(ApplicationTest, AStoredLengthBeyondTheImageIsRefused) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  vkey::RawCard raw(key);
  Bytes image(kAppDirectorySize + 44, 0);
  PutEntry(image, 0, "A");
  WriteFile(raw, {0xEF01}, image);
  ULONG size = 0;
  EXPECT_EQ(SKF(SKF_EnumApplication)(device, nullptr, &size), SAR_FAIL);
  DEVINFO info;
  EXPECT_EQ(SKF(SKF_GetDevInfo)(device, &info), SAR_FAIL);
  EXPECT_EQ(SKF(SKF_SetLabel)(device, "label"), SAR_FAIL);
  EXPECT_EQ(ReadFile(raw, {0xEF01}), image) << "nothing written";
}

}  // namespace
