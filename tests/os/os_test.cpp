#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/os/os.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
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
