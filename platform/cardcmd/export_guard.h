// The export boundary of cardcmd: no exception leaves an export.
#pragma once

#include <cstdint>

inline constexpr std::int32_t kBadArguments = -1;  // unknown handle or argument: nothing sent

template <typename F>
std::int32_t Guarded(std::int32_t failure, F &&work) noexcept {
  try {
    return work();
  } catch (...) {
    return failure;
  }
}
