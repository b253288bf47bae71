#include "skf/card/admin_pin.h"

#include <cstring>

#include "skf/card/commands.h"
#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/card/variant.h"
#include "skf/crypto/md5.h"
#include "skf/crypto/retail_mac.h"

namespace {

constexpr std::size_t kChallengeLength = 4;
constexpr std::size_t kBlock = 8;
// Key update of the administrator key: 84 D4 01 14 17, then key reference 01 01 00, the key
// and the MAC.
constexpr std::uint8_t kUpdateHeader[] = {0x84, 0xD4, 0x01, 0x14, 0x17};
constexpr std::uint8_t kAdminKeyRef[] = {0x01, 0x01, 0x00};
constexpr std::size_t kUpdateData = sizeof kAdminKeyRef + kAdminKeySize;
constexpr std::size_t kUpdateCommand = sizeof kUpdateHeader + kUpdateData + kRetailMacSize;
static_assert(kUpdateHeader[4] == kUpdateData + kRetailMacSize);
constexpr std::size_t kUpdateMacMessage = 40;  // IV, header, data, 80 and zero padding
constexpr std::uint8_t kMacPad = 0x80;
constexpr std::uint8_t kTwoKeyFinal = 0;
constexpr std::uint8_t kSingleDes = 1;
constexpr std::size_t kUnblockMacMessage = 16;
constexpr std::uint8_t kUnblockP1 = 0x00;
constexpr std::uint8_t kUnblockP2 = 0x00;

static_assert(kUpdateCommand == 28);
static_assert(kBlock + sizeof kUpdateHeader + kUpdateData + 1 <= kUpdateMacMessage);

// The key update of `new_key` under a MAC of `mac_key`.
int SendKeyUpdate(DEVHANDLE device, const std::uint8_t mac_key[kAdminKeySize],
                  const std::uint8_t new_key[kAdminKeySize], std::uint32_t *retries) {
  std::uint8_t challenge[kBlock] = {};
  std::uint16_t sw = 0;
  const int got = QX_GetChallenge(device, kChallengeLength, {challenge, kChallengeLength}, &sw);
  if (got < 0 || sw != kSwOk) return -1;  // retries untouched

  std::uint8_t message[kUpdateMacMessage] = {};
  std::uint8_t *p = message;
  std::memcpy(p, challenge, kBlock);  // C[0..3] and four zero bytes
  p += kBlock;
  std::memcpy(p, kUpdateHeader, sizeof kUpdateHeader);
  p += sizeof kUpdateHeader;
  std::memcpy(p, kAdminKeyRef, sizeof kAdminKeyRef);
  p += sizeof kAdminKeyRef;
  std::memcpy(p, new_key, kAdminKeySize);
  p += kAdminKeySize;
  *p = kMacPad;
  std::uint8_t mac[kRetailMacSize];
  QX_CommandMac(message, sizeof message, mac, mac_key, kTwoKeyFinal);

  std::uint8_t data[kUpdateData + kRetailMacSize];
  std::memcpy(data, message + kBlock + sizeof kUpdateHeader, kUpdateData);
  std::memcpy(data + kUpdateData, mac, kRetailMacSize);
  SecureZero(message, sizeof message);
  const int result =
      QX_WriteKey(device, kUpdateHeader[0], kUpdateHeader[2], kUpdateHeader[3], data, &sw);
  SecureZero(data, sizeof data);
  if (result < 0) return kPinFailed;
  const int r = PinResult(result, sw);
  if (r > 0) {
    if (retries) *retries = static_cast<std::uint32_t>(r);
  } else if (r == kPinBlocked) {
    if (retries) *retries = 0;
  }
  return r;
}

}  // namespace

void AdminKeyOf(const char *pin, std::uint8_t key[kAdminKeySize]) {
  std::uint8_t padded[kPinTextMax];
  std::memset(padded, kAdminPinPad, sizeof padded);
  const std::size_t length = pin ? strnlen(pin, kPinTextMax) : 0;
  if (length) std::memcpy(padded, pin, length);
  MD5_Digest(padded, sizeof padded, key);
  SecureZero(padded, sizeof padded);
}

int QX_VerifyAdminPin(DEVHANDLE device, const char *pin, std::uint32_t *retries) {
  std::uint8_t key[kAdminKeySize];
  AdminKeyOf(pin, key);
  const int r = SendKeyUpdate(device, key, key, retries);
  SecureZero(key, sizeof key);
  return r;
}

int QX_ChangeAdminPin(DEVHANDLE device, const char *old_pin, const char *new_pin,
                      std::uint32_t *retries) {
  std::uint8_t old_key[kAdminKeySize];
  std::uint8_t new_key[kAdminKeySize];
  AdminKeyOf(old_pin, old_key);
  AdminKeyOf(new_pin, new_key);
  const int r = SendKeyUpdate(device, old_key, new_key, retries);
  SecureZero(old_key, sizeof old_key);
  SecureZero(new_key, sizeof new_key);
  return r;
}

int QX_UnblockPinMac(DEVHANDLE device, const std::uint8_t derived_pin[kDerivedPinSize],
                     const std::uint8_t admin_key[kAdminKeySize]) {
  std::uint8_t mac_key[kAdminKeySize] = {};  // the second half is not used by single DES
  for (std::size_t i = 0; i < kBlock; ++i) mac_key[i] = admin_key[i] ^ admin_key[i + kBlock];
  std::uint8_t message[kUnblockMacMessage] = {};
  std::memcpy(message + kBlock, derived_pin, kDerivedPinSize);
  message[kBlock + kDerivedPinSize] = kMacPad;
  std::uint8_t data[kDerivedPinSize + kRetailMacSize];
  std::memcpy(data, derived_pin, kDerivedPinSize);
  QX_CommandMac(message, sizeof message, data + kDerivedPinSize, mac_key, kSingleDes);
  SecureZero(mac_key, sizeof mac_key);
  SecureZero(message, sizeof message);
  std::uint16_t sw = 0;
  const int result = QX_ChangePinCmdProtected(device, kUnblockP1, kUnblockP2, data, &sw);
  SecureZero(data, sizeof data);
  return PinResult(result, sw);
}

int QX_UnblockUserPin(DEVHANDLE device, const char *admin_pin, const char *new_user_pin,
                      std::uint32_t *retries) {
  std::uint8_t derived[kDerivedPinSize + 1];
  std::uint8_t key[kAdminKeySize];
  QX_DerivePin(new_user_pin, derived);
  AdminKeyOf(admin_pin, key);
  const int r = QX_UnblockPinMac(device, derived, key);
  SecureZero(derived, sizeof derived);
  SecureZero(key, sizeof key);
  return PinOutcome(r, retries);
}
