#include "skf/crypto/sha256.h"

#include <cstring>

#include "skf/crypto/cpu_dispatch.h"
#include "skf/crypto/vec4.h"

namespace {

constexpr uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
constexpr uint32_t BigSigma0(uint32_t x) { return Rotr(x, 2) ^ Rotr(x, 13) ^ Rotr(x, 22); }
constexpr uint32_t BigSigma1(uint32_t x) { return Rotr(x, 6) ^ Rotr(x, 11) ^ Rotr(x, 25); }

constexpr uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

[[gnu::always_inline]] inline uint32_t Load32BE(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Store32BE(uint32_t v, uint8_t *p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The message schedule runs four words at a time on vectors, one step per four rounds, so
// its work overlaps the rounds' dependency chain; each step also adds the round constants.
using vec4::V4;

[[gnu::always_inline]] inline V4 SmallSigma0x4(V4 x) {
  return vec4::Rotr(vec4::Rotr(x, 11) ^ x, 7) ^ (x >> 3);
}
[[gnu::always_inline]] inline V4 SmallSigma1x4(V4 x) {
  return vec4::Rotr(vec4::Rotr(x, 2) ^ x, 17) ^ (x >> 10);
}

// v0..v3 hold W[t-16..t-1] for the step that makes W[t..t+3]; wk[t] is W[t] + K[t].
struct Schedule {
  V4 v0, v1, v2, v3;
  uint32_t wk[64];
  const uint32_t *rwk;  // wk as the rounds read it
};

[[gnu::always_inline]] inline void ScheduleInit(Schedule &s, const uint8_t block[64]) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = Load32BE(block + 4 * i);
  s.v0 = vec4::Load(w);
  s.v1 = vec4::Load(w + 4);
  s.v2 = vec4::Load(w + 8);
  s.v3 = vec4::Load(w + 12);
  vec4::Store(s.wk, s.v0 + vec4::Load(kK));
  vec4::Store(s.wk + 4, s.v1 + vec4::Load(kK + 4));
  vec4::Store(s.wk + 8, s.v2 + vec4::Load(kK + 8));
  vec4::Store(s.wk + 12, s.v3 + vec4::Load(kK + 12));
  s.rwk = vec4::Opaque(s.wk);
}

// W[t..t+3] for t = T (16..60). W[t+2] and W[t+3] need W[t] and W[t+1] of the same step, so
// sigma1 is added to the low two lanes first and then to the high two.
template <int T>
[[gnu::always_inline]] inline void ScheduleStep(Schedule &s) {
  const V4 zero = {0, 0, 0, 0};
  const V4 w15 = __builtin_shufflevector(s.v0, s.v1, 1, 2, 3, 4);  // W[t-15..t-12]
  const V4 w7 = __builtin_shufflevector(s.v2, s.v3, 1, 2, 3, 4);   // W[t-7..t-4]
  V4 r = s.v0 + SmallSigma0x4(w15) + w7;
  r += SmallSigma1x4(__builtin_shufflevector(s.v3, zero, 2, 3, 4, 4));  // sigma1(0) is 0
  r += SmallSigma1x4(__builtin_shufflevector(zero, r, 0, 0, 4, 5));
  vec4::Store(s.wk + T, r + vec4::Load(kK + T));
  s.v0 = s.v1;
  s.v1 = s.v2;
  s.v2 = s.v3;
  s.v3 = r;
}

// One round; wk is W[t] + K[t]. The caller rotates the roles of the eight words instead of
// moving them: d receives the new E and h the new A. bc carries b ^ c in and a ^ b out,
// which is the next round's b ^ c, so Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)) costs three
// operations. The sums are grouped so that the values of the previous round enter last.
[[gnu::always_inline]] inline void Round(uint32_t a, uint32_t b, [[maybe_unused]] uint32_t c,
                                         uint32_t &d, uint32_t e, uint32_t f, uint32_t g,
                                         uint32_t &h, uint32_t wk, uint32_t &bc) {
  const uint32_t s1 = BigSigma1(e);
  const uint32_t hwk = h + wk;
  const uint32_t ch = ((f ^ g) & e) ^ g;
  const uint32_t ab = a ^ b;
  const uint32_t maj = b ^ (ab & bc);
  bc = ab;
  const uint32_t partial = hwk + ch;
  d = (d + partial) + s1;
  h = BigSigma0(a) + (maj + (partial + s1));
}

void AddBlockBits(Sha256Context *ctx) {
  ctx->bitCountLow += 512;
  if (ctx->bitCountLow < 512) ++ctx->bitCountHigh;
}

}  // namespace

CRYPTO_CPU_CLONES
void SHA256_TransformBlock(uint32_t state[8], const uint8_t block[64]) {
  Schedule s;
  ScheduleInit(s, block);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  uint32_t bc = b ^ c;
  Round(a, b, c, d, e, f, g, h, s.rwk[0], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[1], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[2], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[3], bc);
  ScheduleStep<16>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[4], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[5], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[6], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[7], bc);
  ScheduleStep<20>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[8], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[9], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[10], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[11], bc);
  ScheduleStep<24>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[12], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[13], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[14], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[15], bc);
  ScheduleStep<28>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[16], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[17], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[18], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[19], bc);
  ScheduleStep<32>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[20], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[21], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[22], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[23], bc);
  ScheduleStep<36>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[24], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[25], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[26], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[27], bc);
  ScheduleStep<40>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[28], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[29], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[30], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[31], bc);
  ScheduleStep<44>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[32], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[33], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[34], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[35], bc);
  ScheduleStep<48>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[36], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[37], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[38], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[39], bc);
  ScheduleStep<52>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[40], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[41], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[42], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[43], bc);
  ScheduleStep<56>(s);
  Round(e, f, g, h, a, b, c, d, s.rwk[44], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[45], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[46], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[47], bc);
  ScheduleStep<60>(s);
  Round(a, b, c, d, e, f, g, h, s.rwk[48], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[49], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[50], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[51], bc);
  Round(e, f, g, h, a, b, c, d, s.rwk[52], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[53], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[54], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[55], bc);
  Round(a, b, c, d, e, f, g, h, s.rwk[56], bc);
  Round(h, a, b, c, d, e, f, g, s.rwk[57], bc);
  Round(g, h, a, b, c, d, e, f, s.rwk[58], bc);
  Round(f, g, h, a, b, c, d, e, s.rwk[59], bc);
  Round(e, f, g, h, a, b, c, d, s.rwk[60], bc);
  Round(d, e, f, g, h, a, b, c, s.rwk[61], bc);
  Round(c, d, e, f, g, h, a, b, s.rwk[62], bc);
  Round(b, c, d, e, f, g, h, a, s.rwk[63], bc);
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
