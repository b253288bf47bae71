// The record behind a session-key handle. Allocated zeroed by the export that makes the key;
// never freed.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

inline constexpr std::size_t kSessionKeyArea = 256;  // the operations use the first 16 bytes
inline constexpr std::size_t kSessionKeyUsed = 16;
inline constexpr std::size_t kSessionIvSize = 32;
inline constexpr std::size_t kSessionPendingSize = 32;

struct SessionKeyHandle {
  std::uint32_t dwAlgID;
  std::uint32_t bPadding;  // 0 none; otherwise 16-byte block padding
  std::uint8_t Key[kSessionKeyArea];
  std::uint32_t IVLen;
  std::uint8_t IV[kSessionIvSize];  // chain value, advanced by CBC update steps
  std::uint32_t PendingLen;         // bytes held back between update calls, at most 16
  std::uint32_t Finished;           // set by the encryption final step
  std::uint8_t Pending[kSessionPendingSize];
  DEVHANDLE hDev;
};
