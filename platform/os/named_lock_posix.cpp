#include "platform/os/os.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/os/cancel.h"

namespace os {

// The lock lives in shared memory of the user's own (/dev/shm/NAME.UID): a process-shared,
// robust, recursive mutex. The kernel marks it abandoned when its owner ends; the next taker
// finds that out and takes it over.
struct NamedLock {
  std::atomic<std::uint32_t> ready;  // kReady once the mutex is set up
  std::uint32_t depth;               // takings of the owning thread; only the owner touches it
  std::atomic<std::uint64_t> takings;
  pthread_mutex_t mutex;
};

namespace {

constexpr mode_t kOwnerOnly = 0600;
constexpr std::uint32_t kReady = 0x4B4C4B31;
// Setting up takes microseconds; a process stopped while doing so is not waited for longer.
constexpr int kSetupTries = 200;
constexpr long kSetupPauseNs = 10'000'000;
// A wait for the lock is cut into slices this long.
constexpr std::uint32_t kSliceMs = 100;

bool SetUp(NamedLock *lock) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  const bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
                  pthread_mutex_init(&lock->mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  if (!ok) return false;
  lock->depth = 0;
  lock->takings.store(0);
  lock->ready.store(kReady, std::memory_order_release);
  return true;
}

// An exclusive hold on the file for setting the lock up, waited for a bounded time.
bool HoldForSetup(int fd) {
  for (int i = 0; i < kSetupTries; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    const timespec pause{0, kSetupPauseNs};
    nanosleep(&pause, nullptr);
  }
  return false;
}

NamedLock *MapLock(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_uid != geteuid()) return nullptr;
  if (static_cast<std::size_t>(st.st_size) < sizeof(NamedLock) &&
      ftruncate(fd, sizeof(NamedLock)) != 0) {
    return nullptr;
  }
  void *view = mmap(nullptr, sizeof(NamedLock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return nullptr;
  auto *lock = static_cast<NamedLock *>(view);
  if (lock->ready.load(std::memory_order_acquire) != kReady && !SetUp(lock)) {
    munmap(view, sizeof(NamedLock));
    return nullptr;
  }
  return lock;
}

}  // namespace

NamedLock *OpenNamedLock(const char *name) {
  const std::string path = "/" + std::string(name) + "." + std::to_string(geteuid());
  const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kOwnerOnly);
  if (fd < 0) return nullptr;
  NamedLock *lock = nullptr;
  if (HoldForSetup(fd)) {
    lock = MapLock(fd);
    flock(fd, LOCK_UN);  // the mapping keeps the file open: the hold would outlive close
  }
  close(fd);
  return lock;
}

bool TakeNamedLock(NamedLock *lock, std::uint32_t timeout_ms) {
  std::uint32_t left = timeout_ms;
  int result = 0;
  // In slices, with a cancellation point between them: the mutex's own wait is none.
  for (;;) {
    const std::uint32_t slice = left < kSliceMs ? left : kSliceMs;
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += static_cast<long>(slice) * 1'000'000;
    deadline.tv_sec += deadline.tv_nsec / 1'000'000'000;
    deadline.tv_nsec %= 1'000'000'000;
    result = pthread_mutex_timedlock(&lock->mutex, &deadline);
    if (result != ETIMEDOUT || left == slice) break;
    left -= slice;
    CancellationPoint();
  }
  if (result == EOWNERDEAD) {
    // Its owner ended holding it: nothing it guarded is assumed.
    result = pthread_mutex_consistent(&lock->mutex);
    lock->depth = 0;
    if (result != 0) {
      pthread_mutex_unlock(&lock->mutex);
      return false;
    }
  }
  if (result != 0) return false;
  if (lock->depth++ == 0) lock->takings.fetch_add(1);
  return true;
}

void GiveNamedLock(NamedLock *lock) {
  if (lock->depth > 0) --lock->depth;
  pthread_mutex_unlock(&lock->mutex);
}

std::uint64_t NamedLockTakings(const NamedLock *lock) { return lock->takings.load(); }

}  // namespace os
