#include "skf/crypto/sha256.h"

#include <cstring>

namespace {

constexpr uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
// The sigma functions in nested form: fewer register copies than three separate rotations.
constexpr uint32_t BigSigma0(uint32_t x) { return Rotr(Rotr(Rotr(x, 9) ^ x, 11) ^ x, 2); }
constexpr uint32_t BigSigma1(uint32_t x) { return Rotr(Rotr(Rotr(x, 14) ^ x, 5) ^ x, 6); }
constexpr uint32_t SmallSigma0(uint32_t x) { return Rotr(Rotr(x, 11) ^ x, 7) ^ (x >> 3); }
constexpr uint32_t SmallSigma1(uint32_t x) { return Rotr(Rotr(x, 2) ^ x, 17) ^ (x >> 10); }

uint32_t Load32BE(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Store32BE(uint32_t v, uint8_t *p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// One round. The caller rotates the roles of the eight words instead of moving them:
// d receives the new E and h the new A. bc carries b ^ c in and a ^ b out, which is the
// next round's b ^ c, so Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)) costs three operations.
[[gnu::always_inline]] inline void Round(uint32_t a, uint32_t b, uint32_t c, uint32_t &d,
                                         uint32_t e, uint32_t f, uint32_t g, uint32_t &h,
                                         uint32_t k, uint32_t w, uint32_t &bc) {
  (void)c;
  const uint32_t t1 = h + k + w + BigSigma1(e) + (((f ^ g) & e) ^ g);
  const uint32_t ab = a ^ b;
  const uint32_t t2 = BigSigma0(a) + (b ^ (ab & bc));
  bc = ab;
  d += t1;
  h = t1 + t2;
}

// Message word for round 16 * n + I, computed in place over a 16-word window.
template <int I>
[[gnu::always_inline]] inline uint32_t Schedule(uint32_t w[16]) {
  return w[I] += SmallSigma1(w[(I + 14) & 15]) + w[(I + 9) & 15] + SmallSigma0(w[(I + 1) & 15]);
}

void AddBlockBits(Sha256Context *ctx) {
  ctx->bitCountLow += 512;
  if (ctx->bitCountLow < 512) ++ctx->bitCountHigh;
}

}  // namespace

void SHA256_TransformBlock(uint32_t state[8], const uint8_t block[64]) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = Load32BE(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  uint32_t bc = b ^ c;
  Round(a, b, c, d, e, f, g, h, 0x428a2f98, w[0], bc);
  Round(h, a, b, c, d, e, f, g, 0x71374491, w[1], bc);
  Round(g, h, a, b, c, d, e, f, 0xb5c0fbcf, w[2], bc);
  Round(f, g, h, a, b, c, d, e, 0xe9b5dba5, w[3], bc);
  Round(e, f, g, h, a, b, c, d, 0x3956c25b, w[4], bc);
  Round(d, e, f, g, h, a, b, c, 0x59f111f1, w[5], bc);
  Round(c, d, e, f, g, h, a, b, 0x923f82a4, w[6], bc);
  Round(b, c, d, e, f, g, h, a, 0xab1c5ed5, w[7], bc);
  Round(a, b, c, d, e, f, g, h, 0xd807aa98, w[8], bc);
  Round(h, a, b, c, d, e, f, g, 0x12835b01, w[9], bc);
  Round(g, h, a, b, c, d, e, f, 0x243185be, w[10], bc);
  Round(f, g, h, a, b, c, d, e, 0x550c7dc3, w[11], bc);
  Round(e, f, g, h, a, b, c, d, 0x72be5d74, w[12], bc);
  Round(d, e, f, g, h, a, b, c, 0x80deb1fe, w[13], bc);
  Round(c, d, e, f, g, h, a, b, 0x9bdc06a7, w[14], bc);
  Round(b, c, d, e, f, g, h, a, 0xc19bf174, w[15], bc);
  Round(a, b, c, d, e, f, g, h, 0xe49b69c1, Schedule<0>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0xefbe4786, Schedule<1>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0x0fc19dc6, Schedule<2>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0x240ca1cc, Schedule<3>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0x2de92c6f, Schedule<4>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0x4a7484aa, Schedule<5>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0x5cb0a9dc, Schedule<6>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0x76f988da, Schedule<7>(w), bc);
  Round(a, b, c, d, e, f, g, h, 0x983e5152, Schedule<8>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0xa831c66d, Schedule<9>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0xb00327c8, Schedule<10>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0xbf597fc7, Schedule<11>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0xc6e00bf3, Schedule<12>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0xd5a79147, Schedule<13>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0x06ca6351, Schedule<14>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0x14292967, Schedule<15>(w), bc);
  Round(a, b, c, d, e, f, g, h, 0x27b70a85, Schedule<0>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0x2e1b2138, Schedule<1>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0x4d2c6dfc, Schedule<2>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0x53380d13, Schedule<3>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0x650a7354, Schedule<4>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0x766a0abb, Schedule<5>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0x81c2c92e, Schedule<6>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0x92722c85, Schedule<7>(w), bc);
  Round(a, b, c, d, e, f, g, h, 0xa2bfe8a1, Schedule<8>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0xa81a664b, Schedule<9>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0xc24b8b70, Schedule<10>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0xc76c51a3, Schedule<11>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0xd192e819, Schedule<12>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0xd6990624, Schedule<13>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0xf40e3585, Schedule<14>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0x106aa070, Schedule<15>(w), bc);
  Round(a, b, c, d, e, f, g, h, 0x19a4c116, Schedule<0>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0x1e376c08, Schedule<1>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0x2748774c, Schedule<2>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0x34b0bcb5, Schedule<3>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0x391c0cb3, Schedule<4>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0x4ed8aa4a, Schedule<5>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0x5b9cca4f, Schedule<6>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0x682e6ff3, Schedule<7>(w), bc);
  Round(a, b, c, d, e, f, g, h, 0x748f82ee, Schedule<8>(w), bc);
  Round(h, a, b, c, d, e, f, g, 0x78a5636f, Schedule<9>(w), bc);
  Round(g, h, a, b, c, d, e, f, 0x84c87814, Schedule<10>(w), bc);
  Round(f, g, h, a, b, c, d, e, 0x8cc70208, Schedule<11>(w), bc);
  Round(e, f, g, h, a, b, c, d, 0x90befffa, Schedule<12>(w), bc);
  Round(d, e, f, g, h, a, b, c, 0xa4506ceb, Schedule<13>(w), bc);
  Round(c, d, e, f, g, h, a, b, 0xbef9a3f7, Schedule<14>(w), bc);
  Round(b, c, d, e, f, g, h, a, 0xc67178f2, Schedule<15>(w), bc);
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

int SHA256_InitContext(Sha256Context *ctx) {
  ctx->bitCountLow = 0;
  ctx->bitCountHigh = 0;
  ctx->fill = 0;
  std::memcpy(ctx->state, kInitialHash, sizeof kInitialHash);
  return 0;
}

int SHA256_UpdateContext(Sha256Context *ctx, const uint8_t *data, uint32_t len) {
  if (ctx->fill > kSha256BlockSize) return 1;
  while (len > 0 || ctx->fill == kSha256BlockSize) {
    if (ctx->fill == 0 && len >= kSha256BlockSize) {
      SHA256_TransformBlock(ctx->state, data);
      AddBlockBits(ctx);
      data += kSha256BlockSize;
      len -= kSha256BlockSize;
      continue;
    }
    const uint32_t room = kSha256BlockSize - ctx->fill;
    const uint32_t take = len < room ? len : room;
    if (take > 0) std::memcpy(ctx->block + ctx->fill, data, take);
    ctx->fill += take;
    data += take;
    len -= take;
    if (ctx->fill == kSha256BlockSize) {
      SHA256_TransformBlock(ctx->state, ctx->block);
      AddBlockBits(ctx);
      ctx->fill = 0;
    }
  }
  return 0;
}

int SHA256_FinalContext(uint8_t digest[32], Sha256Context *ctx) {
  if (ctx->fill > kSha256BlockSize - 1) return 1;
  uint32_t fill = ctx->fill;
  const uint32_t low = ctx->bitCountLow + 8 * fill;
  const uint32_t high = ctx->bitCountHigh + (low < ctx->bitCountLow ? 1 : 0);
  ctx->block[fill++] = 0x80;
  if (fill > 56) {
    std::memset(ctx->block + fill, 0, kSha256BlockSize - fill);
    SHA256_TransformBlock(ctx->state, ctx->block);
    fill = 0;
  }
  std::memset(ctx->block + fill, 0, 56 - fill);
  Store32BE(high, ctx->block + 56);
  Store32BE(low, ctx->block + 60);
  SHA256_TransformBlock(ctx->state, ctx->block);
  for (int i = 0; i < 8; ++i) Store32BE(ctx->state[i], digest + 4 * i);
  return 0;
}

int SHA256_Digest(const uint8_t *data, uint32_t len, uint8_t digest[32], uint32_t *digestLen) {
  Sha256Context ctx;
  SHA256_InitContext(&ctx);
  SHA256_UpdateContext(&ctx, data, len);
  SHA256_FinalContext(digest, &ctx);
  *digestLen = kSha256DigestSize;
  return 0;
}
