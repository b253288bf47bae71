// SM2 key agreement on the card with a static pair of the selected container: the key files
// that the library variant names (tokencore: the encryption pair, EF 000A/000B).
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kAgreementIdMax = 64;
inline constexpr int kAgreementKeySize = 16;

// Sends 80 42 P1 P2 (the variant's pair) with both identities (at most 64 bytes each), the peer's
// temporary and static public keys and the own temporary pair. 0 with *key_length = 16 and the key
// copied when `key` is not NULL; -1 on a refused identity length, a transport failure, a status but
// 9000 or an answer shorter than the key. `unused` is carried for the callers.
int QX_EccAgreementSponsor(DEVHANDLE device, int unused, std::span<const std::uint8_t> own_id,
                           const std::uint8_t own_temp_public[64],
                           const std::uint8_t own_temp_private[32],
                           std::span<const std::uint8_t> peer_id,
                           const std::uint8_t peer_public[64],
                           const std::uint8_t peer_temp_public[64], std::uint8_t *key,
                           int *key_length);
int QX_EccAgreementResponder(DEVHANDLE device, int unused, std::span<const std::uint8_t> own_id,
                             const std::uint8_t own_temp_public[64],
                             const std::uint8_t own_temp_private[32],
                             std::span<const std::uint8_t> peer_id,
                             const std::uint8_t peer_public[64],
                             const std::uint8_t peer_temp_public[64], std::uint8_t *key,
                             int *key_length);
