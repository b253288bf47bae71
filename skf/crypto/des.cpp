#include "skf/crypto/des.h"

#include <array>
#include <cstddef>

#include "skf/crypto/des_tables.h"

namespace {

using namespace des_tables;

constexpr int kRounds = 16;
using Subkeys = std::array<uint64_t, kRounds>;

// Picks table[i] bits of an in_bits-wide value, in table order, into an out_bits-wide value.
template <size_t N>
constexpr uint64_t Permute(uint64_t in, int in_bits, const uint8_t (&table)[N]) {
  uint64_t out = 0;
  for (uint8_t pos : table) out = (out << 1) | ((in >> (in_bits - pos)) & 1);
  return out;
}

uint64_t Load64(const uint8_t b[8]) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | b[i];
  return v;
}

void Store64(uint64_t v, uint8_t b[8]) {
  for (int i = 7; i >= 0; --i, v >>= 8) b[i] = static_cast<uint8_t>(v);
}

Subkeys KeySchedule(const uint8_t key[8]) {
  constexpr uint32_t kMask28 = 0x0FFFFFFF;
  const uint64_t cd = Permute(Load64(key), 64, kPc1);
  uint32_t c = static_cast<uint32_t>(cd >> 28) & kMask28;
  uint32_t d = static_cast<uint32_t>(cd) & kMask28;
  Subkeys k{};
  for (int i = 0; i < kRounds; ++i) {
    const int s = kShifts[i];
    c = ((c << s) | (c >> (28 - s))) & kMask28;
    d = ((d << s) | (d >> (28 - s))) & kMask28;
    k[i] = Permute((static_cast<uint64_t>(c) << 28) | d, 56, kPc2);
  }
  return k;
}

uint32_t Feistel(uint32_t r, uint64_t subkey) {
  const uint64_t x = Permute(r, 32, kE) ^ subkey;
  uint32_t s_out = 0;
  for (int s = 0; s < 8; ++s) {
    const unsigned six = static_cast<unsigned>(x >> (42 - 6 * s)) & 0x3F;
    const unsigned row = ((six >> 4) & 2) | (six & 1);
    const unsigned col = (six >> 1) & 0xF;
    s_out = (s_out << 4) | kSbox[s][row * 16 + col];
  }
  return static_cast<uint32_t>(Permute(s_out, 32, kP));
}

void Crypt(const uint8_t in[8], uint8_t out[8], const uint8_t key[8], bool decrypt) {
  const Subkeys k = KeySchedule(key);
  const uint64_t ip = Permute(Load64(in), 64, kIp);
  uint32_t l = static_cast<uint32_t>(ip >> 32);
  uint32_t r = static_cast<uint32_t>(ip);
  for (int i = 0; i < kRounds; ++i) {
    const uint32_t next = l ^ Feistel(r, k[decrypt ? kRounds - 1 - i : i]);
    l = r;
    r = next;
  }
  // The last round's halves are not swapped back.
  Store64(Permute((static_cast<uint64_t>(r) << 32) | l, 64, kFp), out);
}

}  // namespace

void DES_EncryptBlock(const uint8_t in[8], uint8_t out[8], const uint8_t key[8]) {
  Crypt(in, out, key, false);
}

void DES_DecryptBlock(const uint8_t in[8], uint8_t out[8], const uint8_t key[8]) {
  Crypt(in, out, key, true);
}
