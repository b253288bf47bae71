// traywatch.exe as the tests run it: the recorded build copied into a folder of the test's own
// (with the libraries and the certdesk stand-in the test puts beside it), started and closed
// as a user's session would, its shell calls read back from the recorder's log.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "shell_recorder.h"

namespace twtest {

inline constexpr char kCaption[] = "traywatch";
inline constexpr char kDialogClass[] = "#32770";

// A started program; closed (terminated if need be) on destruction.
class Process {
 public:
  Process() = default;
  explicit Process(PROCESS_INFORMATION info) : info_(info) {}
  ~Process();
  Process(Process &&other) noexcept;
  Process &operator=(Process &&other) noexcept;

  bool Started() const { return info_.hProcess != nullptr; }
  DWORD Id() const { return info_.dwProcessId; }
  // Waits for the end; its exit code, or STILL_ACTIVE when it did not end in time.
  DWORD WaitForExit(int timeout_ms);

 private:
  PROCESS_INFORMATION info_{};
};

class MonitorFolder {
 public:
  // A new folder in the temporary folder; `name` is UTF-8.
  explicit MonitorFolder(const char *name = "traywatch-test");
  ~MonitorFolder();

  const std::string &Path() const { return path_; }
  std::string File(const char *name) const { return path_ + "\\" + name; }
  // Copies traywatch.exe of the recorded build, and, when asked, the libraries and the
  // stand-in named certdesk.exe.
  bool PutMonitor();
  bool PutLibraries();
  bool PutCertdesk();

  // Starts traywatch.exe of this folder. The command line is the quoted program file, a blank
  // and `arguments`; with `program_name` false it is `arguments` alone (the form traywatchsvc
  // uses).
  Process Start(const std::string &arguments = "", bool program_name = true);
  // The shell calls recorded so far.
  std::vector<traytest::ShellCall> Calls() const;
  bool WaitForCalls(const std::function<bool(const std::vector<traytest::ShellCall> &)> &ready,
                    int timeout_ms) const;

 private:
  std::string path_;
};

// The monitor's window once its start-up is done (it answers messages and has hidden itself);
// nullptr when it did not come within `timeout_ms`.
HWND WaitForMonitor(DWORD process, int timeout_ms = 15000);
// Every traywatch window of the session.
int MonitorWindows();

// The folder of this test program, with the separator.
std::string ProgramFolder();

}  // namespace twtest
