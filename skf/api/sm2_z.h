// The SM2 value Z of a signer: SM3(ENTL || ID || a || b || Gx || Gy || xA || yA) over the
// recommended curve, ENTL being the ID's length in bits as two big-endian bytes.
#pragma once

#include <cstdint>
#include <span>

inline constexpr std::size_t kSm2CoordinateSize = 32;
// ENTL has 16 bits: IDs up to 8191 bytes.
inline constexpr std::size_t kSm2IdMax = 0xFFFF / 8;

// False (nothing written) for an ID longer than kSm2IdMax.
bool Sm2ZValue(std::span<const std::uint8_t> id, const std::uint8_t x[kSm2CoordinateSize],
               const std::uint8_t y[kSm2CoordinateSize], std::uint8_t z[32]);
