// PIN texts read from the dialogs' edits.
#pragma once

#include <windows.h>

#include <cstddef>

namespace certdesk {

inline constexpr int kPinEditLimit = 16;  // characters an edit takes
inline constexpr int kPinReadMax = 31;    // characters read back from an edit

// A PIN buffer that is cleared when it goes.
struct PinText {
  char text[64] = {};
  ~PinText() { SecureZeroMemory(text, sizeof text); }
  std::size_t Length() const;
};

// Reads at most kPinReadMax characters of the edit `id`.
void ReadPin(HWND dialog, int id, PinText *pin);

// True when every character of `text` satisfies `allowed`.
bool OnlyCharacters(const char *text, bool (*allowed)(unsigned char c));
bool IsPrintableAscii(unsigned char c);  // 0x21..0x7E
bool IsAlphanumeric(unsigned char c);    // 0-9, A-Z, a-z

}  // namespace certdesk
