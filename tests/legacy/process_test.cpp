// tokenbase in processes of its own. Its key-file cache: a second SKF_EnumFiles of the same key
// sends no card command (the serial comes from readerio's descriptor), a write empties the
// cache, other processes share it, hosts of both Windows builds too, another key rebuilds it, a
// file table longer than its copy is not read past it, a change of applications or a format
// empties it, and a holder that ended while it held the cache is taken over. And a process whose
// first call is SKF_ConnectDev binds readerio then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "base_child.h"
#include "both_fixture.h"
#include "child_process.h"

namespace legacytest {
namespace {

constexpr std::uint16_t kApp1 = 0xAD01;
constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr std::uint16_t kFileTableEf = 0xEF02;
constexpr std::size_t kRecordSize = 52;
constexpr std::size_t kFileTableSize = 1040;
constexpr std::size_t kAppEntryAt = 68;
constexpr std::size_t kAppEntrySize = 136;

void PutRecord(Bytes &table, std::size_t at, const char *name) {
  table[at] = 1;      // FileExist
  table[at + 1] = 1;  // FileAllocated
  std::memcpy(&table[at + 2], name, std::strlen(name) + 1);
}

class KeyFileCacheTest : public BothLibraries {
 protected:
  // A provisioned key as tokenbase formats it, connected through tokenbase, with one file.
  std::string PrepareKey(std::uint32_t serial, const char *file, DEVHANDLE *device,
                         HAPPLICATION *app) {
    const std::string key = NewKey(true, serial);
    EXPECT_TRUE(AsFormattedByBase(key));
    *device = Connect(host::Base(), key);
    *app = OpenApp(host::Base(), *device);
    EXPECT_EQ(SKF_OF(host::Base(), SKF_CreateFile)(*app, const_cast<char *>(file), 100, 0xFF, 0xFF),
              SAR_OK);
    return key;
  }
  int Child(const std::string &key, const char *mode, const std::string &argument = "") {
    return RunSelf(ChildArgs(vkey::ReaderOf(key), mode, argument));
  }
};

TEST_F(KeyFileCacheTest, SecondEnumFilesSendsNoCommandUntilAWrite) {
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  const std::string key = PrepareKey(31011, "alpha", &device, &app);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  const std::uint64_t filled = vkey::Commands(key);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  EXPECT_EQ(vkey::Commands(key), filled);

  // A file added behind the library's back stays unseen while the cache holds the key.
  {
    vkey::RawCard card(key);
    ASSERT_TRUE(card.SelectPath({kApp1, kFileTableEf}));
    auto table = card.ReadPrefixed();
    ASSERT_TRUE(table.has_value());
    PutRecord(*table, kRecordSize, "beta");
    ASSERT_TRUE(card.WritePrefixed(*table));
  }
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  const BYTE data[4] = {1, 2, 3, 4};
  ASSERT_EQ(SKF_OF(host::Base(), SKF_WriteFile)(app, const_cast<char *>("alpha"), 0,
                                                const_cast<BYTE *>(data), sizeof data),
            SAR_OK);
  const std::uint64_t written = vkey::Commands(key);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha,beta");
  EXPECT_GT(vkey::Commands(key), written);
}

TEST_F(KeyFileCacheTest, ProcessesShareOneCache) {
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  const std::string key = PrepareKey(31012, "alpha", &device, &app);
  // The children connect through tokenbase too.
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
  std::uint64_t before = vkey::Commands(key);
  ASSERT_EQ(Child(key, "open"), 0);
  const std::uint64_t open_cost = vkey::Commands(key) - before;

  before = vkey::Commands(key);
  ASSERT_EQ(Child(key, "enum", "alpha"), 0);
  EXPECT_GT(vkey::Commands(key) - before, open_cost);  // the create emptied it: filled here
  before = vkey::Commands(key);
  ASSERT_EQ(Child(key, "enum", "alpha"), 0);
  EXPECT_EQ(vkey::Commands(key) - before, open_cost);  // another process found it filled
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "on"));

  before = vkey::Commands(key);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  EXPECT_EQ(vkey::Commands(key), before);
}

// The build of the program that runs the children: this program's own, or, for the x86-64
// Windows build, the i686 build's twin of it, a 32-bit host.
enum class ChildBuild { kThis, kI686 };

void PrintTo(ChildBuild build, std::ostream *out) {
  *out << (build == ChildBuild::kThis ? "this build" : "the i686 build");
}

// The folder of the i686 build's programs, which ./run names only where the machine runs 32-bit
// programs.
constexpr char kI686BinVariable[] = "TOKEN_I686_BIN";

// `folder`/<this program's file name>, as a Windows path (Wine maps the Unix root to Z:).
std::string TwinIn(std::string folder) {
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  const std::string self = SelfPath();
  const std::size_t name = self.find_last_of("\\/");
  std::string path = folder + "\\" + (name == std::string::npos ? self : self.substr(name + 1));
  for (char &c : path) c = c == '/' ? '\\' : c;
  return path;
}

