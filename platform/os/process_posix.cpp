#include "platform/os/os.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/os/cancel.h"

namespace os {

namespace {

// The state letter of /proc/<pid>/stat, after the command name's closing parenthesis; 0 when
// it cannot be read.
char ProcState(pid_t pid) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char stat[512];
  const ssize_t n = read(fd, stat, sizeof stat - 1);
  close(fd);
  if (n <= 0) return 0;
  stat[n] = '\0';
  const char *end = std::strrchr(stat, ')');
  return end && end[1] == ' ' ? end[2] : 0;
}

}  // namespace

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool ProcessAlive(std::uint32_t id) {
  const NoCancel hold;  // a cancellation in read would leave the descriptor open
  // 0 and values past pid_t's range name no single process (kill would take them as groups).
  if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return false;
  const auto pid = static_cast<pid_t>(id);
  if (kill(pid, 0) != 0 && errno != EPERM) return false;
  const char state = ProcState(pid);
  return state != 'Z' && state != 'X';
}

}  // namespace os
