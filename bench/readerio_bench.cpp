// One APDU round trip (GET CHALLENGE, 8 bytes) through readerio and keysimd on loopback.
// Starts its own keysimd on a free port in a temporary state directory. Besides Google
// Benchmark's mean time per round trip it reports the median of the single round trips
// (counter median_us).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net.h"
#include "protocol.h"
#include "readerio.h"

namespace {

namespace proto = keysim::proto;

struct Daemon {
  pid_t pid = 0;
  std::string dir, addr;
  ~Daemon() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

bool start(Daemon &d) {
  char tmpl[] = "/tmp/readerio-bench.XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  d.dir = tmpl;
  std::string port_file = d.dir + "/port";
  d.pid = fork();
  if (d.pid < 0) return false;
  if (d.pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (FILE *null = std::freopen("/dev/null", "w", stdout); !null) _exit(127);
    execl(KEYSIMD_PATH, KEYSIMD_PATH, "--state", d.dir.c_str(), "--port-file", port_file.c_str(),
          nullptr);
    _exit(127);
  }
  for (int i = 0; i < 500; ++i) {
    std::ifstream f(port_file);
    unsigned port = 0;
    if (f >> port) {
      d.addr = "127.0.0.1:" + std::to_string(port);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool create_key(const std::string &addr, const std::string &name) {
  keysim::net::Socket s = keysim::net::connect_to(addr, 5000);
  proto::Writer w;
  w.u8(uint8_t(proto::Op::create));
  w.text(name);
  w.u32(1);
  w.u8(0);  // blank
  proto::Bytes reply;
  return keysim::net::call(s, w.body, reply) && reply[0] == 0;
}

void BM_ApduRoundTrip(benchmark::State &state) {
  Daemon d;
  if (!start(d) || !create_key(d.addr, "bench")) {
    state.SkipWithError("keysimd did not start");
    return;
  }
  setenv("KEYSIM_ADDR", d.addr.c_str(), 1);
  QX_DEVHANDLE h = nullptr;
  if (QX_OpenPath("KeySim bench", &h) != READERIO_SW_OK) {
    state.SkipWithError("open failed");
    return;
  }
  const uint8_t cmd[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  uint8_t resp[300];
  std::vector<double> us;
  us.reserve(1 << 20);
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    uint16_t len = 0;
    uint32_t sw = QX_ApduT0(h, cmd, sizeof cmd, resp, &len, 1);
    auto t1 = std::chrono::steady_clock::now();
    if (sw != READERIO_SW_OK || len != 8) {
      state.SkipWithError("exchange failed");
      break;
    }
    if (us.size() < us.capacity())
      us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  QX_ClosePort(h);
  if (!us.empty()) {
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    state.counters["median_us"] = us[us.size() / 2];
  }
}
BENCHMARK(BM_ApduRoundTrip)->MinTime(2.0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
