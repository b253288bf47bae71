// Verification of the user PIN for the exports: the PIN given, or, for the PinAskMarker, the
// cached PIN or the one the user enters in the PIN dialog.
#pragma once

#include <cstdint>

#include "skf/card/pin_cache.h"
#include "skf/card/readerio_api.h"

inline constexpr int kPinAskMarkerLength = 10;

// The marker text: two control characters and eight digits, formed at run time.
void QX_PinAskMarker(char marker[kPinAskMarkerLength + 1]);
bool IsPinAskMarker(const char *pin);

// 0 verified (for the marker, `pin` then holds the PIN that was verified); -1 wrong, blocked or
// cancelled; -2 when the card exchange failed (also in the marker's loop). *retries gets the
// retries left when the card refused the PIN (0 when blocked), and only then.
int QX_VerifyPinOrAsk(DEVHANDLE device, char pin[kPinTextSize], std::uint32_t *retries);
