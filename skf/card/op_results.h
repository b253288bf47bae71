// Result codes of the card-side key operations beside 0 (success) and -1 (failure).
#pragma once

// The caller's output buffer cannot hold the result: the length is stored, nothing written.
inline constexpr int kOutTooSmall = -2;
