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

// Creation against the provisioned key: the new entry, its DF with the two directory files of
// their created lengths, and the entry walk.
class ApplicationCreateTest : public ApplicationTest {
 protected:
  ULONG Create(DEVHANDLE device, const std::string &name, HAPPLICATION *app,
               const char *admin = "12345678", ULONG rights = 0xFF) {
    char user[] = "87654321";
    return SKF(SKF_CreateApplication)(device, const_cast<char *>(name.c_str()),
                                      const_cast<char *>(admin), 5, user, 3, rights, app);
  }
};

TEST_F(ApplicationCreateTest, CreatesTheEntryAndTheDirectoryFiles) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  HAPPLICATION app = nullptr;
  EXPECT_EQ(Create(device, "APP2", &app), SAR_INVALIDHANDLEERR) << "not authenticated";
  Authenticate(device);
  const std::string name32(32, 'N');
  ASSERT_EQ(Create(device, name32, &app, "vemto", 0x10), SAR_OK) << "the default admin PIN";
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD02u);
  EXPECT_EQ(Create(device, name32, &app), SAR_APPLICATION_EXISTS);
  EXPECT_EQ(Create(device, "APP3", &app, "vemt0"), SAR_INVALIDPARAMERR);
  EXPECT_EQ(List(device), "KEYSIM-APP" + std::string(1, '\0') + name32 + std::string(2, '\0'));

  vkey::RawCard raw(key);
  const Bytes directory = ReadFile(raw, {0xEF01});
  ASSERT_EQ(directory.size(), kAppDirectorySize);
  EXPECT_EQ(vkey::U32At(directory, AppEntryAt(1)), 1u);
  EXPECT_EQ(vkey::U32At(directory, AppEntryAt(1) + 4), 0x10u);
  EXPECT_EQ(vkey::TextAt(directory, AppEntryAt(1) + 8, 128), name32);
  const Bytes containers = ReadFile(raw, {0xAD02, 0xEF01});
  ASSERT_EQ(containers.size(), kCreatedContainerDirectorySize);
  Bytes want(kCreatedContainerDirectorySize, 0);
  PutU32(want, 4, 5);
  PutU32(want, 8, 5);
  PutU32(want, 12, 3);
  PutU32(want, 16, 3);
  EXPECT_EQ(containers, want);
  EXPECT_EQ(ReadFile(raw, {0xAD02, 0xEF02}), Bytes(kFileTableSize, 0));
}

TEST_F(ApplicationCreateTest, TheWalkTakesTheFirstFreeEntry) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  Authenticate(device);
  vkey::RawCard raw(key);
  Bytes image = ReadFile(raw, {0xEF01});
  PutEntry(image, 0, "A");
  PutEntry(image, 2, "B");
  WriteFile(raw, {0xEF01}, image);
  HAPPLICATION app = nullptr;
  ASSERT_EQ(Create(device, "B", &app), SAR_OK) << "names after the free entry are not seen";
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD02u);
  EXPECT_EQ(List(device), std::string("A\0B\0B\0\0", 7));
  char b[] = "B";
  ASSERT_EQ(SKF(SKF_OpenApplication)(device, b, &app), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD02u);

  // Deleted, its entry and DF serve the next application.
  char a[] = "A";
  ASSERT_EQ(SKF(SKF_DeleteApplication)(device, a), SAR_OK);
  const Bytes cleared = ReadFile(raw, {0xEF01});
  EXPECT_EQ(Bytes(cleared.begin() + AppEntryAt(0), cleared.begin() + AppEntryAt(1)),
            Bytes(kAppEntrySize, 0));
  ASSERT_EQ(Create(device, "C", &app), SAR_OK);
  EXPECT_EQ(static_cast<HandleRecord *>(app)->id, 0xAD01u);
  EXPECT_EQ(ReadFile(raw, {0xAD01, 0xEF01}).size(), kCreatedContainerDirectorySize)
      << "the DF was prepared again";

  for (std::size_t k = 3; k < 8; ++k) PutEntry(image, k, "E" + std::to_string(k));
  PutEntry(image, 1, "B");
  WriteFile(raw, {0xEF01}, image);
  EXPECT_EQ(Create(device, "new", &app), SAR_NO_ROOM);
  EXPECT_EQ(Create(device, "A", &app), SAR_APPLICATION_EXISTS);
}

}  // namespace
