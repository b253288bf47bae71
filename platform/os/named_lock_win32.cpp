#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

#include "platform/os/os.h"

namespace os {

namespace {

// Beside the mutex, in a named mapping of its own: the same layout for 32- and 64-bit processes.
struct LockCounts {
  std::uint32_t depth;  // takings of the owning thread; only the owner touches it
  std::uint32_t unused;
  alignas(8) std::uint64_t takings;
};
static_assert(sizeof(LockCounts) == 16 && offsetof(LockCounts, takings) == 8);

}  // namespace

// A named mutex of the session: the system gives it up as abandoned when its owning thread ends.
struct NamedLock {
  HANDLE mutex;
  LockCounts *counts;
};

NamedLock *OpenNamedLock(const char *name) {
  const std::string local = std::string("Local\\") + name;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, local.c_str());
  if (!mutex) return nullptr;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(LockCounts), (local + ".counts").c_str());
  void *view =
      mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LockCounts)) : nullptr;
  auto *lock =
      view ? new (std::nothrow) NamedLock{mutex, static_cast<LockCounts *>(view)} : nullptr;
  if (!lock) {
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
    CloseHandle(mutex);
    return nullptr;
  }
  // The handles stay open until the process ends: under Wine a mapping loses its name with its
  // last handle, whatever views remain.
  return lock;
}

bool TakeNamedLock(NamedLock *lock, std::uint32_t timeout_ms) {
  const DWORD waited = WaitForSingleObject(lock->mutex, timeout_ms);
  if (waited == WAIT_ABANDONED) {
    lock->counts->depth = 0;  // its owner ended holding it: nothing it guarded is assumed
  } else if (waited != WAIT_OBJECT_0) {
    return false;
  }
  if (lock->counts->depth++ == 0) ++lock->counts->takings;
  return true;
}

void GiveNamedLock(NamedLock *lock) {
  if (lock->counts->depth > 0) --lock->counts->depth;
  ReleaseMutex(lock->mutex);
}

std::uint64_t NamedLockTakings(const NamedLock *lock) { return lock->counts->takings; }

}  // namespace os
