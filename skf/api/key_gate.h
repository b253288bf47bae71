// The gate in front of a container's private key: the container preamble (MF, application DF,
// its container directory, container DF), the PIN step and the directory write-back. Shared by
// every export that signs, decrypts, generates, agrees or imports with a container key.
#pragma once

#include <cstdint>

#include "skf.h"
#include "skf/api/directory.h"
#include "skf/api/state.h"

// A container selected on the card with its application's directory as read.
struct KeyContainer {
  std::uint32_t app_id = 0;  // 0xAD00 + application number
  std::uint32_t index = 0;   // entry index in the directory
  ContainerDirectory directory;
};

// MF (not checked), DF AD0x, EF01, the directory, then DF DFxy. SAR_OK or SAR_FAIL.
ULONG OpenKeyContainer(const ContainerHandle &container, KeyContainer &out);

std::uint32_t EntryField(KeyContainer &container, std::size_t offset);
void SetEntryField(KeyContainer &container, std::size_t offset, std::uint32_t value);

// Key types of a container entry.
inline constexpr std::uint32_t kKeyNone = 0;
inline constexpr std::uint32_t kKeyRsa1024 = 1;
inline constexpr std::uint32_t kKeyRsa2048 = 2;
inline constexpr std::uint32_t kKeySm2 = 3;

// Whether the PIN step asks the shared PIN slot first.
enum class SharedSlot { consult, skip };

// The PIN step. With `consult`: a shared slot that exists but is empty refuses
// (SAR_USER_NOT_LOGGED_IN); a PIN found there replaces the user slot of application 1; a
// missing mapping is passed over. Then the user slot of the application (`app_id`): empty gives
// SAR_USER_NOT_LOGGED_IN; its PIN is verified on the card again, any failure giving
// SAR_PIN_INCORRECT. SAR_OK once verified.
ULONG PrivateKeyPinStep(DEVHANDLE device, std::uint32_t app_id, SharedSlot shared);

// MF, DF AD0x, EF01, then the directory written back with the length read. SAR_OK or SAR_FAIL.
ULONG WriteBackContainer(DEVHANDLE device, const KeyContainer &container);
