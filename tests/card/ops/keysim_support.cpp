#include "keysim_support.h"

#include <cstdio>
#include <sstream>

#include "net.h"
#include "protocol.h"

namespace opsim {

namespace proto = keysim::proto;

namespace {

bool Call(const proto::Writer &w, const std::string &addr, proto::Bytes &reply) {
  keysim::net::Socket s = keysim::net::connect_to(addr, 30000);
  return s.valid() && keysim::net::call(s, w.body, reply) && !reply.empty() && reply[0] == 0;
}

}  // namespace

bool CreateKey(const std::string &addr, const std::string &name, std::uint32_t serial,
               bool provisioned) {
  proto::Writer w;
  w.u8(static_cast<std::uint8_t>(proto::Op::create));
  w.text(name);
  w.u32(serial);
  w.u8(provisioned ? 1 : 0);
  proto::Bytes reply;
  return Call(w, addr, reply);
}

long CommandCount(const std::string &addr, const std::string &name, std::uint16_t cla_ins) {
  proto::Writer w;
  w.u8(static_cast<std::uint8_t>(proto::Op::stats));
  w.text(name);
  proto::Bytes reply;
  if (!Call(w, addr, reply)) return -1;
  proto::Reader r{reply};
  r.u8();
  const proto::Bytes text = r.blob(proto::kMaxText);
  if (!r.ok) return -1;
  char head[8];
  std::snprintf(head, sizeof head, "%02X %02X", cla_ins >> 8, cla_ins & 0xFF);
  std::istringstream lines(std::string(text.begin(), text.end()));
  for (std::string line; std::getline(lines, line);) {
    unsigned long long count = 0;
    if (line.rfind(head, 0) == 0 && std::sscanf(line.c_str() + 5, " count %llu", &count) == 1) {
      return static_cast<long>(count);
    }
  }
  return 0;
}

}  // namespace opsim
