#include "skf/api/message_pump.h"

#if defined(_WIN32)
#include <windows.h>

void PumpOneMessage() {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
#else
void PumpOneMessage() {}
#endif
