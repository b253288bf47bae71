#include "skf/card/sm2_agree.h"

#include <cstring>

#include "skf/card/apdu.h"
#include "skf/card/secure_zero.h"
#include "skf/card/variant.h"

namespace {

constexpr std::size_t kCommandRoom = 512;
constexpr std::size_t kAnswerRoom = 128;
constexpr std::size_t kHeader = 7;  // 80 42 P1 P2 00 LcH LcL
constexpr std::size_t kFixedData = 199;
constexpr std::size_t kPoint = 64;
constexpr std::size_t kScalar = 32;
constexpr std::uint8_t kSponsor = 0x00;
constexpr std::uint8_t kResponder = 0x01;

int Agree(DEVHANDLE device, std::uint8_t role, std::span<const std::uint8_t> own_id,
          const std::uint8_t *own_temp_public, const std::uint8_t *own_temp_private,
          std::span<const std::uint8_t> peer_id, const std::uint8_t *peer_public,
          const std::uint8_t *peer_temp_public, std::uint8_t *key, int *key_length) {
  if (!key_length || !own_temp_public || !own_temp_private || !peer_public || !peer_temp_public ||
      own_id.size() > kAgreementIdMax || peer_id.size() > kAgreementIdMax ||
      (own_id.size() && !own_id.data()) || (peer_id.size() && !peer_id.data())) {
    return -1;
  }
  const std::size_t a = own_id.size();
  const std::size_t b = peer_id.size();
  const std::size_t lc = a + b + kFixedData;
  std::uint8_t command[kCommandRoom] = {0x80,
                                        0x42,
                                        kLibraryVariant.agreement_p1,
                                        kLibraryVariant.agreement_p2,
                                        0x00,
                                        static_cast<std::uint8_t>(lc >> 8),
                                        static_cast<std::uint8_t>(lc)};
  std::uint8_t *at = command + kHeader;
  *at++ = 0x01;
  *at++ = static_cast<std::uint8_t>(a >> 8);
  *at++ = static_cast<std::uint8_t>(a);
  *at++ = static_cast<std::uint8_t>(b >> 8);
  *at++ = static_cast<std::uint8_t>(b);
  *at++ = role;
  *at++ = kAgreementKeySize;
  if (a) at = static_cast<std::uint8_t *>(std::memcpy(at, own_id.data(), a)) + a;
  if (b) at = static_cast<std::uint8_t *>(std::memcpy(at, peer_id.data(), b)) + b;
  at = static_cast<std::uint8_t *>(std::memcpy(at, peer_temp_public, kPoint)) + kPoint;
  at = static_cast<std::uint8_t *>(std::memcpy(at, peer_public, kPoint)) + kPoint;
  at = static_cast<std::uint8_t *>(std::memcpy(at, own_temp_public, kScalar)) + kScalar;
  std::memcpy(at, own_temp_private, kScalar);

  std::uint8_t answer[kAnswerRoom] = {};
  std::uint16_t sw = 0;
  const int got = QX_Application_Manager(device, {command, kHeader + lc}, answer, &sw);
  SecureZero(command, sizeof command);
  int result = -1;
  if (got >= kAgreementKeySize && sw == kSwOk) {
    if (key) std::memcpy(key, answer, kAgreementKeySize);
    *key_length = kAgreementKeySize;
    result = 0;
  }
  SecureZero(answer, sizeof answer);
  return result;
}

}  // namespace

int QX_EccAgreementSponsor(DEVHANDLE device, int, std::span<const std::uint8_t> own_id,
                           const std::uint8_t own_temp_public[64],
                           const std::uint8_t own_temp_private[32],
                           std::span<const std::uint8_t> peer_id,
                           const std::uint8_t peer_public[64],
                           const std::uint8_t peer_temp_public[64], std::uint8_t *key,
                           int *key_length) {
  return Agree(device, kSponsor, own_id, own_temp_public, own_temp_private, peer_id, peer_public,
               peer_temp_public, key, key_length);
}

int QX_EccAgreementResponder(DEVHANDLE device, int, std::span<const std::uint8_t> own_id,
                             const std::uint8_t own_temp_public[64],
                             const std::uint8_t own_temp_private[32],
                             std::span<const std::uint8_t> peer_id,
                             const std::uint8_t peer_public[64],
                             const std::uint8_t peer_temp_public[64], std::uint8_t *key,
                             int *key_length) {
  return Agree(device, kResponder, own_id, own_temp_public, own_temp_private, peer_id, peer_public,
               peer_temp_public, key, key_length);
}
