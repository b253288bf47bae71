#include "platform/cardcmd/reader_names.h"

#include <cstring>
#include <mutex>

#include "skf/card/device.h"

std::vector<std::string> KeyReaderNames() {
  // The card layer binds readerio on first use and keeps no lock of its own.
  static std::mutex lock;
  const std::lock_guard guard(lock);
  char joined[kReaderListSize] = {};
  std::uint32_t length = 0;
  std::vector<std::string> names;
  if (QX_EnumReaderNames(0, joined, &length) != 0) return names;
  for (std::size_t at = 0; at < length && at < sizeof joined;) {
    const std::size_t n = strnlen(joined + at, sizeof joined - at);
    names.emplace_back(joined + at, n);
    at += n + 1;
  }
  return names;
}
