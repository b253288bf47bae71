#include "host.h"

#include <algorithm>
#include <cstdio>

#include "builtin_key.h"
#include "cardcrypto.h"

namespace keysim::provision {

namespace {
constexpr size_t kPiece = 128;
constexpr int kMaxGetResponse = 16;
}  // namespace

Bytes short_apdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes &data, int le) {
  Bytes c = {cla, ins, p1, p2};
  if (!data.empty()) {
    c.push_back(static_cast<uint8_t>(data.size()));
    c.insert(c.end(), data.begin(), data.end());
  }
  if (le >= 0) c.push_back(static_cast<uint8_t>(le));
  return c;
}

Bytes ext_apdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, int le) {
  return {cla, ins, p1, p2, 0, static_cast<uint8_t>(le >> 8), static_cast<uint8_t>(le)};
}

uint16_t Host::try_send(const Bytes &command, Bytes *out) {
  Answer a = card_transmit(card, command);
  for (int i = 0; a.event == Event::none && (a.sw >> 8) == 0x61 && i < kMaxGetResponse; ++i)
    a = card_transmit(card, Bytes{0x00, 0xC0, 0x00, 0x00, static_cast<uint8_t>(a.sw)});
  if (a.event != Event::none) return 0;
  if (out) *out = std::move(a.data);
  return a.sw;
}

bool Host::send(const Bytes &command, Bytes *out, uint16_t want, const char *what) {
  if (!ok()) return false;
  const uint16_t s = try_send(command, out);
  if (s == want) return true;
  char msg[96];
  std::snprintf(msg, sizeof msg, "%s: command %02X %02X %02X %02X answered %04X",
                what ? what : "card", command[0], command[1], command[2], command[3], s);
  error = msg;
  return false;
}

bool Host::select_mf() {
  return send({0x00, 0xA4, 0x00, 0x00, 0x00}, nullptr, 0x9000, "select MF");
}

bool Host::select(uint8_t p1, uint16_t fid, bool must) {
  const Bytes c = short_apdu(0x00, 0xA4, p1, 0x00, {uint8_t(fid >> 8), uint8_t(fid)});
  if (must) return send(c, nullptr, 0x9000, "select");
  return ok() && try_send(c) == 0x9000;
}

bool Host::create(uint8_t p2, const Bytes &descriptor) {
  return send(short_apdu(0x80, 0xE0, 0x00, p2, descriptor), nullptr, 0x9000, "create file");
}

bool Host::write_file(const Bytes &data) {
  const size_t n = data.size();
  if (!send(short_apdu(0x00, 0xD6, 0x00, 0x00, {uint8_t(n >> 8), uint8_t(n)}), nullptr, 0x9000,
            "write file"))
    return false;
  for (size_t p = 0; p < n; p += kPiece) {
    const size_t len = std::min(kPiece, n - p), off = p + 2;
    if (!send(short_apdu(0x00, 0xD6, uint8_t(off >> 8), uint8_t(off),
                         Bytes(data.begin() + p, data.begin() + p + len)),
              nullptr, 0x9000, "write file"))
      return false;
  }
  return true;
}

bool Host::authenticate(const std::string &device_key) {
  if (!ok()) return false;
  Bytes c;
  uint8_t answer[8];
  if (try_send(short_apdu(0x00, 0x84, 0x00, 0x00, {}, 8), &c) == 0x9000 && c.size() == 8 &&
      cc::des_ecb(true, kBuiltinAuthKey, c, answer) &&
      try_send(short_apdu(0x00, 0x82, 0x00, 0x00, Bytes(answer, answer + 8))) == 0x9000)
    return true;
  // The device key: the card's mode-0 encryption of the challenge and eight zero bytes, folded.
  Bytes key(device_key.begin(), device_key.begin() + std::min<size_t>(device_key.size(), 16));
  key.resize(16, 0);
  Bytes enc;
  if (!send(short_apdu(0x00, 0x84, 0x00, 0x00, {}, 8), &c, 0x9000, "challenge") || c.size() != 8)
    return false;
  Bytes data = key;
  data.insert(data.end(), c.begin(), c.end());
  data.resize(32, 0);
  if (!send(short_apdu(0x80, 0xF3, 0x00, 0x00, data, 0x10), &enc, 0x9000, "device key") ||
      enc.size() < 16)
    return false;
  Bytes folded(8);
  for (size_t i = 0; i < 8; ++i) folded[i] = enc[i] ^ enc[i + 8];
  return send(short_apdu(0x00, 0x82, 0x00, 0x00, folded), nullptr, 0x9000, "authentication");
}

}  // namespace keysim::provision
