// RSA commands: GENERATE (80 D0), READ KEY COMPONENT (80 D8), WRITE KEY COMPONENT (80 D2),
// public (80 F6) and CRT private (80 F8) operation. Components, operands and results travel
// least significant byte first; the key files hold them big-endian.
#include "cardcrypto.h"
#include "internal.h"

namespace keysim {

namespace {

enum Part : size_t { kE = 1, kN = 2, kP = 3, kQ = 4, kQinv = 5, kDp = 6, kDq = 7 };
constexpr size_t kExponentBytes = 4;
constexpr uint8_t kExternal = 0x80;
constexpr uint8_t kLarge = 0x40;  // 2048 bits
constexpr uint8_t kFileBits = 0x3F;
constexpr uint8_t kSelectedFile = 0x20;
constexpr uint8_t kSelectedPrivate = 0xA0;
constexpr uint8_t kOperation = 0x40;

// Big-endian value at exactly `width` bytes (leading zeros added or dropped).
Bytes at_width(const Bytes &v, size_t width) {
  Bytes out(width, 0);
  const size_t n = std::min(v.size(), width);
  std::copy(v.end() - n, v.end(), out.end() - n);
  return out;
}

bool generate(int bits, RsaParts &parts) {
  cc::RsaKey k;
  if (!cc::rsa_generate(bits, k)) return false;
  const size_t len = bits / 8, half = len / 2;
  parts[kE] = at_width(k.e, kExponentBytes);
  parts[kN] = at_width(k.n, len);
  parts[kP] = at_width(k.p, half);
  parts[kQ] = at_width(k.q, half);
  parts[kQinv] = at_width(k.qinv, half);
  parts[kDp] = at_width(k.dp, half);
  parts[kDq] = at_width(k.dq, half);
  return true;
}

// The selected EF when it is a key file of `type`; otherwise the status word in *err.
CardFile *selected_key(Card &card, uint8_t type, uint16_t *err) {
  CardFile *f = current_ef(card);
  if (!f) {
    *err = sw::kNoCurrentEf;
    return nullptr;
  }
  if (f->kind != FileKind::key || f->key_type != type) {
    *err = sw::kWrongFileType;
    return nullptr;
  }
  return f;
}

Reply answer_reversed(const Bytes &be) {
  Reply r;
  r.data = reversed(be);
  return r;
}

}  // namespace

Reply cmd_rsa_generate(Card &card, const Apdu &a) {
  if (!a.data.empty()) return status(sw::kWrongLength);
  const int bits = a.p1 & kLarge ? 2048 : 1024;
  if (a.p1 & kExternal) {
    if (a.p2 != kExternal || (a.p1 & kFileBits)) return status(sw::kWrongP1P2);
    RsaParts parts;
    if (!generate(bits, parts)) return status(sw::kConditions);
    card.session.ext_rsa = std::move(parts);
    return status(sw::kOk);
  }
  const uint32_t df = card.session.current_df;
  CardFile *pub = find_child(card, df, a.p1 & kFileBits);
  CardFile *prv = find_child(card, df, a.p2);
  if (!pub || !prv) return status(sw::kNotFound);
  if (pub->kind != FileKind::key || pub->key_type != kKeyFileRsaPublic ||
      prv->kind != FileKind::key || prv->key_type != kKeyFileRsaPrivate)
    return status(sw::kWrongFileType);
  // A pair goes only into files made for its size.
  if (rsa_file_bytes(*pub) != size_t(bits / 8) || rsa_file_bytes(*prv) != size_t(bits / 8))
    return status(sw::kWrongLength);
  RsaParts parts;
  if (!generate(bits, parts)) return status(sw::kConditions);
  pub->rsa = RsaParts{};
  pub->rsa[kE] = parts[kE];
  pub->rsa[kN] = parts[kN];
  prv->rsa = RsaParts{};
  for (size_t i = kP; i <= kDq; ++i) prv->rsa[i] = parts[i];
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_rsa_read(Card &card, const Apdu &a) {
  if (!a.has_le || !a.data.empty()) return status(sw::kWrongLength);
  if (a.p2 < kE || a.p2 > kDq) return status(sw::kWrongP1P2);
  if (a.p1 == 0x00) {
    const Bytes &v = card.session.ext_rsa[a.p2];
    if (v.empty()) return status(sw::kDataNotFound);
    return answer_reversed(v);
  }
  if (a.p1 != kSelectedFile) return status(sw::kWrongP1P2);
  CardFile *f = current_ef(card);
  if (!f) return status(sw::kNoCurrentEf);
  if (f->kind != FileKind::key ||
      (f->key_type != kKeyFileRsaPublic && f->key_type != kKeyFileRsaPrivate))
    return status(sw::kWrongFileType);
  if (a.p2 > kN) return status(sw::kSecurity);  // private parts never leave a key file
  if (f->rsa[a.p2].empty()) return status(sw::kDataNotFound);
  return answer_reversed(f->rsa[a.p2]);
}

Reply cmd_rsa_write(Card &card, const Apdu &a) {
  uint16_t err = 0;
  CardFile *f = nullptr;
  const size_t n = a.data.size();
  if (a.p1 == kSelectedFile && (a.p2 == kE || a.p2 == kN)) {
    if (!(f = selected_key(card, kKeyFileRsaPublic, &err))) return status(err);
    if (n != (a.p2 == kE ? kExponentBytes : rsa_file_bytes(*f))) return status(sw::kWrongLength);
  } else if (a.p1 == kSelectedPrivate && a.p2 >= kP && a.p2 <= kDq) {
    if (!(f = selected_key(card, kKeyFileRsaPrivate, &err))) return status(err);
    if (n != rsa_file_bytes(*f) / 2) return status(sw::kWrongLength);
  } else {
    return status(sw::kWrongP1P2);
  }
  f->rsa[a.p2] = reversed(a.data);
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_rsa_public(Card &card, const Apdu &a) {
  if (a.p1 != kOperation || a.p2 != 0) return status(sw::kWrongP1P2);
  uint16_t err = 0;
  CardFile *f = selected_key(card, kKeyFileRsaPublic, &err);
  if (!f) return status(err);
  const Bytes &e = f->rsa[kE], &n = f->rsa[kN];
  if (e.empty() || n.empty()) return status(sw::kDataNotFound);
  if (a.data.size() != n.size()) return status(sw::kWrongLength);
  Bytes out;
  if (!cc::rsa_public(n, e, reversed(a.data), out)) return status(sw::kWrongData);
  return answer_reversed(at_width(out, n.size()));
}

Reply cmd_rsa_private(Card &card, const Apdu &a) {
  if (a.p1 != kOperation || a.p2 != 0) return status(sw::kWrongP1P2);
  uint16_t err = 0;
  CardFile *f = selected_key(card, kKeyFileRsaPrivate, &err);
  if (!f) return status(err);
  for (size_t i = kP; i <= kDq; ++i)
    if (f->rsa[i].empty()) return status(sw::kDataNotFound);
  if (!private_key_allowed(card, *f)) return status(sw::kSecurity);
  const size_t len = 2 * f->rsa[kP].size();
  if (a.data.size() != len) return status(sw::kWrongLength);
  cc::RsaKey k;
  k.p = f->rsa[kP];
  k.q = f->rsa[kQ];
  k.qinv = f->rsa[kQinv];
  k.dp = f->rsa[kDp];
  k.dq = f->rsa[kDq];
  Bytes out;
  if (!cc::rsa_private_crt(k, reversed(a.data), out)) return status(sw::kWrongData);
  return answer_reversed(at_width(out, len));
}

}  // namespace keysim
