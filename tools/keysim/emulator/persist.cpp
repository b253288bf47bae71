// State file of one key: a versioned line format closed by an "end" line with the line count
// and the SM3 of everything before it, so a truncated or altered file is refused. Written to a
// temporary file beside the target, then renamed over it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "cardcrypto.h"
#include "emulator.h"
#include "internal.h"

namespace keysim {

namespace {

constexpr std::string_view kMagic = "keysim-card";
constexpr int kVersion = 1;

// The whole key is written after every command that changes it: sized once, no appends.
std::string hex(std::span<const uint8_t> b) {
  if (b.empty()) return "-";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string s(2 * b.size(), '0');
  char *out = s.data();
  for (uint8_t x : b) {
    *out++ = kHex[x >> 4];
    *out++ = kHex[x & 15];
  }
  return s;
}

bool unhex(const std::string &s, Bytes &out) {
  out.clear();
  if (s == "-") return true;
  if (s.size() % 2) return false;
  auto nib = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  out.resize(s.size() / 2);
  const char *in = s.data();
  for (uint8_t &x : out) {
    const int h = nib(in[0]), l = nib(in[1]);
    if (h < 0 || l < 0) return false;
    x = static_cast<uint8_t>(h << 4 | l);
    in += 2;
  }
  return true;
}

std::string digest_hex(std::string_view text) {
  uint8_t d[32];
  cc::sm3(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()), d);
  return hex(d);
}

uint64_t remaining(uint64_t at, uint64_t total) { return at > total ? at - total : 0; }

std::string serialize(const Card &card) {
  std::ostringstream o;
  const Knobs &k = card.knobs;
  const uint64_t t = card.stats.total;
  o << kMagic << ' ' << kVersion << '\n';
  o << "serial " << card.serial << '\n';
  o << "name "
    << hex(std::span(reinterpret_cast<const uint8_t *>(card.name.data()), card.name.size()))
    << '\n';
  o << "tail " << hex(card.descriptor_tail) << '\n';
  o << "device_key " << hex(card.device_auth_key) << '\n';
  o << "knobs " << k.pin_protected << ' ' << k.extended_length << ' ' << k.max_data_length << ' '
    << k.chaining << ' ' << k.sm2_c1c2c3 << ' ' << k.delete_6d00 << ' ' << k.builtin_key << '\n';
  o << "faults " << remaining(k.fault_sw_at, t) << ' ' << k.fault_sw << ' '
    << remaining(k.fault_reader_at, t) << ' ' << remaining(k.remove_at, t) << '\n';
  o << "next_id " << card.next_id << '\n';
  for (const CardFile &f : card.files) {
    o << "file " << f.id << ' ' << f.parent << ' ' << int(f.kind) << ' ' << f.fid << ' '
      << int(f.key_type) << ' ' << hex(f.descriptor) << ' ' << hex(f.data) << '\n';
    for (const KeyEntry &e : f.keys)
      o << "key " << int(e.kind) << ' ' << int(e.id) << ' ' << hex(e.header) << ' ' << int(e.limit)
        << ' ' << int(e.remaining) << ' ' << hex(e.value) << '\n';
    for (size_t i = 1; i < f.rsa.size(); ++i)
      if (!f.rsa[i].empty()) o << "rsa " << i << ' ' << hex(f.rsa[i]) << '\n';
    if (!f.sm2_public.empty()) o << "sm2_public " << hex(f.sm2_public) << '\n';
    if (!f.sm2_private.empty()) o << "sm2_private " << hex(f.sm2_private) << '\n';
  }
  return o.str();
}

bool fail(std::string *err, const std::string &path, const std::string &why) {
  if (err) *err = path + ": " + why;
  return false;
}

// Reads one typed value from a line; the stream fails on anything else.
template <typename T>
bool field(std::istringstream &in, T &v) {
  return static_cast<bool>(in >> v);
}

bool hex_field(std::istringstream &in, Bytes &b, size_t want = SIZE_MAX) {
  std::string s;
  return field(in, s) && unhex(s, b) && (want == SIZE_MAX || b.size() == want || b.empty());
}

bool at_end(std::istringstream &in) {
  std::string rest;
  return !(in >> rest);
}

// Parses the body (everything before the end line) into `card`; false with a message.
bool parse_body(const std::string &body, Card &card, std::string &why) {
  std::istringstream lines(body);
  std::string line;
  size_t no = 0;
  CardFile *cur = nullptr;
  while (std::getline(lines, line)) {
    ++no;
    std::istringstream in(line);
    std::string tag;
    in >> tag;
    bool ok = true;
    if (no == 1) {
      int version = 0;
      if (tag != kMagic || !field(in, version)) return why = "not a key state file", false;
      if (version != kVersion)
        return why = "unsupported format version " + std::to_string(version), false;
    } else if (tag == "serial") {
      ok = field(in, card.serial);
    } else if (tag == "name") {
      Bytes b;
      ok = hex_field(in, b);
      card.name.assign(b.begin(), b.end());
    } else if (tag == "tail") {
      Bytes b;
      ok = hex_field(in, b, 2) && b.size() == 2;
      if (ok) std::copy(b.begin(), b.end(), card.descriptor_tail.begin());
    } else if (tag == "device_key") {
      ok = hex_field(in, card.device_auth_key, cc::kSymKey);
    } else if (tag == "knobs") {
      Knobs &k = card.knobs;
      ok = field(in, k.pin_protected) && field(in, k.extended_length) &&
           field(in, k.max_data_length) && field(in, k.chaining) && field(in, k.sm2_c1c2c3) &&
           field(in, k.delete_6d00) && field(in, k.builtin_key);
    } else if (tag == "faults") {
      Knobs &k = card.knobs;
      ok = field(in, k.fault_sw_at) && field(in, k.fault_sw) && field(in, k.fault_reader_at) &&
           field(in, k.remove_at);
    } else if (tag == "next_id") {
      ok = field(in, card.next_id);
    } else if (tag == "file") {
      CardFile f;
      int kind = 0, key_type = 0;
      ok = field(in, f.id) && field(in, f.parent) && field(in, kind) && field(in, f.fid) &&
           field(in, key_type) && hex_field(in, f.descriptor) && hex_field(in, f.data) &&
           kind >= 1 && kind <= 3 && key_type >= 0 && key_type <= 0xFF &&
           f.data.size() <= kMaxEfSize;
      f.kind = static_cast<FileKind>(kind);
      f.key_type = static_cast<uint8_t>(key_type);
      card.files.push_back(std::move(f));
      cur = &card.files.back();
    } else if (tag == "key" && cur) {
      KeyEntry e;
      int kind = 0, id = 0, limit = 0, rem = 0;
      ok = field(in, kind) && field(in, id) && hex_field(in, e.header) && field(in, limit) &&
           field(in, rem) && hex_field(in, e.value) && kind >= 0 && kind <= 255 && id >= 0 &&
           id <= 255 && limit >= 0 && limit <= 255 && rem >= 0 && rem <= limit;
      e.kind = static_cast<uint8_t>(kind);
      e.id = static_cast<uint8_t>(id);
      e.limit = static_cast<uint8_t>(limit);
      e.remaining = static_cast<uint8_t>(rem);
      cur->keys.push_back(std::move(e));
    } else if (tag == "rsa" && cur) {
      size_t i = 0;
      ok = field(in, i) && i >= 1 && i < cur->rsa.size() && hex_field(in, cur->rsa[i]);
    } else if (tag == "sm2_public" && cur) {
      ok = hex_field(in, cur->sm2_public, 64) && !cur->sm2_public.empty();
    } else if (tag == "sm2_private" && cur) {
      ok = hex_field(in, cur->sm2_private, 32) && !cur->sm2_private.empty();
    } else {
      ok = false;
    }
    if (!ok || !at_end(in)) return why = "bad line " + std::to_string(no) + " (" + tag + ")", false;
  }
  return true;
}

// Tree invariants: MF first, unique ids from 1 (0 is the MF's parent) below next_id, every
// parent a DF before its child, as files are only ever appended: no cycle, every file below
// the MF.
bool check_tree(const Card &card, std::string &why) {
  if (card.files.empty() || card.files[0].id != kMfId || card.files[0].parent != 0 ||
      card.files[0].kind != FileKind::df)
    return why = "file tree without MF", false;
  for (size_t i = 0; i < card.files.size(); ++i) {
    const CardFile &f = card.files[i];
    if (f.id == 0) return why = "file id 0", false;
    if (f.id >= card.next_id) return why = "file id beyond next_id", false;
    for (size_t j = 0; j < i; ++j)
      if (card.files[j].id == f.id) return why = "duplicate file id", false;
    if (i == 0) continue;
    const auto before = std::span(card.files).first(i);
    const auto p = std::find_if(before.begin(), before.end(),
                                [&](const CardFile &c) { return c.id == f.parent; });
    if (p == before.end() || p->kind != FileKind::df)
      return why = "file without parent DF before it", false;
  }
  return true;
}

}  // namespace

