// traywatchsvc with Wine's service control manager: its options, the service's start of
// traywatch in the user's session and its close on stop, from a folder whose name holds a blank,
// removal while it runs, a stop while it still waits to start traywatch, names too long to
// build, and the dispatcher outside the manager.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "monitor_process.h"
#include "tests/desktop/support/program.h"
#include "tests/desktop/support/wait.h"
#include "traywatch/program_folder.h"
#include "traywatch/service/key_service.h"
#include "traywatch/service/os_kind.h"
#include "traywatch/service/user_session.h"

namespace {

constexpr char kService[] = "traywatch_Service";

struct Output {
  DWORD exit_code = STILL_ACTIVE;
  std::string text;  // standard output, line ends as "\n"
};

// Runs traywatchsvc.exe of `folder` with `arguments` and collects its standard output.
Output RunService(const twtest::MonitorFolder &folder, const std::string &arguments) {
  Output out;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return out;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  const std::string program = folder.File("traywatchsvc.exe");
  std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &info);
  CloseHandle(write);
  if (started) {
    char buffer[256];
    DWORD n = 0;
    while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n) out.text.append(buffer, n);
    WaitForSingleObject(info.hProcess, 60000);
    GetExitCodeProcess(info.hProcess, &out.exit_code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  CloseHandle(read);
  for (std::size_t at; (at = out.text.find("\r\n")) != std::string::npos;) out.text.erase(at, 1);
  return out;
}

std::string Report(bool installed) {
  return std::string(kService) + " Version 1.0\nThe service is " +
         (installed ? "currently" : "not") + " installed\n";
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
    ASSERT_EQ(twtest::MonitorWindows(), 0);
    ASSERT_TRUE(CopyFileA((desktop::OwnFolder() + "traywatchsvc.exe").c_str(),
                          folder_.File("traywatchsvc.exe").c_str(), FALSE));
  }
  void TearDown() override {
    if (SC_HANDLE service = OpenServiceA(manager_, kService, SERVICE_ALL_ACCESS)) {
      SERVICE_STATUS status;
      ControlService(service, SERVICE_CONTROL_STOP, &status);
      DeleteService(service);
      CloseServiceHandle(service);
    }
    CloseServiceHandle(manager_);
  }
  // The service's state, or 0 when it is not installed.
  DWORD State() {
    SC_HANDLE service = OpenServiceA(manager_, kService, SERVICE_QUERY_STATUS);
    if (!service) return 0;
    SERVICE_STATUS status{};
    QueryServiceStatus(service, &status);
    CloseServiceHandle(service);
    return status.dwCurrentState;
  }
  bool WaitForState(DWORD state, unsigned timeout_ms = 15000) {
    return PumpMessagesUntil([&] { return State() == state; }, timeout_ms);
  }
  bool StartService() {
    SC_HANDLE service = OpenServiceA(manager_, kService, SERVICE_START);
    const BOOL started = service && ::StartServiceA(service, 0, nullptr);
    if (service) CloseServiceHandle(service);
    return started && WaitForState(SERVICE_RUNNING);
  }
  bool Control(DWORD control, SERVICE_STATUS *status) {
    SC_HANDLE service = OpenServiceA(
        manager_, kService,
        SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    const BOOL done = service && ControlService(service, control, status);
    if (service) CloseServiceHandle(service);
    return done;
  }
  // The image path the manager holds for the service.
  std::string ImagePath() {
    SC_HANDLE service = OpenServiceA(manager_, kService, SERVICE_QUERY_CONFIG);
    if (!service) return {};
    alignas(QUERY_SERVICE_CONFIGA) BYTE buffer[8192];
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer);
    DWORD needed = 0;
    const bool queried = QueryServiceConfigA(service, config, sizeof buffer, &needed);
    CloseServiceHandle(service);
    return queried ? config->lpBinaryPathName : "";
  }
  // The traywatch window of the user's session, started by the service from `folder`.
  HWND WaitForMonitor(const twtest::MonitorFolder &folder) {
    HWND window = nullptr;
    PumpMessagesUntil([&] { return (window = twtest::MonitorWindow()) != nullptr; }, 15000);
    if (!window) return nullptr;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    char image[1024] = {};
    DWORD size = sizeof image;
    const bool ours = process && QueryFullProcessImageNameA(process, 0, image, &size) &&
                      lstrcmpiA(image, folder.File("traywatch.exe").c_str()) == 0;
    if (process) CloseHandle(process);
    EXPECT_TRUE(ours) << image;
    return window;
  }
  HWND WaitForMonitor() { return WaitForMonitor(folder_); }
  bool WaitForNoMonitor() {
    return PumpMessagesUntil([] { return twtest::MonitorWindows() == 0; }, 15000);
  }
  // The service as a user installs it from `folder`: registered quoted, started it starts
  // traywatch from there, stopped it closes it again.
  void InstallStartAndStop(twtest::MonitorFolder &folder) {
    const std::string program = folder.File("traywatchsvc.exe");
    ASSERT_TRUE(
        CopyFileA((desktop::OwnFolder() + "traywatchsvc.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(folder.PutMonitor());
    ASSERT_EQ(RunService(folder, "-install").exit_code, 0u);
    EXPECT_EQ(lstrcmpiA(ImagePath().c_str(), ("\"" + program + "\"").c_str()), 0) << ImagePath();
    ASSERT_TRUE(StartService());
    ASSERT_NE(WaitForMonitor(folder), nullptr);
    SERVICE_STATUS status{};
    ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(WaitForState(SERVICE_STOPPED));
    EXPECT_TRUE(WaitForNoMonitor());
  }

  SC_HANDLE manager_ = nullptr;
  twtest::MonitorFolder folder_{"traywatchsvc-test"};
};

TEST(OsKindTest, FromTheSystemVersion) {
  struct Case {
    DWORD version;
    bool info;
    DWORD major, minor;
    int kind;
  };
  constexpr DWORD k9x = 0x80000000u;
  const Case cases[] = {
      {k9x | 3, true, 3, 95, 0}, {k9x | 4, true, 4, 10, 3}, {k9x | 4, true, 4, 90, 4},
      {k9x | 4, true, 4, 0, 2},  {k9x | 4, false, 0, 0, 2}, {4, true, 4, 0, 5},
      {5, true, 5, 0, 6},        {5, true, 5, 1, 7},        {5, true, 5, 2, 8},
      {6, true, 6, 0, 9},        {6, true, 6, 1, 1},        {10, true, 10, 0, 1},
      {5, false, 0, 0, 1},
  };
  for (const Case &c : cases) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = c.major;
    info.dwMinorVersion = c.minor;
    EXPECT_EQ(OsKindOf(c.version, c.info ? &info : nullptr), c.kind)
        << std::hex << c.version << std::dec << " " << c.major << "." << c.minor;
  }
  EXPECT_EQ(kOsKindWindows2000, 6);
}

// traywatch's file name beside the service's, in the service's buffer: names of 260 bytes and
// more, which a folder of double-byte characters gives, up to what the buffer holds. (Wine
// starts no program whose path has 260 characters or more, and the code page 936 prefix of the
// tests holds no double-byte file names, so the service cannot be run from such a folder here.)
TEST(ServicePathTest, TraywatchBesideALongServiceName) {
  constexpr char kProgram[] = "\\traywatchsvc.exe", kMonitor[] = "\\traywatch.exe";
  const std::string folder = "C:\\";
  for (const std::size_t length :
       {std::size_t{MAX_PATH}, std::size_t{300}, std::size_t{kServicePathSize - 1}}) {
    const std::string program =
        folder + std::string(length - folder.size() - (sizeof kProgram - 1), 'k') + kProgram;
    ASSERT_EQ(program.size(), length);
    const std::string expected = program.substr(0, program.rfind('\\')) + kMonitor;
    EXPECT_EQ(std::string(FileBeside(program.c_str(), "traywatch.exe", kServicePathSize)), expected)
        << length;
  }
  const std::string too_long = folder + std::string(kServicePathSize, 'k') + kProgram;
  EXPECT_TRUE(FileBeside(too_long.c_str(), "traywatch.exe", kServicePathSize).IsEmpty());
  EXPECT_TRUE(FileBeside("", "traywatch.exe", kServicePathSize).IsEmpty());
  // C:\a\traywatch.exe and its NUL take 19 bytes.
  EXPECT_TRUE(FileBeside("C:\\a\\traywatchsvc.exe", "traywatch.exe", 18).IsEmpty());
  EXPECT_EQ(std::string(FileBeside("C:\\a\\traywatchsvc.exe", "traywatch.exe", 19)),
            "C:\\a\\traywatch.exe");
}

// The shell's token: the first process of that name, whatever its case; a program started with
// it runs.
TEST(UserSessionTest, ShellTokenAndStart) {
  HANDLE token = nullptr;
  for (const char *name : {"EXPLORER.EXE", "explorer.exe", "Explorer.Exe"}) {
    EXPECT_TRUE(OpenShellToken(&token, name)) << name;
    if (token) CloseHandle(token);
    token = nullptr;
  }
  EXPECT_FALSE(OpenShellToken(&token, "explorer"));
  EXPECT_FALSE(OpenShellToken(&token, nullptr));
  EXPECT_FALSE(LaunchInUserSession(nullptr, nullptr));

  twtest::MonitorFolder folder;
  ASSERT_TRUE(folder.PutCertdesk());
  ASSERT_TRUE(LaunchInUserSession(folder.File("certdesk.exe").c_str(), ""));
  EXPECT_FALSE(folder.WaitForCertdesk().empty());
  EXPECT_FALSE(LaunchInUserSession(folder.File("missing.exe").c_str(), ""));
}

TEST_F(ServiceTest, OptionsReportInstallAndRemove) {
  ASSERT_EQ(State(), 0u);
  for (const char *option : {"-v", "-V"}) {
    const Output report = RunService(folder_, option);
    EXPECT_EQ(report.exit_code, 0u);
    EXPECT_EQ(report.text, Report(false)) << option;
  }
  for (int i = 0; i < 2; ++i) {  // once more: nothing changes
    const Output install = RunService(folder_, "-INSTALL");
    EXPECT_EQ(install.exit_code, 0u);
    EXPECT_EQ(install.text, "");
  }
  EXPECT_EQ(RunService(folder_, "-v").text, Report(true));
  EXPECT_EQ(RunService(folder_, "-V").text, Report(true));

  // As the manager holds it: an automatic-start service of its own process, not started.
  SC_HANDLE service = OpenServiceA(manager_, kService, SERVICE_QUERY_CONFIG);
  ASSERT_NE(service, nullptr);
  alignas(QUERY_SERVICE_CONFIGA) BYTE buffer[8192];
  auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(service, config, sizeof buffer, &needed));
  CloseServiceHandle(service);
  EXPECT_EQ(config->dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config->dwStartType, DWORD(SERVICE_AUTO_START));
  EXPECT_EQ(config->dwErrorControl, DWORD(SERVICE_ERROR_NORMAL));
  EXPECT_STREQ(config->lpDisplayName, kService);
  const std::string quoted = "\"" + folder_.File("traywatchsvc.exe") + "\"";
  EXPECT_EQ(lstrcmpiA(config->lpBinaryPathName, quoted.c_str()), 0) << config->lpBinaryPathName;
  EXPECT_EQ(State(), DWORD(SERVICE_STOPPED));

  for (int i = 0; i < 2; ++i) {
    const Output remove = RunService(folder_, "-Remove");
    EXPECT_EQ(remove.exit_code, 0u);
    EXPECT_EQ(remove.text, "");
  }
  EXPECT_EQ(State(), 0u);
  EXPECT_EQ(RunService(folder_, "-v").text, Report(false));
}

// Without an option, and outside the service control manager, the dispatcher fails and the
// program ends with nothing to say (Wine gives up on the manager after 10 s: the runs go side by
// side).
TEST_F(ServiceTest, DispatcherOutsideTheManagerEnds) {
  const char *const arguments[] = {"", "-start", "-u"};
  Output runs[3];
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] { runs[i] = RunService(folder_, arguments[i]); });
  }
  for (auto &t : threads) t.join();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(runs[i].exit_code, 0u) << arguments[i];
    EXPECT_EQ(runs[i].text, "") << arguments[i];
  }
  EXPECT_EQ(twtest::MonitorWindows(), 0);
}

