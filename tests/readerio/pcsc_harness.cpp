// pcscd in namespaces of the test program's own.
#include "pcsc_harness.h"

#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "readerio.h"

namespace riotest {

namespace {

constexpr const char *kPcscd = "/usr/sbin/pcscd";
constexpr const char *kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";

bool exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0;
}

std::string failed(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

bool loopback_up() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return false;
  ifreq req{};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(s, SIOCGIFFLAGS, &req) == 0;
  req.ifr_flags |= IFF_UP;
  ok = ok && ioctl(s, SIOCSIFFLAGS, &req) == 0;
  close(s);
  return ok;
}

// Namespaces of this process's own; it must not have started a thread yet.
std::string isolate() {
  if (geteuid() != 0) return "the PC/SC tests start pcscd in namespaces of their own: run as root";
  if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return failed("unshare");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return failed("mount /");
  for (const char *dir : {"/run/pcscd", "/dev/shm"}) {
    mkdir(dir, 0755);
    if (mount("tmpfs", dir, "tmpfs", 0, "mode=1777") != 0) return failed(dir);
  }
  if (!loopback_up()) return failed("loopback");
  return "";
}

pid_t pcscd = 0;

void stop_pcscd() {
  kill(pcscd, SIGTERM);
  waitpid(pcscd, nullptr, 0);
}

std::string start() {
  if (std::string why = isolate(); !why.empty()) return why;
  pcscd = fork();
  if (pcscd < 0) return failed("fork");
  if (pcscd == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // gone with a crashed test too
    execl(kPcscd, kPcscd, "--foreground", "--error", nullptr);
    _exit(127);
  }
  std::atexit(stop_pcscd);
  for (int i = 0; i < 200 && !exists("/run/pcscd/pcscd.comm"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  return exists("/run/pcscd/pcscd.comm") ? "" : "pcscd did not start";
}

std::string pcsc_reader() {
  uint32_t n = 0;
  char **list = QX_GetReaderList(&n, 0);
  std::string found;
  for (uint32_t i = 0; i < n && found.empty(); ++i)
    if (!std::string_view(list[i]).starts_with(keysim::proto::kReaderPrefix)) found = list[i];
  QX_DestroyReaderList(list);
  return found;
}

}  // namespace

std::string private_pcscd(bool &installed) {
  installed = exists(kPcscd) && exists(kVpcdDriver);
  if (!installed) return "pcscd or vpcd not installed";
  static const std::string why = start();
  return why;
}

bool VpcdKey::start(uint32_t serial, bool provisioned) {
  // The card of a key that went before may still be in the reader for a moment.
  if (!wait_for_no_pcsc_card()) return false;
  dir_ = make_temp_dir();
  if (!start_daemon(daemon_, dir_)) return false;
  const bool made =
      control(daemon_.addr, keysim::proto::Op::create, {kName}, &serial, provisioned ? 1 : 0) == 0;
  if (!stop_daemon(daemon_) || !made) return false;
  return start_daemon(daemon_, dir_, {"--vpcd", kName});
}

VpcdKey::~VpcdKey() {
  if (daemon_.pid) stop_daemon(daemon_);
  remove_dir(dir_);
}

std::string wait_for_pcsc_card() {
  std::string reader;
  for (int i = 0; i < 200 && (reader = pcsc_reader()).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return reader;
}

bool wait_for_no_pcsc_card() {
  for (int i = 0; i < 200; ++i) {
    if (pcsc_reader().empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace riotest
