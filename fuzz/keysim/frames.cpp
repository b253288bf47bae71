#include <filesystem>
#include <memory>
#include <mutex>

#include "emulator.h"
#include "fuzz/keysim/inputs.h"
#include "keys.h"
#include "protocol.h"
#include "requests.h"

namespace fuzz::keysim_inputs {

namespace {

namespace fs = std::filesystem;
namespace proto = keysim::proto;

// The cards every run starts from.
struct Templates {
  keysim::Card blank, provisioned, spare;
};

const Templates &Cards() {
  static const Templates cards = [] {
    Templates t;
    keysim::card_init_blank(t.blank, 1);
    keysim::card_init_blank(t.spare, 2);
    std::string err;
    Require(keysim::card_load(t.provisioned, FUZZ_KEYSIM_KEY, &err), "provisioned.key not loaded");
    return t;
  }();
  return cards;
}

void Empty(const fs::path &dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  for (const auto &entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
}

// Making a provisioned key runs the host library's whole provisioning sequence and makes a
// certificate authority: half a second, on a name and serial that a blank creation parses
// alike. Those requests are passed over.
bool Provisions(std::span<const std::uint8_t> body) {
  proto::Reader r{body};
  if (proto::Op(r.u8()) != proto::Op::create) return false;
  r.text(proto::kMaxName);
  r.u32();
  return (r.u8() & 1) != 0;
}

}  // namespace

void RunFrames(std::span<const std::uint8_t> input) {
  const Templates &cards = Cards();
  const fs::path root = ScratchDir();
  keysimd::Store store;
  store.dir = (root / "state").string();
  store.log_dir = (root / "log").string();
  Empty(store.dir);
  Empty(store.log_dir);
  std::string err;
  Require(keysim::card_save(cards.spare, keysimd::key_path(store, "spare"), &err),
          "spare.key not written");
  for (const auto &[name, card] :
       {std::pair{"blank", &cards.blank}, std::pair{"fuzz", &cards.provisioned}}) {
    auto key = std::make_unique<keysimd::Key>();
    key->name = name;
    key->path = keysimd::key_path(store, name);
    key->card = *card;
    std::lock_guard g(store.lock);
    keysimd::add_key(store, std::move(key));
  }
  std::size_t at = 0;
  while (input.size() - at >= 4) {
    const std::size_t n = proto::get_be32(input.data() + at);
    at += 4;
    if (n == 0 || n > proto::kMaxBody || n > input.size() - at) break;
    const auto body = input.subspan(at, n);
    at += n;
    if (Provisions(body)) continue;
    bool stop = false;
    const proto::Bytes reply = keysimd::serve_request(store, body, &stop);
    Require(!reply.empty() && reply.size() <= proto::kMaxBody, "reply of no frame a client takes");
    Require(reply[0] <= std::uint8_t(proto::Result::failed), "reply with an unknown result");
    if (stop) break;
  }
}

}  // namespace fuzz::keysim_inputs
