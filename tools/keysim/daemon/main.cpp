// keysimd: serves the virtual keys of a state directory over loopback TCP.
//   keysimd --state DIR [--port N] [--port-file FILE] [--vpcd KEY] [--vpcd-addr HOST:PORT]
//           [--log DIR]
// Port 0 (the default) picks a free port; the port is printed and, with --port-file, written
// to FILE. SIGINT, SIGTERM or the shutdown request stop it.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <list>
#include <string>
#include <thread>

#include "keys.h"
#include "net.h"
#include "requests.h"
#include "vpcd.h"

namespace {

namespace net = keysim::net;
using keysimd::Store;

int wake_pipe[2] = {-1, -1};
std::atomic<bool> stopping{false};

void on_signal(int) {
  stopping = true;
  char c = 1;
  [[maybe_unused]] auto n = write(wake_pipe[1], &c, 1);
}

struct Connection {
  net::Socket socket;
  std::thread thread;
  std::atomic<bool> done{false};
};

// After a reply the next request of a busy client usually follows within this time.
constexpr int kSpinUs = 200;

void serve(Store &store, Connection &c) {
  keysim::proto::Bytes body;
  while (net::recv_frame(c.socket, body)) {
    bool stop = false;
    keysim::proto::Bytes reply = keysimd::serve_request(store, body, &stop);
    bool sent = net::send_frame(c.socket, reply);
    if (stop) on_signal(0);  // after the reply, so the asking client gets it
    if (!sent) break;
    net::spin_until_readable(c.socket, kSpinUs);
  }
  // The peer sees the end now; the descriptor itself is closed when the connection is reaped.
  ::shutdown(c.socket.get(), SHUT_RDWR);
  c.done = true;
}

void reap(std::list<Connection> &conns, bool all) {
  for (auto it = conns.begin(); it != conns.end();) {
    if (all) ::shutdown(it->socket.get(), SHUT_RDWR);
    if (all || it->done) {
      it->thread.join();
      it = conns.erase(it);
    } else {
      ++it;
    }
  }
}

bool write_port_file(const std::string &path, uint16_t port) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::trunc);
    if (!(f << port << "\n")) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: keysimd --state DIR [--port N] [--port-file FILE] [--vpcd KEY]"
               " [--vpcd-addr HOST:PORT] [--log DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  Store store;
  unsigned port = 0;
  std::string port_file, vpcd_key, vpcd_addr = "127.0.0.1:35963";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    std::string v = argv[++i];
    if (a == "--state") {
      store.dir = v;
    } else if (a == "--port") {
      auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
      if (ec != std::errc() || p != v.data() + v.size() || port > 65535) return usage();
    } else if (a == "--port-file") {
      port_file = v;
    } else if (a == "--vpcd") {
      vpcd_key = v;
    } else if (a == "--vpcd-addr") {
      vpcd_addr = v;
    } else if (a == "--log") {
      store.log_dir = v;
    } else {
      return usage();
    }
  }
  if (store.dir.empty()) return usage();
  std::string err;
  if (!keysimd::load_all(store, &err)) {
    std::fprintf(stderr, "keysimd: %s\n", err.c_str());
    return 1;
  }
  if (!vpcd_key.empty() && !keysimd::find_key(store, vpcd_key)) {
    std::fprintf(stderr, "keysimd: no key %s for vpcd\n", vpcd_key.c_str());
    return 1;
  }

  if (pipe(wake_pipe) != 0) return 1;
  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);

  uint16_t bound = 0;
  net::Socket listener = net::listen_loopback(uint16_t(port), &bound);
  if (!listener.valid()) {
    std::fprintf(stderr, "keysimd: cannot listen on 127.0.0.1:%u: %s\n", port,
                 std::strerror(errno));
    return 1;
  }
  if (!port_file.empty() && !write_port_file(port_file, bound)) {
    std::fprintf(stderr, "keysimd: cannot write %s\n", port_file.c_str());
    return 1;
  }
  std::printf("keysimd listening on 127.0.0.1:%u\n", unsigned(bound));
  std::fflush(stdout);

  std::thread vpcd;
  if (!vpcd_key.empty())
    vpcd =
        std::thread(keysimd::run_vpcd, std::ref(store), vpcd_key, vpcd_addr, std::cref(stopping));

  std::list<Connection> conns;
  while (!stopping) {
    pollfd p[2] = {{listener.get(), POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
    if (::poll(p, 2, 1000) <= 0) {
      reap(conns, false);
      continue;
    }
    if (!(p[0].revents & POLLIN)) continue;
    net::Socket s = net::accept_from(listener);
    if (!s.valid()) continue;
    reap(conns, false);
    Connection &c = conns.emplace_back();
    c.socket = std::move(s);
    c.thread = std::thread(serve, std::ref(store), std::ref(c));
  }
  listener.close();
  reap(conns, true);
  if (vpcd.joinable()) vpcd.join();
  return 0;
}
