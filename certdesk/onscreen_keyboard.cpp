#include "certdesk/onscreen_keyboard.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "certdesk/resource_ids.h"

namespace certdesk {

namespace {

constexpr int kShuffleWork = 128;
constexpr char kShiftedDigits[] = ")!@#$%^&*(";  // the shifted character of digits 0..9
constexpr char kSymbols[] = "`-=\\[];',./";
constexpr char kShiftedSymbols[] = "~_+|{}:\"<>?";

}  // namespace

int ShuffleKeys(std::uint8_t *out, int n) {
  if (n < 0 || n > kShuffleWork) return 0;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::uint8_t work[kShuffleWork] = {};
  for (int i = 0; i < n;) {
    const int v = std::rand() & 0xFF;
    if (v <= n - 1 && !std::memchr(work, v, i)) work[i++] = static_cast<std::uint8_t>(v);
  }
  std::memcpy(out, work, n);
  return n;
}

bool IsNormalCharacterKey(int id) {
  return (id >= IDK_SYMBOL_FIRST && id < IDK_SYMBOL_FIRST + kSymbolKeys) ||
         (id >= IDK_DIGIT_FIRST && id < IDK_DIGIT_FIRST + kDigitKeys) ||
         (id >= IDK_LETTER_FIRST && id < IDK_LETTER_FIRST + kLetterKeys);
}

char KeyCharacter(int id, const KeyOrder &order) {
  const bool shifted = !IsNormalCharacterKey(id);
  const int normal = shifted ? id - IDK_SHIFTED : id;
  if (!IsNormalCharacterKey(normal)) return 0;
  if (normal >= IDK_LETTER_FIRST) {
    const int letter = order.letters[normal - IDK_LETTER_FIRST] % kLetterKeys;
    return static_cast<char>((shifted ? 'A' : 'a') + letter);
  }
  if (normal >= IDK_DIGIT_FIRST) {
    const int digit = order.digits[normal - IDK_DIGIT_FIRST] % kDigitKeys;
    return shifted ? kShiftedDigits[digit] : static_cast<char>('0' + digit);
  }
  const int symbol = normal - IDK_SYMBOL_FIRST;
  return shifted ? kShiftedSymbols[symbol] : kSymbols[symbol];
}

void KeyCaption(int id, const KeyOrder &order, char caption[3]) {
  const char c = KeyCharacter(id, order);
  caption[0] = c;
  caption[1] = c == '&' ? '&' : '\0';
  caption[2] = '\0';
}

}  // namespace certdesk
