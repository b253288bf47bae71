// SHA-1 (FIPS 180-4) in own code for POSIX systems.
#include <cstring>

#include "skf/crypto/sha1.h"

namespace {

constexpr int kBlock = 64;

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t Load32BE(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Store32BE(uint32_t v, uint8_t *p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

void Transform(uint32_t h[5], const uint8_t block[kBlock]) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = Load32BE(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5a827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ed9eba1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8f1bbcdc;
    } else {
      f = b ^ c ^ d;
      k = 0xca62c1d6;
    }
    const uint32_t next = Rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = next;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

int SHA1_Digest(const uint8_t *data, uint32_t len, uint8_t *digest, uint32_t *digestLen) {
  if (digest == nullptr || digestLen == nullptr || (data == nullptr && len != 0)) return -1;
  uint32_t h[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
  uint32_t rest = len;
  for (; rest >= kBlock; rest -= kBlock, data += kBlock) Transform(h, data);

  // Final one or two blocks: the tail, 0x80, zeros, the 64-bit big-endian bit count.
  uint8_t tail[2 * kBlock] = {};
  if (rest > 0) std::memcpy(tail, data, rest);
  tail[rest] = 0x80;
  const int total = rest < 56 ? kBlock : 2 * kBlock;
  const uint64_t bits = uint64_t{len} * 8;
  Store32BE(static_cast<uint32_t>(bits >> 32), tail + total - 8);
  Store32BE(static_cast<uint32_t>(bits), tail + total - 4);
  for (int off = 0; off < total; off += kBlock) Transform(h, tail + off);

  for (int i = 0; i < 5; ++i) Store32BE(h[i], digest + 4 * i);
  *digestLen = kSha1DigestSize;
  return 0;
}
