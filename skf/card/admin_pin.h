// The administrator PIN: a 16-byte key on the card, proved by a MAC-checked key update under
// itself, changed by the same update carrying the new key, and the unblock of the user PIN.
// All act on the application DF the caller selected; results follow pin_result.h.
#pragma once

#include <cstdint>

#include "skf/card/auth.h"
#include "skf/card/readerio_api.h"

inline constexpr int kAdminKeySize = 16;
inline constexpr std::uint8_t kAdminPinPad = 0x1E;

// K = MD5 of the PIN's first 16 characters padded with 0x1E to 16 bytes.
void AdminKeyOf(const char *pin, std::uint8_t key[kAdminKeySize]);

int QX_VerifyAdminPin(DEVHANDLE device, const char *pin, std::uint32_t *retries);
int QX_ChangeAdminPin(DEVHANDLE device, const char *old_pin, const char *new_pin,
                      std::uint32_t *retries);
// 0 unblocked; -1 otherwise, with *retries as QX_ChangeUserPin sets it.
int QX_UnblockUserPin(DEVHANDLE device, const char *admin_pin, const char *new_user_pin,
                      std::uint32_t *retries);
int QX_UnblockPinMac(DEVHANDLE device, const std::uint8_t derived_pin[kDerivedPinSize],
                     const std::uint8_t admin_key[kAdminKeySize]);
