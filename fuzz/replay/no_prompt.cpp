// Linked ahead of the platform library in the replay programs: nobody is there to type a PIN
// or close a message box, so every prompt is cancelled at once.
#include "platform/os/prompt.h"

namespace os {

int RunPinPrompt(ModuleHandle /*module*/, const PinPrompt & /*prompt*/) { return kIdCancel; }

int ShowMessage(const char * /*text*/, const char * /*caption*/, unsigned /*style*/) {
  return kIdCancel;
}

}  // namespace os
