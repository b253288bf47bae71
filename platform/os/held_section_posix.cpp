#include "platform/os/os.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace os {

namespace {

constexpr mode_t kOwnerOnly = 0600;

int Lock(int fd, int operation) {
  int result = 0;
  while ((result = flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

}  // namespace

// Every process that holds the section keeps a shared lock on it through its open descriptor,
// which the system lets go when the process ends. An exclusive lock is had only while no other
// process holds one: that process is the first and empties the section before it shares it.
void *MapHeldSection(const char *name, std::size_t size) {
  const std::string path = std::string("/") + name;
  const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT, kOwnerOnly);
  if (fd < 0) return nullptr;
  const bool first = Lock(fd, LOCK_EX | LOCK_NB) == 0;
  // Otherwise this waits while a first holder empties it.
  if (!first && (errno != EWOULDBLOCK || Lock(fd, LOCK_SH) != 0)) {
    close(fd);
    return nullptr;
  }
  struct stat st {};
  void *view = MAP_FAILED;
  if (fstat(fd, &st) == 0 && (static_cast<std::size_t>(st.st_size) >= size ||
                              ftruncate(fd, static_cast<off_t>(size)) == 0)) {
    view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (view != MAP_FAILED && first) {
    std::memset(view, 0, size);
    if (Lock(fd, LOCK_SH) != 0) {
      munmap(view, size);
      view = MAP_FAILED;
    }
  }
  if (view == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  // The descriptor stays open, and with it the lock, until the process ends.
  return view;
}

}  // namespace os
