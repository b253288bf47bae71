// Records behind the key handles that the asymmetric exports hand out: session keys made by
// key wrapping and agreement, and the sponsor's agreement state. Never freed.
#pragma once

#include <cstdint>
#include <span>

#include "skf/api/handle_registry.h"
#include "skf/api/session_key.h"
#include "skf/card/readerio_api.h"

// The one maker of session-key records: a zeroed, registered SessionKeyHandle with the algorithm,
// the key bytes (at most 256) and the device; nullptr when the heap is exhausted or the key does
// not fit.
SessionKeyHandle *NewSessionKey(std::uint32_t alg_id, std::span<const std::uint8_t> key,
                                DEVHANDLE device);

inline constexpr std::size_t kAgreementIdSize = 32;

struct AgreementHandle {
  std::uint16_t AppId;        // 0xAD00 + application number
  std::uint16_t ContainerId;  // 0xDF00 + 16 x application + container
  std::uint32_t AlgId;
  std::uint32_t IdLen;
  std::uint8_t Id[kAgreementIdSize];
  std::uint8_t TempPublic[64];  // x then y
  std::uint8_t TempPrivate[32];
  DEVHANDLE hDev;
};

// The one maker of agreement records: zeroed and registered; nullptr when the heap is exhausted.
AgreementHandle *NewAgreementHandle();
// The record behind a caller's handle, or nullptr when the library made no such record.
inline AgreementHandle *AsAgreement(HANDLE handle) {
  return static_cast<AgreementHandle *>(FindHandle(handle, HandleKind::agreement));
}

inline constexpr std::size_t kChallengeSize = 8;
// One GET CHALLENGE of 8 bytes into `out`; false on any failure.
bool CardChallenge(DEVHANDLE device, std::uint8_t out[kChallengeSize]);
// A fresh 16-byte session key: two challenges, the first answer as bytes 0 to 7.
bool CardSessionKey(DEVHANDLE device, std::uint8_t key[kSessionKeyUsed]);
