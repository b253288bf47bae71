// SHA-256 (FIPS 180-4).
#pragma once

#include <cstdint>

inline constexpr int kSha256DigestSize = 32;
inline constexpr int kSha256BlockSize = 64;

struct Sha256Context {
  uint32_t bitCountLow;   // bits absorbed in whole blocks, low word
  uint32_t bitCountHigh;  // high word
  uint32_t fill;          // bytes waiting in block (0..63)
  uint32_t state[8];      // H0..H7
  uint8_t block[64];      // partial block
};

// Counts 0 and the initial hash value; returns 0.
int SHA256_InitContext(Sha256Context *ctx);
// Returns 1 without doing anything when fill exceeds 64 (a corrupt context), else 0.
int SHA256_UpdateContext(Sha256Context *ctx, const uint8_t *data, uint32_t len);
// Pads and writes H0..H7 big-endian; returns 1 without output when fill exceeds 63, else 0.
int SHA256_FinalContext(uint8_t digest[32], Sha256Context *ctx);
// Compression function over one block.
void SHA256_TransformBlock(uint32_t state[8], const uint8_t block[64]);
// One-shot digest; *digestLen = 32; returns 0.
int SHA256_Digest(const uint8_t *data, uint32_t len, uint8_t digest[32], uint32_t *digestLen);
