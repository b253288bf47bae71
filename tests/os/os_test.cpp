#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/os/os.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A mapping made by another party, as the library expects to find one.
class CreatedMapping {
 public:
  CreatedMapping(const std::string &name, std::size_t size) : size_(size) {
#if defined(_WIN32)
    handle_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                 static_cast<DWORD>(size), name.c_str());
    view_ = static_cast<std::uint8_t *>(MapViewOfFile(handle_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
#else
    path_ = "/" + name;
    const int fd = shm_open(path_.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0) {
      void *v = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      view_ = v == MAP_FAILED ? nullptr : static_cast<std::uint8_t *>(v);
    }
    if (fd >= 0) close(fd);
#endif
  }
  ~CreatedMapping() {
#if defined(_WIN32)
    if (view_) UnmapViewOfFile(view_);
    if (handle_) CloseHandle(handle_);
#else
    if (view_) munmap(view_, size_);
    shm_unlink(path_.c_str());
#endif
  }
  std::uint8_t *view() const { return view_; }

 private:
  std::size_t size_;
  std::uint8_t *view_ = nullptr;
#if defined(_WIN32)
  HANDLE handle_ = nullptr;
#else
  std::string path_;
#endif
};

std::string UniqueName() {
#if defined(_WIN32)
  return "cardtest" + std::to_string(GetCurrentProcessId());
#else
  return "cardtest" + std::to_string(getpid());
#endif
}

TEST(SharedMappingTest, OpensAnExistingMappingOnly) {
  const std::string name = UniqueName();
  {
    os::SharedMapping absent(name.c_str());
    EXPECT_FALSE(absent.IsOpen());
    EXPECT_TRUE(absent.View().empty());
  }
  CreatedMapping created(name, 64);
  ASSERT_NE(created.view(), nullptr);
  std::memcpy(created.view(), "123456", 7);
  {
    os::SharedMapping opened(name.c_str());
    ASSERT_TRUE(opened.IsOpen());
    ASSERT_GE(opened.View().size(), 64u);
    EXPECT_STREQ(reinterpret_cast<const char *>(opened.View().data()), "123456");
    std::memcpy(opened.View().data(), "654321", 7);
  }
  EXPECT_STREQ(reinterpret_cast<const char *>(created.view()), "654321");
}

// A mapping made here is the current user's alone: on Windows its DACL grants that user, and no
// one else, full access to it; on POSIX its mode is 0600.
TEST(SharedMappingTest, MadeForTheCurrentUserOnly) {
  const std::string name = UniqueName() + "-made";
  os::SharedMapping made(name.c_str(), 64);
  ASSERT_TRUE(made.IsOpen());
  ASSERT_GE(made.View().size(), 64u);
#if defined(_WIN32)
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  HANDLE mapping = OpenFileMappingA(READ_CONTROL, FALSE, name.c_str());
  ASSERT_NE(mapping, nullptr);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(mapping, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  EXPECT_EQ(dacl->AceCount, 1);
  void *ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &ace));
  const auto *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Mask & FILE_MAP_ALL_ACCESS, static_cast<DWORD>(FILE_MAP_ALL_ACCESS));
  EXPECT_TRUE(EqualSid(const_cast<DWORD *>(&allowed->SidStart),
                       reinterpret_cast<TOKEN_USER *>(user)->User.Sid));
  LocalFree(descriptor);
  CloseHandle(mapping);
#else
  const std::string path = "/" + name;
  const int fd = shm_open(path.c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  struct stat st {};
  EXPECT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  close(fd);
  shm_unlink(path.c_str());
#endif
}

const char kAnchor = 0;  // an address inside this program

TEST(ModuleTest, FileNameIsBoundedToItsBuffer) {
  char name[260];
  ASSERT_GT(os::ModuleFileName(os::ModuleOf(&kAnchor), name), 0);
  char tiny[4];
  EXPECT_EQ(os::ModuleFileName(os::ModuleOf(&kAnchor), tiny), -1);
  EXPECT_EQ(tiny[0], '\0');
  EXPECT_EQ(os::OpenLibrary("no-such-library-here"), nullptr);
}

}  // namespace
