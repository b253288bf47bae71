// SM3 hash (GB/T 32905).
#pragma once

#include <cstdint>

inline constexpr int kSm3DigestSize = 32;
inline constexpr int kSm3BlockSize = 64;

struct Sm3Context {
  uint32_t state[8];      // chaining value V
  uint32_t bitCountLow;   // message bits absorbed, low word
  uint32_t bitCountHigh;  // message bits absorbed, high word
  uint32_t T[64];         // round constants T_j
  uint8_t block[64];      // partial block; its fill is (bitCountLow / 8) mod 64
};

// Sets the IV, zeroes the bit count and fills T.
void SM3_Init(Sm3Context *ctx);
void SM3_Update(Sm3Context *ctx, const uint8_t *data, uint32_t len);
// Pads, writes the digest (8 big-endian words) and zeroes the whole context.
void SM3_Final(Sm3Context *ctx, uint8_t digest[32]);

// Compression function CF over one block.
void SM3_Compress(uint32_t state[8], const uint32_t T[64], const uint8_t block[64]);
// Message expansion of 16 words to W0..W67 and W'0..W'63.
void SM3_Expand(const uint32_t words[16], uint32_t W[68], uint32_t W1[64]);

uint32_t SM3_GetU32BE(const uint8_t bytes[4]);
void SM3_PutU32BE(uint32_t value, uint8_t bytes[4]);
