// keysimctl: manages the keys of keysimd (over its protocol) or, offline, a state directory.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulator.h"
#include "net.h"
#include "protocol.h"
#include "provision.h"

namespace {

namespace net = keysim::net;
namespace proto = keysim::proto;
using proto::Op;
using proto::Reader;
using proto::Result;
using proto::Writer;

int usage() {
  std::fputs(
      "usage: keysimctl [--addr HOST:PORT] COMMAND   (default address: $KEYSIM_ADDR)\n"
      "  list                          keys and whether each is inserted\n"
      "  create [--provisioned] NAME [SERIAL]   new key (blank unless provisioned), inserted\n"
      "  create --state DIR [--provisioned] NAME [SERIAL]   write a key file offline\n"
      "      SERIAL: the card number (32 bits, default 1), decimal (12345678) or\n"
      "      hexadecimal (0A1B2C3D, 0x0A1B2C3D; digits alone are read as decimal)\n"
      "  insert NAME | remove NAME\n"
      "  knob NAME KNOB VALUE          see README \"Knobs\"\n"
      "  fault NAME sw N:XXXX | reader N | remove N | off\n"
      "  dump NAME | stats NAME\n"
      "  dump --state DIR NAME         dump a key file offline\n"
      "  shutdown\n",
      stderr);
  return 2;
}

bool parse_number(const char *b, const char *e, int base, uint32_t &v) {
  auto [p, ec] = std::from_chars(b, e, v, base);
  return b != e && ec == std::errc() && p == e;
}

// A card number as users write it: decimal digits, or hexadecimal with a 0x prefix or with a
// letter A-F among the digits (0A1B2C3D).
bool parse_serial(const std::string &s, uint32_t &v) {
  const char *b = s.data(), *e = s.data() + s.size();
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
    return parse_number(b + 2, e, 16, v);
  const bool letters = s.find_first_of("ABCDEFabcdef") != std::string::npos;
  return parse_number(b, e, letters ? 16 : 10, v);
}

int bad_serial(const std::string &s) {
  std::fprintf(stderr,
               "keysimctl: bad SERIAL \"%s\": expected the card number (32 bits) in decimal "
               "(12345678) or hexadecimal (0A1B2C3D or 0x0A1B2C3D)\n",
               s.c_str());
  return 2;
}

// Sends one request and checks the result; r reads the rest of the reply.
int request(const std::string &addr, const Writer &w, proto::Bytes &reply, Reader &r) {
  net::Socket s = net::connect_to(addr, 60000);
  if (!s.valid()) {
    std::fprintf(stderr, "keysimctl: cannot reach keysimd at %s\n", addr.c_str());
    return 1;
  }
  if (!net::call(s, w.body, reply)) {
    std::fputs("keysimctl: no reply from keysimd\n", stderr);
    return 1;
  }
  r = Reader{reply};
  Result res = Result(r.u8());
  if (!r.ok) return 1;
  switch (res) {
    case Result::ok:
      return 0;
    case Result::no_key:
      std::fputs("keysimctl: no such key\n", stderr);
      return 1;
    case Result::failed:
      std::fprintf(stderr, "keysimctl: %s\n", r.text(1000).c_str());
      return 1;
    default:
      std::fprintf(stderr, "keysimctl: request refused (%u)\n", unsigned(res));
      return 1;
  }
}

int simple(const std::string &addr, Op op, const std::vector<std::string> &texts) {
  Writer w;
  w.u8(uint8_t(op));
  for (auto &t : texts) w.text(t);
  proto::Bytes reply;
  Reader r;
  return request(addr, w, reply, r);
}

int text_op(const std::string &addr, Op op, const std::string &name) {
  Writer w;
  w.u8(uint8_t(op));
  w.text(name);
  proto::Bytes reply;
  Reader r;
  if (int rc = request(addr, w, reply, r)) return rc;
  proto::Bytes text = r.blob(proto::kMaxText);
  if (!r.done()) return 1;
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int list(const std::string &addr) {
  Writer w;
  w.u8(uint8_t(Op::keys));
  proto::Bytes reply;
  Reader r;
  if (int rc = request(addr, w, reply, r)) return rc;
  for (uint16_t n = r.u16(); r.ok && n > 0; --n) {
    std::string name = r.text(proto::kMaxName);
    bool inserted = r.u8() != 0;
    if (r.ok) std::printf("%s\t%s\n", name.c_str(), inserted ? "inserted" : "removed");
  }
  return r.done() ? 0 : 1;
}

std::string state_path(const std::string &dir, const std::string &name) {
  return dir + "/" + name + ".key";
}

int create_offline(const std::string &dir, const std::string &name, uint32_t serial,
                   bool provisioned) {
  if (!proto::valid_key_name(name)) return usage();
  keysim::Card card;
  keysim::card_init_blank(card, serial);
  std::string err;
  if ((provisioned && !keysim::card_provision(card, keysim::ProvisionPlan{}, &err)) ||
      !keysim::card_save(card, state_path(dir, name), &err)) {
    std::fprintf(stderr, "keysimctl: %s\n", err.c_str());
    return 1;
  }
  return 0;
}

int dump_offline(const std::string &dir, const std::string &name) {
  if (!proto::valid_key_name(name)) return usage();
  keysim::Card card;
  std::string err;
  if (!keysim::card_load(card, state_path(dir, name), &err)) {
    std::fprintf(stderr, "keysimctl: %s\n", err.c_str());
    return 1;
  }
  std::fputs(keysim::card_dump(card).c_str(), stdout);
  return 0;
}

int fault(const std::string &addr, const std::vector<std::string> &a) {
  // a: NAME KIND [ARG]
  if (a.size() == 2 && a[1] == "off") {
    for (const char *k : {"fault_sw", "fault_reader", "remove_at"})
      if (int rc = simple(addr, Op::knob, {a[0], k, "off"})) return rc;
    return 0;
  }
  if (a.size() != 3) return usage();
  const char *knob = a[1] == "sw"       ? "fault_sw"
                     : a[1] == "reader" ? "fault_reader"
                     : a[1] == "remove" ? "remove_at"
                                        : nullptr;
  if (!knob) return usage();
  return simple(addr, Op::knob, {a[0], knob, a[2]});
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const char *env = std::getenv("KEYSIM_ADDR");
  std::string addr = env ? env : "";
  if (args.size() >= 2 && args[0] == "--addr") {
    addr = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage();
  std::string cmd = args[0];
  std::vector<std::string> a(args.begin() + 1, args.end());

  // create [--state DIR] [--provisioned] NAME [SERIAL]
  std::string state;
  bool provisioned = false;
  uint32_t serial = 1;
  if (cmd == "create" || cmd == "dump") {
    if (a.size() >= 2 && a[0] == "--state") {
      state = a[1];
      a.erase(a.begin(), a.begin() + 2);
    }
    if (cmd == "create" && !a.empty() && a[0] == "--provisioned") {
      provisioned = true;
      a.erase(a.begin());
    }
  }
  if (cmd == "create") {
    if (a.empty() || a.size() > 2) return usage();
    if (a.size() == 2 && !parse_serial(a[1], serial)) return bad_serial(a[1]);
    if (!state.empty()) return create_offline(state, a[0], serial, provisioned);
  }
  if (cmd == "dump" && !state.empty()) return a.size() == 1 ? dump_offline(state, a[0]) : usage();
  if (addr.empty()) {
    std::fputs("keysimctl: no daemon address (--addr or KEYSIM_ADDR)\n", stderr);
    return 2;
  }
  if (cmd == "list" && a.empty()) return list(addr);
  if (cmd == "shutdown" && a.empty()) return simple(addr, Op::shutdown, {});
  if ((cmd == "insert" || cmd == "remove") && a.size() == 1)
    return simple(addr, cmd == "insert" ? Op::insert : Op::remove, a);
  if (cmd == "knob" && a.size() == 3) return simple(addr, Op::knob, a);
  if (cmd == "fault" && !a.empty()) return fault(addr, a);
  if ((cmd == "dump" || cmd == "stats") && a.size() == 1)
    return text_op(addr, cmd == "dump" ? Op::dump : Op::stats, a[0]);
  if (cmd == "create") {
    Writer w;
    w.u8(uint8_t(Op::create));
    w.text(a[0]);
    w.u32(serial);
    w.u8(provisioned ? 1 : 0);
    proto::Bytes reply;
    Reader r;
    return request(addr, w, reply, r);
  }
  return usage();
}
