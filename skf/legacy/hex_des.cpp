#include "skf/legacy/hex_des.h"

#include <algorithm>
#include <cstring>

#include "skf/card/secure_zero.h"
#include "skf/crypto/des_tables.h"

namespace {

using namespace des_tables;

constexpr std::size_t kHalf = 4;
constexpr std::uint32_t kHalfKeyMask = 0x0FFFFFFF;  // 28 bits
constexpr int kHalfKeyBits = 28;
constexpr int kSixBits = 6;
constexpr char kDigits[] = "0123456789ABCDEF";
constexpr std::size_t kKeyText3 = 32;  // K1 and K2
constexpr std::size_t kKeyText1 = 16;  // K
constexpr std::size_t kMinDataBytes = 2 * kHexDesBlock;
constexpr std::size_t kMessageText = 128;  // message text of MacOverHexText
constexpr std::uint32_t kSingleKeyBit = 0x01;
constexpr std::uint32_t kSingleDesMask = 0xFF;

// Bit `position` (1 = the most significant bit of byte 0) of a byte string.
int BitAt(const std::uint8_t *bytes, int position) {
  const int i = position - 1;
  return bytes[i / 8] >> (7 - i % 8) & 1;
}

void SetBit(std::uint8_t *bytes, int position, int value) {
  const int i = position - 1;
  if (value) bytes[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
}

// out (zeroed here, N bits) takes bit table[k] of `in` as its bit k + 1.
template <std::size_t N>
void Permute(const std::uint8_t *in, const std::uint8_t (&table)[N], std::uint8_t *out) {
  std::memset(out, 0, (N + 7) / 8);
  for (std::size_t k = 0; k < N; ++k) SetBit(out, static_cast<int>(k + 1), BitAt(in, table[k]));
}

// Six bits of a bit string, from bit `first` on, as one value.
std::uint8_t SixBitsAt(const std::uint8_t *bytes, int first) {
  std::uint8_t v = 0;
  for (int k = 0; k < kSixBits; ++k)
    v = static_cast<std::uint8_t>(v << 1 | BitAt(bytes, first + k));
  return v;
}

void Crypt(std::uint8_t block[8], const std::uint8_t key[8], bool decrypt) {
  HexDesRoundKeys keys;
  HexDes_KeySchedule(key, keys);
  HexDes_InitialPermute(block);
  std::uint8_t left[kHalf];
  std::uint8_t right[kHalf];
  std::memcpy(left, block, kHalf);
  std::memcpy(right, block + kHalf, kHalf);
  for (int round = 0; round < kHexDesRounds; ++round) {
    std::uint8_t f[kHalf];
    HexDes_RoundF(right, keys[decrypt ? kHexDesRounds - 1 - round : round], f);
    HexDes_Xor4(left, f);
    std::swap_ranges(left, left + kHalf, right);
  }
  // The last round is not swapped: R16 L16 goes into the final permutation.
  std::memcpy(block, right, kHalf);
  std::memcpy(block + kHalf, left, kHalf);
  HexDes_FinalPermute(block);
  SecureZero(keys, sizeof keys);
}

int DigitValue(char c) {
  const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  const char *at = upper ? std::strchr(kDigits, upper) : nullptr;
  return at ? static_cast<int>(at - kDigits) : -1;
}

// The first block of the data is the initial value; each further block is chained under K1;
// algorithm 3 ends with decryption under K2 and encryption under K1.
std::uint16_t MacOverText(const char *data, const char *key, std::size_t key_text, bool algorithm3,
                          char result[kHexDesMacText]) {
  if (!data || !key || !result) return kHexDesNotHex;
  if (!HexDes_IsHexText(data) || !HexDes_IsHexText(key)) return kHexDesNotHex;
  if (std::strlen(key) != key_text) return kHexDesKeyLength;
  const std::size_t bytes = std::strlen(data) / 2;
  if (bytes % kHexDesBlock != 0) return kHexDesPartialBlock;
  if (bytes < kMinDataBytes) return kHexDesShortData;
  result[0] = '\0';
  std::uint8_t k1[kHexDesBlock];
  std::uint8_t k2[kHexDesBlock];
  for (std::size_t i = 0; i < kHexDesBlock; ++i) {
    k1[i] = HexDes_HexPairToByte(key, i + 1);
    k2[i] = algorithm3 ? HexDes_HexPairToByte(key, kHexDesBlock + i + 1) : 0;
  }
  std::uint8_t chain[kHexDesBlock];
  for (std::size_t i = 0; i < kHexDesBlock; ++i) chain[i] = HexDes_HexPairToByte(data, i + 1);
  for (std::size_t at = kHexDesBlock; at < bytes; at += kHexDesBlock) {
    for (std::size_t i = 0; i < kHexDesBlock; ++i)
      chain[i] ^= HexDes_HexPairToByte(data, at + i + 1);
    HexDes_EncryptBlock(chain, k1);
  }
  if (algorithm3) {
    HexDes_DecryptBlock(chain, k2);
    HexDes_EncryptBlock(chain, k1);
  }
  for (std::uint8_t b : chain) HexDes_AppendHexByte({result, kHexDesMacText}, b);
  SecureZero(k1, sizeof k1);
  SecureZero(k2, sizeof k2);
  SecureZero(chain, sizeof chain);
  return kHexDesOk;
}

}  // namespace

void HexDes_InitialPermute(std::uint8_t block[8]) {
  std::uint8_t out[kHexDesBlock];
  Permute(block, kIp, out);
  std::memcpy(block, out, sizeof out);
}

void HexDes_FinalPermute(std::uint8_t block[8]) {
  std::uint8_t out[kHexDesBlock];
  Permute(block, kFp, out);
  std::memcpy(block, out, sizeof out);
}

void HexDes_Expand(const std::uint8_t half[4], std::uint8_t out[8]) {
  std::uint8_t bits[6];
  Permute(half, kE, bits);
  for (std::size_t j = 0; j < kHexDesSixBitValues; ++j) {
    out[j] = SixBitsAt(bits, static_cast<int>(j) * kSixBits + 1);
  }
}

void HexDes_Xor8(std::uint8_t a[8], const std::uint8_t b[8]) {
  for (std::size_t i = 0; i < 8; ++i) a[i] ^= b[i];
}

void HexDes_Xor4(std::uint8_t a[4], const std::uint8_t b[4]) {
  for (std::size_t i = 0; i < kHalf; ++i) a[i] ^= b[i];
}

// The outer two bits choose the row, the inner four the column; four bits out of each box,
// the first box in the high nibble of byte 0.
void HexDes_Substitute(const std::uint8_t in[8], std::uint8_t out[4]) {
  std::memset(out, 0, kHalf);
  for (std::size_t j = 0; j < kHexDesSixBitValues; ++j) {
    const std::uint8_t v = in[j] & 0x3F;
    const int row = (v >> 4 & 0x02) | (v & 0x01);
    const int column = v >> 1 & 0x0F;
    const std::uint8_t s = kSbox[j][row * 16 + column];
    out[j / 2] |= static_cast<std::uint8_t>(j % 2 == 0 ? s << 4 : s);
  }
}

void HexDes_PermuteP(const std::uint8_t in[4], std::uint8_t out[4]) { Permute(in, kP, out); }

void HexDes_ApplyP(std::uint8_t half[4]) {
  std::uint8_t out[kHalf];
  HexDes_PermuteP(half, out);
  std::memcpy(half, out, sizeof out);
}

void HexDes_PC1(const std::uint8_t key[8], std::uint32_t *c, std::uint32_t *d) {
  std::uint8_t bits[7];
  Permute(key, kPc1, bits);
  std::uint64_t cd = 0;
  for (std::uint8_t b : bits) cd = cd << 8 | b;
  *c = static_cast<std::uint32_t>(cd >> kHalfKeyBits) & kHalfKeyMask;
  *d = static_cast<std::uint32_t>(cd) & kHalfKeyMask;
}

void HexDes_PC2(std::uint32_t c, std::uint32_t d, std::uint8_t out[8]) {
  const std::uint64_t cd =
      static_cast<std::uint64_t>(c & kHalfKeyMask) << kHalfKeyBits | (d & kHalfKeyMask);
  std::uint8_t in[7];
  for (int i = 0; i < 7; ++i) in[i] = static_cast<std::uint8_t>(cd >> (8 * (6 - i)));
  std::uint8_t bits[6];
  Permute(in, kPc2, bits);
  for (std::size_t j = 0; j < kHexDesSixBitValues; ++j) {
    out[j] = SixBitsAt(bits, static_cast<int>(j) * kSixBits + 1);
  }
}

void HexDes_RotateHalves(std::uint32_t *c, std::uint32_t *d, int round) {
  const int s = kShifts[round];
  *c = ((*c << s) | (*c >> (kHalfKeyBits - s))) & kHalfKeyMask;
  *d = ((*d << s) | (*d >> (kHalfKeyBits - s))) & kHalfKeyMask;
}

void HexDes_KeySchedule(const std::uint8_t key[8], HexDesRoundKeys round_keys) {
  std::uint32_t c = 0;
  std::uint32_t d = 0;
  HexDes_PC1(key, &c, &d);
  for (int round = 0; round < kHexDesRounds; ++round) {
    HexDes_RotateHalves(&c, &d, round);
    HexDes_PC2(c, d, round_keys[round]);
  }
}

void HexDes_RoundF(const std::uint8_t half[4], const std::uint8_t round_key[8],
                   std::uint8_t out[4]) {
  std::uint8_t expanded[kHexDesSixBitValues];
  HexDes_Expand(half, expanded);
  HexDes_Xor8(expanded, round_key);
  HexDes_Substitute(expanded, out);
  HexDes_ApplyP(out);
}

void HexDes_EncryptBlock(std::uint8_t block[8], const std::uint8_t key[8]) {
  Crypt(block, key, false);
}

void HexDes_DecryptBlock(std::uint8_t block[8], const std::uint8_t key[8]) {
  Crypt(block, key, true);
}

bool HexDes_AppendHexByte(std::span<char> text, std::uint8_t byte) {
  const std::size_t n = strnlen(text.data(), text.size());
  if (n + 3 > text.size()) return false;
  text[n] = kDigits[byte >> 4];
  text[n + 1] = kDigits[byte & 0x0F];
  text[n + 2] = '\0';
  return true;
}

std::uint8_t HexDes_HexPairToByte(const char *text, std::size_t n) {
  if (!text || n == 0) return 0;
  const std::size_t at = 2 * (n - 1);
  if (strnlen(text, at + 2) < at + 2) return 0;
  const int high = DigitValue(text[at]);
  const int low = DigitValue(text[at + 1]);
  return static_cast<std::uint8_t>((high < 0 ? 0 : high) << 4 | (low < 0 ? 0 : low));
}

bool HexDes_IsHexText(const char *text) {
  if (!text) return false;
  std::size_t n = 0;
  for (; text[n]; ++n) {
    if (DigitValue(text[n]) < 0) return false;
  }
  return n % 2 == 0;
}

std::uint16_t HexDes_Mac3(const char *data, const char *key, char result[kHexDesMacText]) {
  return MacOverText(data, key, kKeyText3, true, result);
}

std::uint16_t HexDes_Mac(const char *data, const char *key, char result[kHexDesMacText]) {
  return MacOverText(data, key, kKeyText1, false, result);
}

int HexDes_BytesToHexText(const std::uint8_t *bytes, int *length, std::span<char> text) {
  if (!length || *length < 0 || static_cast<std::size_t>(*length) > kHexDesMaxBytes) return -1;
  const auto n = static_cast<std::size_t>(*length);
  if ((n && !bytes) || text.size() < 2 * n + 1) return -1;
  text[0] = '\0';
  for (std::size_t i = 0; i < n; ++i) HexDes_AppendHexByte(text, bytes[i]);
  *length = static_cast<int>(2 * n);
  return 0;
}

int HexDes_HexTextToBytes(const char *text, int *length, std::span<std::uint8_t> bytes) {
  if (!length || *length < 0 || static_cast<std::size_t>(*length) > kHexDesMaxText) return -1;
  const auto characters = static_cast<std::size_t>(*length);
  const std::size_t n = characters / 2;
  if (!text || strnlen(text, characters) < characters || bytes.size() < n + 1) return -1;
  for (std::size_t i = 0; i < n; ++i) bytes[i] = HexDes_HexPairToByte(text, i + 1);
  bytes[n] = 0;
  *length = static_cast<int>(n);
  return 0;
}

int MacOverHexText(const std::uint8_t *message, int length, std::uint8_t *out,
                   const std::uint8_t *key, std::uint32_t flag) {
  if (!out) return 0;
  if (!message || !key || length < 0 || length > kMacOverHexTextMax) {
    out[0] = 0;
    return 0;
  }
  char message_text[kMessageText] = {};
  int message_length = length;
  HexDes_BytesToHexText(message, &message_length, message_text);
  char key_text[2 * kKeyText1 + 1] = {};
  int key_length = static_cast<int>((flag & kSingleKeyBit) ? kHexDesBlock : 2 * kHexDesBlock);
  HexDes_BytesToHexText(key, &key_length, key_text);
  char result[kHexDesMacText] = {};
  if (flag & kSingleDesMask) {
    HexDes_Mac(message_text, key_text, result);
  } else {
    HexDes_Mac3(message_text, key_text, result);
  }
  int result_length = static_cast<int>(std::strlen(result));
  HexDes_HexTextToBytes(result, &result_length, {out, kMacOverHexTextOut});
  SecureZero(key_text, sizeof key_text);
  SecureZero(message_text, sizeof message_text);
  SecureZero(result, sizeof result);
  return 0;
}
