#include "fuzz/record/keysim_seeds.h"

#include <sys/socket.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

#include "daemon_harness.h"
#include "emulator.h"
#include "fuzz/keysim/inputs.h"
#include "fuzz/record/seeds.h"
#include "fuzz/replay/stream.h"
#include "net.h"

namespace fuzz {

namespace {

namespace fs = std::filesystem;
namespace net = keysim::net;
namespace proto = keysim::proto;
using Bytes = std::vector<std::uint8_t>;

using keysim_inputs::ReadText;

constexpr char kFuzzKey[] = "fuzz";

// Passes frames between clients and keysimd and keeps every request body, in order.
class Proxy {
 public:
  explicit Proxy(std::string upstream) : upstream_(std::move(upstream)) {
    std::uint16_t port = 0;
    listener_ = net::listen_loopback(0, &port);
    addr = "127.0.0.1:" + std::to_string(port);
    accepting_ = std::thread([this] { Accept(); });
  }
  ~Proxy() {
    ::shutdown(listener_.get(), SHUT_RDWR);
    accepting_.join();
    for (Connection &c : connections_) {
      ::shutdown(c.client.get(), SHUT_RDWR);
      c.thread.join();
    }
  }
  std::vector<Bytes> Requests() {
    std::lock_guard g(lock_);
    return requests_;
  }
  std::string addr;

 private:
  struct Connection {
    net::Socket client;
    std::thread thread;
  };
  void Accept() {
    for (;;) {
      net::Socket client = net::accept_from(listener_);
      if (!client.valid()) return;
      std::lock_guard g(lock_);
      Connection &c = connections_.emplace_back();
      c.client = std::move(client);
      c.thread = std::thread([this, &c] { Serve(c.client); });
    }
  }
  void Serve(const net::Socket &client) {
    const net::Socket daemon = net::connect_to(upstream_, 30000);
    proto::Bytes body, reply;
    while (daemon.valid() && net::recv_frame(client, body)) {
      {
        std::lock_guard g(lock_);
        requests_.push_back(body);
      }
      if (!net::call(daemon, body, reply) || !net::send_frame(client, reply)) break;
    }
  }

