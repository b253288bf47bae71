// Decryption of an imported private key under its unwrapped session key: triple DES in
// software for identifier 1, the card's ECB block by block for every other identifier.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kImportedKeyMax = 64;

// 0, or -1 on a key over 64 bytes, a length that is no multiple of the block (8 for DES, 16
// otherwise), an `out` smaller than the input, a failed block, or (strip set, card path) a
// last byte above 16. Strip set on the card path removes the padding that last byte names.
int QX_DecryptImportedKey(DEVHANDLE device, std::uint32_t alg_id, int strip,
                          std::span<const std::uint8_t> key, std::span<const std::uint8_t> in,
                          std::span<std::uint8_t> out, int *out_length);
