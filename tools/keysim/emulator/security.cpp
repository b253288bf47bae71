// Security commands: GET CHALLENGE, EXTERNAL AUTHENTICATE, PIN mode, VERIFY (plain and
// protected), PIN change (plain and protected), unblock with MAC, WRITE KEY and the MAC-checked
// administrator key update. Each check is the card's side of what the host computes.
#include <algorithm>
#include <cstring>

#include "builtin_key.h"
#include "cardcrypto.h"
#include "internal.h"

namespace keysim {

namespace {

constexpr uint8_t kUserPinKind = 0x1F;
constexpr uint8_t kAdminKind = 0x01;
constexpr uint8_t kAdminId = 0x01;  // the administrator key the MAC commands address
constexpr size_t kPinBytes = 6;
constexpr size_t kBlock = 8;
constexpr size_t kAdminKeyBytes = 16;
constexpr size_t kMacBytes = 4;
constexpr size_t kKeyRecordHeader = 8;  // kind, id, 4 attribute bytes, limit, 00
constexpr size_t kDeviceKeyOffset = 3;
constexpr size_t kMaxKeysPerFile = 16;

using Block = std::array<uint8_t, kBlock>;

// The last challenge, zero-padded to 8 bytes; consumed by its first use.
bool take_challenge(Card &card, Block &c) {
  Bytes &ch = card.session.challenge;
  if (ch.empty()) return false;
  c.fill(0);
  std::copy_n(ch.begin(), std::min(ch.size(), kBlock), c.begin());
  ch.clear();
  return true;
}

bool des(bool encrypt, const uint8_t key[8], const uint8_t in[8], uint8_t out[8]) {
  return cc::des_ecb(encrypt, std::span(key, kBlock), std::span(in, kBlock), out);
}

// D[0..5]: the serial least significant byte first and the two descriptor bytes after it.
std::array<uint8_t, 6> descriptor_bytes(const Card &card) {
  return {static_cast<uint8_t>(card.serial),
          static_cast<uint8_t>(card.serial >> 8),
          static_cast<uint8_t>(card.serial >> 16),
          static_cast<uint8_t>(card.serial >> 24),
          card.descriptor_tail[0],
          card.descriptor_tail[1]};
}

// T = DES of the session key S under (PIN, C[3], C[4]); S from D and the challenge bytes
// C[x], C[y0], C[y1] as the protected commands define them.
bool session_des_key(const Card &card, const Block &c, std::span<const uint8_t> pin, int x, int y0,
                     int y1, Block &t) {
  const auto d = descriptor_bytes(card);
  Block s, b;
  for (size_t i = 0; i < 6; ++i) s[i] = d[i] ^ c[x];
  s[6] = c[y0] ^ c[x];
  s[7] = c[y1] ^ c[x];
  std::copy_n(pin.begin(), kPinBytes, b.begin());
  b[6] = c[3];
  b[7] = c[4];
  return des(true, b.data(), s.data(), t.data());
}

CardFile *pin_file_in(Card &card, uint32_t df) {
  for (CardFile &f : card.files)
    if (f.parent == df && f.kind == FileKind::key && f.key_type == kKeyFilePins) return &f;
  return nullptr;
}

KeyEntry *find_key(CardFile &f, uint8_t kind, int id) {
  for (KeyEntry &k : f.keys)
    if (k.kind == kind && (id < 0 || k.id == id)) return &k;
  return nullptr;
}

uint16_t retries_sw(uint8_t remaining) {
  return static_cast<uint16_t>(sw::kRetries | std::min<uint8_t>(remaining, 15));
}

Reply wrong_try(KeyEntry &k) {
  if (k.remaining > 0) --k.remaining;
  return Reply{{}, retries_sw(k.remaining), true};
}

void set_verified(Card &card, uint32_t app, bool on) {
  auto &v = card.session.user_verified;
  std::erase(v, app);
  if (on) v.push_back(app);
}

// The user PIN entry of the application that the current DF belongs to.
KeyEntry *user_pin(Card &card, uint32_t &app) {
  app = pin_owner_df(card, card.session.current_df);
  CardFile *f = app ? pin_file_in(card, app) : nullptr;
  KeyEntry *k = f ? find_key(*f, kUserPinKind, -1) : nullptr;
  return k && k->value.size() >= kPinBytes ? k : nullptr;
}

bool same(std::span<const uint8_t> a, std::span<const uint8_t> b, size_t n) {
  return a.size() >= n && b.size() >= n && std::equal(a.begin(), a.begin() + n, b.begin());
}

// Only a restored counter changes what is saved; a plain success needs no write.
Reply pin_accepted(Card &card, KeyEntry &k, uint32_t app, bool value_changed = false) {
  const bool changed = value_changed || k.remaining != k.limit;
  k.remaining = k.limit;
  set_verified(card, app, true);
  return Reply{{}, sw::kOk, changed};
}

Reply pin_refused(Card &card, KeyEntry &k, uint32_t app) {
  set_verified(card, app, false);
  return wrong_try(k);
}

}  // namespace

Reply cmd_get_challenge(Card &card, const Apdu &a) {
  if (a.p1 != 0 || a.p2 != 0) return status(sw::kWrongP1P2);
  if (!a.has_le || !a.data.empty() || a.le > 256) return status(sw::kWrongLength);
  Reply r;
  r.data.resize(a.le);
  if (!cc::random_bytes(r.data.data(), r.data.size())) return status(sw::kConditions);
  card.session.challenge = r.data;
  return r;
}

Reply cmd_external_auth(Card &card, const Apdu &a) {
  if (a.p1 != 0) return status(sw::kWrongP1P2);
  if (a.data.size() != kBlock) return status(sw::kWrongLength);
  Block c;
  if (!take_challenge(card, c)) return status(sw::kConditions);
  Block expect;
  if (card.knobs.builtin_key && des(true, kBuiltinAuthKey, c.data(), expect.data()) &&
      same(expect, a.data, kBlock)) {
    card.session.authenticated = true;
    return status(sw::kOk);
  }
  if (card.device_auth_key.size() == cc::kSymKey) {
    uint8_t in[16] = {}, out[16];
    std::copy(c.begin(), c.end(), in);
    if (cc::card_sym(cc::kModeSsf33, true, card.device_auth_key.data(), nullptr, in, out)) {
      for (size_t i = 0; i < kBlock; ++i) expect[i] = out[i] ^ out[i + kBlock];
      if (same(expect, a.data, kBlock)) {
        card.session.authenticated = true;
        return status(sw::kOk);
      }
    }
  }
  // A failed attempt leaves an earlier authentication standing.
  return status(sw::kAuthFailed);
}

Reply cmd_pin_mode(Card &card, const Apdu &a) {
  if (a.p1 != 0x01 || a.p2 != 0x00) return status(sw::kWrongP1P2);
  Reply r;
  r.data = {0x00, static_cast<uint8_t>(card.knobs.pin_protected ? 0x08 : 0x01)};
  return r;
}

Reply cmd_verify(Card &card, const Apdu &a) {
  if (a.p2 != 0x00 || (a.p1 != 0x00 && a.p1 != 0x01)) return status(sw::kWrongP1P2);
  const bool prot = a.p1 == 0x01;
  if (a.data.size() != (prot ? kBlock : kPinBytes)) return status(sw::kWrongLength);
  uint32_t app = 0;
  KeyEntry *k = user_pin(card, app);
  if (!k) return status(sw::kDataNotFound);
  Block c{};
  if (prot && !take_challenge(card, c)) return status(sw::kConditions);
  if (k->remaining == 0) return status(sw::kBlocked);
  bool ok = false;
  if (prot) {
    Block t, u;
    ok = session_des_key(card, c, k->value, 2, 0, 1, t) &&
         des(true, t.data(), c.data(), u.data()) && same(u, a.data, kBlock);
  } else {
    ok = same(k->value, a.data, kPinBytes);
  }
  return ok ? pin_accepted(card, *k, app) : pin_refused(card, *k, app);
}

namespace {

Reply change_plain(Card &card, std::span<const uint8_t> d) {
  if (d.size() != 2 * kPinBytes + 1) return status(sw::kWrongLength);
  uint32_t app = 0;
  KeyEntry *k = user_pin(card, app);
  if (!k) return status(sw::kDataNotFound);
  if (k->remaining == 0) return status(sw::kBlocked);
  if (d[kPinBytes] != 0xFF || !same(k->value, d, kPinBytes)) return pin_refused(card, *k, app);
  std::copy_n(d.begin() + kPinBytes + 1, kPinBytes, k->value.begin());
  return pin_accepted(card, *k, app, true);
}

Reply change_protected(Card &card, std::span<const uint8_t> d) {
  if (d.size() != 2 * kBlock) return status(sw::kWrongLength);
  uint32_t app = 0;
  KeyEntry *k = user_pin(card, app);
  if (!k) return status(sw::kDataNotFound);
  Block c;
  if (!take_challenge(card, c)) return status(sw::kConditions);
  if (k->remaining == 0) return status(sw::kBlocked);
  Block t;
  uint8_t m[2 * kBlock];
  if (!session_des_key(card, c, k->value, 5, 6, 7, t) || !des(false, t.data(), &d[0], m) ||
      !des(false, t.data(), &d[kBlock], m + kBlock))
    return status(sw::kConditions);
  // M = old PIN, FF, new PIN, FF FF FF.
  const bool ok = same(k->value, std::span(m, kPinBytes), kPinBytes) && m[6] == 0xFF &&
                  m[13] == 0xFF && m[14] == 0xFF && m[15] == 0xFF;
  if (!ok) return pin_refused(card, *k, app);
  std::copy_n(m + kPinBytes + 1, kPinBytes, k->value.begin());
  return pin_accepted(card, *k, app, true);
}

Reply unblock(Card &card, std::span<const uint8_t> d) {
  if (d.size() != kPinBytes + kMacBytes) return status(sw::kWrongLength);
  uint32_t app = 0;
  KeyEntry *user = user_pin(card, app);
  CardFile *f = app ? pin_file_in(card, app) : nullptr;
  KeyEntry *admin = f ? find_key(*f, kAdminKind, kAdminId) : nullptr;
  if (!user || !admin || admin->value.size() != kAdminKeyBytes) return status(sw::kDataNotFound);
  if (admin->remaining == 0) return status(sw::kBlocked);
  // MAC under K1 = K[i] ^ K[i+8] over eight zero bytes, the new PIN, 80 00 (single DES).
  uint8_t key[16] = {};
  for (size_t i = 0; i < kBlock; ++i) key[i] = admin->value[i] ^ admin->value[i + kBlock];
  uint8_t msg[16] = {};
  std::copy_n(d.begin(), kPinBytes, msg + kBlock);
  msg[kBlock + kPinBytes] = 0x80;
  uint8_t mac[kMacBytes];
  if (!cc::retail_mac(key, msg, 1, mac)) return status(sw::kConditions);
  if (!same(std::span(mac, kMacBytes), d.subspan(kPinBytes), kMacBytes)) return wrong_try(*admin);
  admin->remaining = admin->limit;
  std::copy_n(d.begin(), kPinBytes, user->value.begin());
  user->remaining = user->limit;
  return Reply{{}, sw::kOk, true};
}

}  // namespace

Reply cmd_change_pin(Card &card, const Apdu &a) {
  if (a.p2 != 0x00) return status(sw::kWrongP1P2);
  switch (a.p1) {
    case 0x01:
      return change_plain(card, a.data);
    case 0x81:
      return change_protected(card, a.data);
    case 0x00:
      return unblock(card, a.data);
    default:
      return status(sw::kWrongP1P2);
  }
}

Reply cmd_write_key(Card &card, const Apdu &a) {
  if (!card.session.authenticated) return status(sw::kSecurity);
  Reply r;
  r.changed = true;
  if (a.p1 == 0x01 && a.p2 == 0x00) {  // device authentication key
    if (a.data.size() != kDeviceKeyOffset + cc::kSymKey) return status(sw::kWrongLength);
    card.device_auth_key.assign(a.data.begin() + kDeviceKeyOffset, a.data.end());
    return r;
  }
  if (a.p1 != 0x00) return status(sw::kWrongP1P2);
  CardFile *f = find_child(card, card.session.current_df, a.p2);
  if (!f || f->kind != FileKind::key || f->key_type != kKeyFilePins) return status(sw::kNotFound);
  const auto d = a.data;
  if (d.size() <= kKeyRecordHeader) return status(sw::kWrongLength);
  KeyEntry k;
  k.kind = d[0];
  k.id = d[1];
  k.header.assign(d.begin(), d.begin() + kKeyRecordHeader);
  k.limit = k.remaining = d[6];
  k.value.assign(d.begin() + kKeyRecordHeader, d.end());
  if ((k.kind == kUserPinKind && k.value.size() < kPinBytes) ||
      (k.kind == kAdminKind && k.value.size() != kAdminKeyBytes))
    return status(sw::kWrongLength);
  if (KeyEntry *old = find_key(*f, k.kind, k.id))
    *old = std::move(k);
  else if (f->keys.size() < kMaxKeysPerFile)
    f->keys.push_back(std::move(k));
  else
    return status(sw::kNoSpace);
  return r;
}

// 84 D4 01 fid: new administrator key under a retail MAC of the stored one. The MAC covers
// C[0..3] 00 00 00 00, the command header with Lc, the data before the MAC, ISO padding.
Reply cmd_write_key_mac(Card &card, const Apdu &a) {
  if (a.p1 != 0x01) return status(sw::kWrongP1P2);
  const auto d = a.data;
  constexpr size_t kRef = 3;  // key reference (2 bytes) and 00
  if (d.size() != kRef + kAdminKeyBytes + kMacBytes || a.extended) return status(sw::kWrongLength);
  CardFile *f = find_child(card, card.session.current_df, a.p2);
  if (!f || f->kind != FileKind::key || f->key_type != kKeyFilePins) return status(sw::kNotFound);
  KeyEntry *k = find_key(*f, d[0], d[1]);
  if (!k || k->value.size() != kAdminKeyBytes) return status(sw::kDataNotFound);
  Block c;
  if (!take_challenge(card, c)) return status(sw::kConditions);
  if (k->remaining == 0) return status(sw::kBlocked);
  Bytes msg(c.begin(), c.begin() + 4);
  msg.resize(kBlock, 0);
  msg.insert(msg.end(), {a.cla, a.ins, a.p1, a.p2, static_cast<uint8_t>(d.size())});
  msg.insert(msg.end(), d.begin(), d.end() - kMacBytes);
  msg.push_back(0x80);
  while (msg.size() % kBlock) msg.push_back(0);
  uint8_t mac[kMacBytes];
  if (!cc::retail_mac(k->value.data(), msg, 0, mac)) return status(sw::kConditions);
  if (!same(std::span(mac, kMacBytes), d.subspan(d.size() - kMacBytes), kMacBytes))
    return wrong_try(*k);
  k->value.assign(d.begin() + kRef, d.begin() + kRef + kAdminKeyBytes);
  k->remaining = k->limit;
  return Reply{{}, sw::kOk, true};
}

}  // namespace keysim