  std::string upstream_;
  net::Socket listener_;
  std::thread accepting_;
  std::mutex lock_;
  std::list<Connection> connections_;
  std::vector<Bytes> requests_;
};

bool WriteBytes(const fs::path &path, const Bytes &bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

Bytes AsBytes(const std::string &text) { return {text.begin(), text.end()}; }

// A state seed: the key's file, without its end line when `seal` (the target closes it), then
// the commands.
Bytes StateSeed(const std::string &file, bool seal, const std::vector<Bytes> &commands) {
  Bytes out;
  const std::string text = seal ? file.substr(0, file.rfind("end ")) : file;
  replay::AppendChunk(out, AsBytes(text));
  for (const Bytes &c : commands) replay::AppendChunk(out, c);
  return out;
}

struct Session {
  const char *name;
  // Runs against the proxy's address; false when the session did not play.
  std::function<bool(const std::string &addr)> play;
  bool keep_state = false;  // the key's file afterwards is a seed too
};

bool Control(const std::string &addr, proto::Op op, const std::vector<std::string> &texts,
             std::uint32_t serial = 0, std::uint8_t flags = 0) {
  return riotest::control(addr, op, texts, op == proto::Op::create ? &serial : nullptr, flags) == 0;
}

std::vector<Session> Sessions() {
  std::vector<Session> sessions;
  // One session of each card family, through readerio and the library.
  for (const Target &target : Targets()) {
    const std::vector<Seed> seeds = SeedsOf(target);
    const Target *t = &target;
    const Seed seed = seeds.front();
    sessions.push_back({t->name, [t, seed](const std::string &addr) {
                          const std::vector<std::uint8_t> first = FirstChunk(*t, seed);
                          if (first.empty()) return false;
                          riotest::set_addr_env(addr);
                          RunInput(t->ops(), t->caller_data, first, riotest::reader_of(kFuzzKey));
                          return true;
                        }});
  }
  // The control side, as keysimctl sends it.
  sessions.push_back({"control",
                      [](const std::string &addr) {
                        using proto::Op;
                        return Control(addr, Op::keys, {}) &&
                               Control(addr, Op::knob, {kFuzzKey, "chaining", "on"}) &&
                               Control(addr, Op::knob, {kFuzzKey, "fault_sw", "3:6a82"}) &&
                               Control(addr, Op::knob, {kFuzzKey, "remove_at", "9"}) &&
                               Control(addr, Op::dump, {kFuzzKey}) &&
                               Control(addr, Op::stats, {kFuzzKey}) &&
                               Control(addr, Op::create, {"made"}, 77) &&
                               Control(addr, Op::remove, {"blank"}) &&
                               Control(addr, Op::insert, {"blank"}) &&
                               Control(addr, Op::insert, {"spare"}) && Control(addr, Op::list, {});
                      },
                      true});
  return sessions;
}

}  // namespace

int RecordKeysimSeeds(const fs::path &out) {
  // The key set of the frames target: ids follow the names' order, as keysimd loads them.
  keysim::Card blank, spare;
  keysim::card_init_blank(blank, 1);
  keysim::card_init_blank(spare, 2);
  const std::string provisioned = ReadText(FUZZ_KEYSIM_KEY);
  int failed = 0;
  std::vector<std::pair<std::string, Bytes>> recorded;
  for (const Session &session : Sessions()) {
    const std::string state = riotest::make_temp_dir();
    std::string err;
    riotest::Daemon daemon;
    bool ok = keysim::card_save(blank, state + "/blank.key", &err) &&
              WriteBytes(fs::path(state) / "fuzz.key", AsBytes(provisioned)) &&
              riotest::start_daemon(daemon, state) &&
              keysim::card_save(spare, state + "/spare.key", &err);
    std::vector<Bytes> requests;
    if (ok) {
      Proxy proxy(daemon.addr);
      ok = session.play(proxy.addr);
      requests = proxy.Requests();
    }
    const std::string after = ReadText(fs::path(state) / "fuzz.key");
    riotest::stop_daemon(daemon);
    riotest::remove_dir(state);
    if (!ok || requests.empty()) {
      std::fprintf(stderr, "keysim/%s: not recorded\n", session.name);
      ++failed;
      continue;
    }
    Bytes frames;
    std::vector<Bytes> commands;
    for (const Bytes &body : requests) {
      std::uint8_t length[4];
      proto::put_be32(length, static_cast<std::uint32_t>(body.size()));
      frames.insert(frames.end(), length, length + 4);
      frames.insert(frames.end(), body.begin(), body.end());
      proto::Reader r{body};
      if (proto::Op(r.u8()) != proto::Op::transmit) continue;
      r.u32();
      r.u32();
      commands.push_back(r.blob(proto::kMaxApdu));
    }
    const std::string name = session.name;
    recorded.emplace_back("keysimd_frames/" + name, frames);
    recorded.emplace_back("keysim_state/" + name, StateSeed(provisioned, true, commands));
    if (session.keep_state) {
      recorded.emplace_back("keysim_state/" + name + "_after", StateSeed(after, false, {}));
    }
  }
  std::string blank_file;
  {
    const fs::path path = fs::path(keysim_inputs::ScratchDir()) / "blank.key";
    std::string err;
    keysim::card_save(blank, path.string(), &err);
    blank_file = ReadText(path);
  }
  recorded.emplace_back("keysim_state/blank", StateSeed(blank_file, false, {}));
  for (const auto &[name, bytes] : recorded) {
    if (!WriteBytes(out / name, bytes)) {
      std::fprintf(stderr, "%s: not written\n", name.c_str());
      ++failed;
    }
    if (name.starts_with("keysimd_frames/")) keysim_inputs::RunFrames(bytes);
    if (name.starts_with("keysim_state/")) keysim_inputs::RunStateFile(bytes);
  }
  std::printf("%zu virtual-key seeds recorded\n", recorded.size());
  return failed;
}

}  // namespace fuzz
