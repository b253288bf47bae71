// DES and triple DES in ECB mode through OpenSSL's EVP cipher interface.
#pragma once

#include <cstdint>

// Encrypts inLen bytes. triple 0: single DES (8-byte key); triple set: two-key triple DES
// for a 16-byte key, three-key (24 bytes) for any other length. padding 0 requires a
// multiple of 8; padding set appends the standard block padding (out holds inLen + 8).
// Returns 1, or 0 on failure (bad length or key length, NULL argument, cipher unavailable).
int DES_EvpEncrypt(uint8_t *out, int *outLen, const uint8_t *in, int inLen, const uint8_t *key,
                   int keyLen, int triple, int padding);

// Decrypts inLen bytes (a multiple of 8), same cipher choice. padding set removes the
// standard block padding and fails when it is malformed. Returns 1, or 0 on failure.
int DES_EvpDecrypt(uint8_t *out, int *outLen, const uint8_t *in, int inLen, const uint8_t *key,
                   int keyLen, int triple, int padding);
