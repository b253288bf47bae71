// keysimd for the readerio tests.
#include "daemon_harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>

#include "net.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>

#include <chrono>
#include <thread>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace riotest {

namespace proto = keysim::proto;

void set_addr_env(const std::string &addr) {
#ifdef _WIN32
  _putenv_s("KEYSIM_ADDR", addr.c_str());
#else
  if (addr.empty())
    unsetenv("KEYSIM_ADDR");
  else
    setenv("KEYSIM_ADDR", addr.c_str(), 1);
#endif
}

static bool read_port(const std::string &file, std::string &addr) {
  std::ifstream f(file);
  unsigned port = 0;
  if (!(f >> port) || port == 0 || port > 65535) return false;
  addr = "127.0.0.1:" + std::to_string(port);
  return true;
}

// Unique across the programs that share one daemon (under Wine, one after another within the
// same second): the process id is part of the name.
std::string fresh_key_name(const char *stem) {
  static int n = 0;
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%ld_%lu_%d", stem, long(std::time(nullptr) % 100000), pid, ++n);
  return buf;
}

uint8_t control(const std::string &addr, proto::Op op, const std::vector<std::string> &texts,
                const uint32_t *number, uint8_t create_flags) {
  keysim::net::Socket s = keysim::net::connect_to(addr, 30000);
  if (!s.valid()) return 0xFF;
  proto::Writer w;
  w.u8(uint8_t(op));
  for (auto &t : texts) w.text(t);
  if (number) w.u32(*number);
  if (op == proto::Op::create) w.u8(create_flags);
  proto::Bytes reply;
  if (!keysim::net::call(s, w.body, reply)) return 0xFF;
  return reply[0];
}

void remove_dir(const std::string &dir) {
  std::error_code ec;
  if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}

#ifdef _WIN32

std::string make_temp_dir() { return {}; }
bool start_daemon(Daemon &, const std::string &, const std::vector<std::string> &) { return false; }
bool stop_daemon(Daemon &) { return false; }

bool shared_daemon(Daemon &d) {
  const char *file = std::getenv("KEYSIM_PORT_FILE");
  if (!file) return false;
  std::string path = file;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine maps the Unix root to Z:
  return read_port(path, d.addr);
}

#else

std::string make_temp_dir() {
  char tmpl[] = "/tmp/readerio-test.XXXXXX";
  const char *p = mkdtemp(tmpl);
  return p ? p : "";
}

bool start_daemon(Daemon &d, const std::string &state, const std::vector<std::string> &extra) {
  mkdir(state.c_str(), 0700);
  std::string port_file = state + "/port";
  std::remove(port_file.c_str());
  std::vector<std::string> args = {KEYSIMD_PATH, "--state", state, "--port-file", port_file};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // no daemon outlives a crashed test
    execv(KEYSIMD_PATH, argv.data());
    _exit(127);
  }
  d.pid = pid;
  d.state = state;
  for (int i = 0; i < 500; ++i) {
    if (read_port(port_file, d.addr)) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return d.pid = 0, false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop_daemon(d);
  return false;
}

bool stop_daemon(Daemon &d) {
  if (d.pid <= 0) return false;
  kill(pid_t(d.pid), SIGTERM);
  int status = 0;
  waitpid(pid_t(d.pid), &status, 0);
  d.pid = 0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool shared_daemon(Daemon &d) {
  static Daemon started;
  if (started.pid == 0) {
    if (!start_daemon(started, make_temp_dir())) return false;
    std::atexit([] {
      stop_daemon(started);
      remove_dir(started.state);
    });
  }
  d = started;
  return true;
}

#endif

}  // namespace riotest
