#include "skf/crypto/md5.h"

#include <cstring>

namespace {

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t Load32LE(const uint8_t *p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void Store32LE(uint32_t v, uint8_t *p) {
  for (int i = 0; i < 4; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = Load32LE(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = b + Rotl(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void MD5_InitContext(Md5Context *ctx) {
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->count[0] = 0;
  ctx->count[1] = 0;
}

void MD5_UpdateContext(Md5Context *ctx, const uint8_t *data, uint32_t len) {
  if (len == 0) return;
  const uint32_t fill = (ctx->count[0] >> 3) % kMd5BlockSize;
  const uint32_t low = ctx->count[0] + (len << 3);
  if (low < ctx->count[0]) ++ctx->count[1];
  ctx->count[0] = low;
  ctx->count[1] += len >> 29;

  if (fill != 0) {
    const uint32_t take = kMd5BlockSize - fill;
    if (len < take) {
      std::memcpy(ctx->buffer + fill, data, len);
      return;
    }
    std::memcpy(ctx->buffer + fill, data, take);
    Transform(ctx->state, ctx->buffer);
    data += take;
    len -= take;
  }
  for (; len >= kMd5BlockSize; data += kMd5BlockSize, len -= kMd5BlockSize) {
    Transform(ctx->state, data);
  }
  if (len > 0) std::memcpy(ctx->buffer, data, len);
}

void MD5_FinalContext(Md5Context *ctx, uint8_t digest[16]) {
  uint8_t length[8];
  Store32LE(ctx->count[0], length);
  Store32LE(ctx->count[1], length + 4);
  const uint32_t fill = (ctx->count[0] >> 3) % kMd5BlockSize;
  const uint32_t pad = fill < 56 ? 56 - fill : 120 - fill;
  static constexpr uint8_t kPadding[64] = {0x80};
  MD5_UpdateContext(ctx, kPadding, pad);
  MD5_UpdateContext(ctx, length, sizeof length);
  for (int i = 0; i < 4; ++i) Store32LE(ctx->state[i], digest + 4 * i);
  std::memset(ctx, 0, sizeof *ctx);
}

void MD5_Digest(const uint8_t *data, uint32_t len, uint8_t digest[16]) {
  Md5Context ctx;
  MD5_InitContext(&ctx);
  MD5_UpdateContext(&ctx, data, len);
  MD5_FinalContext(&ctx, digest);
}
