// Loopback TCP for the keysimd protocol.
#include "net.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <charconv>
#include <ctime>
#include <cstring>

#include "platform/os/cancel.h"

namespace keysim::net {

#ifdef _WIN32
native_socket invalid_socket() { return native_socket(INVALID_SOCKET); }
static bool wsa_start() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
static void close_native(native_socket s) {
  closesocket(SOCKET(s));
  WSACleanup();
}
#else
native_socket invalid_socket() { return -1; }
static bool wsa_start() { return true; }
static void close_native(native_socket s) { ::close(s); }
#endif

Socket &Socket::operator=(Socket &&o) noexcept {
  if (this != &o) {
    close();
    s_ = o.s_;
    o.s_ = invalid_socket();
  }
  return *this;
}

// Not a cancellation point: it runs in destructors, also on a cancelled thread's way out.
void Socket::close() {
  const os::NoCancel hold;
  if (valid()) close_native(s_);
  s_ = invalid_socket();
}

bool split_address(std::string_view addr, std::string &host, uint16_t &port) {
  size_t colon = addr.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == addr.size()) return false;
  std::string_view p = addr.substr(colon + 1);
  unsigned v = 0;
  auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), v);
  if (ec != std::errc() || end != p.data() + p.size() || v == 0 || v > 65535) return false;
  host.assign(addr.substr(0, colon));
  port = uint16_t(v);
  return true;
}

// A socket made while holding a Winsock reference, so that Socket::close can drop it.
static Socket make_socket(int family, int type, int protocol) {
  if (!wsa_start()) return Socket();
  native_socket s = native_socket(::socket(family, type, protocol));
  if (s == invalid_socket()) {
#ifdef _WIN32
    WSACleanup();
#endif
    return Socket();
  }
  return Socket(s);
}

void set_nodelay(const Socket &s) {
  int one = 1;
  setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
}

static void set_recv_timeout(const Socket &s, int timeout_ms) {
#ifdef _WIN32
  DWORD t = DWORD(timeout_ms);
  setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&t), sizeof t);
#else
  timeval t{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
#endif
}

Socket connect_to(std::string_view addr, int timeout_ms) {
  std::string host;
  uint16_t port = 0;
  if (!split_address(addr, host, port)) return Socket();
  if (!wsa_start()) return Socket();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
#ifdef _WIN32
  WSACleanup();
#endif
  if (rc != 0 || !found) return Socket();
  Socket s;
  for (addrinfo *a = found; a; a = a->ai_next) {
    Socket c = make_socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (!c.valid()) continue;
    if (::connect(c.get(), a->ai_addr, int(a->ai_addrlen)) == 0) {
      s = std::move(c);
      break;
    }
  }
  freeaddrinfo(found);
  if (!s.valid()) return s;
  set_nodelay(s);
  if (timeout_ms > 0) set_recv_timeout(s, timeout_ms);
  return s;
}

Socket listen_loopback(uint16_t port, uint16_t *bound_port) {
  Socket s = make_socket(AF_INET, SOCK_STREAM, 0);
  if (!s.valid()) return s;
  int one = 1;
  setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&one), sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s.get(), reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
      ::listen(s.get(), 64) != 0)
    return Socket();
  socklen_t len = sizeof a;
  if (getsockname(s.get(), reinterpret_cast<sockaddr *>(&a), &len) != 0) return Socket();
  if (bound_port) *bound_port = ntohs(a.sin_port);
  return s;
}

Socket accept_from(const Socket &listener) {
  if (!wsa_start()) return Socket();
  native_socket fd = native_socket(::accept(listener.get(), nullptr, nullptr));
  if (fd == invalid_socket()) {
#ifdef _WIN32
    WSACleanup();
#endif
    return Socket();
  }
  Socket s(fd);
  set_nodelay(s);
  return s;
}

bool send_all(const Socket &s, const uint8_t *p, size_t n) {
#ifdef MSG_NOSIGNAL
  constexpr int flags = MSG_NOSIGNAL;
#else
  constexpr int flags = 0;
#endif
  while (n > 0) {
    int chunk = n > 1u << 20 ? 1 << 20 : int(n);
    auto sent = ::send(s.get(), reinterpret_cast<const char *>(p), chunk, flags);
    if (sent <= 0) return false;
    p += sent;
    n -= size_t(sent);
  }
  return true;
}

bool recv_all(const Socket &s, uint8_t *p, size_t n) {
  while (n > 0) {
    int chunk = n > 1u << 20 ? 1 << 20 : int(n);
    auto got = ::recv(s.get(), reinterpret_cast<char *>(p), chunk, 0);
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
  }
  return true;
}

bool send_frame(const Socket &s, const proto::Bytes &body) {
  if (body.empty() || body.size() > proto::kMaxBody) return false;
  // Header and body in one send, so a small frame leaves in one segment.
  proto::Bytes frame(4 + body.size());
  proto::put_be32(frame.data(), uint32_t(body.size()));
  std::memcpy(frame.data() + 4, body.data(), body.size());
  return send_all(s, frame.data(), frame.size());
}

// Bytes waiting to be read, without blocking.
static size_t available(const Socket &s) {
#ifdef _WIN32
  u_long n = 0;
  return ioctlsocket(SOCKET(s.get()), FIONREAD, &n) == 0 ? n : 0;
#else
  int n = 0;
  return ioctl(s.get(), FIONREAD, &n) == 0 && n > 0 ? size_t(n) : 0;
#endif
}

// Monotonic microseconds. (<chrono> does not compile with the Windows build's GBK
// execution character set.)
static int64_t now_us() {
#ifdef _WIN32
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return int64_t(c.QuadPart / f.QuadPart * 1000000 +
                 c.QuadPart % f.QuadPart * 1000000 / f.QuadPart);
#else
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
#endif
}

void spin_until_readable(const Socket &s, int spin_us) {
  if (spin_us <= 0 || available(s)) return;
  int64_t end = now_us() + spin_us;
  while (!available(s) && now_us() < end) {
  }
}

bool recv_frame(const Socket &s, proto::Bytes &body, size_t max_body) {
  uint8_t head[4];
  if (!recv_all(s, head, 4)) return false;
  uint32_t n = proto::get_be32(head);
  if (n == 0 || n > max_body) return false;
  body.resize(n);
  return recv_all(s, body.data(), n);
}

bool call(const Socket &s, const proto::Bytes &request, proto::Bytes &reply, int spin_us) {
  if (!send_frame(s, request)) return false;
  spin_until_readable(s, spin_us);
  return recv_frame(s, reply);
}

}  // namespace keysim::net
