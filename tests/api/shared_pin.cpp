#include "shared_pin.h"

#if defined(_WIN32)
#include <windows.h>

SharedPin::SharedPin(std::size_t size) : size_(size) {
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(size), "ZOLTACSP");
  if (!h) return;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  view_ = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size);
}

SharedPin::~SharedPin() {
  if (view_) UnmapViewOfFile(view_);
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr char kName[] = "/ZOLTACSP";
}

SharedPin::SharedPin(std::size_t size) : size_(size) {
  const int fd = shm_open(kName, O_CREAT | O_RDWR | O_TRUNC, 0600);
  if (fd < 0) return;
  handle_ = fd;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return;
  void *view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view != MAP_FAILED) view_ = view;
}

SharedPin::~SharedPin() {
  if (view_) munmap(view_, size_);
  if (handle_ != -1) close(static_cast<int>(handle_));
  shm_unlink(kName);
}
#endif
