// The one-PIN cache shared with other processes: the named mapping ZOLTACSP, which another
// program creates. The library only opens it, reads or writes the text at offset 0 and closes
// it again.
#pragma once

#include "skf/card/auth.h"

inline constexpr char kPinCacheName[] = "ZOLTACSP";
inline constexpr int kPinTextSize = kPinTextMax + 1;  // a PIN text and its NUL

// 0 and the cached PIN in `pin`; -1 when nothing is cached (first byte NUL) or the text is
// longer than 16 characters; -2 when the mapping cannot be opened or mapped.
int GetPin_FromMap(char pin[kPinTextSize]);
// 0 when copied to offset 0 (at most 16 characters and the NUL); -1 when the mapping cannot be
// opened or mapped, or `pin` is NULL.
int SetPin_ToMap(const char *pin);
