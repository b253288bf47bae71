#include "pin_mapping.h"

#include "skf/card/pin_cache.h"

#if defined(_WIN32)
#include <windows.h>

PinMapping::PinMapping(std::size_t size, const char *name) : size_(size), name_(name) {
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(size), name);
  if (!h) return;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  view_ = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size);
}

PinMapping::~PinMapping() {
  if (view_) UnmapViewOfFile(view_);
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void PinMapping::RemoveAny() {}  // gone with its last handle

#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace {
std::string PathOf(const char *name) { return std::string("/") + name; }
}  // namespace

PinMapping::PinMapping(std::size_t size, const char *name) : size_(size), name_(name) {
  const int fd = shm_open(PathOf(name).c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
  if (fd < 0) return;
  handle_ = fd;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return;
  void *view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view != MAP_FAILED) view_ = view;
}

PinMapping::~PinMapping() {
  if (view_) munmap(view_, size_);
  if (handle_ != -1) close(static_cast<int>(handle_));
  shm_unlink(PathOf(name_).c_str());
}

void PinMapping::RemoveAny() { shm_unlink(PathOf(kPinCacheName).c_str()); }
#endif
