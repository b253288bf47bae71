// The card's symmetric cipher commands (80 F3 ECB, 80 F1 CBC; key in clear in every command),
// the extended-length probe and the reader's data length that sets the piece size.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

// A piece never exceeds the work buffers.
inline constexpr int kSymPieceMax = 40960;
inline constexpr std::uint32_t kReaderInfoSize = 512;
inline constexpr std::uint32_t kReaderInfoDefaultMax = 134;  // a reader that leaves M alone

struct SymLink {
  int bSupLong;  // 1: extended commands, pieces of `piece` bytes
  int piece;     // 0 when bSupLong is 0
};

// Sends the probe and asks readerio for M. Extended commands need both to succeed and
// ((M >> 4) - 3) x 16 to be at least one block (clamped to kSymPieceMax); otherwise short.
SymLink QX_SymProbe(DEVHANDLE device);

// One card command per piece of at most `piece` bytes (the last shorter); in CBC each further
// command takes as IV the last ciphertext block of the previous one. `out` must hold `in`;
// *out_length grows by the bytes written. A short command that cannot carry a piece, a card
// answer shorter than its piece, a transport failure or any status but 9000: -1.
int QX_SymEncryptEcb(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     std::span<const std::uint8_t> in, std::span<std::uint8_t> out, int *out_length,
                     std::uint8_t card_mode);
int QXEX_SM1Decrypt(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                    std::span<const std::uint8_t> in, std::span<std::uint8_t> out, int *out_length,
                    std::uint8_t card_mode);
int QX_SymEncryptCbc(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     const std::uint8_t iv[16], std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, int *out_length, std::uint8_t card_mode);
int QX_SymDecryptCbc(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     const std::uint8_t iv[16], std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, int *out_length, std::uint8_t card_mode);
