// Loopback TCP for the keysimd protocol: an owned socket, connect by "host:port", whole-frame
// send and receive. POSIX sockets natively, Winsock on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol.h"

namespace keysim::net {

#ifdef _WIN32
using native_socket = uintptr_t;
#else
using native_socket = int;
#endif
native_socket invalid_socket();

// Owns one socket (and, on Windows, one Winsock start-up reference).
class Socket {
 public:
  Socket() = default;
  explicit Socket(native_socket s) : s_(s) {}
  Socket(const Socket &) = delete;
  Socket &operator=(const Socket &) = delete;
  Socket(Socket &&o) noexcept : s_(o.s_) { o.s_ = invalid_socket(); }
  Socket &operator=(Socket &&o) noexcept;
  ~Socket() { close(); }
  bool valid() const { return s_ != invalid_socket(); }
  native_socket get() const { return s_; }
  void close();

 private:
  native_socket s_ = invalid_socket();
};

// Splits "host:port"; false when either part is missing or the port is not 1..65535.
bool split_address(std::string_view addr, std::string &host, uint16_t &port);

// Connected TCP socket with TCP_NODELAY and a receive timeout, or an invalid one.
Socket connect_to(std::string_view addr, int timeout_ms);

// Listening socket on 127.0.0.1:port (0 picks a free port; *bound_port gets the real one).
Socket listen_loopback(uint16_t port, uint16_t *bound_port);

// Next connection of a listening socket (with TCP_NODELAY), or an invalid socket.
Socket accept_from(const Socket &listener);

void set_nodelay(const Socket &s);
bool send_all(const Socket &s, const uint8_t *p, size_t n);
bool recv_all(const Socket &s, uint8_t *p, size_t n);

// One frame each way. recv_frame refuses a length of 0 or above max_body.
bool send_frame(const Socket &s, const proto::Bytes &body);
bool recv_frame(const Socket &s, proto::Bytes &body, size_t max_body = proto::kMaxBody);

// Waits up to spin_us microseconds without sleeping for data to read. A reply that comes
// within that time is taken without a sleep and wake-up of the thread, which on virtual
// machines costs more than the whole exchange.
void spin_until_readable(const Socket &s, int spin_us);

// One request, one reply (spinning up to spin_us for it): false when either frame could not
// be moved.
bool call(const Socket &s, const proto::Bytes &request, proto::Bytes &reply, int spin_us = 0);

}  // namespace keysim::net
