#include "skf/api/key_handles.h"

#include <cstring>

#include "skf/api/handle_registry.h"
#include "skf/card/commands.h"

SessionKeyHandle *NewSessionKey(std::uint32_t alg_id, std::span<const std::uint8_t> key,
                                DEVHANDLE device) {
  if (key.size() > kSessionKeyArea) return nullptr;
  SessionKeyHandle *record = NewRegistered<SessionKeyHandle>(HandleKind::session_key);
  if (!record) return nullptr;
  record->dwAlgID = alg_id;
  if (!key.empty()) std::memcpy(record->Key, key.data(), key.size());
  record->hDev = device;
  return record;
}

AgreementHandle *NewAgreementHandle() {
  return NewRegistered<AgreementHandle>(HandleKind::agreement);
}

bool CardChallenge(DEVHANDLE device, std::uint8_t out[kChallengeSize]) {
  std::uint16_t sw = 0;
  const int got = QX_GetChallenge(device, kChallengeSize, {out, kChallengeSize}, &sw);
  return got == static_cast<int>(kChallengeSize) && sw == kSwOk;
}

bool CardSessionKey(DEVHANDLE device, std::uint8_t key[kSessionKeyUsed]) {
  return CardChallenge(device, key) && CardChallenge(device, key + kChallengeSize);
}
