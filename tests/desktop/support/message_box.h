// Message boxes of a program under test (or of the test's own process): found by caption,
// read back (text, icon, buttons) and answered.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace desktop {

enum class MessageIcon { kNone, kWarning, kInformation, kError, kQuestion, kOther };

struct MessageBoxView {
  std::string text;  // UTF-8
  MessageIcon icon = MessageIcon::kNone;
  std::vector<int> buttons;  // ids among IDOK, IDCANCEL, IDYES, IDNO, in that order
  bool operator==(const MessageBoxView &) const = default;
};

// The icon is told by its picture on the display: the icon control's pixels against the
// system icons drawn here. The box is raised first; a box that stays covered reads kOther.
MessageBoxView ReadMessageBox(HWND box);

// A visible message box ("#32770" with that UTF-8 caption and a text) of process `pid`
// (0: any), waited for up to `timeout_ms`; null when none came.
HWND WaitForMessageBox(DWORD pid, const char *caption, int timeout_ms = 10000);

// Presses a button of the box (posted) and waits until the box is gone.
void AnswerMessageBox(HWND box, int id);

std::ostream &operator<<(std::ostream &o, MessageIcon icon);
std::ostream &operator<<(std::ostream &o, const MessageBoxView &view);

}  // namespace desktop
