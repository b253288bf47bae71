// MD5 (RFC 1321), used to turn an administrator PIN into a card key.
#pragma once

#include <cstdint>

inline constexpr int kMd5DigestSize = 16;
inline constexpr int kMd5BlockSize = 64;

struct Md5Context {
  uint32_t state[4];   // chaining words A, B, C, D
  uint32_t count[2];   // message length in bits: low word, high word
  uint8_t buffer[64];  // partial block
};

void MD5_InitContext(Md5Context *ctx);
void MD5_UpdateContext(Md5Context *ctx, const uint8_t *data, uint32_t len);
// Writes the digest, then overwrites the whole context with zeros.
void MD5_FinalContext(Md5Context *ctx, uint8_t digest[16]);
void MD5_Digest(const uint8_t *data, uint32_t len, uint8_t digest[16]);
