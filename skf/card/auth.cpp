#include "skf/card/auth.h"

#include <cstdint>

#include "skf/card/commands.h"
#include "skf/crypto/des.h"

namespace {

// The library's built-in card authentication key.
constexpr std::uint8_t kBuiltinAuthKey[8] = {0x4B, 0x53, 0x49, 0x4D, 0x2D, 0x41, 0x55, 0x54};
constexpr std::uint8_t kChallengeLength = 8;

}  // namespace

int QX_AuthDir(DEVHANDLE device) {
  std::uint8_t challenge[kChallengeLength] = {};
  std::uint16_t sw = 0;
  const int got = QX_GetChallenge(device, kChallengeLength, challenge, &sw);
  if (got < 0 || sw != kSwOk || got != kChallengeLength) return -1;
  std::uint8_t answer[kChallengeLength];
  DES_EncryptBlock(challenge, answer, kBuiltinAuthKey);
  sw = 0;
  if (QX_ExternalAuth(device, 0x00, answer, &sw) < 0 || sw != kSwOk) return -1;
  return 0;
}
