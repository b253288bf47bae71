#include "skf/card/pin_cache.h"

#include <cstring>
#include <mutex>

#include "platform/os/os.h"

namespace {
// The threads of this process take turns at the mapping; other processes are not held off.
std::mutex MappingLock;
}  // namespace

int GetPin_FromMap(char pin[kPinTextSize]) {
  const std::lock_guard<std::mutex> guard(MappingLock);
  os::SharedMapping mapping(kPinCacheName);
  const auto view = mapping.View();
  if (view.empty()) return -2;
  const auto *text = reinterpret_cast<const char *>(view.data());
  const std::size_t room = view.size() < kPinTextSize ? view.size() : kPinTextSize;
  const std::size_t length = strnlen(text, room);
  if (length == 0 || length == room) return -1;  // empty, or no NUL within 17 bytes
  std::memcpy(pin, text, length + 1);
  return 0;
}

int SetPin_ToMap(const char *pin) {
  if (!pin) return -1;
  const std::lock_guard<std::mutex> guard(MappingLock);
  os::SharedMapping mapping(kPinCacheName);
  const auto view = mapping.View();
  if (view.empty()) return -1;
  std::size_t length = strnlen(pin, kPinTextMax);
  if (length >= view.size()) length = view.size() - 1;
  std::memcpy(view.data(), pin, length);
  view[length] = 0;
  return 0;
}
