#include <cstring>
#include <string>

#include "card_fixture.h"
#include "platform/os/os.h"
#include "skf/card/apdu.h"
#include "skf/card/binding.h"
#include "skf/card/device.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct PathCase {
  std::string module;
  char separator;
  std::string file;
  bool fits;
  std::string expected;
};

TEST(ReaderLibPathTest, FormsTheFolderOfTheModule) {
  const std::string folder250(250, 'k');
  const std::string long_module = "C:\\" + folder250 + "\\tokencore.dll";
  // 246 + separator + "readerio.dll" (12) = 259 characters and the NUL: exactly fits.
  const std::string fitting = std::string(246, 'f') + "\\tokencore.dll";
  const PathCase cases[] = {
      {"C:\\keys\\tokencore.dll", '\\', "readerio.dll", true, "C:\\keys\\readerio.dll"},
      {"", '\\', "readerio.dll", true, "readerio.dll"},
      {"tokencore.dll", '\\', "readerio.dll", true, "\\readerio.dll"},
      {"/opt/key/libtokencore.so", '/', "readerio.so", true, "/opt/key/readerio.so"},
      {fitting, '\\', "readerio.dll", true, std::string(246, 'f') + "\\readerio.dll"},
      {std::string(247, 'f') + "\\tokencore.dll", '\\', "readerio.dll", false, ""},
      {long_module, '\\', "readerio.dll", false, ""},
  };
  for (const PathCase &c : cases) {
    char out[kPathSize];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(FormReaderLibPath(c.module, c.separator, c.file, out), c.fits) << c.module;
    EXPECT_EQ(std::string(out), c.expected) << c.module;
  }
}

TEST(ReaderLibPathTest, IsSetAtLoadBesideTheModule) {
  EXPECT_EQ(std::string(ReaderLibPath), TestFolder() + std::string(kReaderLibName));
  EXPECT_NE(ModuleHandle, nullptr);
}

bool IsLoaded(const std::string &path) {
#if defined(_WIN32)
  return GetModuleHandleA(path.c_str()) != nullptr;
#else
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
#endif
}

// Restores the binding state that the other tests rely on.
class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_path_, ReaderLibPath, sizeof saved_path_);
    saved_api_ = ReaderApi;
    ReaderApi = {};
  }
  void TearDown() override {
    std::memcpy(ReaderLibPath, saved_path_, sizeof saved_path_);
    ReaderApi = saved_api_;
  }
  void Point(const std::string &path) {
    std::memset(ReaderLibPath, 0, sizeof ReaderLibPath);
    std::memcpy(ReaderLibPath, path.data(), path.size());
  }

  char saved_path_[kPathSize];
  ReaderApiTable saved_api_;
};

TEST(EntryPointTest, LibraryRecordsItsOwnFolderAtLoad) {
  const std::string folder = TestFolder() + "probe" + kPathSeparator;
#if defined(_WIN32)
  const std::string file = folder + "cardprobe.dll";
#else
  const std::string file = folder + "cardprobe.so";
#endif
  void *library = os::OpenLibrary(file.c_str());
  ASSERT_NE(library, nullptr) << file;
  using Text = const char *(*)();
  using Handle = void *(*)();
  const auto path = reinterpret_cast<Text>(os::LibrarySymbol(library, "CardProbe_ReaderLibPath"));
  const auto handle =
      reinterpret_cast<Handle>(os::LibrarySymbol(library, "CardProbe_ModuleHandle"));
  ASSERT_TRUE(path && handle);
  EXPECT_EQ(std::string(path()), folder + std::string(kReaderLibName));
#if defined(_WIN32)
  EXPECT_EQ(handle(), library);
#else
  EXPECT_NE(handle(), nullptr);
#endif
  os::CloseLibrary(library);
}

TEST(EntryPointTest, OtherReasonsKeepThePath) {
  char saved[kPathSize];
  std::memcpy(saved, ReaderLibPath, sizeof saved);
  void *const saved_module = ModuleHandle;
  int marker = 0;
  for (unsigned long reason : {0ul, 2ul, 3ul}) {
    EXPECT_EQ(SetReaderLibPath(&marker, reason, nullptr), 1);
    EXPECT_EQ(ModuleHandle, &marker);
    EXPECT_EQ(0, std::memcmp(saved, ReaderLibPath, sizeof saved));
  }
  ModuleHandle = saved_module;
}

TEST_F(BindingTest, MissingNameUnbindsAndTheNextCallTriesAgain) {
  const std::string sep(1, kPathSeparator);
  const std::string partial = TestFolder() + "partial" + sep + std::string(kReaderLibName);
  Point(partial);
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::uint32_t length = 77;
    EXPECT_EQ(QX_EnumReaderNames(0, {}, &length), -1);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(QX_OpenByPath("A"), nullptr);
    EXPECT_EQ(ReaderApi.module, nullptr);
    EXPECT_FALSE(IsLoaded(partial)) << "readerio stays loaded after a failed binding";
  }
  Point(TestFolder() + "absent" + sep + std::string(kReaderLibName));
  EXPECT_EQ(BindReaderApi(), -1);
  Point("");  // a module path too long for readerio's
  EXPECT_EQ(BindReaderApi(), -1);

  // A complete readerio at the path binds on the next call.
  Point(TestFolder() + std::string(kReaderLibName));
  Fake().Reset();
  std::uint32_t length = 77;
  EXPECT_EQ(QX_EnumReaderNames(0, {}, &length), 0);
  EXPECT_EQ(length, 0u);
  EXPECT_NE(ReaderApi.module, nullptr);
  EXPECT_NE(ReaderApi.QX_GetReaderInfo, nullptr);
}

TEST_F(BindingTest, UnboundReaderioIsNeverCalled) {
  std::uint8_t buffer[32];
  char serial[kSerialTextSize];
  Fake().Reset();
  EXPECT_EQ(QX_Close(kFakeDevice), 0);
  EXPECT_EQ(Fake().ClosedCount(), 0u);
  EXPECT_EQ(QX_ResetCardAtr(kFakeDevice, buffer), kCardFailed);
  EXPECT_EQ(QX_ReadDescriptor(kFakeDevice, buffer), kCardFailed);
  EXPECT_EQ(QX_GET_BCDSN(kFakeDevice, serial), kCardFailed);
  const std::uint8_t command[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  EXPECT_EQ(QX_Application_Manager(kFakeDevice, command, buffer, nullptr), kApduFailed);
  EXPECT_EQ(Fake().SentCount(), 0u);
}

}  // namespace
