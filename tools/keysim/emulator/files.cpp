// File system: MF, DFs, transparent EFs and key files; SELECT, READ/UPDATE BINARY, CREATE FILE,
// DELETE FILE, PREPARE CREATE and the card information record.
#include <algorithm>

#include "internal.h"

namespace keysim {

namespace {

constexpr size_t kCapacity = 0x20000;  // bytes of card memory reported and enforced
constexpr size_t kFileOverhead = 32;   // memory charged per file besides its content
constexpr size_t kMaxFiles = 2048;
constexpr size_t kCardInfoLength = 15;

uint16_t fid_of(std::span<const uint8_t> d) { return static_cast<uint16_t>(d[0] << 8 | d[1]); }

bool is_below(Card &card, uint32_t id, uint32_t ancestor) {
  for (uint32_t cur = id; cur != 0;) {
    if (cur == ancestor) return true;
    const CardFile *f = find_file(card, cur);
    cur = f ? f->parent : 0;
  }
  return false;
}

// Removes `root` (when remove_root) or only its descendants.
void remove_subtree(Card &card, uint32_t root, bool remove_root) {
  std::vector<uint32_t> gone;
  for (const CardFile &f : card.files)
    if ((f.id != root || remove_root) && is_below(card, f.id, root)) gone.push_back(f.id);
  auto is_gone = [&](uint32_t id) { return std::find(gone.begin(), gone.end(), id) != gone.end(); };
  std::erase_if(card.files, [&](const CardFile &f) { return is_gone(f.id); });
  std::erase_if(card.session.user_verified, is_gone);
  if (is_gone(card.session.current_ef)) card.session.current_ef = 0;
  if (is_gone(card.session.current_df)) card.session.current_df = kMfId;
}

}  // namespace

void reset_file_tree(Card &card) {
  CardFile mf;
  mf.id = kMfId;
  mf.kind = FileKind::df;
  mf.fid = kMfFid;
  card.files.assign(1, mf);
  card.next_id = kMfId + 1;
  card.session.current_df = kMfId;
  card.session.current_ef = 0;
  card.session.user_verified.clear();
}

CardFile *find_file(Card &card, uint32_t id) {
  for (CardFile &f : card.files)
    if (f.id == id) return &f;
  return nullptr;
}

const CardFile *find_file(const Card &card, uint32_t id) {
  for (const CardFile &f : card.files)
    if (f.id == id) return &f;
  return nullptr;
}

CardFile *find_child(Card &card, uint32_t parent, uint16_t fid) {
  for (CardFile &f : card.files)
    if (f.parent == parent && f.fid == fid && f.id != kMfId) return &f;
  return nullptr;
}

CardFile *current_ef(Card &card) {
  return card.session.current_ef ? find_file(card, card.session.current_ef) : nullptr;
}

uint32_t pin_owner_df(Card &card, uint32_t df) {
  for (uint32_t cur = df; cur != 0;) {
    for (const CardFile &f : card.files)
      if (f.parent == cur && f.kind == FileKind::key && f.key_type == kKeyFilePins) return cur;
    const CardFile *d = find_file(card, cur);
    cur = d ? d->parent : 0;
  }
  return 0;
}

bool private_key_allowed(Card &card, const CardFile &key_file) {
  if (key_file.parent == kMfId) return true;
  const uint32_t app = pin_owner_df(card, key_file.parent);
  const auto &v = card.session.user_verified;
  return app != 0 && std::find(v.begin(), v.end(), app) != v.end();
}

bool key_descriptor_ok(uint8_t key_type, std::span<const uint8_t> d) {
  const auto size_byte = [&] { return d[kKeyDescriptorSizeByte]; };
  switch (key_type) {
    case kKeyFileRsaPublic:
      return d.size() == 14 && (size_byte() == kRsaSize1024 || size_byte() == kRsaSize2048);
    case kKeyFileRsaPrivate:
      return d.size() == 10 && (size_byte() == kRsaSize1024 || size_byte() == kRsaSize2048);
    case kKeyFileSm2Public:
      return d.size() == 14 && size_byte() == kSm2Size256;
    case kKeyFileSm2Private:
      return d.size() == 10 && size_byte() == kSm2Size256;
    default:
      return true;
  }
}

size_t rsa_file_bytes(const CardFile &f) {
  return f.descriptor.size() > kKeyDescriptorSizeByte &&
                 f.descriptor[kKeyDescriptorSizeByte] == kRsaSize2048
             ? 256
             : 128;
}

size_t used_space(const Card &card) {
  size_t used = 0;
  for (const CardFile &f : card.files) used += kFileOverhead + f.data.size();
  return used;
}

Reply cmd_select(Card &card, const Apdu &a) {
  Session &s = card.session;
  if (a.p1 == 0x00) {
    if (!a.data.empty() && (a.data.size() != 2 || fid_of(a.data) != kMfFid))
      return status(sw::kNotFound);
    s.current_df = kMfId;
    s.current_ef = 0;
    return status(sw::kOk);
  }
  if (a.p1 != 0x01 && a.p1 != 0x02) return status(sw::kWrongP1P2);
  if (a.data.size() != 2) return status(sw::kWrongLength);
  CardFile *f = find_child(card, s.current_df, fid_of(a.data));
  const bool want_df = a.p1 == 0x01;
  if (!f || (f->kind == FileKind::df) != want_df) return status(sw::kNotFound);
  if (want_df) {
    s.current_df = f->id;
    s.current_ef = 0;
  } else {
    s.current_ef = f->id;
  }
  return status(sw::kOk);
}

Reply cmd_read_binary(Card &card, const Apdu &a) {
  if (!a.has_le || !a.data.empty()) return status(sw::kWrongLength);
  CardFile *ef = current_ef(card);
  if (!ef) return status(sw::kNoCurrentEf);
  if (ef->kind != FileKind::ef) return status(sw::kWrongFileType);
  const size_t offset = static_cast<size_t>(a.p1) << 8 | a.p2;
  if (offset >= ef->data.size()) return status(sw::kOffset);
  const size_t count = std::min<size_t>(a.le, ef->data.size() - offset);
  Reply r;
  r.data.assign(ef->data.begin() + offset, ef->data.begin() + offset + count);
  r.sw = count < a.le ? sw::kEndOfFile : sw::kOk;
  return r;
}

Reply cmd_update_binary(Card &card, const Apdu &a) {
  if (a.data.empty() || a.has_le) return status(sw::kWrongLength);
  CardFile *ef = current_ef(card);
  if (!ef) return status(sw::kNoCurrentEf);
  if (ef->kind != FileKind::ef) return status(sw::kWrongFileType);
  const size_t offset = static_cast<size_t>(a.p1) << 8 | a.p2;
  const size_t end = offset + a.data.size();
  if (end > kMaxEfSize) return status(sw::kNoSpace);
  if (end > ef->data.size()) {
    // EFs grow on write: the size field of a descriptor is where a file starts.
    const size_t growth = end - ef->data.size();
    if (used_space(card) + growth > kCapacity) return status(sw::kNoSpace);
    ef->data.resize(end, 0xFF);
  }
  std::copy(a.data.begin(), a.data.end(), ef->data.begin() + offset);
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_create_file(Card &card, const Apdu &a) {
  if (!card.session.authenticated) return status(sw::kSecurity);
  if (a.p1 != 0x00) return status(sw::kWrongP1P2);
  const uint8_t p2 = a.p2;
  const bool key = p2 == kKeyFilePins || p2 == kKeyFileRsaPublic || p2 == kKeyFileRsaPrivate ||
                   p2 == kKeyFileSm2Public || p2 == kKeyFileSm2Private;
  if (p2 != 0x00 && p2 != 0x01 && p2 != 0x03 && !key) return status(sw::kWrongP1P2);
  const size_t need = p2 == 0x03 ? 4 : 2;
  if (a.data.size() < need) return status(sw::kWrongLength);
  const uint16_t fid = fid_of(a.data);
  Reply r;
  r.changed = true;
  if (p2 == 0x00) {  // the MF: a new, empty card
    if (fid != kMfFid) return status(sw::kWrongData);
    reset_file_tree(card);
    card.files[0].descriptor.assign(a.data.begin(), a.data.end());
    return r;
  }
  if (fid == kMfFid) return status(sw::kWrongData);
  if (key && !key_descriptor_ok(p2, a.data)) return status(sw::kWrongData);
  Session &s = card.session;
  if (find_child(card, s.current_df, fid)) return status(sw::kExists);
  if (card.files.size() >= kMaxFiles) return status(sw::kNoSpace);
  const size_t size = p2 == 0x03 ? (static_cast<size_t>(a.data[2]) << 8 | a.data[3]) : 0;
  if (size > kMaxEfSize || used_space(card) + kFileOverhead + size > kCapacity)
    return status(sw::kNoSpace);
  CardFile f;
  f.id = card.next_id++;
  f.parent = s.current_df;
  f.fid = fid;
  f.descriptor.assign(a.data.begin(), a.data.end());
  if (p2 == 0x01) {
    f.kind = FileKind::df;
  } else if (p2 == 0x03) {
    f.kind = FileKind::ef;
    f.data.assign(size, 0xFF);
  } else {
    f.kind = FileKind::key;
    f.key_type = p2;
  }
  // The new file becomes the current one (a new DF the current DF).
  if (f.kind == FileKind::df) {
    s.current_df = f.id;
    s.current_ef = 0;
  } else {
    s.current_ef = f.id;
  }
  card.files.push_back(std::move(f));
  return r;
}

Reply cmd_delete_file(Card &card, const Apdu &a) {
  if (card.knobs.delete_6d00) return status(sw::kNoIns);
  if (!card.session.authenticated) return status(sw::kSecurity);
  if (a.p1 != 0x00 || a.p2 != 0x00) return status(sw::kWrongP1P2);
  if (a.data.size() != 2) return status(sw::kWrongLength);
  CardFile *f = find_child(card, card.session.current_df, fid_of(a.data));
  if (!f) return status(sw::kNotFound);
  remove_subtree(card, f->id, true);
  Reply r;
  r.changed = true;
  return r;
}

Reply cmd_prepare_create(Card &card, const Apdu &a) {
  if (!card.session.authenticated) return status(sw::kSecurity);
  if (a.p1 != 0x00 || a.p2 != 0x00) return status(sw::kWrongP1P2);
  remove_subtree(card, card.session.current_df, false);
  card.session.current_ef = 0;
  Reply r;
  r.changed = true;
  return r;
}

// Card information: bytes 5-7 and 11-14 carry the total and free memory in the two layouts the
// host libraries decode (total: r7 bits 0-1 and 6-7 high, r5 r6 / r11 r12; free: r7 bits 2-3
// and 4-5 high, r13 r14).
Reply cmd_card_info(Card &card, const Apdu &a) {
  if (a.p1 != 0x00 || a.p2 != 0x00) return status(sw::kWrongP1P2);
  const size_t used = std::min(used_space(card), kCapacity);
  const uint32_t total = kCapacity, free = static_cast<uint32_t>(kCapacity - used);
  const uint8_t th = (total >> 16) & 3, fh = (free >> 16) & 3;
  Reply r;
  r.data.assign(kCardInfoLength, 0);
  r.data[0] = 0x01;  // version 1.0
  r.data[5] = (total >> 8) & 0xFF;
  r.data[6] = total & 0xFF;
  r.data[7] = static_cast<uint8_t>(th | fh << 2 | fh << 4 | th << 6);
  r.data[11] = (total >> 8) & 0xFF;
  r.data[12] = total & 0xFF;
  r.data[13] = (free >> 8) & 0xFF;
  r.data[14] = free & 0xFF;
  return r;
}

}  // namespace keysim