class BuildsOnOneKeyTest : public KeyFileCacheTest,
                           public ::testing::WithParamInterface<ChildBuild> {};

// A host of either build on one key with this one: each finds the cache as the other filled it,
// with no card command of its own, and lists the files as the other left them.
TEST_P(BuildsOnOneKeyTest, SeeTheSameFiles) {
  std::string program = SelfPath();
  if (GetParam() == ChildBuild::kI686) {
    const char *folder = std::getenv(kI686BinVariable);
    if (!folder || !*folder) {
      GTEST_SKIP() << "no 32-bit host: " << kI686BinVariable
                   << " names the i686 build's programs only where ./run finds that this machine "
                      "runs 32-bit programs";
    }
    program = TwinIn(folder);
  }
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  const std::string key = PrepareKey(31018, "alpha", &device, &app);
  // The child's exit code, and the card commands it sent.
  std::uint64_t sent = 0;
  const auto child = [&](const char *mode, const char *names) {
    // The child connects through tokenbase, which connects only to a key that refuses the
    // built-in card key.
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "off"));
    const std::uint64_t before = vkey::Commands(key);
    const int code = RunProgram(program, ChildArgs(vkey::ReaderOf(key), mode, names));
    sent = vkey::Commands(key) - before;
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "on"));
    return code;
  };
  ASSERT_EQ(child("open", ""), 0) << program;
  const std::uint64_t open_cost = sent;

  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  ASSERT_EQ(child("enum", "alpha"), 0) << program;
  EXPECT_EQ(sent, open_cost) << "the child did not find the cache this process filled";

  ASSERT_EQ(SKF_OF(host::Base(), SKF_CreateFile)(app, const_cast<char *>("beta"), 100, 0xFF, 0xFF),
            SAR_OK);
  ASSERT_EQ(child("enum", "alpha,beta"), 0) << program;
  const std::uint64_t filled = vkey::Commands(key);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha,beta");
  EXPECT_EQ(vkey::Commands(key), filled) << "this process did not find the cache the child filled";

  ASSERT_EQ(SKF_OF(host::Base(), SKF_DeleteFile)(app, const_cast<char *>("alpha")), SAR_OK);
  EXPECT_EQ(child("enum", "beta"), 0) << program;
}

INSTANTIATE_TEST_SUITE_P(ThisBuild, BuildsOnOneKeyTest, ::testing::Values(ChildBuild::kThis));
#if defined(_WIN64)
INSTANTIATE_TEST_SUITE_P(I686Build, BuildsOnOneKeyTest, ::testing::Values(ChildBuild::kI686));
#endif

// A process that ends while it holds the cache, perhaps with a table copied in only in part: the
// next one to use the cache takes it over, empties it rather than give that table out, and the
// cache serves again.
TEST_F(KeyFileCacheTest, HolderThatEndedIsTakenOver) {
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  const std::string key = PrepareKey(31017, "alpha", &device, &app);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  DEVINFO info{};
  ASSERT_EQ(SKF_OF(host::Base(), SKF_GetDevInfo)(device, &info), SAR_OK);
  ASSERT_EQ(Child(key, "die-holding", info.SerialNumber), 0);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  const std::uint64_t filled = vkey::Commands(key);
  EXPECT_EQ(FileNames(host::Base(), app), "alpha");
  EXPECT_EQ(vkey::Commands(key), filled);
}

TEST_F(KeyFileCacheTest, AnotherKeyRebuildsIt) {
  DEVHANDLE device_a = nullptr, device_b = nullptr;
  HAPPLICATION app_a = nullptr, app_b = nullptr;
  const std::string a = PrepareKey(31013, "on-a", &device_a, &app_a);
  const std::string b = PrepareKey(31014, "on-b", &device_b, &app_b);
  EXPECT_EQ(FileNames(host::Base(), app_a), "on-a");
  EXPECT_EQ(FileNames(host::Base(), app_b), "on-b");
  const std::uint64_t before = vkey::Commands(a);
  EXPECT_EQ(FileNames(host::Base(), app_a), "on-a");
  const std::uint64_t rebuilt = vkey::Commands(a);
  EXPECT_GT(rebuilt, before);
  EXPECT_EQ(FileNames(host::Base(), app_a), "on-a");
  EXPECT_EQ(vkey::Commands(a), rebuilt);
}

