#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "reference.h"
#include "skf/crypto/sha256.h"

namespace {

Bytes Final(Sha256Context &ctx) {
  uint8_t out[kSha256DigestSize];
  EXPECT_EQ(SHA256_FinalContext(out, &ctx), 0);
  return Bytes(out, out + sizeof out);
}

TEST(Sha256, PieceByPieceEqualsOneShot) {
  std::mt19937 rng(1804);
  for (size_t len : {0, 55, 56, 63, 64, 65, 191, 640}) {
    const Bytes data = RandomBytes(rng, len);
    const Bytes expected = RefDigest(EVP_sha256(), data);
    for (size_t piece : {1, 3, 63, 64, 65, 128}) {
      Sha256Context ctx;
      ASSERT_EQ(SHA256_InitContext(&ctx), 0);
      for (size_t off = 0; off < len; off += piece) {
        const size_t n = std::min(piece, len - off);
        ASSERT_EQ(SHA256_UpdateContext(&ctx, data.data() + off, static_cast<uint32_t>(n)), 0);
      }
      EXPECT_EQ(Final(ctx), expected) << len << "/" << piece;
    }
  }
}

TEST(Sha256, CorruptFillIsRefused) {
  const Bytes data(10, 0x42);
  for (uint32_t fill : {65u, 200u, 0xFFFFFFFFu}) {
    Sha256Context ctx;
    SHA256_InitContext(&ctx);
    ctx.fill = fill;
    const Sha256Context before = ctx;
    EXPECT_EQ(SHA256_UpdateContext(&ctx, data.data(), 10), 1) << fill;
    EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0) << fill;
    uint8_t out[kSha256DigestSize] = {};
    EXPECT_EQ(SHA256_FinalContext(out, &ctx), 1) << fill;
    EXPECT_EQ(Bytes(out, out + 32), Bytes(32, 0)) << fill;
  }
  Sha256Context full;
  SHA256_InitContext(&full);
  full.fill = 64;
  uint8_t out[kSha256DigestSize] = {};
  EXPECT_EQ(SHA256_FinalContext(out, &full), 1);
  EXPECT_EQ(Bytes(out, out + 32), Bytes(32, 0));
}

// A block left full (fill 64) is hashed as the next whole block, never written past.
TEST(Sha256, FullPartialBlockIsCompressedFirst) {
  std::mt19937 rng(64);
  const Bytes first = RandomBytes(rng, 64), rest = RandomBytes(rng, 30);
  Sha256Context ctx;
  SHA256_InitContext(&ctx);
  std::memcpy(ctx.block, first.data(), 64);
  ctx.fill = 64;
  ASSERT_EQ(SHA256_UpdateContext(&ctx, rest.data(), static_cast<uint32_t>(rest.size())), 0);
  Bytes all = first;
  all.insert(all.end(), rest.begin(), rest.end());
  EXPECT_EQ(Final(ctx), RefDigest(EVP_sha256(), all));
}

}  // namespace
