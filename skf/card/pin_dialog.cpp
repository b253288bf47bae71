#include "skf/card/pin_dialog.h"

#include <cstring>

#include "platform/os/prompt.h"
#include "skf/card/binding.h"
#include "skf/card/pin_texts.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr int kDialogReadMax = 31;
constexpr std::size_t kDialogBufferSize = 64;

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The buffer the dialog fills, one per dialog (two threads may each show one); cleared when it
// goes, also on a cancelled thread's way out.
struct EnteredText {
  char text[kDialogBufferSize] = {};
  ~EnteredText() { SecureZero(text, sizeof text); }
};

}  // namespace

const char *CheckPinEntry(const char *text) {
  const std::size_t length = std::strlen(text);
  // The field takes 16 characters; a longer text can only be put there by another program.
  if (length < kPinEntryMin || length > kPinTextMax) return kPinLengthMessage;
  for (const char *p = text; *p; ++p) {
    if (!IsLetterOrDigit(*p)) return kPinCharacterMessage;
  }
  return nullptr;
}

int ShowPinDialog(char pin[kPinTextSize]) {
  EnteredText entered;
  const os::PinPrompt prompt{.dialog_id = kPinDialogId,
                             .edit_id = kPinEditId,
                             .edit_limit = kPinTextMax,
                             .read_max = kDialogReadMax,
                             .caption = kPinCaption,
                             .description = kPinDialogText,
                             .prompt = kPinFieldLabel,
                             .check = CheckPinEntry,
                             .text = entered.text};
  const bool ok = ModuleHandle && os::RunPinPrompt(ModuleHandle, prompt) == os::kIdOk;
  if (ok) {
    std::memcpy(pin, entered.text, kPinTextSize - 1);  // the check admits at most 16 characters
    pin[kPinTextSize - 1] = 0;
  }
  return ok ? 0 : -1;
}
