// SM2 commands: generate (80 32), read (80 34), load (80 36), encrypt (80 38), decrypt
// (80 3A), sign (80 3C), verify (80 3E) and key agreement (80 42).
#include <cstring>

#include "cardcrypto.h"
#include "internal.h"

namespace keysim {

namespace {

constexpr size_t kScalar = 32;
constexpr size_t kPoint = 64;
constexpr size_t kCipherOverhead = 96;  // C1 and C3
constexpr uint8_t kExternal = 0x80;
constexpr uint8_t kIntoFiles = 0x40;
constexpr uint8_t kFileBits = 0x3F;
constexpr uint8_t kSelectedFile = 0x20;
constexpr uint8_t kPrivateLoad = 0xA0;
constexpr uint8_t kOperation = 0x40;

cc::Sm2Point to_point(std::span<const uint8_t> xy) {
  cc::Sm2Point p;
  std::memcpy(p.x, xy.data(), kScalar);
  std::memcpy(p.y, xy.data() + kScalar, kScalar);
  return p;
}

Bytes from_point(const cc::Sm2Point &p) {
  Bytes b(p.x, p.x + kScalar);
  b.insert(b.end(), p.y, p.y + kScalar);
  return b;
}

CardFile *selected_key(Card &card, uint8_t type, uint16_t *err) {
  CardFile *f = current_ef(card);
  *err = !f ? sw::kNoCurrentEf : sw::kWrongFileType;
  return f && f->kind == FileKind::key && f->key_type == type ? f : nullptr;
}

// The selected public key, or an error status.
const Bytes *selected_public(Card &card, uint16_t *err) {
  CardFile *f = selected_key(card, kKeyFileSm2Public, err);
  if (!f) return nullptr;
  *err = sw::kDataNotFound;
  return f->sm2_public.size() == kPoint ? &f->sm2_public : nullptr;
}

// The selected private key when the security state allows its use, or an error status.
const Bytes *selected_private(Card &card, uint16_t *err) {
  CardFile *f = selected_key(card, kKeyFileSm2Private, err);
  if (!f) return nullptr;
  *err = sw::kDataNotFound;
  if (f->sm2_private.size() != kScalar) return nullptr;
  *err = sw::kSecurity;
  return private_key_allowed(card, *f) ? &f->sm2_private : nullptr;
}

bool operation_p1p2(const Apdu &a) { return a.p1 == kOperation && a.p2 == 0; }

Reply with_data(Bytes d) {
  Reply r;
  r.data = std::move(d);
  return r;
}

}  // namespace

Reply cmd_sm2_generate(Card &card, const Apdu &a) {
  if (!a.data.empty()) return status(sw::kWrongLength);
  uint8_t d[kScalar];
  cc::Sm2Point pub;
  if (a.p1 == (kExternal | kIntoFiles) && a.p2 == kExternal) {
    if (!cc::sm2_generate(d, pub)) return status(sw::kConditions);
    card.session.ext_sm2_private.assign(d, d + kScalar);
    card.session.ext_sm2_public = from_point(pub);
    return status(sw::kOk);
  }
  if ((a.p1 & ~kFileBits) != kIntoFiles) return status(sw::kWrongP1P2);
  const uint32_t df = card.session.current_df;
  CardFile *pf = find_child(card, df, a.p1 & kFileBits);
  CardFile *sf = find_child(card, df, a.p2);
  if (!pf || !sf) return status(sw::kNotFound);
  if (pf->kind != FileKind::key || pf->key_type != kKeyFileSm2Public || sf->kind != FileKind::key ||
      sf->key_type != kKeyFileSm2Private)
    return status(sw::kWrongFileType);
  if (!cc::sm2_generate(d, pub)) return status(sw::kConditions);
  pf->sm2_public = from_point(pub);
  sf->sm2_private.assign(d, d + kScalar);
  std::memset(d, 0, sizeof d);
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_sm2_read(Card &card, const Apdu &a) {
  if (!a.has_le || !a.data.empty()) return status(sw::kWrongLength);
  uint16_t err = 0;
  if (a.p1 == kSelectedFile && a.p2 == 0x00) {
    const Bytes *pub = selected_public(card, &err);
    return pub ? with_data(*pub) : status(err);
  }
  if (a.p1 != 0x00 || a.p2 > 0x01) return status(sw::kWrongP1P2);
  const Bytes &v = a.p2 == 0 ? card.session.ext_sm2_public : card.session.ext_sm2_private;
  return v.empty() ? status(sw::kDataNotFound) : with_data(v);
}

Reply cmd_sm2_load(Card &card, const Apdu &a) {
  uint16_t err = 0;
  const bool priv = a.p1 == kPrivateLoad && a.p2 == 0x01;
  if (!priv && !(a.p1 == kSelectedFile && a.p2 == 0x00)) return status(sw::kWrongP1P2);
  CardFile *f = selected_key(card, priv ? kKeyFileSm2Private : kKeyFileSm2Public, &err);
  if (!f) return status(err);
  if (a.data.size() != (priv ? kScalar : kPoint)) return status(sw::kWrongLength);
  cc::Sm2Point p;
  if (priv ? !cc::sm2_public_from_private(a.data.data(), p)
           : !cc::sm2_point_valid(to_point(a.data)))
    return status(sw::kWrongData);
  (priv ? f->sm2_private : f->sm2_public).assign(a.data.begin(), a.data.end());
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_sm2_encrypt(Card &card, const Apdu &a) {
  if (!operation_p1p2(a)) return status(sw::kWrongP1P2);
  if (a.data.empty()) return status(sw::kWrongLength);
  uint16_t err = 0;
  const Bytes *pub = selected_public(card, &err);
  if (!pub) return status(err);
  Bytes out;
  if (!cc::sm2_encrypt(to_point(*pub), a.data, out)) return status(sw::kWrongData);
  return with_data(std::move(out));
}

Reply cmd_sm2_decrypt(Card &card, const Apdu &a) {
  if (!operation_p1p2(a)) return status(sw::kWrongP1P2);
  if (a.data.size() <= kCipherOverhead) return status(sw::kWrongLength);
  uint16_t err = 0;
  const Bytes *d = selected_private(card, &err);
  if (!d) return status(err);
  Bytes out;
  const bool ok = card.knobs.sm2_c1c2c3 ? cc::sm2_decrypt_c1c2c3(d->data(), a.data, out)
                                        : cc::sm2_decrypt(d->data(), a.data, out);
  return ok ? with_data(std::move(out)) : status(sw::kWrongData);
}

Reply cmd_sm2_sign(Card &card, const Apdu &a) {
  if (!operation_p1p2(a)) return status(sw::kWrongP1P2);
  if (a.data.size() != kScalar) return status(sw::kWrongLength);
  uint16_t err = 0;
  const Bytes *d = selected_private(card, &err);
  if (!d) return status(err);
  uint8_t r[kScalar], s[kScalar];
  if (!cc::sm2_sign(d->data(), a.data.data(), r, s)) return status(sw::kWrongData);
  Bytes out(r, r + kScalar);
  out.insert(out.end(), s, s + kScalar);
  return with_data(std::move(out));
}

Reply cmd_sm2_verify(Card &card, const Apdu &a) {
  if (!operation_p1p2(a)) return status(sw::kWrongP1P2);
  if (a.data.size() != kScalar + kPoint) return status(sw::kWrongLength);
  uint16_t err = 0;
  const Bytes *pub = selected_public(card, &err);
  if (!pub) return status(err);
  const uint8_t *e = a.data.data();
  const bool ok = cc::sm2_verify(to_point(*pub), e, e + kScalar, e + 2 * kScalar);
  return status(ok ? sw::kOk : sw::kWrongData);
}

// Data: 01, own ID length A (2), peer ID length B (2), role (00 sponsor, 01 responder), key
// length, own ID, peer ID, peer temporary key, peer static key, own temporary x, own
// temporary private key. The own static pair is the key files P1 (public) and P2 (private).
Reply cmd_sm2_agree(Card &card, const Apdu &a) {
  const auto d = a.data;
  constexpr size_t kHead = 7, kTail = 2 * kPoint + 2 * kScalar;
  if (d.size() < kHead + kTail) return status(sw::kWrongLength);
  const size_t la = static_cast<size_t>(d[1]) << 8 | d[2];
  const size_t lb = static_cast<size_t>(d[3]) << 8 | d[4];
  if (d.size() != kHead + la + lb + kTail) return status(sw::kWrongLength);
  const uint8_t role = d[5], klen = d[6];
  if (d[0] != 0x01 || role > 1 || klen == 0) return status(sw::kWrongData);
  const uint32_t df = card.session.current_df;
  CardFile *pf = find_child(card, df, a.p1);
  CardFile *sf = find_child(card, df, a.p2);
  if (!pf || !sf) return status(sw::kNotFound);
  if (pf->kind != FileKind::key || pf->key_type != kKeyFileSm2Public || sf->kind != FileKind::key ||
      sf->key_type != kKeyFileSm2Private)
    return status(sw::kWrongFileType);
  if (pf->sm2_public.size() != kPoint || sf->sm2_private.size() != kScalar)
    return status(sw::kDataNotFound);
  if (!private_key_allowed(card, *sf)) return status(sw::kSecurity);
  const auto own_id = d.subspan(kHead, la), peer_id = d.subspan(kHead + la, lb);
  const auto rest = d.subspan(kHead + la + lb);
  const cc::Sm2Point peer_eph = to_point(rest.subspan(0, kPoint));
  const cc::Sm2Point peer_pub = to_point(rest.subspan(kPoint, kPoint));
  const uint8_t *own_eph_x = rest.data() + 2 * kPoint;
  const uint8_t *own_eph_d = own_eph_x + kScalar;
  const cc::Sm2Point own_pub = to_point(pf->sm2_public);
  cc::Sm2Point own_eph;
  uint8_t own_z[kScalar], peer_z[kScalar];
  if (!cc::sm2_public_from_private(own_eph_d, own_eph) ||
      std::memcmp(own_eph.x, own_eph_x, kScalar) != 0 || !cc::sm2_z(own_pub, own_id, own_z) ||
      !cc::sm2_z(peer_pub, peer_id, peer_z))
    return status(sw::kWrongData);
  Bytes key;
  if (!cc::sm2_agree(role == 0, sf->sm2_private.data(), own_pub, own_eph_d, own_eph, peer_pub,
                     peer_eph, own_z, peer_z, klen, key))
    return status(sw::kWrongData);
  return with_data(std::move(key));
}

}  // namespace keysim
