// What the PIN dialogs compute without a window: the shuffled key order from the C runtime's
// generator, the characters the keys add, and the strength rating.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "certdesk/onscreen_keyboard.h"
#include "certdesk/pin_strength.h"

namespace {

// The order as the generator of the C runtime gives it for a seed: state × 214013 + 2531011,
// rand() = bits 16..30; the low 8 bits of each draw, kept when below n and new.
std::vector<int> ModelOrder(std::uint32_t seed, int n) {
  std::vector<int> order;
  std::uint32_t state = seed;
  while (static_cast<int>(order.size()) < n) {
    state = state * 214013u + 2531011u;
    const int v = static_cast<int>((state >> 16) & 0x7FFF) & 0xFF;
    if (v < n && std::find(order.begin(), order.end(), v) == order.end()) order.push_back(v);
  }
  return order;
}

TEST(ShuffleKeys, DrawsTheOrderOfTheTimeSeededRuntimeGenerator) {
  for (int n : {10, 26}) {
    std::uint8_t out[64] = {};
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(certdesk::ShuffleKeys(out, n), n);
    const std::time_t after = std::time(nullptr);
    const std::vector<int> drawn(out, out + n);
    EXPECT_TRUE(drawn == ModelOrder(static_cast<std::uint32_t>(before), n) ||
                drawn == ModelOrder(static_cast<std::uint32_t>(after), n))
        << "n = " << n;
    for (int i = n; i < 64; ++i) EXPECT_EQ(out[i], 0) << "written past the order at " << i;
  }
}

TEST(ShuffleKeys, RefusesOrdersLongerThanItsWorkBuffer) {
  std::uint8_t out[200] = {};
  EXPECT_EQ(certdesk::ShuffleKeys(out, 129), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(certdesk::ShuffleKeys(out, 128), 128);
}

TEST(KeyCharacter, EachKeyOfBothLayers) {
  certdesk::KeyOrder order{};
  for (int i = 0; i < 10; ++i) order.digits[i] = static_cast<std::uint8_t>(9 - i);
  for (int i = 0; i < 26; ++i) order.letters[i] = static_cast<std::uint8_t>((i + 3) % 26);
  std::string digits, shifted_digits, letters, shifted_letters, symbols, shifted_symbols;
  for (int i = 0; i < 10; ++i) {
    digits += certdesk::KeyCharacter(1100 + i, order);
    shifted_digits += certdesk::KeyCharacter(2100 + i, order);
  }
  for (int i = 0; i < 26; ++i) {
    letters += certdesk::KeyCharacter(1201 + i, order);
    shifted_letters += certdesk::KeyCharacter(2201 + i, order);
  }
  for (int i = 0; i < 11; ++i) {
    symbols += certdesk::KeyCharacter(1040 + i, order);
    shifted_symbols += certdesk::KeyCharacter(2040 + i, order);
  }
  EXPECT_EQ(digits, "9876543210");
  EXPECT_EQ(shifted_digits, "(*&^%$#@!)");
  EXPECT_EQ(letters, "defghijklmnopqrstuvwxyzabc");
  EXPECT_EQ(shifted_letters, "DEFGHIJKLMNOPQRSTUVWXYZABC");
  EXPECT_EQ(symbols, "`-=\\[];',./");
  EXPECT_EQ(shifted_symbols, "~_+|{}:\"<>?");
  for (int id : {1060, 1061, 1062, 1063, 1064, 1065, 2064, 1000, 1051, 1110, 1200, 1227, 0}) {
    EXPECT_EQ(certdesk::KeyCharacter(id, order), '\0') << id;
  }
  char caption[3];
  certdesk::KeyCaption(2102, order, caption);  // digit 7 shifted
  EXPECT_STREQ(caption, "&&");
  certdesk::KeyCaption(1102, order, caption);
  EXPECT_STREQ(caption, "7");
}

TEST(RatePinStrength, FirstRuleThatHolds) {
  struct Case {
    const char *pin;
    int rating;
  };
  const Case kCases[] = {
      {"", 0},         {"12345678", 1}, {"98765432", 1}, {"aaaaaaaa", 1}, {"########", 1},
      {"abcdefgh", 1}, {"ABCDEFGH", 1}, {"89:;<=>?", 1}, {"hgfedcba", 2}, {"QWERTYUI", 2},
      {"abcdefgz", 2}, {"Abcdefgh", 3}, {"abc12345", 3}, {"a1a1a1a1", 3}, {"aaaaaaaA", 3},
      {"abcd-efg", 3}, {"z", 1},        {"yz{|}~", 1},   {"password", 2}, {"PassWord", 3},
  };
  for (const Case &c : kCases) EXPECT_EQ(certdesk::RatePinStrength(c.pin), c.rating) << c.pin;
}

}  // namespace
