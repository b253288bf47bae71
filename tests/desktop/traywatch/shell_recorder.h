// A recorder in place of CTrayIcon's shell call: every call with the fields the record had,
// kept in memory and, for a traywatch.exe built with it, written to a log file that the test
// reads back. The texts are the bytes the program passed (code page 936).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace traytest {

struct ShellCall {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
  DWORD size = 0;     // cbSize
  UINT flags = 0;
  UINT id = 0;
  UINT callback = 0;
  UINT_PTR window = 0;  // hWnd
  bool icon = false;    // hIcon set
  UINT timeout = 0;
  DWORD info_flags = 0;
  BOOL result = FALSE;
  std::string tip, info, title;
};

// Puts the recorder in place. `pass_on`: the real shell gets every call too and its answer is
// the result; otherwise the result is `answer`. `log_file`: each call is also appended there.
void StartRecording(bool pass_on, BOOL answer = TRUE, const std::string &log_file = {});
void SetAnswer(BOOL answer);
// The calls recorded in this process since the last Clear.
std::vector<ShellCall> Recorded();
void Clear();

// The calls in a log file written by another process.
std::vector<ShellCall> ReadLog(const std::string &log_file);

}  // namespace traytest
