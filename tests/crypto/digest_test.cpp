#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "reference.h"
#include "skf/crypto/md5.h"
#include "skf/crypto/sha1.h"
#include "skf/crypto/sha256.h"
#include "skf/crypto/sm3.h"

namespace {

Bytes Sm3(const Bytes &data) {
  Sm3Context ctx;
  SM3_Init(&ctx);
  SM3_Update(&ctx, data.data(), static_cast<uint32_t>(data.size()));
  uint8_t out[kSm3DigestSize];
  SM3_Final(&ctx, out);
  return Bytes(out, out + sizeof out);
}

Bytes Sha256(const Bytes &data) {
  uint8_t out[kSha256DigestSize];
  uint32_t len = 0;
  EXPECT_EQ(SHA256_Digest(data.data(), static_cast<uint32_t>(data.size()), out, &len), 0);
  return Bytes(out, out + len);
}

Bytes Sha1(const Bytes &data) {
  uint8_t out[kSha1DigestSize];
  uint32_t len = 0;
  EXPECT_EQ(SHA1_Digest(data.data(), static_cast<uint32_t>(data.size()), out, &len), 0);
  return Bytes(out, out + len);
}

Bytes Md5(const Bytes &data) {
  uint8_t out[kMd5DigestSize];
  MD5_Digest(data.data(), static_cast<uint32_t>(data.size()), out);
  return Bytes(out, out + sizeof out);
}

struct Digest {
  const char *name;
  Bytes (*ours)(const Bytes &);
  const EVP_MD *(*reference)();
};

constexpr Digest kDigests[] = {
    {"SM3", Sm3, EVP_sm3},
    {"SHA-256", Sha256, EVP_sha256},
    {"SHA-1", Sha1, EVP_sha1},
    {"MD5", Md5, EVP_md5},
};

struct KnownAnswer {
  Bytes (*digest)(const Bytes &);
  std::string message;
  const char *hex;
};

const std::string kAbcd16 = [] {
  std::string s;
  for (int i = 0; i < 16; ++i) s += "abcd";
  return s;
}();
const std::string k448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

const KnownAnswer kKnownAnswers[] = {
    // GB/T 32905 examples 1 and 2.
    {Sm3, "abc", "66c7f0f4 62eeedd9 d1f2d46b dc10e4e2 4167c487 5cf2f7a2 297da02b 8f4ba8e0"},
    {Sm3, kAbcd16, "debe9ff9 2275b8a1 38604889 c18e5a4d 6fdb70e5 387e5765 293dcba3 9c0c5732"},
    // FIPS 180-4 examples: "abc", the empty message, the 448-bit message.
    {Sha256, "abc", "ba7816bf 8f01cfea 414140de 5dae2223 b00361a3 96177a9c b410ff61 f20015ad"},
    {Sha256, "", "e3b0c442 98fc1c14 9afbf4c8 996fb924 27ae41e4 649b934c a495991b 7852b855"},
    {Sha256, k448, "248d6a61 d20638b8 e5c02693 0c3e6039 a33ce459 64ff2167 f6ecedd4 19db06c1"},
    {Sha1, "abc", "a9993e36 4706816a ba3e2571 7850c26c 9cd0d89d"},
    {Sha1, "", "da39a3ee 5e6b4b0d 3255bfef 95601890 afd80709"},
    {Sha1, k448, "84983e44 1c3bd26e baae4aa1 f95129e5 e54670f1"},
    // RFC 1321 test suite.
    {Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {Md5, "a", "0cc175b9c0f1b6a831c399e269772661"},
    {Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {Md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {Md5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {Md5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {Md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Digest, PublishedExamples) {
  for (const auto &k : kKnownAnswers) {
    EXPECT_EQ(k.digest(FromText(k.message)), FromHex(k.hex)) << k.message;
  }
}

TEST(Digest, MatchesOpenSslAcrossPaddingBoundariesAndRandomLengths) {
  std::mt19937 rng(180);
  std::vector<size_t> lengths = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 4096};
  for (int i = 0; i < 40; ++i) lengths.push_back(rng() % 2000);
  for (const auto &d : kDigests) {
    for (size_t len : lengths) {
      const Bytes data = RandomBytes(rng, len);
      ASSERT_EQ(d.ours(data), RefDigest(d.reference(), data)) << d.name << " " << len;
    }
  }
}

// Feeds SM3 and MD5 in pieces of the given sizes, cycling through them.
Bytes Sm3Pieces(const Bytes &data, const std::vector<size_t> &pieces) {
  Sm3Context ctx;
  SM3_Init(&ctx);
  for (size_t off = 0, i = 0; off < data.size(); ++i) {
    const size_t n = std::min(pieces[i % pieces.size()], data.size() - off);
    SM3_Update(&ctx, data.data() + off, static_cast<uint32_t>(n));
    off += n;
  }
  uint8_t out[kSm3DigestSize];
  SM3_Final(&ctx, out);
  return Bytes(out, out + sizeof out);
}

Bytes Md5Pieces(const Bytes &data, const std::vector<size_t> &pieces) {
  Md5Context ctx;
  MD5_InitContext(&ctx);
  for (size_t off = 0, i = 0; off < data.size(); ++i) {
    const size_t n = std::min(pieces[i % pieces.size()], data.size() - off);
    MD5_UpdateContext(&ctx, data.data() + off, static_cast<uint32_t>(n));
    off += n;
  }
  uint8_t out[kMd5DigestSize];
  MD5_FinalContext(&ctx, out);
  return Bytes(out, out + sizeof out);
}

// SHA-1's running state, empty pieces included; its final step leaves the state, so the digest
// can be taken again and more data added after it.
Bytes Sha1Pieces(const Bytes &data, const std::vector<size_t> &pieces) {
  Sha1Context ctx;
  EXPECT_EQ(SHA1_Init(&ctx), 0);
  for (size_t off = 0, i = 0; off < data.size(); ++i) {
    const size_t n = std::min(pieces[i % pieces.size()], data.size() - off);
    EXPECT_EQ(SHA1_Update(&ctx, data.data() + off, static_cast<uint32_t>(n)), 0);
    off += n;
  }
  uint8_t out[kSha1DigestSize], again[kSha1DigestSize];
  EXPECT_EQ(SHA1_Final(&ctx, out), 0);
  EXPECT_EQ(SHA1_Final(&ctx, again), 0);
  EXPECT_EQ(Bytes(again, again + sizeof again), Bytes(out, out + sizeof out));
  return Bytes(out, out + sizeof out);
}

TEST(Digest, Sha1FinalKeepsTheRunningState) {
  const Bytes data = FromText("abc");
  Sha1Context ctx;
  ASSERT_EQ(SHA1_Init(&ctx), 0);
  ASSERT_EQ(SHA1_Update(&ctx, data.data(), 1), 0);
  uint8_t out[kSha1DigestSize];
  ASSERT_EQ(SHA1_Final(&ctx, out), 0);
  EXPECT_EQ(Bytes(out, out + sizeof out), Sha1(FromText("a")));
  ASSERT_EQ(SHA1_Update(&ctx, data.data() + 1, 2), 0);
  ASSERT_EQ(SHA1_Final(&ctx, out), 0);
  EXPECT_EQ(Bytes(out, out + sizeof out), Sha1(data));
}

TEST(Digest, PieceByPieceEqualsOneShot) {
  std::mt19937 rng(32905);
  const std::vector<std::vector<size_t>> splits = {{1}, {63}, {64}, {1, 63, 64}, {0, 7, 130}};
  for (size_t len : {0, 1, 63, 64, 65, 200, 1000}) {
    const Bytes data = RandomBytes(rng, len);
    for (const auto &split : splits) {
      EXPECT_EQ(Sm3Pieces(data, split), Sm3(data)) << len;
      EXPECT_EQ(Md5Pieces(data, split), Md5(data)) << len;
      EXPECT_EQ(Sha1Pieces(data, split), RefDigest(EVP_sha1(), data)) << len;
    }
  }
}

template <typename Context>
bool AllZero(const Context &ctx) {
  const auto *p = reinterpret_cast<const uint8_t *>(&ctx);
  return std::all_of(p, p + sizeof ctx, [](uint8_t b) { return b == 0; });
}

TEST(Digest, FinalWipesTheContext) {
  const Bytes data(100, 0x61);
  uint8_t out[32];
  Sm3Context sm3;
  SM3_Init(&sm3);
  SM3_Update(&sm3, data.data(), 100);
  SM3_Final(&sm3, out);
  EXPECT_TRUE(AllZero(sm3));
  Md5Context md5;
  MD5_InitContext(&md5);
  MD5_UpdateContext(&md5, data.data(), 100);
  MD5_FinalContext(&md5, out);
  EXPECT_TRUE(AllZero(md5));
}

}  // namespace
