#include "platform/os/os.h"

#include <windows.h>

namespace os {

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessAlive(std::uint32_t id) {
  if (id == 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  // A process this one may not open still runs.
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace os
