#include "virtual_key.h"

#include <openssl/des.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "builtin_key.h"
#include "daemon_harness.h"
#include "net.h"
#include "protocol.h"
#include "readerio.h"

namespace vkey {

namespace {

namespace proto = keysim::proto;
using proto::Op;

std::string &Address() {
  static std::string addr;
  return addr;
}

// The daemon's state folder, where each key is <name>.key.
std::string &StateDir() {
  static std::string dir;
  return dir;
}

std::string StateDirOf([[maybe_unused]] const riotest::Daemon &daemon) {
#ifdef _WIN32
  const char *file = std::getenv("KEYSIM_PORT_FILE");
  if (!file) return {};
  std::string path = file;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine maps the Unix root to Z:
  return std::filesystem::path(path).parent_path().string();
#else
  return daemon.state;
#endif
}

// One request; the reply body after its result byte, or nullopt when the result is not ok.
std::optional<proto::Reader> Call(const proto::Writer &request, proto::Bytes &reply) {
  keysim::net::Socket s = keysim::net::connect_to(Address(), 30000);
  if (!s.valid() || !keysim::net::call(s, request.body, reply) || reply.empty()) return {};
  proto::Reader r{reply};
  if (proto::Result(r.u8()) != proto::Result::ok) return {};
  return r;
}

bool Simple(Op op, const std::vector<std::string> &texts) {
  proto::Writer w;
  w.u8(std::uint8_t(op));
  for (const auto &t : texts) w.text(t);
  proto::Bytes reply;
  return Call(w, reply).has_value();
}

}  // namespace
std::string StatsText(const std::string &key) {
  proto::Writer w;
  w.u8(std::uint8_t(Op::stats));
  w.text(key);
  proto::Bytes reply;
  auto r = Call(w, reply);
  if (!r) return {};
  const proto::Bytes text = r->blob(proto::kMaxText);
  return {text.begin(), text.end()};
}
namespace {}  // namespace

bool Attach() {
  riotest::Daemon daemon;
  if (!riotest::shared_daemon(daemon)) return false;
  Address() = daemon.addr;
  StateDir() = StateDirOf(daemon);
  riotest::set_addr_env(daemon.addr);
  proto::Writer w;
  w.u8(std::uint8_t(Op::keys));
  proto::Bytes reply;
  auto r = Call(w, reply);
  if (!r) return false;
  const std::uint16_t n = r->u16();
  std::vector<std::string> inserted;
  for (std::uint16_t i = 0; i < n; ++i) {
    std::string name = r->text(proto::kMaxName);
    if (r->u8()) inserted.push_back(name);
  }
  for (const auto &name : inserted) Remove(name);
  return r->ok;
}

std::string CreateKey(const char *stem, bool provisioned, std::uint32_t serial) {
  const std::string name = riotest::fresh_key_name(stem);
  proto::Writer w;
  w.u8(std::uint8_t(Op::create));
  w.text(name);
  w.u32(serial);
  w.u8(provisioned ? 1 : 0);
  proto::Bytes reply;
  return Call(w, reply) ? name : std::string();
}

std::string CloneKey(const std::string &source) {
  namespace fs = std::filesystem;
  const std::string name = riotest::fresh_key_name("clone");
  const fs::path dir = StateDir();
  std::error_code ec;
  if (dir.empty() || !fs::copy_file(dir / (source + ".key"), dir / (name + ".key"), ec) ||
      !Insert(name)) {
    return {};
  }
  return name;
}

bool Insert(const std::string &key) { return Simple(Op::insert, {key}); }
bool Remove(const std::string &key) { return Simple(Op::remove, {key}); }
bool Knob(const std::string &key, const char *knob, const char *value) {
  return Simple(Op::knob, {key, knob, value});
}
std::string ReaderOf(const std::string &key) { return riotest::reader_of(key); }

std::uint64_t Commands(const std::string &key) {
  std::istringstream in(StatsText(key));
  std::string word;
  std::uint64_t total = 0;
  in >> word >> total;
  return word == "commands" ? total : 0;
}

std::uint64_t Commands(const std::string &key, std::uint8_t cla, std::uint8_t ins) {
  char head[8];
  std::snprintf(head, sizeof head, "%02X %02X", cla, ins);
  std::istringstream in(StatsText(key));
  std::string line;
  while (std::getline(in, line)) {
    unsigned long long count = 0;
    if (line.rfind(head, 0) == 0 && std::sscanf(line.c_str() + 5, " count %llu", &count) == 1) {
      return count;
    }
  }
  return 0;
}

RawCard::RawCard(const std::string &key) : RawCard(InReader{ReaderOf(key)}) {}

RawCard::RawCard(const InReader &reader) {
  if (QX_OpenPath(reader.name.c_str(), &handle_) != READERIO_SW_OK) handle_ = nullptr;
}

RawCard::~RawCard() {
  if (handle_) QX_ClosePort(handle_);
}

std::uint16_t RawCard::Send(const Bytes &command, Bytes *answer) {
  Bytes out(0x10000);
  std::uint16_t length = 0;
  const auto sw = static_cast<std::uint16_t>(QX_ApduT0(
      handle_, command.data(), static_cast<std::uint32_t>(command.size()), out.data(), &length, 0));
  out.resize(length);
  if (answer) *answer = out;
  return sw;
}

bool RawCard::SelectPath(const std::vector<std::uint16_t> &path) {
  if (Send({0x00, 0xA4, 0x00, 0x00, 0x00}) != 0x9000) return false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const std::uint8_t p1 = i + 1 == path.size() ? 0x02 : 0x01;
    const Bytes select = {
        0x00, 0xA4, p1, 0x00, 0x02, std::uint8_t(path[i] >> 8), std::uint8_t(path[i])};
    if (Send(select) != 0x9000) return false;
  }
  return true;
}

