// Finding and reading the windows of a program under test, from the test's process: top-level
// windows by process, class and caption, texts as UTF-8, clicks as WM_COMMAND, and waiting
// for a condition instead of sleeping.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace desktop {

// Conversions between the UTF-8 of the tests and the system's wide texts.
std::string Utf8(const wchar_t *wide);
std::wstring Wide(const std::string &utf8);

// Text of any window, also of another process (WM_GETTEXT), as UTF-8.
std::string WindowText(HWND window);
// Class name of a window.
std::string ClassName(HWND window);

// Visible top-level windows of process `pid` (0: any process) with the class and the UTF-8
// caption given (nullptr: any).
std::vector<HWND> TopWindows(DWORD pid, const char *class_name, const char *caption);
// The first such window, or null.
HWND TopWindow(DWORD pid, const char *class_name, const char *caption);

// Polls `holds` every 20 ms until it is true or `timeout_ms` passed; its last value.
bool WaitUntil(const std::function<bool()> &holds, int timeout_ms = 10000);
// The first window TopWindow finds within `timeout_ms`, or null.
HWND WaitForTopWindow(DWORD pid, const char *class_name, const char *caption,
                      int timeout_ms = 10000);

// A button press as the dialog sees it: WM_COMMAND (id, BN_CLICKED) posted, so that a modal
// window the command opens does not hold the test.
void PostCommand(HWND dialog, int id);
// The same, sent: true when the dialog has handled it within `timeout_ms` (false also when the
// command opened a modal window that is still open).
bool SendCommand(HWND dialog, int id, int timeout_ms = 5000);

// Text, visibility and state of a dialog's control.
std::string ControlText(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
LONG ControlStyle(HWND dialog, int id);

// Typing into an edit as a person does: WM_CHAR posted for each character (so a message box
// the edit's change opens does not hold the test), the edit's limit and EN_CHANGE applying.
void Type(HWND dialog, int id, const std::string &utf8);
// Backspace pressed `count` times in an edit.
void Backspace(HWND dialog, int id, int count);

}  // namespace desktop
