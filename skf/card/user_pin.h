// The user PIN on the card: verification and change, in the plain or the protected
// presentation that the card's PIN mode answer selects. Results follow pin_result.h.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr std::uint8_t kPinSeparator = 0xFF;  // between old and new PIN in a change block

// Verifies `pin` (its first 16 characters take part); the length is not used. On success the
// PIN is also written to the shared PIN cache.
int QX_VerifyUserPin(DEVHANDLE device, const char *pin, int length);
// `block` is the old PIN, one 0xFF byte and the new PIN. The shared PIN cache is not touched.
int QX_SendUserPinChange(DEVHANDLE device, std::span<const std::uint8_t> block);
// 0 changed; -1 otherwise, with *retries set to the retries left when the card refused the PIN
// (0 when blocked) and left as it was on any other failure.
int QX_ChangeUserPin(DEVHANDLE device, const char *old_pin, const char *new_pin,
                     std::uint32_t *retries);
