// A program under test started from the test: its process, its exit, and its end with the test.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace desktop {

class Program {
 public:
  Program() = default;
  ~Program();  // ends the process if it still runs
  Program(const Program &) = delete;
  Program &operator=(const Program &) = delete;

  // Starts `exe` (a Windows path) with the command-line tail `args`, in `folder` (empty: the
  // program's own folder), with `environment` set for it in addition to the test's.
  bool Start(const std::string &exe, const std::string &args = "", const std::string &folder = "",
             const std::vector<std::pair<std::string, std::string>> &environment = {});
  // The same with `command_line` as the whole command line, which need not name the program
  // (the form in which a service starts one: the file given apart).
  bool StartWithCommandLine(
      const std::string &exe, const std::string &command_line, const std::string &folder = "",
      const std::vector<std::pair<std::string, std::string>> &environment = {});
  DWORD pid() const { return pid_; }
  // The system's error of the last start that failed; 0 when none did.
  DWORD start_error() const { return start_error_; }
  bool Running() const;
  // Waits up to `timeout_ms` for the end; true with the exit code when it ended.
  bool WaitExit(int timeout_ms, DWORD *code = nullptr);
  void Kill();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  DWORD start_error_ = 0;
};

// The folder of the running test program, with a trailing backslash.
std::string OwnFolder();

}  // namespace desktop
