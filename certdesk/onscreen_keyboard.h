// The on-screen keyboard of the verify dialog: the shuffled order of its digit and letter keys,
// the character and caption of each key, and which layer shows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace certdesk {

inline constexpr int kDigitKeys = 10;
inline constexpr int kLetterKeys = 26;
inline constexpr int kSymbolKeys = 11;

// A random order of 0..n-1 into out[0..n-1], from the C runtime's generator seeded with the
// current time in seconds; n. Orders of more than 128 entries are not drawn (0).
int ShuffleKeys(std::uint8_t *out, int n);

// The order drawn when the dialog opens: digit key i shows digit digits[i], letter key i the
// letter number letters[i].
struct KeyOrder {
  std::uint8_t digits[64];
  std::uint8_t letters[64];
};

// True for the digit, letter and symbol keys of the normal layer (the shifted twin is
// id + IDK_SHIFTED).
bool IsNormalCharacterKey(int id);
// The character a digit, letter or symbol key of either layer adds; 0 for other ids.
char KeyCharacter(int id, const KeyOrder &order);
// Its caption: the character, with & doubled so that it shows; "" for other ids.
void KeyCaption(int id, const KeyOrder &order, char caption[3]);

// The shifted layer of the character keys shows when exactly one of Shift and Caps is on.
inline bool ShiftedLayerShown(bool shift, bool caps) { return shift != caps; }

}  // namespace certdesk
