#include "tests/desktop/support/wait.h"

#include <windows.h>

namespace {

constexpr DWORD kSliceMs = 10;

void PumpPending() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

bool PumpMessagesUntil(const std::function<bool()> &done, unsigned timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    PumpPending();
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    const DWORD left = static_cast<DWORD>(end - now);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kSliceMs ? left : kSliceMs, QS_ALLINPUT);
  }
}

void PumpMessagesFor(unsigned ms) {
  PumpMessagesUntil([] { return false; }, ms);
}
