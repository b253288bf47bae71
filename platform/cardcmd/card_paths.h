// Card objects of cardcmd's directory walks, numbered as the desktop programs count them.
#pragma once

#include <cstdint>

#include "skf/api/layout.h"

inline constexpr std::int32_t kAppIndexes = 8;        // applications AD01 .. AD08
inline constexpr std::int32_t kContainerIndexes = 8;  // containers DFx1 .. DFx8

// DF AD0(a+1) of application index a.
constexpr std::uint32_t AppDfOf(std::size_t application) {
  return kAppIdBase + static_cast<std::uint32_t>(application) + 1;
}
// DF DFxy of container index c of the application: x = application number, y = c + 1.
constexpr std::uint32_t ContainerDfOf(std::uint32_t app_id, std::size_t container) {
  return kContainerIdBase + (app_id - kAppIdBase) * 16 + static_cast<std::uint32_t>(container) + 1;
}
static_assert(ContainerDfOf(AppDfOf(0), 0) == 0xDF11 && ContainerDfOf(AppDfOf(3), 3) == 0xDF44);
