// Symmetric algorithm identifiers as the card sees them: ECB or CBC, the card mode byte (P2 of
// 80 F3 / 80 F1) and the piece size of the short commands.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kAlgSoftDes = 1;  // two-key triple DES ECB, in software
inline constexpr std::uint32_t kAlgSm1Ecb = 0x101;
inline constexpr std::uint32_t kAlgSm1Cbc = 0x102;
inline constexpr std::uint32_t kAlgSsf33Ecb = 0x201;
inline constexpr std::uint32_t kAlgSm4Ecb = 0x401;
inline constexpr std::uint32_t kAlgSm4Cbc = 0x402;

inline constexpr int kSymBlock = 16;
inline constexpr int kSymKeySize = 16;
inline constexpr int kDesBlock = 8;

struct SymMode {
  std::uint32_t alg_id;
  bool ecb;
  std::uint8_t card_mode;
  int short_piece;
};

// clang-format off
inline constexpr SymMode kSymModes[] = {
  //  identifier    ECB    mode  short piece
    {kAlgSm1Ecb,   true,  0x01, 112},
    {kAlgSsf33Ecb, true,  0x00, 112},
    {kAlgSm4Ecb,   true,  0x02, 16},
    {kAlgSm1Cbc,   false, 0x81, 16},
    {kAlgSm4Cbc,   false, 0x82, 16},
};
// clang-format on
// Every other identifier (SSF33 CBC, the MAC identifiers, 1 on the card path) runs as CBC.
inline constexpr SymMode kSymOtherMode = {0, false, 0x80, 16};

constexpr SymMode SymModeOf(std::uint32_t alg_id) {
  for (const SymMode &m : kSymModes) {
    if (m.alg_id == alg_id) return m;
  }
  return kSymOtherMode;
}
