// One PIN attempt on the key of the selected certificate: the key is opened, reset and its
// application selected, and closed again right after cardcmd's PIN operation.
#pragma once

#include <cstdint>

#include "certdesk/device_slots.h"

namespace certdesk {

enum class OpenFailure { kNone, kNotOpened, kNotSelected };

// The open handle, or 0 with the step that failed (the key is closed again).
std::int32_t OpenForPin(const PinSelection &selection, OpenFailure *failure);

}  // namespace certdesk
