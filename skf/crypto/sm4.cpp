#include "skf/crypto/sm4.h"

#include <array>
#include <cstring>

namespace {

// clang-format off
constexpr uint8_t kSbox[256] = {
  0xd6, 0x90, 0xe9, 0xfe, 0xcc, 0xe1, 0x3d, 0xb7, 0x16, 0xb6, 0x14, 0xc2, 0x28, 0xfb, 0x2c, 0x05,
  0x2b, 0x67, 0x9a, 0x76, 0x2a, 0xbe, 0x04, 0xc3, 0xaa, 0x44, 0x13, 0x26, 0x49, 0x86, 0x06, 0x99,
  0x9c, 0x42, 0x50, 0xf4, 0x91, 0xef, 0x98, 0x7a, 0x33, 0x54, 0x0b, 0x43, 0xed, 0xcf, 0xac, 0x62,
  0xe4, 0xb3, 0x1c, 0xa9, 0xc9, 0x08, 0xe8, 0x95, 0x80, 0xdf, 0x94, 0xfa, 0x75, 0x8f, 0x3f, 0xa6,
  0x47, 0x07, 0xa7, 0xfc, 0xf3, 0x73, 0x17, 0xba, 0x83, 0x59, 0x3c, 0x19, 0xe6, 0x85, 0x4f, 0xa8,
  0x68, 0x6b, 0x81, 0xb2, 0x71, 0x64, 0xda, 0x8b, 0xf8, 0xeb, 0x0f, 0x4b, 0x70, 0x56, 0x9d, 0x35,
  0x1e, 0x24, 0x0e, 0x5e, 0x63, 0x58, 0xd1, 0xa2, 0x25, 0x22, 0x7c, 0x3b, 0x01, 0x21, 0x78, 0x87,
  0xd4, 0x00, 0x46, 0x57, 0x9f, 0xd3, 0x27, 0x52, 0x4c, 0x36, 0x02, 0xe7, 0xa0, 0xc4, 0xc8, 0x9e,
  0xea, 0xbf, 0x8a, 0xd2, 0x40, 0xc7, 0x38, 0xb5, 0xa3, 0xf7, 0xf2, 0xce, 0xf9, 0x61, 0x15, 0xa1,
  0xe0, 0xae, 0x5d, 0xa4, 0x9b, 0x34, 0x1a, 0x55, 0xad, 0x93, 0x32, 0x30, 0xf5, 0x8c, 0xb1, 0xe3,
  0x1d, 0xf6, 0xe2, 0x2e, 0x82, 0x66, 0xca, 0x60, 0xc0, 0x29, 0x23, 0xab, 0x0d, 0x53, 0x4e, 0x6f,
  0xd5, 0xdb, 0x37, 0x45, 0xde, 0xfd, 0x8e, 0x2f, 0x03, 0xff, 0x6a, 0x72, 0x6d, 0x6c, 0x5b, 0x51,
  0x8d, 0x1b, 0xaf, 0x92, 0xbb, 0xdd, 0xbc, 0x7f, 0x11, 0xd9, 0x5c, 0x41, 0x1f, 0x10, 0x5a, 0xd8,
  0x0a, 0xc1, 0x31, 0x88, 0xa5, 0xcd, 0x7b, 0xbd, 0x2d, 0x74, 0xd0, 0x12, 0xb8, 0xe5, 0xb4, 0xb0,
  0x89, 0x69, 0x97, 0x4a, 0x0c, 0x96, 0x77, 0x7e, 0x65, 0xb9, 0xf1, 0x09, 0xc5, 0x6e, 0xc6, 0x84,
  0x18, 0xf0, 0x7d, 0xec, 0x3a, 0xdc, 0x4d, 0x20, 0x79, 0xee, 0x5f, 0x3e, 0xd7, 0xcb, 0x39, 0x48,
};
// clang-format on

constexpr uint32_t kFk[4] = {0xa3b1bac6, 0x56aa3350, 0x677d9197, 0xb27022dc};

constexpr uint32_t Rotl(uint32_t x, int n) { return n == 0 ? x : (x << n) | (x >> (32 - n)); }

// CK_i: byte j is (4i + j) * 7 mod 256.
constexpr std::array<uint32_t, kSm4Rounds> MakeCk() {
  std::array<uint32_t, kSm4Rounds> ck{};
  for (int i = 0; i < kSm4Rounds; ++i) {
    for (int j = 0; j < 4; ++j) ck[i] = (ck[i] << 8) | (((4 * i + j) * 7) & 0xFF);
  }
  return ck;
}
constexpr auto kCk = MakeCk();

// The round transform T = L(S(.)) as four byte-indexed tables: kT[k][x] is L applied to
// the S-box value of x placed in byte k (k = 0 the most significant).
using TTables = std::array<std::array<uint32_t, 256>, 4>;
constexpr TTables MakeTTables() {
  TTables t{};
  for (int x = 0; x < 256; ++x) {
    const uint32_t s = uint32_t{kSbox[x]} << 24;
    const uint32_t l = s ^ Rotl(s, 2) ^ Rotl(s, 10) ^ Rotl(s, 18) ^ Rotl(s, 24);
    for (int k = 0; k < 4; ++k) t[k][x] = Rotl(l, (32 - 8 * k) % 32);
  }
  return t;
}
constexpr TTables kT = MakeTTables();

[[gnu::always_inline]] inline uint32_t RoundT(uint32_t b) {
  return kT[0][b >> 24] ^ kT[1][(b >> 16) & 0xFF] ^ kT[2][(b >> 8) & 0xFF] ^ kT[3][b & 0xFF];
}

uint32_t KeyT(uint32_t b) {
  const uint32_t s = (uint32_t{kSbox[b >> 24]} << 24) | (uint32_t{kSbox[(b >> 16) & 0xFF]} << 16) |
                     (uint32_t{kSbox[(b >> 8) & 0xFF]} << 8) | kSbox[b & 0xFF];
  return s ^ Rotl(s, 13) ^ Rotl(s, 23);
}

uint32_t Load32BE(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Store32BE(uint32_t v, uint8_t *p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

void SM4_SetKey(const uint8_t key[16], uint32_t roundKeys[32], int mode) {
  uint32_t k[4];
  for (int i = 0; i < 4; ++i) k[i] = Load32BE(key + 4 * i) ^ kFk[i];
  for (int i = 0; i < kSm4Rounds; ++i) {
    const uint32_t rk = k[i % 4] ^ KeyT(k[(i + 1) % 4] ^ k[(i + 2) % 4] ^ k[(i + 3) % 4] ^ kCk[i]);
    k[i % 4] = rk;
    roundKeys[mode == kSm4DecryptMode ? kSm4Rounds - 1 - i : i] = rk;
  }
}

void SM4_CryptBlock(const uint8_t in[16], uint8_t out[16], const uint32_t roundKeys[32]) {
  uint32_t x0 = Load32BE(in), x1 = Load32BE(in + 4), x2 = Load32BE(in + 8), x3 = Load32BE(in + 12);
#pragma GCC unroll 8
  for (int i = 0; i < kSm4Rounds; i += 4) {
    x0 ^= RoundT(x1 ^ x2 ^ x3 ^ roundKeys[i]);
    x1 ^= RoundT(x2 ^ x3 ^ x0 ^ roundKeys[i + 1]);
    x2 ^= RoundT(x3 ^ x0 ^ x1 ^ roundKeys[i + 2]);
    x3 ^= RoundT(x0 ^ x1 ^ x2 ^ roundKeys[i + 3]);
  }
  Store32BE(x3, out);
  Store32BE(x2, out + 4);
  Store32BE(x1, out + 8);
  Store32BE(x0, out + 12);
}

int SM4_DecryptEcb(const uint8_t *in, int inLen, const uint8_t key[16], uint8_t *out, int *outLen,
                   int strip) {
  if (inLen < 0 || inLen % kSm4BlockSize != 0 || outLen == nullptr) return -1;
  if (out == nullptr) {
    *outLen = inLen;
    return 0;
  }
  if (inLen == 0) {
    *outLen = 0;
    return 0;
  }
  if (in == nullptr || key == nullptr) return -1;
  uint32_t rk[kSm4Rounds];
  SM4_SetKey(key, rk, kSm4DecryptMode);
  const int last = inLen - kSm4BlockSize;
  for (int off = 0; off < last; off += kSm4BlockSize) SM4_CryptBlock(in + off, out + off, rk);
  uint8_t tail[kSm4BlockSize];
  SM4_CryptBlock(in + last, tail, rk);
  int keep = kSm4BlockSize;
  if (strip) {
    const int p = tail[kSm4BlockSize - 1];
    if (p > kSm4BlockSize) return -1;
    keep -= p;
  }
  std::memcpy(out + last, tail, static_cast<size_t>(keep));
  *outLen = last + keep;
  return 0;
}
