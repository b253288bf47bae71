// tokenbase's hex-text DES: a DES core of its own (FIPS 46-3) under two MAC routines that take
// their data and key as hexadecimal text, and MacOverHexText, the front end that the PIN
// commands call with bytes. Hex text: an even number of the characters 0-9, A-F, a-f and a NUL;
// two characters a byte, high digit first; text made here is upper case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kHexDesBlock = 8;
inline constexpr int kHexDesRounds = 16;
// A round key or an expanded half: eight 6-bit values, one a byte.
inline constexpr std::size_t kHexDesSixBitValues = 8;
inline constexpr std::size_t kHexDesMacText = 2 * kHexDesBlock + 1;  // 16 characters and NUL
inline constexpr std::size_t kHexDesMaxBytes = 256;                  // HexDes_BytesToHexText
inline constexpr std::size_t kHexDesMaxText = 260;                   // HexDes_HexTextToBytes
inline constexpr int kMacOverHexTextMax = 63;                        // message bytes
inline constexpr std::size_t kMacOverHexTextOut = kHexDesBlock + 1;  // MAC bytes and a NUL

// Result codes of the two MAC routines; when several apply, the first in this order counts.
inline constexpr std::uint16_t kHexDesOk = 0;
inline constexpr std::uint16_t kHexDesNotHex = 0xFFE2;        // data or key is not hex text
inline constexpr std::uint16_t kHexDesKeyLength = 0xFFDD;     // key text not 32 (16) characters
inline constexpr std::uint16_t kHexDesPartialBlock = 0xFFDC;  // data not whole 8-byte blocks
inline constexpr std::uint16_t kHexDesShortData = 0xFFDB;     // data shorter than 16 bytes

using HexDesRoundKeys = std::uint8_t[kHexDesRounds][kHexDesSixBitValues];

// The DES core, one FIPS 46-3 step each; blocks and halves in place where no output is named.
void HexDes_InitialPermute(std::uint8_t block[8]);
void HexDes_Expand(const std::uint8_t half[4], std::uint8_t out[8]);
void HexDes_Xor8(std::uint8_t a[8], const std::uint8_t b[8]);
void HexDes_Substitute(const std::uint8_t in[8], std::uint8_t out[4]);
void HexDes_PermuteP(const std::uint8_t in[4], std::uint8_t out[4]);
void HexDes_ApplyP(std::uint8_t half[4]);
void HexDes_Xor4(std::uint8_t a[4], const std::uint8_t b[4]);
void HexDes_FinalPermute(std::uint8_t block[8]);
// The 28-bit halves C and D of a key, in the low bits.
void HexDes_PC1(const std::uint8_t key[8], std::uint32_t *c, std::uint32_t *d);
void HexDes_PC2(std::uint32_t c, std::uint32_t d, std::uint8_t out[8]);
// Left rotation of both halves for round 0..15 of the schedule.
void HexDes_RotateHalves(std::uint32_t *c, std::uint32_t *d, int round);
void HexDes_KeySchedule(const std::uint8_t key[8], HexDesRoundKeys round_keys);
// f(R, K) = P(S(E(R) XOR K)).
void HexDes_RoundF(const std::uint8_t half[4], const std::uint8_t round_key[8],
                   std::uint8_t out[4]);
void HexDes_EncryptBlock(std::uint8_t block[8], const std::uint8_t key[8]);
void HexDes_DecryptBlock(std::uint8_t block[8], const std::uint8_t key[8]);

// Appends the byte as two upper-case digits ("%02X") to the NUL-terminated text in `text`;
// false, with nothing changed, when they do not fit.
bool HexDes_AppendHexByte(std::span<char> text, std::uint8_t byte);
// The value of the n-th character pair (n from 1), either case; 0 when the text has fewer than
// n pairs (a character that is no digit counts as 0).
std::uint8_t HexDes_HexPairToByte(const char *text, std::size_t n);
// True for hex text, the empty text included.
bool HexDes_IsHexText(const char *text);

// ISO/IEC 9797-1 MAC algorithm 3 under the 32-character key text (K1, K2), and algorithm 1
// under a 16-character one, with the data's first block as initial value; the result is the
// whole 8-byte final value as 16 characters. A code other than kHexDesOk leaves `result` as it
// was.
std::uint16_t HexDes_Mac3(const char *data, const char *key, char result[kHexDesMacText]);
std::uint16_t HexDes_Mac(const char *data, const char *key, char result[kHexDesMacText]);

// Hex text of *length bytes (at most 256) into `text` with its NUL; *length becomes the
// number of characters. -1, with nothing written, when the bytes or the text do not fit.
int HexDes_BytesToHexText(const std::uint8_t *bytes, int *length, std::span<char> text);
// One byte a character pair of the first *length characters of `text` (at most 260, an even
// number), a NUL byte after them; *length becomes the number of bytes. -1, with nothing
// written, when the characters or the bytes do not fit.
int HexDes_HexTextToBytes(const char *text, int *length, std::span<std::uint8_t> bytes);

// The MAC of a message of at most 63 bytes: algorithm 3 under the 16-byte key when the low
// byte of `flag` is 0, else algorithm 1 under its first 8 bytes (bit 0 of `flag` also picks the
// 8-byte key text). `out` (9 bytes) receives the 8 MAC bytes and a NUL, or only a NUL when the
// input is refused. Always 0.
int MacOverHexText(const std::uint8_t *message, int length, std::uint8_t *out,
                   const std::uint8_t *key, std::uint32_t flag);
