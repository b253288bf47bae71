#include <gtest/gtest.h>

#include <cstring>

#include "reference.h"
#include "skf/crypto/sm3.h"

namespace {

uint32_t Rotl(uint32_t x, int n) { return n == 0 ? x : (x << n) | (x >> (32 - n)); }

// CF written plainly from GB/T 32905 section 5.3, over the words of SM3_Expand.
void PlainCompress(uint32_t v[8], const uint8_t block[64]) {
  uint32_t words[16], w[68], w1[64];
  for (int j = 0; j < 16; ++j) words[j] = SM3_GetU32BE(block + 4 * j);
  SM3_Expand(words, w, w1);
  uint32_t a = v[0], b = v[1], c = v[2], d = v[3], e = v[4], f = v[5], g = v[6], h = v[7];
  for (int j = 0; j < 64; ++j) {
    const uint32_t t = j < 16 ? 0x79cc4519 : 0x7a879d8a;
    const uint32_t ss1 = Rotl(Rotl(a, 12) + e + Rotl(t, j % 32), 7);
    const uint32_t ss2 = ss1 ^ Rotl(a, 12);
    const uint32_t ff = j < 16 ? a ^ b ^ c : (a & b) | (a & c) | (b & c);
    const uint32_t gg = j < 16 ? e ^ f ^ g : (e & f) | (~e & g);
    const uint32_t tt1 = ff + d + ss2 + w1[j];
    const uint32_t tt2 = gg + h + ss1 + w[j];
    d = c;
    c = Rotl(b, 9);
    b = a;
    a = tt1;
    h = g;
    g = Rotl(f, 19);
    f = e;
    e = tt2 ^ Rotl(tt2, 9) ^ Rotl(tt2, 17);
  }
  const uint32_t out[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) v[i] ^= out[i];
}

// The compression function and the expansion agree with the standard's plain form.
TEST(Sm3, CompressMatchesPlainFormOverExpand) {
  std::mt19937 rng(5);
  Sm3Context ctx;
  SM3_Init(&ctx);
  for (int i = 0; i < 50; ++i) {
    const Bytes block = RandomBytes(rng, kSm3BlockSize);
    uint32_t ours[8], plain[8];
    for (int k = 0; k < 8; ++k) ours[k] = plain[k] = static_cast<uint32_t>(rng());
    SM3_Compress(ours, ctx.T, block.data());
    PlainCompress(plain, block.data());
    ASSERT_EQ(std::memcmp(ours, plain, sizeof ours), 0) << i;
  }
}

TEST(Sm3, BitCountCarriesIntoTheHighWord) {
  Sm3Context ctx;
  SM3_Init(&ctx);
  ctx.bitCountLow = 0xFFFFFE00;  // a whole number of blocks, one block short of the carry
  const Bytes block(kSm3BlockSize, 0x33);
  SM3_Update(&ctx, block.data(), kSm3BlockSize);
  EXPECT_EQ(ctx.bitCountLow, 0u);
  EXPECT_EQ(ctx.bitCountHigh, 1u);
}

}  // namespace
