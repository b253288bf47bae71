// Linked ahead of the platform library in the replay programs: pauses (the event wait's poll,
// the empty reader list) cost nothing, so a replay runs at the speed of the code.
#include "platform/os/os.h"

namespace os {

void SleepMs(std::uint32_t /*milliseconds*/) {}

}  // namespace os
