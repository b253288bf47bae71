// The session-key record as the library lays it out, for tests that hand the exports a record
// of their own (an identifier no creating export stores, a device of 0).
#pragma once

#include <cstddef>
#include <cstdint>

#include "skf.h"

struct SessionRecord {
  std::uint32_t dwAlgID;
  std::uint32_t bPadding;
  std::uint8_t Key[256];
  std::uint32_t IVLen;
  std::uint8_t IV[32];
  std::uint32_t PendingLen;
  std::uint32_t Finished;
  std::uint8_t Pending[32];
  DEVHANDLE hDev;
};
static_assert(offsetof(SessionRecord, IVLen) == 264);
static_assert(offsetof(SessionRecord, Pending) == 308);
