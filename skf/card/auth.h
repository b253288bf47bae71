// Card authentication and PIN derivation.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

inline constexpr int kDerivedPinSize = 6;  // written with a NUL after it
inline constexpr int kPinTextMax = 16;     // characters of a PIN that take part
inline constexpr int kFormatKeySize = 16;

// External authentication with the built-in key, so the current DF allows creating and deleting
// files. 0 accepted, -1 otherwise.
int QX_AuthDir(DEVHANDLE device);
// External authentication at format time: the card encrypts challenge and zeros under the
// format key taken from `key_text`. 0 accepted, -1 otherwise.
int QX_FormatAuth(DEVHANDLE device, const char *key_text);
// The 16-byte key of a key text: its first 16 bytes, zero-padded when shorter.
void FormKeyFromText(const char *key_text, std::uint8_t key[kFormatKeySize]);
// The card's 6-byte PIN value of a PIN text, then a NUL: `out` holds 7 bytes.
void QX_DerivePin(const char *pin, std::uint8_t out[kDerivedPinSize + 1]);
