// SM4 block cipher (GB/T 32907).
#pragma once

#include <cstdint>

inline constexpr int kSm4BlockSize = 16;
inline constexpr int kSm4KeySize = 16;
inline constexpr int kSm4Rounds = 32;
inline constexpr int kSm4DecryptMode = 1;

// Expands a key into 32 round keys: mode 1 gives the decryption order, any other value the
// encryption order.
void SM4_SetKey(const uint8_t key[16], uint32_t roundKeys[32], int mode);

// One block, encryption or decryption according to the round-key order.
void SM4_CryptBlock(const uint8_t in[16], uint8_t out[16], const uint32_t roundKeys[32]);

// ECB decryption of inLen bytes (a multiple of 16). out NULL: *outLen = inLen, nothing else.
// strip set: the last byte p of the plaintext removes p bytes (0 none, above 16 an error).
// Returns 0, or -1 on a bad length, a NULL argument or bad padding.
int SM4_DecryptEcb(const uint8_t *in, int inLen, const uint8_t key[16], uint8_t *out, int *outLen,
                   int strip);
