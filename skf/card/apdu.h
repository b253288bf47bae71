// The APDU transport: one exchange with readerio and the 61xx GET RESPONSE chain.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kApduFailed = -300;
// A chain of 61xx answers longer than this is given up as a failure.
inline constexpr int kMaxGetResponse = 32;
// Pass as `response` when the answer's data are not wanted.
inline constexpr std::span<std::uint8_t> kDropResponse{};

// Sends `command` and fetches 61xx answers with GET RESPONSE. Returns the length of the last
// answer's data (copied to `response`) and stores the status word, or -300 with the status
// untouched on a reader failure (SW1 0xFF), an unbound readerio, an endless 61xx chain or an
// answer larger than `response` (unless it is kDropResponse).
int QX_Application_Manager(DEVHANDLE device, std::span<const std::uint8_t> command,
                           std::span<std::uint8_t> response, std::uint16_t *status);
