// The options of the service program: report, install and remove the service.
#include <cstdio>

#include "platform/mfc/text.h"
#include "traywatch/program_folder.h"
#include "traywatch/service/key_service.h"

namespace {

// Service control manager and service handles, closed when they go.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScHandle() {
    if (handle_) CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle &) = delete;
  ScHandle &operator=(const ScHandle &) = delete;
  operator SC_HANDLE() const { return handle_; }  // NOLINT

 private:
  SC_HANDLE handle_;
};

constexpr DWORD kStopPollMs = 1000;

}  // namespace

BOOL KeyService::ParseArgs(int argc, char **argv) {
  if (argc < 2) return FALSE;
  const CString option = argv[1];
  if (option.CompareNoCase("-v") == 0) {
    std::printf("%s Version %d.%d\n", name_, major_version_, minor_version_);
    std::printf("The service is %s installed\n", IsInstalled() ? "currently" : "not");
    return TRUE;
  }
  if (option.CompareNoCase("-install") == 0) {
    if (!IsInstalled()) Install();
    return TRUE;
  }
  if (option.CompareNoCase("-remove") == 0) {
    if (IsInstalled()) Uninstall();
    return TRUE;
  }
  return FALSE;
}

BOOL KeyService::IsInstalled() {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return FALSE;
  ScHandle service(OpenServiceA(manager, name_, SERVICE_QUERY_CONFIG));
  return service != nullptr;
}

BOOL KeyService::Install() {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return FALSE;
  // Read in the buffer the service builds traywatch's name in; a cut name would be another file's.
  const CString path = ProgramFile(kServicePathSize);
  if (path.IsEmpty()) return FALSE;
  // Quoted: unquoted, the manager would take a path with blanks up to its first blank for the
  // program, and start whatever file is there.
  CString image = "\"";
  image += path;
  image += "\"";
  ScHandle service(CreateServiceA(
      manager, name_, name_, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
      SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr, nullptr, nullptr));
  return service != nullptr;
}

BOOL KeyService::Uninstall() {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return FALSE;
  ScHandle service(OpenServiceA(manager, name_, SERVICE_ALL_ACCESS));
  if (!service) return FALSE;
  SERVICE_STATUS status{};
  if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    Sleep(kStopPollMs);
    while (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING) {
      Sleep(kStopPollMs);
    }
  }
  return DeleteService(service);
}
