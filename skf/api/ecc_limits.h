// Sizes and bounds of the SM2 exports, and the card ciphertext of a caller's cipher blob.
#pragma once

#include <cstdint>
#include <span>

#include "skf.h"
#include "skf/card/key_blobs.h"

inline constexpr std::size_t kEccValue = 32;
inline constexpr std::size_t kEccPoint = 64;
inline constexpr std::size_t kEccCipherOverhead = 96;  // C1 and C3
inline constexpr ULONG kEccBits = 256;
// The longest C2 whose card command fits the 2048-byte extended command buffer.
inline constexpr ULONG kEccCipherMax = 2048 - 105;
inline constexpr std::size_t kEccCardCipherMax = kEccCipherMax + kEccCipherOverhead;

// C1 C2 C3 of `blob` into `out`; its length, or 0 when CipherLen exceeds kEccCipherMax.
inline std::size_t CardCipher(const ECCCIPHERBLOB &blob,
                              std::span<std::uint8_t, kEccCardCipherMax> out) {
  int length = 0;
  return EccCipherFromBlob(&blob, kEccCipherMax, out, &length) == 0
             ? static_cast<std::size_t>(length)
             : 0;
}

// A card ciphertext of `length` bytes (at least 96) into the caller's blob, which holds its C2.
inline void CipherToCallerBlob(const std::uint8_t *card, std::size_t length, ECCCIPHERBLOB *blob) {
  EccCipherToBlob({card, length}, blob, length - kEccCipherOverhead);
}
