// Output rules of the key exports: a NULL buffer gets the length needed (plus the extra byte
// some exports report), a buffer shorter than the result gets SAR_BUFFER_TOO_SMALL with the
// length needed and nothing written.
#pragma once

#include <cstring>
#include <span>

#include "skf.h"

inline ULONG CopyResult(std::span<const std::uint8_t> result, BYTE *out, ULONG *length,
                        ULONG extra_for_null) {
  const ULONG size = static_cast<ULONG>(result.size());
  if (!out) {
    *length = size + extra_for_null;
    return SAR_OK;
  }
  if (*length < size) {
    *length = size;
    return SAR_BUFFER_TOO_SMALL;
  }
  if (size) std::memcpy(out, result.data(), size);
  *length = size;
  return SAR_OK;
}

// Symmetric identifiers a wrapped or agreed session key may carry.
inline bool IsSessionKeyAlg(ULONG alg_id) {
  switch (alg_id) {
    case SGD_SM1_ECB:
    case SGD_SM1_CBC:
    case SGD_SSF33_ECB:
    case SGD_SSF33_CBC:
    case SGD_SMS4_ECB:
    case SGD_SMS4_CBC:
      return true;
    default:
      return false;
  }
}
