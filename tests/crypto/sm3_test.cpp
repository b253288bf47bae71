#include <gtest/gtest.h>

#include <cstring>

#include "reference.h"
#include "skf/crypto/sm3.h"

namespace {

uint32_t Rotl(uint32_t x, int n) { return n == 0 ? x : (x << n) | (x >> (32 - n)); }

// CF written plainly from GB/T 32905 section 5.3, over the words of SM3_Expand, with the
// round constants T_j of t.
void PlainCompress(uint32_t v[8], const uint32_t t[64], const uint8_t block[64]) {
  uint32_t words[16], w[68], w1[64];
  for (int j = 0; j < 16; ++j) words[j] = SM3_GetU32BE(block + 4 * j);
  SM3_Expand(words, w, w1);
  uint32_t a = v[0], b = v[1], c = v[2], d = v[3], e = v[4], f = v[5], g = v[6], h = v[7];
  for (int j = 0; j < 64; ++j) {
    const uint32_t ss1 = Rotl(Rotl(a, 12) + e + Rotl(t[j], j % 32), 7);
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

// The compression function and the expansion agree with the standard's plain form, with the
// standard's constants and with others.
TEST(Sm3, CompressMatchesPlainFormOverExpand) {
  std::mt19937 rng(5);
  Sm3Context ctx;
  SM3_Init(&ctx);
  for (int i = 0; i < 100; ++i) {
    uint32_t t[64];
    for (int j = 0; j < 64; ++j) t[j] = i < 50 ? ctx.T[j] : static_cast<uint32_t>(rng());
    const Bytes block = RandomBytes(rng, kSm3BlockSize);
    uint32_t ours[8], plain[8];
    for (int k = 0; k < 8; ++k) ours[k] = plain[k] = static_cast<uint32_t>(rng());
    SM3_Compress(ours, t, block.data());
    PlainCompress(plain, t, block.data());
    ASSERT_EQ(std::memcmp(ours, plain, sizeof ours), 0) << i;
  }
}

// SM3_Update folds the standard's constants into its code when the context holds them, and
// takes any other constants from the context: both agree with SM3_Compress block by block,
// which gives the standard's first example from its padded block.
TEST(Sm3, UpdateFollowsTheContextsConstants) {
  uint8_t abc[kSm3BlockSize] = {'a', 'b', 'c', 0x80};
  abc[kSm3BlockSize - 1] = 24;  // the message length in bits
  Sm3Context ctx;
  SM3_Init(&ctx);
  uint32_t v[8];
  std::memcpy(v, ctx.state, sizeof v);
  SM3_Compress(v, ctx.T, abc);
  uint8_t digest[kSm3DigestSize];
  for (int i = 0; i < 8; ++i) SM3_PutU32BE(v[i], digest + 4 * i);
  EXPECT_EQ(Bytes(digest, digest + kSm3DigestSize),
            FromHex("66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"));

  std::mt19937 rng(9);
  const Bytes data = RandomBytes(rng, 5 * kSm3BlockSize);
  for (bool standard : {true, false}) {
    SM3_Init(&ctx);
    if (!standard) ctx.T[40] ^= 1;
    std::memcpy(v, ctx.state, sizeof v);
    for (size_t at = 0; at < data.size(); at += kSm3BlockSize) SM3_Compress(v, ctx.T, &data[at]);
    SM3_Update(&ctx, data.data(), 3);
    SM3_Update(&ctx, data.data() + 3, static_cast<uint32_t>(data.size() - 3));
    EXPECT_EQ(std::memcmp(ctx.state, v, sizeof v), 0) << standard;
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
