// Symmetric commands: 80 F3 (ECB: key, data) and 80 F1 (CBC: key, IV, data). P1 00 encrypts,
// 01 decrypts; P2 is the card mode byte, whose low bits name the cipher.
#include "cardcrypto.h"
#include "internal.h"

namespace keysim {

Reply cmd_symmetric(Card &card, const Apdu &a) {
  (void)card;
  const bool cbc = a.ins == 0xF1;
  if (a.p1 > 1) return status(sw::kWrongP1P2);
  const uint8_t cipher = a.p2 & cc::kModeCipherMask;
  if (cipher != cc::kModeSsf33 && cipher != cc::kModeSm1 && cipher != cc::kModeSm4)
    return status(sw::kWrongP1P2);
  const size_t head = cc::kSymKey + (cbc ? cc::kSymBlock : 0);
  if (a.data.size() <= head || (a.data.size() - head) % cc::kSymBlock != 0)
    return status(sw::kWrongLength);
  const uint8_t mode = cbc ? (cipher | cc::kModeCbc) : cipher;
  const uint8_t *key = a.data.data();
  const uint8_t *iv = cbc ? key + cc::kSymKey : nullptr;
  const auto in = a.data.subspan(head);
  Reply r;
  r.data.resize(in.size());
  if (!cc::card_sym(mode, a.p1 == 0, key, iv, in, r.data.data())) return status(sw::kWrongData);
  return r;
}

}  // namespace keysim