std::string card_state_end_line(std::string_view body) {
  const size_t lines = static_cast<size_t>(std::count(body.begin(), body.end(), '\n'));
  return "end " + std::to_string(lines) + ' ' + digest_hex(body) + '\n';
}

bool card_save(const Card &card, const std::string &path, std::string *err) {
  std::string text = serialize(card);
  text += card_state_end_line(text);
  const std::string tmp = path + ".tmp";
  FILE *f = std::fopen(tmp.c_str(), "wb");
  if (!f) return fail(err, tmp, "cannot create");
  // Temporary file and rename keep a killed daemon from leaving a half-written key; no fsync:
  // the file need not survive a power cut, and a save follows many commands.
  const bool written =
      std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(tmp.c_str());
    return fail(err, tmp, "write failed");
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return fail(err, path, "rename failed");
  }
  return true;
}

bool card_load(Card &card, const std::string &path, std::string *err) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return fail(err, path, "cannot open");
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool read_ok = !std::ferror(f);
  std::fclose(f);
  if (!read_ok) return fail(err, path, "read failed");
  // The end line closes the file: "end <lines> <sm3>\n".
  if (text.empty() || text.back() != '\n') return fail(err, path, "truncated (no end line)");
  const size_t start = text.rfind('\n', text.size() - 2);
  const size_t body_len = start == std::string::npos ? 0 : start + 1;
  const std::string body = text.substr(0, body_len);
  std::istringstream end(text.substr(body_len));
  std::string tag, sum;
  size_t lines = 0;
  if (!(end >> tag >> lines >> sum) || tag != "end")
    return fail(err, path, "truncated (no end line)");
  if (lines != static_cast<size_t>(std::count(body.begin(), body.end(), '\n')) ||
      sum != digest_hex(body))
    return fail(err, path, "corrupt (checksum mismatch)");
  Card loaded;
  std::string why;
  if (!parse_body(body, loaded, why) || !check_tree(loaded, why)) return fail(err, path, why);
  // Fault knobs are saved as commands still to go; the new session counts from zero.
  card = std::move(loaded);
  return true;
}

}  // namespace keysim
