#include "skf/api/session_key.h"

#include <cstring>
#include <new>

SessionKeyHandle *NewSessionKeyHandle(std::uint32_t alg_id, std::span<const std::uint8_t> key,
                                      DEVHANDLE device) {
  if (key.size() > kSessionKeyArea) return nullptr;
  auto *record = new (std::nothrow) SessionKeyHandle{};
  if (!record) return nullptr;
  record->dwAlgID = alg_id;
  if (!key.empty()) std::memcpy(record->Key, key.data(), key.size());
  record->hDev = device;
  return record;
}
