// The create-rights check of the container and file create and delete exports.
#pragma once

#include "skf.h"
#include "skf/api/state.h"

inline constexpr std::uint32_t kUserRights = 0x10;
inline constexpr std::uint32_t kAdminRights = 0x01;

// Reads the application's create rights and, when they ask for a PIN, verifies the PIN of its
// slot on the card again. SAR_OK with DF AD0n selected; SAR_FAIL, SAR_USER_NOT_LOGGED_IN or
// SAR_PIN_INCORRECT otherwise.
ULONG CheckCreateRights(const ApplicationHandle &app);
