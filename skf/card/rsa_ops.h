// RSA operations on the card: signing and decryption with the selected container's keys, and
// verification, key wrapping and raw operations with caller-supplied keys loaded into the MF
// work key files. Big-endian throughout; the builders reverse for the card.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"
#include "skf/card/rsa_keys.h"

// All return 0, -1 on any failure (transport, a status but 9000, a bad length or key size),
// or kOutTooSmall when `out` cannot hold the result (its length stored). Key records must be
// 1024 or 2048 bits.

// PKCS#1 type 1 over `data` (at most k - 11 bytes) with EF 001D; k = size unit x 128 (1 or 2).
int QX_RsaSign(DEVHANDLE device, int size_unit, std::span<const std::uint8_t> data,
               std::span<std::uint8_t> out, std::uint32_t *out_length);
// 0 when the signature (BitLen / 8 bytes) is a type-1 block carrying exactly `data`.
int QX_RsaVerify(DEVHANDLE device, const RsaPublicKeyRecord &key,
                 std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature);
// PKCS#1 type 2 around `session_key`, then the public-key operation.
int QX_RsaExportSessionKey(DEVHANDLE device, const RsaPublicKeyRecord &key,
                           std::span<const std::uint8_t> session_key, std::span<std::uint8_t> out,
                           std::uint32_t *out_length);
// The raw public-key operation; an input shorter than k is zero-extended at its end, a longer
// one refused.
int QX_RsaPublicOp(DEVHANDLE device, const RsaPublicKeyRecord &key,
                   std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                   std::uint32_t *out_length);
// Loads the whole key, then the private-key operation on k input bytes; the type-2 payload
// when the answer is such a block, else the k answer bytes.
int QX_RsaPrivateOp(DEVHANDLE device, const RsaKeyRecord &key, std::span<const std::uint8_t> in,
                    std::span<std::uint8_t> out, std::uint32_t *out_length);
// The container's signing (flag set) or exchange private key on 128 bytes (1024-bit form) or
// up to 256 bytes (2048-bit form, zero-extended at the end); longer inputs are refused.
// QX_RsaDecrypt removes type-2 padding; QX_RsaDecryptRaw returns the k answer bytes.
int QX_RsaDecrypt(DEVHANDLE device, int signing, std::span<const std::uint8_t> in,
                  std::span<std::uint8_t> out, std::uint32_t *out_length);
int QX_RsaDecryptRaw(DEVHANDLE device, int signing, std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, std::uint32_t *out_length);
