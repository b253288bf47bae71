#include "monitor_process.h"

#include <dbt.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <utility>

#include "tests/desktop/support/ansi_text.h"
#include "tests/desktop/support/desktop_window.h"
#include "tests/desktop/support/wait.h"

namespace twtest {

namespace {

std::string TempFolder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  return temp;
}

}  // namespace

MonitorFolder::MonitorFolder(const char *name) : MonitorFolder(name, TempFolder()) {}

MonitorFolder::MonitorFolder(const char *name, const MonitorFolder &parent)
    : MonitorFolder(name, parent.Path() + "\\") {}

MonitorFolder::MonitorFolder(const char *name, const std::string &in) {
  path_ = in + desktop::Ansi(name) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(GetTickCount());
  CreateDirectoryA(path_.c_str(), nullptr);
}

MonitorFolder::~MonitorFolder() {
  for (desktop::Program &program : started_) CloseMonitor(program);
  started_.clear();
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
  return CopyFileA((desktop::OwnFolder() + "traywatch_recorded\\traywatch.exe").c_str(),
                   File("traywatch.exe").c_str(), FALSE);
}

bool MonitorFolder::PutLibraries() {
  for (const char *name : {"devnotify.dll", "cardcmd.dll", "readerio.dll"}) {
    if (!CopyFileA((desktop::OwnFolder() + name).c_str(), File(name).c_str(), FALSE)) return false;
  }
  return true;
}

bool MonitorFolder::PutCertdesk() {
  return CopyFileA((desktop::OwnFolder() + "traywatch_recorded\\certdesk_standin.exe").c_str(),
                   File("certdesk.exe").c_str(), FALSE);
}

desktop::Program &MonitorFolder::Start(const std::string &arguments, bool program_name) {
  const std::string program = File("traywatch.exe");
  char elsewhere[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, elsewhere);
  const std::vector<std::pair<std::string, std::string>> environment = {
      {"TRAYWATCH_RECORD", File("shell.log")}};
  desktop::Program &started = started_.emplace_back();
  if (program_name) {
    started.Start(program, arguments, elsewhere, environment);
  } else {
    started.StartWithCommandLine(program, arguments, elsewhere, environment);
  }
  return started;
}

std::vector<traytest::ShellCall> MonitorFolder::Calls() const {
  return traytest::ReadLog(File("shell.log"));
}

std::string MonitorFolder::WaitForCertdesk() const {
  std::string started;
  PumpMessagesUntil(
      [&] {
        std::ifstream note(File("certdesk_started.txt"), std::ios::binary);
        return std::getline(note, started) && !started.empty();
      },
      10000);
  return started;
}

bool MonitorFolder::WaitForCalls(
    const std::function<bool(const std::vector<traytest::ShellCall> &)> &ready,
    int timeout_ms) const {
  return PumpMessagesUntil([&] { return ready(Calls()); }, timeout_ms);
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

DWORD ExitCode(desktop::Program &program, int timeout_ms) {
  DWORD code = STILL_ACTIVE;
  return program.WaitExit(timeout_ms, &code) ? code : STILL_ACTIVE;
}

DWORD CloseMonitor(desktop::Program &program) {
  if (!program.Running()) return ExitCode(program, 0);
  if (HWND window = MonitorWindow(program.pid())) PostMessageA(window, WM_CLOSE, 0, 0);
  return ExitCode(program, 5000);
}

HWND MonitorWindow(DWORD process) {
  const auto windows = desktop::AnyTopWindows(process, kDialogClass, kCaption);
  return windows.empty() ? nullptr : windows.front();
}

HWND WaitForMonitor(DWORD process, int timeout_ms) {
  HWND window = nullptr;
  PumpMessagesUntil([&] { return (window = MonitorWindow(process)) != nullptr; }, timeout_ms);
  DWORD_PTR answer = 0;
  // A sent message is answered once the dialog's message loop runs, after its start-up.
  if (!window || !SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &answer) ||
      !PumpMessagesUntil([&] { return !IsWindowVisible(window); }, timeout_ms)) {
    return nullptr;
  }
  return window;
}

int MonitorWindows() {
  return static_cast<int>(desktop::AnyTopWindows(0, kDialogClass, kCaption).size());
}

bool HasModule(DWORD process, const char *file_name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  bool found = false;
  for (BOOL more = Module32First(snapshot, &module); more && !found;
       more = Module32Next(snapshot, &module)) {
    found = lstrcmpiA(module.szModule, file_name) == 0;
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace twtest
