// One key as a vpcd virtual card.
#include "vpcd.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "net.h"
#include "requests.h"

namespace keysimd {

namespace net = keysim::net;
using keysim::proto::Bytes;

namespace {

constexpr int kPollMs = 100;
constexpr size_t kMaxVpcdFrame = 0xFFFF;

bool inserted(Key &key) {
  std::lock_guard g(key.lock);
  return key.inserted;
}

bool send_vpcd(const net::Socket &s, const Bytes &body) {
  if (body.size() > kMaxVpcdFrame) return false;
  Bytes frame{uint8_t(body.size() >> 8), uint8_t(body.size())};
  frame.insert(frame.end(), body.begin(), body.end());
  return net::send_all(s, frame.data(), frame.size());
}

// vpcd writes a frame's length and its body separately, and its second write waits for the
// acknowledgement of the first: acknowledge at once instead of after the delayed-ACK timer
// (40 ms a command). Linux clears the mode again on its own, so it is set before every wait.
void quick_ack(const net::Socket &s) {
  int one = 1;
  setsockopt(s.get(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

// Waits for readable data; false on stop, removal or timeout with nothing to read.
bool readable(const net::Socket &s) {
  quick_ack(s);
  pollfd p{s.get(), POLLIN, 0};
  return ::poll(&p, 1, kPollMs) > 0;
}

// Answers one vpcd request; false when the connection should end.
bool serve_one(Key &key, const net::Socket &s, const Bytes &req) {
  std::lock_guard g(key.lock);
  if (!key.inserted) return false;
  if (req.size() == 1) {
    switch (req[0]) {
      case 0x01:
      case 0x02:
        key.atr = keysim::card_reset(key.card);
        return true;
      case 0x04:
        if (key.atr.empty()) key.atr = keysim::card_reset(key.card);
        return send_vpcd(s, key.atr);
      default:
        return true;  // power off: nothing to keep
    }
  }
  keysim::Answer a;
  if (run_command(key, req, a) != keysim::proto::Result::ok) return false;
  Bytes out = a.data;
  if (out.size() > kMaxVpcdFrame - 2) out.resize(kMaxVpcdFrame - 2);
  out.push_back(uint8_t(a.sw >> 8));
  out.push_back(uint8_t(a.sw));
  return send_vpcd(s, out);
}

void serve_connection(Key &key, const net::Socket &s, const std::atomic<bool> &stop) {
  while (!stop && inserted(key)) {
    if (!readable(s)) continue;
    uint8_t head[2];
    if (!net::recv_all(s, head, 2)) return;
    quick_ack(s);
    size_t n = size_t(head[0]) << 8 | head[1];
    if (n == 0) continue;
    Bytes req(n);
    if (!net::recv_all(s, req.data(), n)) return;
    if (!serve_one(key, s, req)) return;
  }
}

}  // namespace

void run_vpcd(Store &store, const std::string &key_name, const std::string &addr,
              const std::atomic<bool> &stop) {
  Key *key = find_key(store, key_name);
  if (!key) return;
  while (!stop) {
    if (!inserted(*key)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    net::Socket s = net::connect_to(addr, 0);
    if (!s.valid()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    serve_connection(*key, s, stop);
  }
}

}  // namespace keysimd
