// The card side of a new container: its DF inside the application DF, with two empty
// certificate EFs.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

// With the application DF selected: creates DF `container_id` (or authenticates and prepares
// it again when it exists) and its EF01 and EF02. 0 built, -1 at the first failing step.
int QX_CreateContainerDf(DEVHANDLE device, std::uint32_t container_id);
