#include "skf/card/user_pin.h"

#include <algorithm>
#include <cstring>

#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/pin_cache.h"
#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/crypto/des.h"

namespace {

constexpr std::size_t kBlock = 8;
constexpr std::size_t kPinModeAnswer = 2;
constexpr std::uint8_t kPinModeProtected[] = {0x00, 0x08};  // byte 1 of the mode answer
constexpr std::size_t kDescriptorBytes = 6;                 // after the NUL of the name
constexpr std::uint8_t kPlainP2 = 0x00;
constexpr std::uint8_t kProtectedVerifyP1 = 0x01;
constexpr std::uint8_t kProtectedChangeP1 = 0x81;
constexpr std::size_t kChangePlainSize = 2 * kDerivedPinSize + 1;
constexpr std::size_t kChangeMessageSize = 2 * kBlock;

using Block = std::uint8_t[kBlock];

// Positions of the challenge bytes that form the session key S of a protected command.
struct SessionKeyBytes {
  int mask;   // S[i] = D[i] ^ C[mask] for i = 0..5
  int six;    // S[6] = C[six] ^ C[mask]
  int seven;  // S[7] = C[seven] ^ C[mask]
};
constexpr SessionKeyBytes kVerifySession{2, 0, 1};
constexpr SessionKeyBytes kChangeSession{5, 6, 7};

bool UsesProtectedPresentation(DEVHANDLE device) {
  std::uint8_t answer[kPinModeAnswer] = {};
  std::uint16_t sw = 0;
  const int got = QX_GetPinMode(device, answer, &sw);
  if (got < static_cast<int>(kPinModeAnswer) || sw != kSwOk) return false;
  return std::find(std::begin(kPinModeProtected), std::end(kPinModeProtected), answer[1]) !=
         std::end(kPinModeProtected);
}

// The six descriptor bytes after the NUL that ends the descriptor's name.
bool DescriptorBytes(DEVHANDLE device, std::uint8_t d[kDescriptorBytes]) {
  std::uint8_t descriptor[kDescriptorSize] = {};
  if (QX_ReadDescriptor(device, descriptor) != 0) return false;
  const auto *end = std::find(descriptor, descriptor + kDescriptorSize, 0);
  if (end + 1 + kDescriptorBytes > descriptor + kDescriptorSize) return false;
  std::memcpy(d, end + 1, kDescriptorBytes);
  return true;
}

// T = DES of the session key S under (derived PIN, C[3], C[4]). False when the challenge or the
// descriptor cannot be read.
bool SessionKey(DEVHANDLE device, const std::uint8_t pin[kDerivedPinSize], SessionKeyBytes at,
                Block challenge, Block t) {
  std::uint16_t sw = 0;
  const int got = QX_GetChallenge(device, kBlock, {challenge, kBlock}, &sw);
  if (got != static_cast<int>(kBlock) || sw != kSwOk) return false;
  std::uint8_t d[kDescriptorBytes];
  if (!DescriptorBytes(device, d)) return false;
  Block s;
  for (std::size_t i = 0; i < kDescriptorBytes; ++i) s[i] = d[i] ^ challenge[at.mask];
  s[6] = challenge[at.six] ^ challenge[at.mask];
  s[7] = challenge[at.seven] ^ challenge[at.mask];
  Block b;
  std::memcpy(b, pin, kDerivedPinSize);
  b[6] = challenge[3];
  b[7] = challenge[4];
  DES_EncryptBlock(s, t, b);
  SecureZero(s, sizeof s);
  SecureZero(b, sizeof b);
  return true;
}

int VerifyPlain(DEVHANDLE device, const std::uint8_t pin[kDerivedPinSize]) {
  std::uint16_t sw = 0;
  const int result = QX_Verify(device, kPlainP2, {pin, kDerivedPinSize}, &sw);
  return PinResult(result, sw);
}

int VerifyProtected(DEVHANDLE device, const std::uint8_t pin[kDerivedPinSize]) {
  Block c = {};
  Block t;
  if (!SessionKey(device, pin, kVerifySession, c, t)) return kPinFailed;
  Block u;
  DES_EncryptBlock(c, u, t);
  SecureZero(t, sizeof t);
  std::uint16_t sw = 0;
  const int result = QX_VerifyProtected(device, kProtectedVerifyP1, u, &sw);
  return PinResult(result, sw);
}

// Derives the PIN held in `text` (at most `length` bytes, not NUL-terminated).
void DeriveFrom(const std::uint8_t *text, std::size_t length,
                std::uint8_t out[kDerivedPinSize + 1]) {
  char pin[kPinTextMax + 1] = {};
  std::memcpy(pin, text, std::min<std::size_t>(length, kPinTextMax));
  QX_DerivePin(pin, out);
  SecureZero(pin, sizeof pin);
}

int ChangePlain(DEVHANDLE device, const std::uint8_t *old_pin, const std::uint8_t *new_pin) {
  std::uint8_t data[kChangePlainSize];
  std::memcpy(data, old_pin, kDerivedPinSize);
  data[kDerivedPinSize] = kPinSeparator;
  std::memcpy(data + kDerivedPinSize + 1, new_pin, kDerivedPinSize);
  std::uint16_t sw = 0;
  const int result = QX_ChangePinCmd(device, kPlainP2, data, &sw);
  SecureZero(data, sizeof data);
  return PinResult(result, sw);
}

int ChangeProtected(DEVHANDLE device, const std::uint8_t *old_pin, const std::uint8_t *new_pin) {
  Block c = {};
  Block t;
  if (!SessionKey(device, old_pin, kChangeSession, c, t)) return kPinFailed;
  std::uint8_t m[kChangeMessageSize];
  std::memset(m, kPinSeparator, sizeof m);
  std::memcpy(m, old_pin, kDerivedPinSize);
  std::memcpy(m + kDerivedPinSize + 1, new_pin, kDerivedPinSize);
  std::uint8_t data[kChangeMessageSize];
  DES_EncryptBlock(m, data, t);
  DES_EncryptBlock(m + kBlock, data + kBlock, t);
  SecureZero(m, sizeof m);
  SecureZero(t, sizeof t);
  std::uint16_t sw = 0;
  const int result = QX_ChangePinCmdProtected(device, kProtectedChangeP1, kPlainP2, data, &sw);
  return PinResult(result, sw);
}

}  // namespace

