#include "monitor_process.h"

#include <dbt.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "tests/desktop/support/ansi_text.h"
#include "tests/desktop/support/wait.h"
#include "tests/desktop/support/window_search.h"

namespace twtest {

Process::~Process() {
  if (!info_.hProcess) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    // Closed as a session end would close it, else stopped.
    if (HWND window = desktest::FindTopWindow(kDialogClass, kCaption, info_.dwProcessId)) {
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(info_.hProcess, 5000) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 1);
      WaitForSingleObject(info_.hProcess, 5000);
    }
  }
  CloseHandle(info_.hProcess);
  CloseHandle(info_.hThread);
}

Process::Process(Process &&other) noexcept : info_(std::exchange(other.info_, {})) {}

Process &Process::operator=(Process &&other) noexcept {
  if (this != &other) {
    Process gone(std::move(*this));
    info_ = std::exchange(other.info_, {});
  }
  return *this;
}

DWORD Process::WaitForExit(int timeout_ms) {
  if (!info_.hProcess) return STILL_ACTIVE;
  WaitForSingleObject(info_.hProcess, timeout_ms);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

std::string ProgramFolder() {
  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  std::string path = file;
  return path.substr(0, path.rfind('\\') + 1);
}

MonitorFolder::MonitorFolder(const char *name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + desktest::Ansi(name) + "-" + std::to_string(GetCurrentProcessId()) +
          "-" + std::to_string(GetTickCount());
  CreateDirectoryA(path_.c_str(), nullptr);
}

MonitorFolder::~MonitorFolder() {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA(File(found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path_.c_str());
}

bool MonitorFolder::PutMonitor() {
  return CopyFileA((ProgramFolder() + "traywatch_recorded\\traywatch.exe").c_str(),
                   File("traywatch.exe").c_str(), FALSE);
}

bool MonitorFolder::PutLibraries() {
  for (const char *name : {"devnotify.dll", "cardcmd.dll", "readerio.dll"}) {
    if (!CopyFileA((ProgramFolder() + name).c_str(), File(name).c_str(), FALSE)) return false;
  }
  return true;
}

bool MonitorFolder::PutCertdesk() {
  return CopyFileA((ProgramFolder() + "traywatch_recorded\\certdesk_standin.exe").c_str(),
                   File("certdesk.exe").c_str(), FALSE);
}

Process MonitorFolder::Start(const std::string &arguments, bool program_name) {
  SetEnvironmentVariableA("TRAYWATCH_RECORD", File("shell.log").c_str());
  const std::string program = File("traywatch.exe");
  std::string line =
      program_name ? "\"" + program + "\"" + (arguments.empty() ? "" : " ") + arguments : arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return {};
  }
  return Process(info);
}

std::vector<traytest::ShellCall> MonitorFolder::Calls() const {
  return traytest::ReadLog(File("shell.log"));
}

bool MonitorFolder::WaitForCalls(
    const std::function<bool(const std::vector<traytest::ShellCall> &)> &ready,
    int timeout_ms) const {
  return PumpMessagesUntil([&] { return ready(Calls()); }, timeout_ms);
}

HWND WaitForMonitor(DWORD process, int timeout_ms) {
  HWND window = desktest::WaitForWindow(kDialogClass, kCaption, process, timeout_ms);
  DWORD_PTR answer = 0;
  // A sent message is answered once the dialog's message loop runs, after its start-up.
  if (!window || !SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &answer) ||
      !PumpMessagesUntil([&] { return !IsWindowVisible(window); }, timeout_ms)) {
    return nullptr;
  }
  return window;
}

OutsideMapping::OutsideMapping(const char *name, DWORD size) : size_(size) {
  handle_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  view_ = static_cast<BYTE *>(MapViewOfFile(handle_, FILE_MAP_ALL_ACCESS, 0, 0, size));
  Fill(0xAA);
}

OutsideMapping::~OutsideMapping() {
  if (view_) UnmapViewOfFile(view_);
  if (handle_) CloseHandle(handle_);
}

void OutsideMapping::Fill(BYTE value) {
  if (view_) std::memset(view_, value, size_);
}

bool OutsideMapping::All(BYTE value, DWORD from, DWORD to) const {
  for (DWORD i = from; i < to; ++i) {
    if (view_[i] != value) return false;
  }
  return true;
}

std::vector<BYTE> InterfaceRecord(const std::string &name, DWORD size, DWORD type) {
  constexpr std::size_t kName = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  std::vector<BYTE> record(kName + name.size() + 1);
  auto *r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A *>(record.data());
  r->dbcc_size = size ? size : static_cast<DWORD>(record.size());
  r->dbcc_devicetype = type;
  std::memcpy(r->dbcc_name, name.c_str(), name.size() + 1);
  return record;
}

LRESULT SendDeviceEvent(HWND window, UINT event, std::vector<BYTE> record) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()),
                           SMTO_NORMAL, 20000, &answer)) {
    return -1;
  }
  return static_cast<LRESULT>(answer);
}

bool MenuCommand(HWND window, UINT command) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, WM_COMMAND, command, 0, SMTO_NORMAL, 5000, &answer);
}

namespace {

BOOL CALLBACK CountMonitor(HWND window, LPARAM count) {
  char text[64] = {}, name[64] = {};
  GetClassNameA(window, name, sizeof name);
  GetWindowTextA(window, text, sizeof text);
  if (std::string(name) == kDialogClass && std::string(text) == kCaption) {
    ++*reinterpret_cast<int *>(count);
  }
  return TRUE;
}

}  // namespace

int MonitorWindows() {
  int count = 0;
  EnumWindows(&CountMonitor, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace twtest
