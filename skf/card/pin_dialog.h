// The PIN dialog: dialog resource 101 of the library's own module (Windows) or the pinentry
// prompt (elsewhere), with the checks of an entered PIN.
#pragma once

#include "skf/card/pin_cache.h"

inline constexpr int kPinDialogId = 101;
inline constexpr int kPinIconId = 103;
inline constexpr int kPinEditId = 1000;
inline constexpr int kPinEntryMin = 4;

// 0 and the entered PIN in `pin` when the user chose OK; -1 otherwise.
int ShowPinDialog(char pin[kPinTextSize]);

// nullptr for an acceptable entry (4 to 16 letters and digits), else the message to show.
const char *CheckPinEntry(const char *text);
