// RSA key records, the container's RSA key files, key generation and public-key export.
// Numbers are big-endian here; the command builders reverse them for the card.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

typedef struct bignum_st BIGNUM;

inline constexpr std::uint32_t kRsa1024 = 1024;
inline constexpr std::uint32_t kRsa2048 = 2048;
inline constexpr std::size_t kRsaMaxBytes = 256;
inline constexpr std::size_t kRsaMaxHalf = 128;
inline constexpr std::size_t kRsaExponentBytes = 4;

// Every value left-aligned at its natural width: k bytes (n, d), k/2 (CRT parts), 4 (e).
struct RsaKeyRecord {
  std::uint32_t BitLen;
  std::uint8_t Modulus[kRsaMaxBytes];
  std::uint8_t PublicExponent[kRsaMaxBytes];
  std::uint8_t PrivateExponent[kRsaMaxBytes];
  std::uint8_t Prime1[kRsaMaxHalf];
  std::uint8_t Prime2[kRsaMaxHalf];
  std::uint8_t Prime1Exponent[kRsaMaxHalf];
  std::uint8_t Prime2Exponent[kRsaMaxHalf];
  std::uint8_t Coefficient[kRsaMaxHalf];
};

struct RsaPublicKeyRecord {
  std::uint32_t BitLen;
  std::uint8_t Modulus[kRsaMaxBytes];
  std::uint8_t PublicExponent[kRsaMaxBytes];
};

// All return 0, or -1 on a transport failure or any status but 9000 (nothing is undone).
// `bits` 1024 takes the 1024-bit forms, anything else the 2048-bit forms.

// Creates whichever of EF 001A..001D the current container DF lacks.
int QX_CreateRsaKeyFiles(DEVHANDLE device, std::uint32_t bits);
// Generates the signing pair (flag set) or the exchange pair and reads back its public key.
int QX_GenRsaKeyPair(DEVHANDLE device, std::uint32_t bits, int signing,
                     RsaPublicKeyRecord *public_key);
// Generates a pair in working memory and reads its public key and CRT parts; BitLen and
// PrivateExponent are left to the caller.
int QX_GenExtRsaKey(DEVHANDLE device, std::uint32_t bits, RsaKeyRecord *key);
// Writes the CRT parts of `key` (P, Q, coefficient, DP, DQ; BitLen / 16 bytes each) into the
// selected private key file.
int QX_WriteRsaPrivateParts(DEVHANDLE device, const RsaKeyRecord &key);
// The public key of the signing (flag set) or exchange pair; size unit 1 is 1024 bits.
int QX_RsaExportPublicKey(DEVHANDLE device, int size_unit, int signing,
                          RsaPublicKeyRecord *public_key);

// The magnitude least significant byte first; the byte count, 0 for zero, or -1 when it does
// not fit `out`.
int BignumToBytes(const BIGNUM *number, std::span<std::uint8_t> out);
// Reverses `length` bytes in place; returns length / 2.
int ReverseBuffer(std::uint8_t *buffer, std::uint32_t length);
