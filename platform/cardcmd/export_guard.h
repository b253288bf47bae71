// The export boundary of cardcmd: no exception leaves an export but a cancelled thread's unwind
// (platform/os/cancel.h), and each export holds the keys it uses for its whole call.
#pragma once

#include <cstdint>

#include "platform/os/cancel.h"
#include "skf/card/key_lock.h"

inline constexpr std::int32_t kBadArguments = -1;  // unknown handle or argument: nothing sent

// Runs one export: the keys its card work reaches stay held until it returns, as for the SKF
// exports (skf/card/key_lock.h).
template <typename F>
std::int32_t Guarded(std::int32_t failure, F &&work) {
  const ExportScope scope;
  return os::Guarded<std::int32_t>(failure, work);
}
