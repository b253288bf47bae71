#include "certdesk/pin_strength.h"

namespace certdesk {

namespace {

template <typename Predicate>
bool All(const char *text, Predicate holds) {
  for (const char *c = text; *c; ++c) {
    if (!holds(c)) return false;
  }
  return true;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Upper(char c) { return c >= 'A' && c <= 'Z'; }
bool Lower(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

int RatePinStrength(const char *text) {
  if (!text || !*text) return 0;
  if (All(text, [](const char *c) { return Digit(*c); })) return 1;
  if (All(text, [&](const char *c) { return *c == text[0]; })) return 1;
  if (All(text, [&](const char *c) {
        return c == text || static_cast<unsigned char>(*c) == static_cast<unsigned char>(c[-1]) + 1;
      })) {
    return 1;
  }
  if (All(text, [](const char *c) { return Upper(*c); }) ||
      All(text, [](const char *c) { return Lower(*c); })) {
    return 2;
  }
  return 3;
}

}  // namespace certdesk
