// The result convention of the card PIN routines.
#pragma once

#include <cstdint>

inline constexpr int kPinVerified = 0;  // verified, changed or unblocked
inline constexpr int kPinBlocked = -1;
inline constexpr int kPinFailed = -1000;  // transport failure or any other status word
inline constexpr int kPinRetriesMax = 15;

// 0 for 9000, n for 63Cn (n = 1..15), -1 for 63C0, 6983 and 9303, -1000 for a negative
// transport result or any other status word.
int PinResult(int transport, std::uint16_t sw);
// The outcome that the verifying, changing and unblocking routines give their callers for a
// result `r` of the above: 0 when verified, else -1. *retries (when not NULL) gets 0 when
// blocked and r for a count r > 0; for any other result it stays as it was.
int PinOutcome(int r, std::uint32_t *retries);
