#include "tests/desktop/support/program.h"

namespace desktop {

Program::~Program() { Kill(); }

bool Program::Start(const std::string &exe, const std::string &args, const std::string &folder,
                    const std::vector<std::pair<std::string, std::string>> &environment) {
  return StartWithCommandLine(exe, "\"" + exe + "\"" + (args.empty() ? "" : " " + args), folder,
                              environment);
}

bool Program::StartWithCommandLine(
    const std::string &exe, const std::string &command_line, const std::string &folder,
    const std::vector<std::pair<std::string, std::string>> &environment) {
  Kill();
  std::string directory = folder;
  if (directory.empty()) directory = exe.substr(0, exe.find_last_of('\\') + 1);
  std::string command = command_line;
  std::vector<std::pair<std::string, std::string>> saved;
  for (const auto &[name, value] : environment) {
    char old[4096] = {};
    const DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
    saved.emplace_back(name, n ? old : std::string("\x01"));
    SetEnvironmentVariableA(name.c_str(), value.c_str());
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const bool started = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, directory.c_str(), &startup, &info);
  start_error_ = started ? 0 : GetLastError();
  for (const auto &[name, value] : saved) {
    SetEnvironmentVariableA(name.c_str(), value == "\x01" ? nullptr : value.c_str());
  }
  if (!started) return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  return true;
}

bool Program::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(int timeout_ms, DWORD *code) {
  if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  if (code) GetExitCodeProcess(process_, code);
  return true;
}

void Program::Kill() {
  if (!process_) return;
  if (Running()) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
  process_ = nullptr;
  pid_ = 0;
}

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

}  // namespace desktop
