// Whole-buffer symmetric encryption and decryption: software triple DES for identifier 1, the
// card for every other identifier, with the host's 16-byte block padding.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

// Padding on: p = 16 - (length mod 16) bytes of value p follow the data.
int SymPaddedLength(int length);
// The length without the padding that `last` (the last plaintext byte) names: v > 16 is -1,
// v = 0 removes nothing.
int SymUnpaddedLength(int length, std::uint8_t last);

// 0 on success, -1 on any failure. `key` holds `key_length` bytes (the card uses the first 16);
// `iv` (16 bytes, CBC only) is advanced piece by piece. `out` with a NULL data pointer asks for
// the length; otherwise it must hold the whole result (-1 before any data command if not).
// Every card call sends the extended-length probe and the reader query first.
int QX_SymEncrypt(DEVHANDLE device, std::uint32_t alg_id, std::uint32_t padding,
                  const std::uint8_t *key, int key_length, std::uint8_t *iv, int iv_length,
                  const std::uint8_t *in, int in_length, std::span<std::uint8_t> out,
                  int *out_length);
// As above; `out` must not be NULL. Padding on with no data is -1.
int QX_SymDecrypt(DEVHANDLE device, std::uint32_t alg_id, std::uint32_t padding,
                  const std::uint8_t *key, int key_length, std::uint8_t *iv, int iv_length,
                  const std::uint8_t *in, int in_length, std::span<std::uint8_t> out,
                  int *out_length);
