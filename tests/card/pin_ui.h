// A scripted user for the PIN dialog and its message boxes. Windows: a thread that finds the
// windows of this process, reads them and clicks (the dialog of the library's resources).
// Elsewhere: a fake `pinentry` first in PATH that answers from a script and logs what it was
// told.
#pragma once

#include <ostream>
#include <string>
#include <vector>

enum class UiAction {
  kEnterPin,         // the dialog: type `pin`, then OK
  kCancelDialog,     // the dialog: Cancel
  kDialogMessageOk,  // a message over the dialog (it stays open): OK
  kMessageOk,        // a message box of its own: OK
  kMessageCancel,    // a message box of its own: Cancel
};

struct UiStep {
  UiAction action;
  std::string pin;
};

// What the user was shown, in order.
struct UiSeen {
  enum Kind { kDialog, kDialogMessage, kOkCancel, kOkOnly } kind;
  std::string text;  // UTF-8; empty for the dialog
  bool operator==(const UiSeen &) const = default;
};

class ScriptedUser {
 public:
  // Starts answering the steps in order; a prompt beyond them is cancelled.
  explicit ScriptedUser(std::vector<UiStep> steps);
  ~ScriptedUser();
  // Waits until every step was played (or a few seconds passed) and returns what was seen.
  std::vector<UiSeen> Finish();

  struct State;

 private:
  State *state_;
};

// True when the platform's prompt can run here (Windows: a display for Wine).
bool UiAvailable();

#if defined(_WIN32)
// The scripted user saves its first sight of the dialog as pin_dialog.png.
#include "tests/desktop/support/screenshot.h"
#endif

inline std::ostream &operator<<(std::ostream &o, const UiSeen &s) {
  static constexpr const char *kKinds[] = {"dialog", "message over the dialog", "OK/Cancel", "OK"};
  return o << kKinds[s.kind] << (s.text.empty() ? "" : ": ") << s.text;
}
