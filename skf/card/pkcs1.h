// PKCS#1 v1.5 blocks of k bytes: 00, block type, at least 8 padding bytes, 00, payload.
#pragma once

#include <cstdint>

inline constexpr int kPkcs1Overhead = 11;

// Type 1: FF padding. 0, or -1 when the data exceed k - 11 bytes. `block` holds k bytes.
int PKCS1_PadType1(std::uint8_t *block, const std::uint8_t *data, std::uint32_t data_length,
                   std::uint32_t k);
// Type 2: nonzero padding bytes from a cryptographically secure generator. 0, or -1 when the
// data exceed k - 11 bytes or no random bytes are to be had.
int PKCS1_PadType2(std::uint8_t *block, const std::uint8_t *data, std::uint32_t data_length,
                   std::uint32_t k);
// -1 unless the block is k bytes with the type in byte 1 and its first 00 from byte 2 on lies
// at byte 10 or later; otherwise 0 and the bytes after that 00. `payload` holds k bytes.
int PKCS1_UnpadType1(std::uint8_t *payload, std::uint32_t *payload_length,
                     const std::uint8_t *block, std::uint32_t block_length, std::uint32_t k);
int PKCS1_UnpadType2(std::uint8_t *payload, std::uint32_t *payload_length,
                     const std::uint8_t *block, std::uint32_t block_length, std::uint32_t k);
