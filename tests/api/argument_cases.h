// Tables of argument-check cases: each export call with the code its check must return. The
// handles are records the library made whose device readerio no longer knows, so an export that
// reached the card would fail with SAR_FAIL instead of the code of the check it passed over.
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

// Records the library made over a provisioned virtual key (application KEYSIM-APP, container
// SM2-CONTAINER) whose device was disconnected afterwards; the closed ones went through
// SKF_CloseApplication and SKF_CloseContainer. The library accepts only records it made.
struct LibraryRecords {
  HAPPLICATION app = nullptr, closed_app = nullptr;
  HCONTAINER container = nullptr, closed_container = nullptr;
  HANDLE agreement = nullptr;  // the sponsor's, of `container`
};
LibraryRecords MakeRecords();           // each call over a key of its own
const LibraryRecords &SharedRecords();  // made once per program

struct Case {
  const char *what;
  std::function<ULONG()> call;
  ULONG want;
};

inline void RunCases(const std::vector<Case> &cases) {
  for (const auto &c : cases) EXPECT_EQ(c.call(), c.want) << c.what;
}

}  // namespace argcases