bool RawCard::Authenticate() {
  Bytes challenge;
  if (Send({0x00, 0x84, 0x00, 0x00, 0x08}, &challenge) != 0x9000 || challenge.size() != 8) {
    return false;
  }
  DES_cblock key, in, out;
  std::memcpy(key, keysim::kBuiltinAuthKey, 8);
  std::memcpy(in, challenge.data(), 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
  Bytes command = {0x00, 0x82, 0x00, 0x00, 0x08};
  command.insert(command.end(), out, out + 8);
  return Send(command) == 0x9000;
}

std::optional<Bytes> RawCard::ReadRaw(std::size_t offset, std::size_t length) {
  Bytes data;
  while (data.size() < length) {
    const std::size_t at = offset + data.size();
    const std::size_t n = std::min<std::size_t>(128, length - data.size());
    Bytes piece;
    const Bytes read = {0x00, 0xB0, std::uint8_t(at >> 8), std::uint8_t(at), std::uint8_t(n)};
    if (Send(read, &piece) != 0x9000 || piece.size() != n) return {};
    data.insert(data.end(), piece.begin(), piece.end());
  }
  return data;
}

std::optional<Bytes> RawCard::ReadPrefixed() {
  const auto head = ReadRaw(0, 2);
  if (!head) return {};
  const std::size_t length = (*head)[0] << 8 | (*head)[1];
  if (length == 0xFFFF) return {};
  return ReadRaw(2, length);
}

bool RawCard::WritePrefixed(const Bytes &data) {
  Bytes file = {std::uint8_t(data.size() >> 8), std::uint8_t(data.size())};
  file.insert(file.end(), data.begin(), data.end());
  for (std::size_t at = 0; at < file.size(); at += 128) {
    const std::size_t n = std::min<std::size_t>(128, file.size() - at);
    Bytes update = {0x00, 0xD6, std::uint8_t(at >> 8), std::uint8_t(at), std::uint8_t(n)};
    update.insert(update.end(), file.begin() + at, file.begin() + at + n);
    if (Send(update) != 0x9000) return false;
  }
  return true;
}

std::uint32_t U32At(const Bytes &image, std::size_t offset) {
  if (offset + 4 > image.size()) return 0xDEADBEEF;
  return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
         std::uint32_t(image[offset + 3]) << 24;
}

std::string TextAt(const Bytes &image, std::size_t offset, std::size_t size) {
  if (offset >= image.size()) return {};
  const std::size_t end = std::min(image.size(), offset + size);
  const auto nul = std::find(image.begin() + offset, image.begin() + end, 0);
  return {image.begin() + offset, nul};
}

}  // namespace vkey
