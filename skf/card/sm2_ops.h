// SM2 operations on the card: the container's key files, generation, signing and decryption
// with the container keys, and verification, encryption, signing and decryption with keys the
// caller supplies (loaded into the MF's EF 0005 / EF 0006). Values are 32-byte big-endian
// numbers; points are x then y (64 bytes); ciphertexts C1 C2 C3.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kSm2Scalar = 32;
inline constexpr int kSm2Point = 64;
inline constexpr int kSm2Signature = 64;
inline constexpr int kSm2CipherOverhead = 96;  // C1 and C3
inline constexpr int kSm2PlainMax = 160;
inline constexpr int kSm2ContainerAnswerMax = 256;

// All return 0, -1 on any failure, or kOutTooSmall when a non-NULL `out` cannot hold the
// result (its length stored). `out` with a NULL data pointer only reports the length.
// The signing flag picks the signing pair (EF 000C/000D), else the encryption pair (000A/000B).

int QX_CreateEccKeyFiles(DEVHANDLE device);
int QX_GenEccKeyPair(DEVHANDLE device, int signing, std::uint8_t public_key[64],
                     int *public_length);
int QX_EccSign(DEVHANDLE device, std::span<const std::uint8_t> digest, std::span<std::uint8_t> out,
               int *out_length);
int QX_EccVerify(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                 std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature);
// At most 160 bytes of plaintext.
int QX_EccEncrypt(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                  std::span<const std::uint8_t> plain, std::span<std::uint8_t> out,
                  int *out_length);
// Decryption with a caller's key tries the card's C1 C3 C2 order first, then C1 C2 C3 as given;
// with a container's key it tries the orders of the library variant.
int QX_EccDecryptExt(DEVHANDLE device, std::span<const std::uint8_t> private_key,
                     std::span<const std::uint8_t> cipher, std::span<std::uint8_t> out,
                     int *out_length);
int QX_EccSignExt(DEVHANDLE device, std::span<const std::uint8_t> private_key,
                  std::span<const std::uint8_t> data, std::span<std::uint8_t> out, int *out_length);
int QX_PrivateEccDecrypt(DEVHANDLE device, int signing, std::span<const std::uint8_t> cipher,
                         std::span<std::uint8_t> out, int *out_length);
int QX_EccExportPublicKey(DEVHANDLE device, int signing, std::uint8_t public_key[64],
                          int *public_length);
// A pair in the card's working memory, both halves read back.
int QX_GenExtEccKey(DEVHANDLE device, std::uint8_t public_key[64], int *public_length,
                    std::uint8_t private_key[32], int *private_length);
void ReverseBytes(std::uint8_t *buffer, int length);