int QX_VerifyUserPin(DEVHANDLE device, const char *pin, int /*length*/) {
  std::uint8_t derived[kDerivedPinSize + 1];
  QX_DerivePin(pin, derived);
  const int r = UsesProtectedPresentation(device) ? VerifyProtected(device, derived)
                                                  : VerifyPlain(device, derived);
  SecureZero(derived, sizeof derived);
  if (r == kPinVerified) SetPin_ToMap(pin);
  return r;
}

int QX_SendUserPinChange(DEVHANDLE device, std::span<const std::uint8_t> block) {
  const auto separator = std::find(block.begin(), block.end(), kPinSeparator);
  const std::size_t old_length = static_cast<std::size_t>(separator - block.begin());
  const std::size_t new_at = separator == block.end() ? block.size() : old_length + 1;
  std::uint8_t old_pin[kDerivedPinSize + 1];
  std::uint8_t new_pin[kDerivedPinSize + 1];
  DeriveFrom(block.data(), old_length, old_pin);
  DeriveFrom(block.data() + new_at, block.size() - new_at, new_pin);
  const int r = UsesProtectedPresentation(device) ? ChangeProtected(device, old_pin, new_pin)
                                                  : ChangePlain(device, old_pin, new_pin);
  SecureZero(old_pin, sizeof old_pin);
  SecureZero(new_pin, sizeof new_pin);
  return r;
}

int QX_ChangeUserPin(DEVHANDLE device, const char *old_pin, const char *new_pin,
                     std::uint32_t *retries) {
  // Only the first 16 characters of each PIN take part, so the block holds both whole.
  std::uint8_t block[2 * kPinTextMax + 1];
  std::memset(block, kPinSeparator, sizeof block);
  const std::size_t old_length = old_pin ? strnlen(old_pin, kPinTextMax) : 0;
  const std::size_t new_length = new_pin ? strnlen(new_pin, kPinTextMax) : 0;
  if (old_length) std::memcpy(block, old_pin, old_length);
  if (new_length) std::memcpy(block + old_length + 1, new_pin, new_length);
  const int r = QX_SendUserPinChange(device, {block, old_length + new_length + 1});
  SecureZero(block, sizeof block);
  return PinOutcome(r, retries);
}
