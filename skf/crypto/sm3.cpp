#include "skf/crypto/sm3.h"

#include <cstring>

#include "skf/crypto/cpu_dispatch.h"
#include "skf/crypto/vec4.h"

namespace {

constexpr uint32_t kIv[8] = {0x7380166f, 0x4914b2b9, 0x172442d7, 0xda8a0600,
                             0xa96f30bc, 0x163138aa, 0xe38dee4d, 0xb0fb0e4e};
constexpr uint32_t kT0 = 0x79cc4519;  // rounds 0..15
constexpr uint32_t kT1 = 0x7a879d8a;  // rounds 16..63

constexpr uint32_t Rotl(uint32_t x, int n) { return n == 0 ? x : (x << n) | (x >> (32 - n)); }

constexpr uint32_t StandardT(int j) { return j < 16 ? kT0 : kT1; }

// T_j rotated left by j mod 32, as the rounds add it.
struct RotatedConstants {
  uint32_t t[64];
};
constexpr RotatedConstants RotateStandard() {
  RotatedConstants r{};
  for (int j = 0; j < 64; ++j) r.t[j] = Rotl(StandardT(j), j % 32);
  return r;
}
constexpr RotatedConstants kStandardRotated = RotateStandard();

// P1 in nested form (one rotation shared); P0 in flat form, shorter on the critical path.
constexpr uint32_t P0(uint32_t x) { return x ^ Rotl(x, 9) ^ Rotl(x, 17); }
constexpr uint32_t P1(uint32_t x) { return x ^ Rotl(x ^ Rotl(x, 8), 15); }

[[gnu::always_inline]] inline uint32_t Load32BE(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The message schedule runs four words at a time on vectors, one step per four rounds, so
// its work overlaps the rounds' dependency chain.
using vec4::V4;

[[gnu::always_inline]] inline V4 P1x4(V4 x) { return x ^ vec4::Rotl(x ^ vec4::Rotl(x, 8), 15); }

// v0..v3 hold W[j..j+15] for the step that writes W'[j+4..j+7] and W[j+16..j+19]. W' is
// stored a step before the rounds that read it: their loads need not be forwarded from a
// vector store just made.
struct Schedule {
  V4 v0, v1, v2, v3;
  uint32_t w[68];
  uint32_t w1[64];
  const uint32_t *rw;  // w and w1 as the rounds read them
  const uint32_t *rw1;
};

// W'[j+4..j+7], then (while j + 16 < 68) W[j+16..j+19] from the 16 words before them.
template <int J>
[[gnu::always_inline]] inline void ScheduleStep(Schedule &s) {
  if constexpr (J + 4 < 64) vec4::Store(s.w1 + J + 4, s.v1 ^ s.v2);
  V4 next = s.v3;
  if constexpr (J + 16 < 68) {
    const V4 zero = {0, 0, 0, 0};
    const V4 w3 = __builtin_shufflevector(s.v3, zero, 1, 2, 3, 4);   // W[j+13..j+15], 0
    const V4 w13 = __builtin_shufflevector(s.v0, s.v1, 3, 4, 5, 6);  // W[j+3..j+6]
    const V4 w9 = __builtin_shufflevector(s.v1, s.v2, 3, 4, 5, 6);   // W[j+7..j+10]
    const V4 w6 = __builtin_shufflevector(s.v2, s.v3, 2, 3, 4, 5);   // W[j+10..j+13]
    next = P1x4(s.v0 ^ w9 ^ vec4::Rotl(w3, 15)) ^ vec4::Rotl(w13, 7) ^ w6;
    // W[j+19] was computed with W[j+16] taken as zero; P1 is linear, so add its share.
    next ^= P1x4(vec4::Rotl(__builtin_shufflevector(next, zero, 4, 4, 4, 0), 15));
    vec4::Store(s.w + J + 16, next);
  }
  s.v0 = s.v1;
  s.v1 = s.v2;
  s.v2 = s.v3;
  s.v3 = next;
}

[[gnu::always_inline]] inline void ScheduleInit(Schedule &s) {
  s.v0 = vec4::Load(s.w);
  s.v1 = vec4::Load(s.w + 4);
  s.v2 = vec4::Load(s.w + 8);
  s.v3 = vec4::Load(s.w + 12);
  vec4::Store(s.w1, s.v0 ^ s.v1);
  s.rw = vec4::Opaque(s.w);
  s.rw1 = vec4::Opaque(s.w1);
}

// Round j of CF; the constant is T_j rotated left by j mod 32, from tr or, with kStandard, the
// standard's value folded into the code. The caller rotates the roles of the eight words
// instead of moving them: afterwards d holds the new A, b the new C, h the new E and f the new
// G. The chain through E (SS1, GG, TT2, P0) comes first, and E, the latest input, enters each
// sum last.
template <int J, bool kStandard>
[[gnu::always_inline]] inline void Round(uint32_t a, uint32_t &b, uint32_t c, uint32_t &d,
                                         uint32_t e, uint32_t &f, uint32_t g, uint32_t &h,
                                         const Schedule &s, const uint32_t *tr) {
  uint32_t t;
  if constexpr (kStandard)
    t = kStandardRotated.t[J];
  else
    t = tr[J];
  const uint32_t a12 = Rotl(a, 12);
  const uint32_t ss1 = Rotl((a12 + t) + e, 7);
  uint32_t ff, gg;
  if constexpr (J < 16) {
    ff = a ^ b ^ c;
    gg = e ^ (f ^ g);
  } else {
    ff = b ^ ((a ^ b) & (b ^ c));
    gg = ((f ^ g) & e) ^ g;
  }
  h = P0((gg + (h + s.rw[J])) + ss1);
  d = (ff + (d + s.rw1[J])) + (ss1 ^ a12);
  b = Rotl(b, 9);
  f = Rotl(f, 19);
}

template <int J, bool kStandard>
[[gnu::always_inline]] inline void Rounds4(uint32_t &a, uint32_t &b, uint32_t &c, uint32_t &d,
                                           uint32_t &e, uint32_t &f, uint32_t &g, uint32_t &h,
                                           Schedule &s, const uint32_t *tr) {
  ScheduleStep<J>(s);
  Round<J, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Round<J + 1, kStandard>(d, a, b, c, h, e, f, g, s, tr);
  Round<J + 2, kStandard>(c, d, a, b, g, h, e, f, s, tr);
  Round<J + 3, kStandard>(b, c, d, a, f, g, h, e, s, tr);
}

void RotateConstants(const uint32_t T[64], uint32_t tr[64]) {
  for (int j = 0; j < 64; ++j) tr[j] = Rotl(T[j], j % 32);
}

template <bool kStandard>
[[gnu::always_inline]] inline void Compress(uint32_t state[8], const uint32_t tr[64],
                                            const uint8_t block[64]) {
  Schedule s;
  for (int j = 0; j < 16; ++j) s.w[j] = Load32BE(block + 4 * j);
  ScheduleInit(s);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  Rounds4<0, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<4, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<8, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<12, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<16, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<20, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<24, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<28, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<32, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<36, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<40, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<44, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<48, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<52, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<56, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  Rounds4<60, kStandard>(a, b, c, d, e, f, g, h, s, tr);
  state[0] ^= a;
  state[1] ^= b;
  state[2] ^= c;
  state[3] ^= d;
  state[4] ^= e;
  state[5] ^= f;
  state[6] ^= g;
  state[7] ^= h;
}

// CF over whole blocks with the constants of a context: the standard's folded into the code
// when the context holds them (as SM3_Init fills it), else rotated once from the table.
CRYPTO_CPU_CLONES_V4
void CompressStandard(uint32_t state[8], const uint8_t *blocks, uint32_t count) {
  for (; count > 0; --count, blocks += kSm3BlockSize) Compress<true>(state, nullptr, blocks);
}

CRYPTO_CPU_CLONES
void CompressRotated(uint32_t state[8], const uint32_t tr[64], const uint8_t *blocks,
                     uint32_t count) {
  for (; count > 0; --count, blocks += kSm3BlockSize) Compress<false>(state, tr, blocks);
}

bool IsStandard(const uint32_t T[64]) {
  for (int j = 0; j < 64; ++j)
    if (T[j] != StandardT(j)) return false;
  return true;
}

void CompressBlocks(uint32_t state[8], const uint32_t T[64], const uint8_t *blocks,
                    uint32_t count) {
  if (IsStandard(T)) {
    CompressStandard(state, blocks, count);
  } else {
    uint32_t tr[64];
    RotateConstants(T, tr);
    CompressRotated(state, tr, blocks, count);
  }
}

}  // namespace

uint32_t SM3_GetU32BE(const uint8_t bytes[4]) { return Load32BE(bytes); }

void SM3_PutU32BE(uint32_t value, uint8_t bytes[4]) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

void SM3_Expand(const uint32_t words[16], uint32_t W[68], uint32_t W1[64]) {
  std::memcpy(W, words, 16 * sizeof(uint32_t));
  for (int j = 16; j < 68; ++j) {
    W[j] = P1(W[j - 16] ^ W[j - 9] ^ Rotl(W[j - 3], 15)) ^ Rotl(W[j - 13], 7) ^ W[j - 6];
  }
  for (int j = 0; j < 64; ++j) W1[j] = W[j] ^ W[j + 4];
}

// Always from the table: the path of any constants stays tested against the standard's own.
void SM3_Compress(uint32_t state[8], const uint32_t T[64], const uint8_t block[64]) {
  uint32_t tr[64];
  RotateConstants(T, tr);
  CompressRotated(state, tr, block, 1);
}

void SM3_Init(Sm3Context *ctx) {
  std::memcpy(ctx->state, kIv, sizeof kIv);
  ctx->bitCountLow = 0;
  ctx->bitCountHigh = 0;
  for (int j = 0; j < 64; ++j) ctx->T[j] = StandardT(j);
}

void SM3_Update(Sm3Context *ctx, const uint8_t *data, uint32_t len) {
  if (len == 0) return;
  const uint32_t fill = (ctx->bitCountLow >> 3) % kSm3BlockSize;
  const uint32_t low = ctx->bitCountLow + (len << 3);
  if (low < ctx->bitCountLow) ++ctx->bitCountHigh;
  ctx->bitCountLow = low;
  ctx->bitCountHigh += len >> 29;

  if (fill != 0 && len < kSm3BlockSize - fill) {
    std::memcpy(ctx->block + fill, data, len);
    return;
  }
  if (fill != 0) {
    const uint32_t take = kSm3BlockSize - fill;
    std::memcpy(ctx->block + fill, data, take);
    CompressBlocks(ctx->state, ctx->T, ctx->block, 1);
    data += take;
    len -= take;
  }
  const uint32_t whole = len / kSm3BlockSize;
  if (whole > 0) CompressBlocks(ctx->state, ctx->T, data, whole);
  data += whole * kSm3BlockSize;
  len -= whole * kSm3BlockSize;
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
