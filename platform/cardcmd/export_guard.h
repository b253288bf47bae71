// The export boundary of cardcmd: no exception leaves an export but a cancelled thread's unwind
// (platform/os/cancel.h).
#pragma once

#include <cstdint>

#include "platform/os/cancel.h"

inline constexpr std::int32_t kBadArguments = -1;  // unknown handle or argument: nothing sent

template <typename F>
std::int32_t Guarded(std::int32_t failure, F &&work) {
  return os::Guarded<std::int32_t>(failure, work);
}
