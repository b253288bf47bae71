#include "traywatch/service/user_session.h"

#include <tlhelp32.h>

#include <cstring>
#include <string>

#include "platform/os/i686_size.h"

namespace {

constexpr char kShell[] = "EXPLORER.EXE";
char kDesktop[] = "winsta0\\default";

std::string Upper(const char *text) {
  std::string upper = text;
  CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

}  // namespace

BOOL OpenShellToken(HANDLE *token, const char *executable) {
  if (!executable) return FALSE;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return FALSE;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  static_assert(IsI686Size(sizeof entry, 296));
  BOOL opened = FALSE;
  const std::string wanted = Upper(executable);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (Upper(entry.szExeFile) != wanted) continue;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID)) {
      opened = OpenProcessToken(process, TOKEN_ALL_ACCESS, token);
      CloseHandle(process);
    }
    break;
  }
  CloseHandle(snapshot);
  return opened;
}

BOOL LaunchInUserSession(const char *application, const char *command_line) {
  if (!application && !command_line) return FALSE;
  HANDLE token = nullptr;
  if (!OpenShellToken(&token, kShell)) return FALSE;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  static_assert(IsI686Size(sizeof startup, 68));
  startup.lpDesktop = kDesktop;
  std::string line = command_line ? command_line : "";  // the call may write into it
  PROCESS_INFORMATION started{};
  const BOOL created = CreateProcessAsUserA(
      token, application, command_line ? line.data() : nullptr, nullptr, nullptr, FALSE,
      NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started);
  if (created) {
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
  }
  CloseHandle(token);
  return created;
}
