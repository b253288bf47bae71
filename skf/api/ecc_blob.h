// SM2 values between the card (32-byte numbers, points x then y, ciphertexts C1 C2 C3) and the
// blobs, whose 64-byte fields hold each value in their last 32 bytes.
#pragma once

#include <cstdint>
#include <span>

#include "skf.h"

inline constexpr std::size_t kEccValue = 32;
inline constexpr std::size_t kEccPoint = 64;
inline constexpr std::size_t kEccCipherOverhead = 96;  // C1 and C3
inline constexpr ULONG kEccBits = 256;
// The longest C2 whose card command fits the 2048-byte extended command buffer.
inline constexpr ULONG kEccCipherMax = 2048 - 105;
// A card ciphertext: C1, up to kEccCipherMax bytes of C2, C3.
inline constexpr std::size_t kEccCardCipherMax = kEccCipherMax + kEccCipherOverhead;

// The leading 32 bytes of each field are left as they were.
void PointToBlob(std::span<const std::uint8_t, kEccPoint> point, ECCPUBLICKEYBLOB *blob);
void PointFromBlob(const ECCPUBLICKEYBLOB &blob, std::uint8_t point[kEccPoint]);
void PrivateFromBlob(const ECCPRIVATEKEYBLOB &blob, std::uint8_t key[kEccValue]);
// r || s of 64 bytes into and out of the blob.
void SignatureToBlob(std::span<const std::uint8_t, kEccPoint> rs, ECCSIGNATUREBLOB *blob);
void SignatureFromBlob(const ECCSIGNATUREBLOB &blob, std::uint8_t rs[kEccPoint]);
// Card order C1 C2 C3 from the blob into `out` (kEccCardCipherMax bytes); its length, or 0
// when CipherLen exceeds kEccCipherMax.
std::size_t CipherFromBlob(const ECCCIPHERBLOB &blob,
                           std::span<std::uint8_t, kEccCardCipherMax> out);
// C1 C2 C3 (at least 96 bytes) into the blob; CipherLen = length - 96. The caller's blob holds
// the C2 bytes.
void CipherToBlob(std::span<const std::uint8_t> card, ECCCIPHERBLOB *blob);
