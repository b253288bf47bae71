// SHA-1, provided by the platform layer (platform/os): one-shot, and a running state for a
// digest fed in parts (Windows: a CryptoAPI hash object; POSIX: own code).
#pragma once

#include <cstdint>

inline constexpr int kSha1DigestSize = 20;

// Hashes len bytes into digest (20 bytes); *digestLen = 20. Returns 0, or -1 on failure.
int SHA1_Digest(const uint8_t *data, uint32_t len, uint8_t *digest, uint32_t *digestLen);

// Running SHA-1 of constant size, whatever the amount of data.
struct Sha1Context {
#if defined(_WIN32)
  std::uintptr_t hash;  // HCRYPTHASH, made by the first update; kept for the process
#else
  uint32_t state[5];
  uint64_t byteCount;
  uint8_t block[64];  // the partial block; its fill is byteCount mod 64
#endif
};

// Each returns 0, or -1 on failure (the CryptoAPI provider or hash unavailable). SHA1_Init does
// not fail. SHA1_Final writes the digest of all data so far and leaves the state as it was, so
// a later final gives it again.
int SHA1_Init(Sha1Context *ctx);
int SHA1_Update(Sha1Context *ctx, const uint8_t *data, uint32_t len);
int SHA1_Final(const Sha1Context *ctx, uint8_t digest[kSha1DigestSize]);
