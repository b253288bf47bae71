// DES MAC over a short message (ISO/IEC 9797-1 algorithm 3, or algorithm 1 with a flag).
#pragma once

#include <cstdint>

inline constexpr int kRetailMacMaxMessage = 128;
inline constexpr int kRetailMacSize = 4;

// Block 0 of msg is the initial chaining value; blocks 1..n-1 are chained under K1 (key
// bytes 0..7), bytes after the last whole block are ignored, and the caller pads. flag 0
// finishes with decryption under K2 (key bytes 8..15) and encryption under K1; any other
// flag stops after the chaining. mac receives the first 4 bytes of the final value.
// Returns 0; -1 with mac zeroed when len is negative or above 128 or a pointer is NULL.
int DES_RetailMac(const uint8_t *msg, int len, uint8_t mac[4], const uint8_t key[16], uint8_t flag);
