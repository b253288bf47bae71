// One command in, one answer out: faults, form checks, dispatch to the command families,
// 61xx chaining with GET RESPONSE, statistics. Also reset, descriptor and blank card.
#include "emulator.h"
#include "internal.h"

namespace keysim {

namespace {

using Handler = Reply (*)(Card &, const Apdu &);

struct Route {
  uint8_t cla, ins;
  Handler handler;
};

constexpr Route kRoutes[] = {
    {0x00, 0xA4, cmd_select},        {0x00, 0xB0, cmd_read_binary},
    {0x00, 0xD6, cmd_update_binary}, {0x00, 0x84, cmd_get_challenge},
    {0x00, 0x82, cmd_external_auth}, {0x00, 0x20, cmd_verify},
    {0x80, 0x22, cmd_pin_mode},      {0x80, 0x5E, cmd_change_pin},
    {0x80, 0xE0, cmd_create_file},   {0x80, 0xE4, cmd_delete_file},
    {0x80, 0xD4, cmd_write_key},     {0x84, 0xD4, cmd_write_key_mac},
    {0x80, 0xD0, cmd_rsa_generate},  {0x80, 0xD8, cmd_rsa_read},
    {0x80, 0xD2, cmd_rsa_write},     {0x80, 0xF6, cmd_rsa_public},
    {0x80, 0xF8, cmd_rsa_private},   {0x80, 0x32, cmd_sm2_generate},
    {0x80, 0x34, cmd_sm2_read},      {0x80, 0x36, cmd_sm2_load},
    {0x80, 0x38, cmd_sm2_encrypt},   {0x80, 0x3A, cmd_sm2_decrypt},
    {0x80, 0x3C, cmd_sm2_sign},      {0x80, 0x3E, cmd_sm2_verify},
    {0x80, 0x42, cmd_sm2_agree},     {0x80, 0xF3, cmd_symmetric},
    {0x80, 0xF1, cmd_symmetric},     {0xBF, 0xCE, cmd_prepare_create},
    {0xBF, 0xC8, cmd_card_info},
};

constexpr uint8_t kGetResponse = 0xC0;
constexpr uint16_t kMoreData = 0x6100;
constexpr uint16_t kReaderFailure = 0xFF00;
constexpr uint16_t kRemoved = 0x6F00;
constexpr uint8_t kFactoryDeviceKey[16] = {'1', '2', '3', '4', '5', '6', '7', '8',
                                           '1', '2', '3', '4', '5', '6', '7', '8'};
constexpr size_t kMaxName = 25;  // 25 + 1 + 6 bytes = 64 hexadecimal characters

uint16_t more_data(size_t left) {
  return static_cast<uint16_t>(kMoreData | (left >= 256 ? 0 : left));
}

Reply get_response(Card &card, const Apdu &a) {
  Bytes &p = card.session.pending;
  if (a.p1 != 0 || a.p2 != 0) return status(sw::kWrongP1P2);
  if (p.empty()) return status(sw::kConditions);
  if (!a.has_le || !a.data.empty()) return status(sw::kWrongLength);
  const size_t n = std::min<size_t>(a.le, p.size());
  Reply r;
  r.data.assign(p.begin(), p.begin() + n);
  p.erase(p.begin(), p.begin() + n);
  r.sw = p.empty() ? sw::kOk : more_data(p.size());
  return r;
}

Reply dispatch(Card &card, const Apdu &a) {
  if (a.cla == 0x00 && a.ins == kGetResponse) return get_response(card, a);
  card.session.pending.clear();
  bool cla_known = false;
  for (const Route &r : kRoutes) {
    if (r.cla != a.cla) continue;
    cla_known = true;
    if (r.ins == a.ins) return r.handler(card, a);
  }
  return status(cla_known ? sw::kNoIns : sw::kNoCla);
}

// A fault knob that fires on this command (and is cleared), or none.
bool take_fault(uint64_t &at, uint64_t n) {
  if (at == 0 || at != n) return false;
  at = 0;
  return true;
}

void count(Card &card, std::span<const uint8_t> command, uint16_t s) {
  if (command.size() < 2) return;
  CommandStats &c = card.stats.by_command[static_cast<uint16_t>(command[0] << 8 | command[1])];
  ++c.count;
  if (s == sw::kOk || (s & 0xFF00) == kMoreData) ++c.ok;
}

}  // namespace

void card_init_blank(Card &card, uint32_t serial) {
  card = Card{};
  card.serial = serial;
  card.device_auth_key.assign(std::begin(kFactoryDeviceKey), std::end(kFactoryDeviceKey));
  reset_file_tree(card);
}

Answer card_transmit(Card &card, std::span<const uint8_t> command) {
  Answer ans;
  Knobs &k = card.knobs;
  const uint64_t n = ++card.stats.total;
  bool fired = true;
  if (take_fault(k.remove_at, n)) {
    ans.sw = kRemoved;
    ans.event = Event::removed;
  } else if (take_fault(k.fault_reader_at, n)) {
    ans.sw = kReaderFailure;
    ans.event = Event::reader_failure;
  } else if (take_fault(k.fault_sw_at, n)) {
    ans.sw = k.fault_sw;
  } else {
    fired = false;
  }
  if (fired) {
    ans.changed = true;  // a fired fault knob is cleared in the saved state too
    count(card, command, ans.sw);
    return ans;
  }
  const auto apdu = parse_apdu(command);
  Reply r;
  if (!apdu || (apdu->extended && !k.extended_length)) {
    r = status(sw::kWrongLength);
  } else {
    r = dispatch(card, *apdu);
    // T=0: data for a command that carries no Le, or any data with the chaining knob on,
    // is announced by 61xx and fetched with GET RESPONSE.
    const bool announce = k.chaining || !apdu->has_le;
    if (announce && r.sw == sw::kOk && !r.data.empty() && apdu->ins != kGetResponse) {
      card.session.pending = std::move(r.data);
      r.data.clear();
      r.sw = more_data(card.session.pending.size());
    }
  }
  ans.data = std::move(r.data);
  ans.sw = r.sw;
  ans.changed = r.changed;
  count(card, command, ans.sw);
  return ans;
}

std::vector<uint8_t> card_answer_to_reset(const Card &card) {
  // TS 3B (direct convention), T0 88 (TD1 follows, eight historical bytes), TD1 80 (T=0, TD2
  // follows), TD2 01 (T=1); historical bytes in compact-TLV form: category indicator 80, then
  // card issuer's data (tag 5, six bytes): the serial least significant byte first and the two
  // descriptor bytes after it, the six bytes that follow the name in the descriptor; TCK.
  std::vector<uint8_t> atr = {0x3B, 0x88, 0x80, 0x01, 0x80, 0x56};
  for (int i = 0; i < 4; ++i) atr.push_back(static_cast<uint8_t>(card.serial >> (8 * i)));
  atr.insert(atr.end(), card.descriptor_tail.begin(), card.descriptor_tail.end());
  uint8_t tck = 0;
  for (size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
  atr.push_back(tck);
  return atr;
}

std::vector<uint8_t> card_reset(Card &card) {
  card.session = Session{};
  return card_answer_to_reset(card);
}

std::string card_descriptor_text(const Card &card) {
  std::vector<uint8_t> d(card.name.begin(),
                         card.name.begin() + std::min(card.name.size(), kMaxName));
  d.push_back(0);
  for (int i = 0; i < 4; ++i) d.push_back(static_cast<uint8_t>(card.serial >> (8 * i)));
  d.insert(d.end(), card.descriptor_tail.begin(), card.descriptor_tail.end());
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : d) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

uint32_t card_max_data_length(const Card &card) { return card.knobs.max_data_length; }

}  // namespace keysim
