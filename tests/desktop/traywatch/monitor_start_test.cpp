// traywatch.exe started as a user's session starts it, without the maker's libraries: one
// hidden instance, the key mapping, close requests, the menu commands, events it ignores.
#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>

#include "monitor_process.h"
#include "tests/desktop/support/ansi_text.h"
#include "tests/desktop/support/wait.h"
#include "tests/desktop/support/desktop_window.h"
#include "traywatch/resource_ids.h"

namespace {

using twtest::MonitorFolder;

using twtest::InterfaceRecord;
using twtest::MenuCommand;
using twtest::OutsideMapping;
using twtest::SendDeviceEvent;

bool MappingExists(const char *name) {
  HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (h) CloseHandle(h);
  return h != nullptr;
}

// traywatch.exe alone in a folder of its own.
class MonitorStartTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.PutMonitor()); }
  // Starts it and waits for its start-up to end: its window, or nullptr.
  HWND StartMonitor(desktop::Program **started = nullptr) {
    desktop::Program &program = folder.Start();
    if (started) *started = &program;
    return twtest::WaitForMonitor(program.pid());
  }

  MonitorFolder folder;
};

TEST_F(MonitorStartTest, WithoutLibrariesItStaysHiddenAndInert) {
  OutsideMapping key("ZVSM2KEY", 40960);
  ASSERT_TRUE(key.Ready());
  desktop::Program *monitor = nullptr;
  HWND window = StartMonitor(&monitor);
  ASSERT_NE(window, nullptr);

  // A tool window without a task-bar button (the system adds the window edge).
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, WS_EX_TOOLWINDOW);
  EXPECT_TRUE(key.All(0)) << "ZVSM2KEY is zeroed at start";
  // Without devnotify and cardcmd the start ends before the PIN mapping and the icon.
  EXPECT_FALSE(MappingExists("ZVSM2PIN"));
  EXPECT_TRUE(folder.Calls().empty());

  EXPECT_EQ(SendDeviceEvent(window, DBT_DEVICEARRIVAL, InterfaceRecord("KeySim any")), TRUE);
  EXPECT_EQ(SendDeviceEvent(window, DBT_DEVICEREMOVECOMPLETE, InterfaceRecord("KeySim any")), TRUE);
  EXPECT_TRUE(folder.Calls().empty());

  // No certdesk.exe beside it: the command fails without a message.
  EXPECT_TRUE(MenuCommand(window, ID_OPEN_MANAGER));
  EXPECT_EQ(desktop::TopWindow(monitor->pid(), nullptr, nullptr), nullptr);

  EXPECT_TRUE(MenuCommand(window, ID_EXIT));
  EXPECT_EQ(twtest::ExitCode(*monitor, 5000), 0u);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(MonitorStartTest, SecondStartEndsSilently) {
  desktop::Program *first = nullptr;
  ASSERT_NE(StartMonitor(&first), nullptr);
  desktop::Program &second = folder.Start();
  EXPECT_EQ(twtest::ExitCode(second, 5000), 0u);
  EXPECT_EQ(twtest::MonitorWindows(), 1);
  EXPECT_EQ(twtest::ExitCode(*first, 0), STILL_ACTIVE);
}

// A command line that ends in "-u" (any case), program name included or not, closes the
// running monitor; anything else is a second start, which ends by itself.
TEST_F(MonitorStartTest, CloseRequests) {
  struct Case {
    const char *arguments;
    bool program_name;
    bool closes;
  };
  const Case cases[] = {
      {"-u", true, true},   {"-U", true, true}, {"-u", false, true},
      {"-u ", true, false}, {"", false, false}, {"", true, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.program_name ? "program name and \"" : "alone \"") + c.arguments +
                 "\"");
    desktop::Program *started = nullptr;
    ASSERT_NE(StartMonitor(&started), nullptr);
    desktop::Program &running = *started;
    desktop::Program &request = folder.Start(c.arguments, c.program_name);
    ASSERT_NE(request.pid(), 0u) << "CreateProcess error " << request.start_error();
    EXPECT_EQ(twtest::ExitCode(request, 5000), 0u);
    EXPECT_EQ(twtest::ExitCode(running, c.closes ? 5000 : 0), c.closes ? 0u : STILL_ACTIVE);
    EXPECT_EQ(twtest::CloseMonitor(running), 0u);
  }
}

TEST_F(MonitorStartTest, CloseRequestWithoutAMonitorEnds) {
  ASSERT_EQ(twtest::MonitorWindows(), 0);
  desktop::Program &request = folder.Start("-u");
  EXPECT_EQ(twtest::ExitCode(request, 5000), 0u);
  EXPECT_EQ(twtest::MonitorWindows(), 0);
}

// The menu's first item starts certdesk.exe from traywatch's folder (not the current one).
TEST_F(MonitorStartTest, ManagerStartsCertdeskFromTheMonitorsFolder) {
  ASSERT_TRUE(folder.PutCertdesk());
  HWND window = StartMonitor();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(MenuCommand(window, ID_OPEN_MANAGER));
  const std::string started = folder.WaitForCertdesk();
  EXPECT_EQ(desktop::Utf8FromAnsi(started), desktop::Utf8FromAnsi(folder.File("certdesk.exe")));
}

// A mapping of the same name made smaller by another program is not written past its end.
TEST_F(MonitorStartTest, SmallerKeyMappingMadeEarlierIsLeftAlone) {
  OutsideMapping key("ZVSM2KEY", 100);
  ASSERT_TRUE(key.Ready());
  desktop::Program *monitor = nullptr;
  ASSERT_NE(StartMonitor(&monitor), nullptr);
  EXPECT_TRUE(key.All(0xAA));
  EXPECT_EQ(twtest::ExitCode(*monitor, 0), STILL_ACTIVE);
}

}  // namespace
