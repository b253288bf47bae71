// The five devnotify exports. No exception leaves them but a cancelled thread's unwind
// (platform/os/cancel.h).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/devnotify/devnotify.h"
#include "platform/devnotify/known_readers.h"
#include "platform/devnotify/watcher.h"
#include "platform/os/cancel.h"

namespace {

template <typename T, typename F>
T Guarded(T failure, F &&work) {
  return os::Guarded<T>(failure, work);
}

}  // namespace

extern "C" {

int32_t DEVNOTIFY_API QX_RegisterCardNotification(HWND window, int32_t) {
  return Guarded(0, [&] { return StartWatching(window) ? 1 : 0; });
}

int32_t DEVNOTIFY_API QX_UnregisterCardNotification(void) {
  return Guarded(0, [] {
    StopWatching();
    return 1;
  });
}

int32_t DEVNOTIFY_API QX_IsQXDevice(const char *name) {
  return Guarded(0, [&] {
    if (!name) return 0;
    const std::size_t n = strnlen(name, DEVNOTIFY_NAME_SLOT);
    return n > 0 && n < DEVNOTIFY_NAME_SLOT && IsKeyReader(std::string(name, n)) ? 1 : 0;
  });
}

// One block: the pointers to the slots, then the slots, so name i is at list[0] + 260 * i.
char **DEVNOTIFY_API QX_GetReaderList(int32_t *count, int32_t) {
  return Guarded<char **>(nullptr, [&]() -> char ** {
    if (!count) return nullptr;
    *count = 0;
    const auto names = ListKeyReaders();
    if (names.empty()) return nullptr;
    const std::size_t n = names.size();
    auto *block = static_cast<char *>(std::calloc(n, sizeof(char *) + DEVNOTIFY_NAME_SLOT));
    if (!block) return nullptr;
    char **list = reinterpret_cast<char **>(block);
    char *slots = block + n * sizeof(char *);
    for (std::size_t i = 0; i < n; ++i) {
      list[i] = slots + i * DEVNOTIFY_NAME_SLOT;
      std::memcpy(list[i], names[i].data(),
                  std::min<std::size_t>(names[i].size(), DEVNOTIFY_NAME_SLOT - 1));
    }
    *count = static_cast<int32_t>(n);
    return list;
  });
}

int32_t DEVNOTIFY_API QX_DestroyReaderList(char **list) {
  if (!list) return -1;
  std::free(list);
  return 0;
}

}  // extern "C"
