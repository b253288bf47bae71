// SHA-1 (FIPS 180-4) in own code for POSIX systems.
#include <algorithm>
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

int SHA1_Init(Sha1Context *ctx) {
  if (ctx == nullptr) return -1;
  *ctx = Sha1Context{{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0}, 0, {}};
  return 0;
}

int SHA1_Update(Sha1Context *ctx, const uint8_t *data, uint32_t len) {
  if (ctx == nullptr || (data == nullptr && len != 0)) return -1;
  uint32_t fill = static_cast<uint32_t>(ctx->byteCount % kBlock);
  ctx->byteCount += len;
  if (fill > 0) {
    const uint32_t take = std::min<uint32_t>(len, kBlock - fill);
    std::memcpy(ctx->block + fill, data, take);
    data += take;
    len -= take;
    fill += take;
    if (fill < kBlock) return 0;
    Transform(ctx->state, ctx->block);
  }
  for (; len >= kBlock; len -= kBlock, data += kBlock) Transform(ctx->state, data);
  if (len > 0) std::memcpy(ctx->block, data, len);
  return 0;
}

int SHA1_Final(const Sha1Context *ctx, uint8_t digest[kSha1DigestSize]) {
  if (ctx == nullptr || digest == nullptr) return -1;
  // The last one or two blocks: the tail, 0x80, zeros, the 64-bit big-endian bit count.
  uint32_t h[5];
  std::memcpy(h, ctx->state, sizeof h);
  const uint32_t rest = static_cast<uint32_t>(ctx->byteCount % kBlock);
  uint8_t tail[2 * kBlock] = {};
  std::memcpy(tail, ctx->block, rest);
  tail[rest] = 0x80;
  const int total = rest < 56 ? kBlock : 2 * kBlock;
  const uint64_t bits = ctx->byteCount * 8;
  Store32BE(static_cast<uint32_t>(bits >> 32), tail + total - 8);
  Store32BE(static_cast<uint32_t>(bits), tail + total - 4);
  for (int off = 0; off < total; off += kBlock) Transform(h, tail + off);
  for (int i = 0; i < 5; ++i) Store32BE(h[i], digest + 4 * i);
  return 0;
}

int SHA1_Digest(const uint8_t *data, uint32_t len, uint8_t *digest, uint32_t *digestLen) {
  if (digest == nullptr || digestLen == nullptr) return -1;
  Sha1Context ctx;
  if (SHA1_Init(&ctx) != 0 || SHA1_Update(&ctx, data, len) != 0 || SHA1_Final(&ctx, digest) != 0) {
    return -1;
  }
  *digestLen = kSha1DigestSize;
  return 0;
}
