#include "child_process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

std::string SelfPath() {
#if defined(_WIN32)
  char self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  return n > 0 && n < sizeof self ? std::string(self, n) : std::string();
#else
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
#endif
}

int RunProgram(const std::string &program, const std::vector<std::string> &args) {
  if (program.empty()) return -1;
#if defined(_WIN32)
  std::string command = "\"" + program + "\"";
  for (const auto &a : args) command += " \"" + a + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
#else
  std::vector<char *> argv = {const_cast<char *>(program.c_str())};
  for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
#endif
}

int RunSelf(const std::vector<std::string> &args) { return RunProgram(SelfPath(), args); }
