#include "platform/os/os.h"

#include <windows.h>

namespace os {

namespace {

constexpr DWORD kPreparedWaitMs = 2000;

// The mark (a manual-reset event, set once prepared), and whether it existed already.
HANDLE OpenMark(const char *name, bool *existed) {
  SetLastError(ERROR_SUCCESS);
  HANDLE mark = CreateEventA(nullptr, TRUE, FALSE, name);
  *existed = GetLastError() == ERROR_ALREADY_EXISTS;
  return mark;
}

}  // namespace

// The system keeps the event while a process has a handle to it, and closes the handles of a
// process that ends.
void HoldNamed(const char *name, void (*prepare)()) {
  bool existed = false;
  HANDLE mark = OpenMark(name, &existed);
  if (!mark) return;
  if (!existed || WaitForSingleObject(mark, kPreparedWaitMs) != WAIT_OBJECT_0) {
    prepare();
    SetEvent(mark);
  }
  // The handle stays open, and the mark with it, until the process ends.
}

}  // namespace os
