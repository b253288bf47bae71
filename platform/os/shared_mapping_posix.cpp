#include "platform/os/os.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/os/cancel.h"

namespace os {

namespace {

constexpr mode_t kOwnerOnly = 0600;

}  // namespace

SharedMapping::SharedMapping(const char *name) : SharedMapping(name, 0) {}

SharedMapping::SharedMapping(const char *name, std::size_t size) {
  const std::string path = std::string("/") + name;
  const int fd = size ? shm_open(path.c_str(), O_RDWR | O_CREAT, kOwnerOnly)
                      : shm_open(path.c_str(), O_RDWR, 0);
  if (fd < 0) return;
  handle_ = fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return;
  // Every opener makes it large enough: a creator's first ftruncate may not have run yet.
  if (size && static_cast<std::size_t>(st.st_size) < size &&
      (ftruncate(fd, static_cast<off_t>(size)) != 0 || fstat(fd, &st) != 0)) {
    return;
  }
  if (st.st_size <= 0) return;
  void *view = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE,
                    MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return;
  view_ = view;
  size_ = static_cast<std::size_t>(st.st_size);
}

SharedMapping::~SharedMapping() {
  const NoCancel hold;  // close is a cancellation point
  if (view_) munmap(view_, size_);
  if (handle_ != -1) close(static_cast<int>(handle_));
}

}  // namespace os
