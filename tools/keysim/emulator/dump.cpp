// Readable dump of a key's files, keys, counters and knobs, and its command statistics.
#include <cstdio>
#include <sstream>

#include "emulator.h"
#include "internal.h"

namespace keysim {

namespace {

constexpr size_t kDataPreview = 32;

std::string hex(std::span<const uint8_t> b, size_t max = SIZE_MAX) {
  std::string s;
  char x[4];
  for (size_t i = 0; i < b.size() && i < max; ++i) {
    std::snprintf(x, sizeof x, "%02X", b[i]);
    s += x;
  }
  if (b.size() > max) s += "..";
  return s;
}

std::string fid_text(uint16_t fid) {
  char s[8];
  std::snprintf(s, sizeof s, "%04X", fid);
  return s;
}

const char *key_type_name(uint8_t t) {
  switch (t) {
    case kKeyFilePins:
      return "PIN keys";
    case kKeyFileRsaPublic:
      return "RSA public";
    case kKeyFileRsaPrivate:
      return "RSA private";
    case kKeyFileSm2Public:
      return "SM2 public";
    case kKeyFileSm2Private:
      return "SM2 private";
    default:
      return "key";
  }
}

std::string at_text(uint64_t at, uint64_t total) {
  return at == 0 ? "off" : "in " + std::to_string(at > total ? at - total : 0);
}

void dump_file(const Card &card, const CardFile &f, int depth, std::ostringstream &o) {
  const std::string pad(2 * depth, ' ');
  if (f.kind == FileKind::df) {
    o << pad << (f.id == kMfId ? "MF " : "DF ") << fid_text(f.fid);
  } else if (f.kind == FileKind::ef) {
    o << pad << "EF " << fid_text(f.fid) << "  " << f.data.size() << " bytes  "
      << hex(f.data, kDataPreview);
  } else {
    o << pad << "KEY " << fid_text(f.fid) << "  " << key_type_name(f.key_type);
    for (const KeyEntry &k : f.keys)
      o << "\n"
        << pad << "  key " << hex(std::span(&k.kind, 1)) << ' ' << hex(std::span(&k.id, 1))
        << "  tries " << int(k.remaining) << '/' << int(k.limit) << "  value " << hex(k.value);
    static constexpr const char *kParts[] = {"", "e", "n", "p", "q", "qinv", "dp", "dq"};
    for (size_t i = 1; i < f.rsa.size(); ++i)
      if (!f.rsa[i].empty())
        o << "\n"
          << pad << "  " << kParts[i] << " (" << f.rsa[i].size() << ") "
          << hex(f.rsa[i], kDataPreview);
    if (!f.sm2_public.empty()) o << "\n" << pad << "  x||y " << hex(f.sm2_public);
    if (!f.sm2_private.empty()) o << "\n" << pad << "  d present";
    if (f.keys.empty() && f.sm2_public.empty() && f.sm2_private.empty() && f.rsa[1].empty() &&
        f.rsa[3].empty())
      o << "  (empty)";
  }
  o << '\n';
  for (const CardFile &c : card.files)
    if (c.parent == f.id && c.id != f.id) dump_file(card, c, depth + 1, o);
}

}  // namespace

std::string card_dump(const Card &card) {
  std::ostringstream o;
  const Knobs &k = card.knobs;
  const uint64_t t = card.stats.total;
  o << "key " << card.name << "  serial " << card.serial << "  descriptor "
    << card_descriptor_text(card) << '\n';
  o << "knobs: pin_mode=" << (k.pin_protected ? "protected" : "plain")
    << " extended=" << (k.extended_length ? "on" : "off") << " max_data=" << k.max_data_length
    << " chaining=" << (k.chaining ? "on" : "off")
    << " sm2_order=" << (k.sm2_c1c2c3 ? "c1c2c3" : "c1c3c2")
    << " delete_6d00=" << (k.delete_6d00 ? "on" : "off")
    << " builtin_key=" << (k.builtin_key ? "on" : "off") << '\n';
  o << "faults: fault_sw=" << at_text(k.fault_sw_at, t);
  if (k.fault_sw_at)
    o << " (" << hex(std::array<uint8_t, 2>{uint8_t(k.fault_sw >> 8), uint8_t(k.fault_sw)}) << ')';
  o << " fault_reader=" << at_text(k.fault_reader_at, t) << " remove_at=" << at_text(k.remove_at, t)
    << '\n';
  o << "device key: " << hex(card.device_auth_key) << '\n';
  const CardFile *df = find_file(card, card.session.current_df);
  const CardFile *ef = find_file(card, card.session.current_ef);
  o << "session: DF " << (df ? fid_text(df->fid) : "?") << " EF " << (ef ? fid_text(ef->fid) : "-")
    << "  authenticated " << (card.session.authenticated ? "yes" : "no")
    << "  user PIN verified in";
  for (uint32_t id : card.session.user_verified)
    if (const CardFile *a = find_file(card, id)) o << ' ' << fid_text(a->fid);
  o << '\n';
  if (!card.files.empty()) dump_file(card, card.files[0], 0, o);
  return o.str();
}

std::string card_stats(const Card &card) {
  std::ostringstream o;
  o << "commands " << card.stats.total << '\n';
  char line[64];
  for (const auto &[key, c] : card.stats.by_command) {
    std::snprintf(line, sizeof line, "%02X %02X  count %llu  ok %llu\n", key >> 8, key & 0xFF,
                  static_cast<unsigned long long>(c.count), static_cast<unsigned long long>(c.ok));
    o << line;
  }
  return o.str();
}

}  // namespace keysim
