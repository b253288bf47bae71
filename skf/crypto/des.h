// Single-block DES (FIPS 46-3) for card authentication and PIN derivation.
#pragma once

#include <cstdint>

inline constexpr int kDesBlockSize = 8;
inline constexpr int kDesKeySize = 8;

// Encrypts one block under an 8-byte key; parity bits are ignored. in and out are distinct.
void DES_EncryptBlock(const uint8_t in[8], uint8_t out[8], const uint8_t key[8]);

// Decrypts one block under an 8-byte key (subkeys in reverse order).
void DES_DecryptBlock(const uint8_t in[8], uint8_t out[8], const uint8_t key[8]);
