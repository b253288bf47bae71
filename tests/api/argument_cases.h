// Tables of argument-check cases: each export call with the code its check must return. The
// handles carry a device that readerio never issued, so an export that reached the card would
// fail with SAR_FAIL instead of the code of the check it passed over.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "tokencore.h"

namespace argcases {

// The handle records as the library lays them out: DF identifier, then the device.
struct HandleRecord {
  std::uint32_t id;
  DEVHANDLE device;
};

inline DEVHANDLE const kStrangeDevice = reinterpret_cast<DEVHANDLE>(std::uintptr_t{0x13});

struct Case {
  const char *what;
  std::function<ULONG()> call;
  ULONG want;
};

inline void RunCases(const std::vector<Case> &cases) {
  for (const auto &c : cases) EXPECT_EQ(c.call(), c.want) << c.what;
}

}  // namespace argcases
