#include "certdesk/pin_text.h"

#include <cstring>

namespace certdesk {

std::size_t PinText::Length() const { return std::strlen(text); }

void ReadPin(HWND dialog, int id, PinText *pin) {
  SecureZeroMemory(pin->text, sizeof pin->text);
  GetDlgItemTextA(dialog, id, pin->text, kPinReadMax + 1);
}

bool OnlyCharacters(const char *text, bool (*allowed)(unsigned char c)) {
  for (const char *c = text; *c; ++c) {
    if (!allowed(static_cast<unsigned char>(*c))) return false;
  }
  return true;
}

bool IsPrintableAscii(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

bool IsAlphanumeric(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace certdesk
