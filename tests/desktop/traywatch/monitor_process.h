// traywatch.exe as the tests run it: the recorded build copied into a folder of the test's own
// (with the libraries and the certdesk stand-in the test puts beside it), started and closed
// as a user's session would, its shell calls read back from the recorder's log.
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

#include "shell_recorder.h"
#include "tests/desktop/support/program.h"

namespace twtest {

inline constexpr char kCaption[] = "traywatch";
inline constexpr char kDialogClass[] = "#32770";

class MonitorFolder {
 public:
  // A new folder in the temporary folder; `name` is UTF-8.
  explicit MonitorFolder(const char *name = "traywatch-test");
  // A new folder in `parent`'s, which outlives it.
  MonitorFolder(const char *name, const MonitorFolder &parent);
  // Closes what it started (as a session's end would) and removes the folder.
  ~MonitorFolder();
  MonitorFolder(const MonitorFolder &) = delete;
  MonitorFolder &operator=(const MonitorFolder &) = delete;

  const std::string &Path() const { return path_; }
  std::string File(const char *name) const { return path_ + "\\" + name; }
  // Copies traywatch.exe of the recorded build, and, when asked, the libraries and the
  // stand-in named certdesk.exe.
  bool PutMonitor();
  bool PutLibraries();
  bool PutCertdesk();

  // Starts traywatch.exe of this folder, from another current folder. The command line is the
  // quoted program file, a blank and `arguments`; with `program_name` false it is `arguments`
  // alone (the form traywatchsvc uses). The program stays with the folder.
  desktop::Program &Start(const std::string &arguments = "", bool program_name = true);
  // The shell calls recorded so far.
  std::vector<traytest::ShellCall> Calls() const;
  // The file name the certdesk stand-in of this folder has written once started (within 10 s),
  // or "" when it was not started.
  std::string WaitForCertdesk() const;
  bool WaitForCalls(const std::function<bool(const std::vector<traytest::ShellCall> &)> &ready,
                    int timeout_ms) const;

 private:
  // `name` and a tail that no other folder of the run has, in the folder `in` (which ends in a
  // backslash).
  MonitorFolder(const char *name, const std::string &in);

  std::string path_;
  std::list<desktop::Program> started_;
};

// The program's exit code once it has ended within `timeout_ms`, else STILL_ACTIVE.
DWORD ExitCode(desktop::Program &program, int timeout_ms);
// Closes a running monitor as the end of a session does (WM_CLOSE); its exit code.
DWORD CloseMonitor(desktop::Program &program);

// The monitor's window (hidden or not) of that process (0: any), or nullptr.
HWND MonitorWindow(DWORD process = 0);
// The monitor's window once its start-up is done (it answers messages and has hidden itself);
// nullptr when it did not come within `timeout_ms`.
HWND WaitForMonitor(DWORD process, int timeout_ms = 15000);
// Every traywatch window of the session.
int MonitorWindows();
// The process has a module of that file name (any case) loaded.
bool HasModule(DWORD process, const char *file_name);

// A named mapping made before traywatch starts, as an outside program would, filled with 0xAA.
class OutsideMapping {
 public:
  OutsideMapping(const char *name, DWORD size);
  ~OutsideMapping();
  OutsideMapping(const OutsideMapping &) = delete;
  OutsideMapping &operator=(const OutsideMapping &) = delete;

  bool Ready() const { return view_ != nullptr; }
  void Fill(BYTE value);
  // Bytes [from, to) all hold `value`.
  bool All(BYTE value, DWORD from, DWORD to) const;
  bool All(BYTE value) const { return All(value, 0, size_); }

 private:
  DWORD size_;
  HANDLE handle_ = nullptr;
  BYTE *view_ = nullptr;
};

// A device-interface record of a WM_DEVICECHANGE as the system sends it; `size` other than 0
// claims another length, `type` another kind of device.
std::vector<BYTE> InterfaceRecord(const std::string &name, DWORD size = 0,
                                  DWORD type = 5 /* DBT_DEVTYP_DEVICEINTERFACE */);
// Sends the event to another process's window and waits for its answer (a handled one takes
// over 3 s); -1 when none came.
LRESULT SendDeviceEvent(HWND window, UINT event, std::vector<BYTE> record);
// A command of the icon's menu; false when the program did not answer within 5 s.
bool MenuCommand(HWND window, UINT command);

}  // namespace twtest
