#include "platform/os/os.h"

#include <windows.h>

namespace os {

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace os
