#include "skf/crypto/sm3.h"

#include <cstring>

namespace {

constexpr uint32_t kIv[8] = {0x7380166f, 0x4914b2b9, 0x172442d7, 0xda8a0600,
                             0xa96f30bc, 0x163138aa, 0xe38dee4d, 0xb0fb0e4e};
constexpr uint32_t kT0 = 0x79cc4519;  // rounds 0..15
constexpr uint32_t kT1 = 0x7a879d8a;  // rounds 16..63

constexpr uint32_t Rotl(uint32_t x, int n) { return n == 0 ? x : (x << n) | (x >> (32 - n)); }
constexpr uint32_t P0(uint32_t x) { return x ^ Rotl(x, 9) ^ Rotl(x, 17); }
constexpr uint32_t P1(uint32_t x) { return x ^ Rotl(x, 15) ^ Rotl(x, 23); }

// W[16..67] from W[0..15].
[[gnu::always_inline]] inline void ExpandWords(uint32_t w[68]) {
  for (int j = 16; j < 68; ++j) {
    w[j] = P1(w[j - 16] ^ w[j - 9] ^ Rotl(w[j - 3], 15)) ^ Rotl(w[j - 13], 7) ^ w[j - 6];
  }
}

// Round j of CF. The caller rotates the roles of the eight words instead of moving them:
// afterwards d holds the new A, b the new C, h the new E and f the new G.
template <int J>
[[gnu::always_inline]] inline void Round(uint32_t a, uint32_t &b, uint32_t c, uint32_t &d,
                                         uint32_t e, uint32_t &f, uint32_t g, uint32_t &h,
                                         const uint32_t *w, const uint32_t *w1, const uint32_t *t) {
  const uint32_t a12 = Rotl(a, 12);
  const uint32_t ss1 = Rotl(a12 + e + Rotl(t[J], J % 32), 7);
  const uint32_t ss2 = ss1 ^ a12;
  uint32_t ff, gg;
  if constexpr (J < 16) {
    ff = a ^ b ^ c;
    gg = e ^ f ^ g;
  } else {
    ff = (a & b) | ((a | b) & c);
    gg = ((f ^ g) & e) ^ g;
  }
  const uint32_t tt1 = ff + d + ss2 + w1[J];
  const uint32_t tt2 = gg + h + ss1 + w[J];
  b = Rotl(b, 9);
  f = Rotl(f, 19);
  d = tt1;
  h = P0(tt2);
}

template <int J>
[[gnu::always_inline]] inline void Rounds4(uint32_t &a, uint32_t &b, uint32_t &c, uint32_t &d,
                                           uint32_t &e, uint32_t &f, uint32_t &g, uint32_t &h,
                                           const uint32_t *w, const uint32_t *w1,
                                           const uint32_t *t) {
  Round<J>(a, b, c, d, e, f, g, h, w, w1, t);
  Round<J + 1>(d, a, b, c, h, e, f, g, w, w1, t);
  Round<J + 2>(c, d, a, b, g, h, e, f, w, w1, t);
  Round<J + 3>(b, c, d, a, f, g, h, e, w, w1, t);
}

}  // namespace

uint32_t SM3_GetU32BE(const uint8_t bytes[4]) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

void SM3_PutU32BE(uint32_t value, uint8_t bytes[4]) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

void SM3_Expand(const uint32_t words[16], uint32_t W[68], uint32_t W1[64]) {
  std::memcpy(W, words, 16 * sizeof(uint32_t));
  ExpandWords(W);
  for (int j = 0; j < 64; ++j) W1[j] = W[j] ^ W[j + 4];
}

void SM3_Compress(uint32_t state[8], const uint32_t T[64], const uint8_t block[64]) {
  uint32_t words[16];
  for (int j = 0; j < 16; ++j) words[j] = SM3_GetU32BE(block + 4 * j);
  uint32_t w[68];
  uint32_t w1[64];
  SM3_Expand(words, w, w1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  Rounds4<0>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<4>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<8>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<12>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<16>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<20>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<24>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<28>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<32>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<36>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<40>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<44>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<48>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<52>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<56>(a, b, c, d, e, f, g, h, w, w1, T);
  Rounds4<60>(a, b, c, d, e, f, g, h, w, w1, T);
  state[0] ^= a;
  state[1] ^= b;
  state[2] ^= c;
  state[3] ^= d;
  state[4] ^= e;
  state[5] ^= f;
  state[6] ^= g;
  state[7] ^= h;
}

void SM3_Init(Sm3Context *ctx) {
  std::memcpy(ctx->state, kIv, sizeof kIv);
  ctx->bitCountLow = 0;
  ctx->bitCountHigh = 0;
  for (int j = 0; j < 64; ++j) ctx->T[j] = j < 16 ? kT0 : kT1;
}

void SM3_Update(Sm3Context *ctx, const uint8_t *data, uint32_t len) {
  if (len == 0) return;
  const uint32_t fill = (ctx->bitCountLow >> 3) % kSm3BlockSize;
  const uint32_t low = ctx->bitCountLow + (len << 3);
  if (low < ctx->bitCountLow) ++ctx->bitCountHigh;
  ctx->bitCountLow = low;
  ctx->bitCountHigh += len >> 29;

  if (fill != 0) {
    const uint32_t take = kSm3BlockSize - fill;
    if (len < take) {
      std::memcpy(ctx->block + fill, data, len);
      return;
    }
    std::memcpy(ctx->block + fill, data, take);
    SM3_Compress(ctx->state, ctx->T, ctx->block);
    data += take;
    len -= take;
  }
  for (; len >= kSm3BlockSize; data += kSm3BlockSize, len -= kSm3BlockSize) {
    SM3_Compress(ctx->state, ctx->T, data);
  }
  if (len > 0) std::memcpy(ctx->block, data, len);
}

void SM3_Final(Sm3Context *ctx, uint8_t digest[32]) {
  uint8_t length[8];
  SM3_PutU32BE(ctx->bitCountHigh, length);
  SM3_PutU32BE(ctx->bitCountLow, length + 4);
  const uint32_t fill = (ctx->bitCountLow >> 3) % kSm3BlockSize;
  const uint32_t pad = fill < 56 ? 56 - fill : 120 - fill;
  static constexpr uint8_t kPadding[64] = {0x80};
  SM3_Update(ctx, kPadding, pad);
  SM3_Update(ctx, length, sizeof length);
  for (int i = 0; i < 8; ++i) SM3_PutU32BE(ctx->state[i], digest + 4 * i);
  std::memset(ctx, 0, sizeof *ctx);
}
