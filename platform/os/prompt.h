// The PIN prompt and message boxes of the libraries. Windows: a dialog resource of the
// library's module and MessageBoxA. POSIX: the `pinentry` program found in PATH, over the
// Assuan protocol. Texts are in the build's execution character set (GBK on Windows, UTF-8
// otherwise).
#pragma once

#include <cstddef>
#include <span>

#include "platform/os/os.h"

namespace os {

// Message box styles and results, with their Windows values.
inline constexpr unsigned kMbOk = 0x000;
inline constexpr unsigned kMbOkCancel = 0x001;
inline constexpr unsigned kMbIconError = 0x010;
inline constexpr unsigned kMbIconWarning = 0x030;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// nullptr when the entered text is accepted, else the message shown while the prompt stays
// open for another try.
using PinCheck = const char *(*)(const char *text);

struct PinPrompt {
  int dialog_id;            // Windows: the dialog resource
  int edit_id;              // Windows: its password field
  int edit_limit;           // characters the field takes
  int read_max;             // characters read back from the field (below text.size())
  const char *caption;      // window title; also the caption of the check's messages
  const char *description;  // pinentry: the text above the field (Windows: in the resource)
  const char *prompt;       // pinentry: the label of the field (Windows: in the resource)
  PinCheck check;
  std::span<char> text;  // cleared, then filled with the entered text and a NUL
};

// Shows the prompt until the check accepts an entry or the user cancels. kIdOk with the text
// filled, kIdCancel, or -1 when the prompt cannot be shown.
int RunPinPrompt(ModuleHandle module, const PinPrompt &prompt);

// A message box without owner. kIdOk or kIdCancel; 0 when it cannot be shown.
int ShowMessage(const char *text, const char *caption, unsigned style);

}  // namespace os