TEST_F(KeyFileCacheTest, LongFileTableIsNotReadPastItsCopy) {
  const std::string key = NewKey(true, 31015);
  ASSERT_TRUE(AsFormattedByBase(key));
  {
    vkey::RawCard card(key);
    // AD01's file table: "alpha", and 60 bytes more holding a live record "ghost".
    Bytes table(kFileTableSize + 60, 0);
    PutRecord(table, 0, "alpha");
    PutRecord(table, kFileTableSize, "ghost");
    ASSERT_TRUE(card.SelectPath({kApp1, kFileTableEf}));
    ASSERT_TRUE(card.WritePrefixed(table));
    // A second application in the device directory, whose DF is not on the card.
    ASSERT_TRUE(card.SelectPath({kDirectoryEf}));
    auto directory = card.ReadPrefixed();
    ASSERT_TRUE(directory.has_value());
    const std::size_t entry = kAppEntryAt + kAppEntrySize;
    (*directory)[entry] = 1;
    std::memcpy(&(*directory)[entry + 8], "SECOND", 7);
    ASSERT_TRUE(card.WritePrefixed(*directory));
  }
  DEVHANDLE device = Connect(host::Base(), key);
  HAPPLICATION first = OpenApp(host::Base(), device);
  HAPPLICATION second = OpenApp(host::Base(), device, "SECOND");
  // The copy holds the first 1040 bytes, not what lies past them.
  EXPECT_EQ(FileNames(host::Base(), second), "");
  EXPECT_EQ(FileNames(host::Base(), first), "alpha");
  // tokencore refuses the file table.
  DEVHANDLE core = Connect(host::Core(), key);
  HAPPLICATION core_app = OpenApp(host::Core(), core);
  ULONG size = 0;
  EXPECT_EQ(SKF_OF(host::Core(), SKF_EnumFiles)(core_app, nullptr, &size), SAR_FAIL);
}

// Once an application was deleted and created again, or the card formatted and the application
// created, the file tables come from the card again: the listing and the lookups agree. In all
// but the first row one of the two changes is tokencore's, which knows no cache, so that each of
// tokenbase's three exports is seen to empty it.
TEST_F(KeyFileCacheTest, ApplicationChangesEmptyIt) {
  enum class Change { kDelete, kCreate, kFormat };
  struct Step {
    Change change;
    host::Build by;
  };
  using host::Build;
  const struct {
    const char *what;
    std::vector<Step> steps;
  } cases[] = {
      {"tokenbase deletes and creates",
       {{Change::kDelete, Build::kBase}, {Change::kCreate, Build::kBase}}},
      {"tokenbase deletes, tokencore creates",
       {{Change::kDelete, Build::kBase}, {Change::kCreate, Build::kCore}}},
      {"tokencore deletes, tokenbase creates",
       {{Change::kDelete, Build::kCore}, {Change::kCreate, Build::kBase}}},
      {"tokenbase formats, tokencore creates",
       {{Change::kFormat, Build::kBase}, {Change::kCreate, Build::kCore}}},
  };
  const auto &base = host::Base();
  char app_name[] = "KEYSIM-APP", pin[] = "12345678", device_key[] = "1234567812345678",
       file[] = "alpha";
  std::uint32_t serial = 31020;
  for (const auto &c : cases) {
    DEVHANDLE base_device = nullptr;
    HAPPLICATION app = nullptr;
    // The only key present: the format takes the first listed reader.
    const std::string key = PrepareKey(serial++, file, &base_device, &app);
    ASSERT_EQ(FileNames(base, app), "alpha") << c.what;
    DEVHANDLE core_device = Connect(host::Core(), key);
    for (const Step &step : c.steps) {
      const host::Library &lib = host::Of(step.by);
      DEVHANDLE device = step.by == Build::kBase ? base_device : core_device;
      const BYTE any[16] = {};
      ASSERT_EQ(SKF_OF(lib, SKF_DevAuth)(device, any, sizeof any), SAR_OK) << c.what;
      HAPPLICATION created = nullptr;
      const ULONG result =
          step.change == Change::kDelete ? SKF_OF(lib, SKF_DeleteApplication)(device, app_name)
          : step.change == Change::kCreate
              ? SKF_OF(lib, SKF_CreateApplication)(device, app_name, pin, 3, pin, 3, 0xFF, &created)
              : SKF_OF(lib, SKF_FormatCard)(device_key);
      ASSERT_EQ(result, SAR_OK) << c.what;
    }
    HAPPLICATION again = OpenApp(base, base_device);
    EXPECT_EQ(FileNames(base, again), "") << c.what;
    FILEATTRIBUTE info{};
    EXPECT_EQ(SKF_OF(base, SKF_GetFileInfo)(again, file, &info), SAR_FILE_NOT_EXIST) << c.what;
    BYTE out[16] = {};
    ULONG length = sizeof out;
    EXPECT_EQ(SKF_OF(base, SKF_ReadFile)(again, file, 0, sizeof out, out, &length),
              SAR_FILE_NOT_EXIST)
        << c.what;
    vkey::Remove(key);
  }
}

TEST_F(KeyFileCacheTest, FirstCallConnectDevBindsReaderio) {
  const std::string key = NewKey(true, 31016);
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
  EXPECT_EQ(Child(key, "connect"), 0);
}

}  // namespace
}  // namespace legacytest