TEST_F(ServiceTest, StartsAndClosesTraywatch) {
  ASSERT_TRUE(folder_.PutMonitor());
  ASSERT_EQ(RunService(folder_, "-install").exit_code, 0u);
  ASSERT_TRUE(StartService());
  HWND monitor = WaitForMonitor();
  ASSERT_NE(monitor, nullptr);

  SERVICE_STATUS status{};
  ASSERT_TRUE(Control(SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(status.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE));
  EXPECT_EQ(status.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
  ASSERT_TRUE(Control(200, &status));  // a control of the program's own: nothing happens
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(twtest::MonitorWindows(), 1);

  // Stop: traywatch is closed through "-u", the service reports it stopped.
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(WaitForState(SERVICE_STOPPED));
  EXPECT_TRUE(WaitForNoMonitor());

  // Started again, then removed while it runs: stopped first, traywatch closed, then deleted.
  ASSERT_TRUE(StartService());
  ASSERT_NE(WaitForMonitor(), nullptr);
  const Output remove = RunService(folder_, "-remove");
  EXPECT_EQ(remove.exit_code, 0u);
  EXPECT_EQ(remove.text, "");
  EXPECT_EQ(State(), 0u);
  EXPECT_TRUE(WaitForNoMonitor());
}

// A blank in the service's folder: the manager must not take the path up to the blank for the
// program, here a stand-in that notes its start.
TEST_F(ServiceTest, RunsFromAFolderWithABlank) {
  twtest::MonitorFolder outer("traywatchsvc-blank");
  ASSERT_EQ(outer.Path().find(' '), std::string::npos);
  twtest::MonitorFolder folder("service folder", outer);
  ASSERT_TRUE(CopyFileA((desktop::OwnFolder() + "traywatch_recorded\\certdesk_standin.exe").c_str(),
                        outer.File("service.exe").c_str(), FALSE));
  EXPECT_NO_FATAL_FAILURE(InstallStartAndStop(folder));
  EXPECT_EQ(GetFileAttributesA(outer.File("certdesk_started.txt").c_str()), INVALID_FILE_ATTRIBUTES)
      << "service.exe was started";
}

// A file name too long for the service's buffer (a build of it with a small one): "-install"
// registers nothing, and the service registered by other means stops at once with the reason,
// where it would try to start traywatch for ever.
TEST_F(ServiceTest, NameTooLongForTheBufferStopsTheService) {
  const std::string program = folder_.File("traywatchsvc.exe");
  ASSERT_GE(folder_.Path().size(), std::size_t{TRAYWATCHSVC_SHORT_PATH_SIZE})
      << "a cut name ends inside the folder's";
  ASSERT_TRUE(CopyFileA((desktop::OwnFolder() + "traywatchsvc_short\\traywatchsvc.exe").c_str(),
                        program.c_str(), FALSE));
  ASSERT_TRUE(folder_.PutMonitor());
  EXPECT_EQ(RunService(folder_, "-install").exit_code, 0u);
  EXPECT_EQ(State(), 0u) << "a cut name was registered";
  RunService(folder_, "-remove");  // whatever was

  SC_HANDLE service =
      CreateServiceA(manager_, kService, kService, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, ("\"" + program + "\"").c_str(),
                     nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  EXPECT_TRUE(::StartServiceA(service, 0, nullptr));
  SERVICE_STATUS status{};
  EXPECT_TRUE(PumpMessagesUntil(
      [&] {
        return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
      },
      5000));
  EXPECT_EQ(status.dwWin32ExitCode, DWORD(ERROR_FILENAME_EXCED_RANGE));
  CloseServiceHandle(service);
  EXPECT_EQ(twtest::MonitorWindows(), 0);
}

// No traywatch.exe to start: the service keeps trying every 2 s, and a stop ends that at once.
TEST_F(ServiceTest, StopEndsTheWaitForTheFirstStart) {
  ASSERT_EQ(RunService(folder_, "-install").exit_code, 0u);
  ASSERT_TRUE(StartService());
  Sleep(2500);  // at least one failed start
  EXPECT_EQ(State(), DWORD(SERVICE_RUNNING));
  SERVICE_STATUS status{};
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(WaitForState(SERVICE_STOPPED, 5000));
  EXPECT_EQ(twtest::MonitorWindows(), 0);
}

}  // namespace
