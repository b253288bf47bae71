// Virtual-key backend: keysimd at KEYSIM_ADDR. One connection per open key; the reader list
// uses a connection of its own for each call.
#include <cstdlib>

#include "backends.h"
#include "readerio.h"

namespace readerio {

using keysim::proto::Op;
using keysim::proto::Reader;
using keysim::proto::Result;
using keysim::proto::Writer;
namespace net = keysim::net;
namespace proto = keysim::proto;

namespace {

constexpr int kTimeoutMs = 30000;
// Most answers come back within this time; waiting for them awake saves a wake-up.
constexpr int kSpinUs = 200;

const char *daemon_address() {
  const char *addr = std::getenv("KEYSIM_ADDR");
  return addr && *addr ? addr : nullptr;
}

net::Socket connect_daemon() {
  const char *addr = daemon_address();
  if (!addr) return net::Socket();
  return net::connect_to(addr, kTimeoutMs);
}

uint32_t sw_of(Result r) {
  switch (r) {
    case Result::ok:
      return READERIO_SW_OK;
    case Result::no_key:
      return READERIO_SW_NO_READER;
    case Result::removed:
      return READERIO_SW_REMOVED;
    default:
      return READERIO_SW_COMM;
  }
}

// Closes the key's connection unless the exchange on it was completed: a request half-sent or
// a reply half-read, by a failure or by a cancelled thread's unwind, leaves the stream out of
// step, and the next command would take the stale reply.
class CloseUnlessDone {
 public:
  explicit CloseUnlessDone(net::Socket &socket) : socket_(socket) {}
  ~CloseUnlessDone() {
    if (!done_) socket_.close();
  }
  CloseUnlessDone(const CloseUnlessDone &) = delete;
  CloseUnlessDone &operator=(const CloseUnlessDone &) = delete;
  void done() { done_ = true; }

 private:
  net::Socket &socket_;
  bool done_ = false;
};

// Sends one request on the key's connection; on success r reads the reply's fields.
uint32_t exchange(Device &dev, Op op, std::span<const uint8_t> blob, Bytes &reply, Reader &r) {
  if (!dev.keysim.socket.valid()) return READERIO_SW_COMM;
  Writer w;
  w.u8(uint8_t(op));
  w.u32(dev.keysim.key);
  w.u32(dev.keysim.generation);
  if (op == Op::transmit) w.blob(blob);
  CloseUnlessDone in_step(dev.keysim.socket);
  if (!net::call(dev.keysim.socket, w.body, reply, kSpinUs)) return READERIO_SW_COMM;
  in_step.done();
  r = Reader{reply};
  uint32_t sw = sw_of(Result(r.u8()));
  return r.ok ? sw : READERIO_SW_COMM;
}

}  // namespace

bool keysim_reader(std::string_view reader) { return reader.starts_with(proto::kReaderPrefix); }

void keysim_list(std::vector<std::string> &names) {
  net::Socket s = connect_daemon();
  if (!s.valid()) return;
  Writer w;
  w.u8(uint8_t(Op::list));
  Bytes reply;
  if (!net::call(s, w.body, reply)) return;
  Reader r{reply};
  if (Result(r.u8()) != Result::ok) return;
  std::vector<std::string> got;
  for (uint16_t n = r.u16(); r.ok && n > 0; --n) got.push_back(r.text(READERIO_MAX_NAME));
  if (!r.done()) return;
  names.insert(names.end(), got.begin(), got.end());
}

uint32_t keysim_open(std::string_view reader, Device &dev) {
  net::Socket s = connect_daemon();
  if (!s.valid()) return READERIO_SW_COMM;
  Writer w;
  w.u8(uint8_t(Op::open));
  w.text(reader);
  Bytes reply;
  if (!net::call(s, w.body, reply)) return READERIO_SW_COMM;
  Reader r{reply};
  uint32_t sw = sw_of(Result(r.u8()));
  if (!r.ok) return READERIO_SW_COMM;
  if (sw != READERIO_SW_OK) return sw;
  uint32_t key = r.u32(), generation = r.u32();
  if (!r.done()) return READERIO_SW_COMM;
  dev.backend = Backend::keysim;
  dev.keysim.socket = std::move(s);
  dev.keysim.key = key;
  dev.keysim.generation = generation;
  dev.keysim.address = daemon_address();
  return READERIO_SW_OK;
}

uint32_t keysim_transmit(Device &dev, std::span<const uint8_t> command, Bytes &data, uint16_t &sw) {
  Bytes reply;
  Reader r;
  uint32_t st = exchange(dev, Op::transmit, command, reply, r);
  if (st != READERIO_SW_OK) return st;
  sw = r.u16();
  data = r.blob(proto::kMaxAnswer);
  return r.done() ? READERIO_SW_OK : READERIO_SW_COMM;
}

uint32_t keysim_reset(Device &dev, Bytes &atr) {
  Bytes reply;
  Reader r;
  uint32_t st = exchange(dev, Op::reset, {}, reply, r);
  if (st != READERIO_SW_OK) return st;
  atr = r.blob(proto::kMaxAnswer);
  return r.done() ? READERIO_SW_OK : READERIO_SW_COMM;
}

uint32_t keysim_descriptor(Device &dev, std::string &text) {
  Bytes reply;
  Reader r;
  uint32_t st = exchange(dev, Op::descriptor, {}, reply, r);
  if (st != READERIO_SW_OK) return st;
  text = r.text(READERIO_DESCRIPTOR_MAX);
  return r.done() ? READERIO_SW_OK : READERIO_SW_COMM;
}

uint32_t keysim_max_data(Device &dev, uint32_t &m) {
  Bytes reply;
  Reader r;
  uint32_t st = exchange(dev, Op::reader_info, {}, reply, r);
  if (st != READERIO_SW_OK) return st;
  m = r.u32();
  return r.done() ? READERIO_SW_OK : READERIO_SW_COMM;
}

void keysim_close(Device &dev) { dev.keysim.socket.close(); }

}  // namespace readerio
