#include "skf/card/auth.h"

#include <cstring>

#include "skf/card/commands.h"
#include "skf/card/secure_zero.h"
#include "skf/crypto/des.h"

namespace {

// The library's built-in card authentication key.
constexpr std::uint8_t kBuiltinAuthKey[8] = {0x4B, 0x53, 0x49, 0x4D, 0x2D, 0x41, 0x55, 0x54};
constexpr std::uint8_t kChallengeLength = 8;
constexpr std::uint8_t kEncryptP1 = 0x00;
constexpr std::uint8_t kFormatCipherMode = 0x00;
constexpr std::size_t kFormatBlock = 16;  // challenge and eight zero bytes
constexpr std::size_t kShortAnswerRoom = 256;

bool GetChallenge(DEVHANDLE device, std::uint8_t challenge[kChallengeLength]) {
  std::uint16_t sw = 0;
  const int got = QX_GetChallenge(device, kChallengeLength, {challenge, kChallengeLength}, &sw);
  return got == kChallengeLength && sw == kSwOk;
}

int ExternalAuthenticate(DEVHANDLE device, const std::uint8_t answer[kChallengeLength]) {
  std::uint16_t sw = 0;
  const int result =
      QX_ExternalAuth(device, 0x00, std::span<const std::uint8_t, 8>(answer, 8), &sw);
  return result >= 0 && sw == kSwOk ? 0 : -1;
}

// PIN block keys: eight ASCII characters each.
constexpr std::uint8_t kPinBlockKey[8] = {'q', 'o', 't', 'w', 'e', 'b', 'u', 'n'};
constexpr std::uint8_t kLongPinKey[8] = {'l', 'u', 'r', 'a', 'p', 'e', 'k', 'm'};

std::uint8_t DecimalNibbles(std::uint8_t b) {
  auto reduce = [](int v) { return v >= 10 ? v - 6 : v; };
  return static_cast<std::uint8_t>(reduce(b >> 4) << 4 | reduce(b & 0x0F));
}

}  // namespace

int QX_AuthDir(DEVHANDLE device) {
  std::uint8_t challenge[kChallengeLength] = {};
  if (!GetChallenge(device, challenge)) return -1;
  std::uint8_t answer[kChallengeLength];
  DES_EncryptBlock(challenge, answer, kBuiltinAuthKey);
  return ExternalAuthenticate(device, answer);
}

void FormKeyFromText(const char *key_text, std::uint8_t key[kFormatKeySize]) {
  std::memset(key, 0, kFormatKeySize);
  if (key_text) std::memcpy(key, key_text, strnlen(key_text, kFormatKeySize));
}

int QX_FormatAuth(DEVHANDLE device, const char *key_text) {
  if (!key_text) return -1;
  std::uint8_t challenge[kChallengeLength] = {};
  if (!GetChallenge(device, challenge)) return -1;
  std::uint8_t key[kFormatKeySize];
  FormKeyFromText(key_text, key);
  std::uint8_t block[kFormatBlock] = {};
  std::memcpy(block, challenge, sizeof challenge);
  std::uint8_t answer[kShortAnswerRoom] = {};  // the result is the first 16 bytes
  std::uint16_t sw = 0;
  const int got = QX_CipherEcbCmd(device, kEncryptP1, kFormatCipherMode, key, block, answer, &sw);
  SecureZero(key, sizeof key);
  if (got < static_cast<int>(kFormatBlock) || sw != kSwOk) return -1;
  std::uint8_t folded[kChallengeLength];
  for (std::size_t i = 0; i < kChallengeLength; ++i) {
    folded[i] = answer[i] ^ answer[i + kChallengeLength];
  }
  return ExternalAuthenticate(device, folded);
}

void QX_DerivePin(const char *pin, std::uint8_t out[kDerivedPinSize + 1]) {
  std::uint8_t text[kPinTextMax] = {};  // bytes past the end of the text count as zero
  const std::size_t length = pin ? strnlen(pin, kPinTextMax) : 0;
  if (length) std::memcpy(text, pin, length);
  std::uint8_t key[8];
  std::uint8_t block[8];
  if (length <= 8) {
    std::memcpy(key, kPinBlockKey, sizeof key);
    std::memcpy(block, text, sizeof block);
  } else {
    DES_EncryptBlock(text, key, kLongPinKey);
    for (int j = 0; j < 8; ++j) block[j] = key[7 - j] ^ text[8 + j];
  }
  std::uint8_t r[8];
  DES_EncryptBlock(block, r, key);
  for (int k = 0; k < kDerivedPinSize; ++k) out[k] = DecimalNibbles(r[k + 1]);
  out[kDerivedPinSize] = 0;
  SecureZero(text, sizeof text);
  SecureZero(key, sizeof key);
  SecureZero(block, sizeof block);
  SecureZero(r, sizeof r);
}
