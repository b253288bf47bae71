// One-shot SHA-1, provided by the platform layer (platform/os).
#pragma once

#include <cstdint>

inline constexpr int kSha1DigestSize = 20;

// Hashes len bytes into digest (20 bytes); *digestLen = 20. Returns 0, or -1 on failure.
int SHA1_Digest(const uint8_t *data, uint32_t len, uint8_t *digest, uint32_t *digestLen);
