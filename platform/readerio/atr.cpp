// Answer-to-reset parsing (ISO/IEC 7816-3) down to the compact-TLV historical bytes.
#include "atr.h"

namespace readerio {

namespace {

constexpr uint8_t kCompactTlv = 0x80;        // category: compact-TLV objects only
constexpr uint8_t kCompactTlvStatus = 0x00;  // category: objects, then 3 status bytes
constexpr size_t kStatusSize = 3;
constexpr uint8_t kTagCardIssuerData = 0x5;

// The historical bytes of a well-formed answer-to-reset.
std::optional<std::span<const uint8_t>> historical_bytes(std::span<const uint8_t> atr) {
  if (atr.size() < 2 || (atr[0] != 0x3B && atr[0] != 0x3F)) return std::nullopt;
  const size_t k = atr[1] & 0x0F;
  uint8_t indicators = atr[1] >> 4;
  size_t at = 2;
  bool tck = false;
  while (true) {
    // TA, TB, TC are skipped; TD names the protocol and the next indicators.
    for (int bit = 0; bit < 3; ++bit)
      if (indicators & (1 << bit)) ++at;
    if (!(indicators & 0x8)) break;
    if (at >= atr.size()) return std::nullopt;
    const uint8_t td = atr[at++];
    if ((td & 0x0F) != 0) tck = true;
    indicators = td >> 4;
  }
  if (at + k + (tck ? 1 : 0) != atr.size()) return std::nullopt;
  if (tck) {
    uint8_t check = 0;
    for (size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
    if (check != 0) return std::nullopt;
  }
  return atr.subspan(at, k);
}

}  // namespace

std::optional<CardData> atr_card_data(std::span<const uint8_t> atr) {
  const auto hist = historical_bytes(atr);
  if (!hist || hist->empty()) return std::nullopt;
  std::span<const uint8_t> objects;
  if ((*hist)[0] == kCompactTlv)
    objects = hist->subspan(1);
  else if ((*hist)[0] == kCompactTlvStatus && hist->size() >= 1 + kStatusSize)
    objects = hist->subspan(1, hist->size() - 1 - kStatusSize);
  else
    return std::nullopt;
  for (size_t at = 0; at < objects.size();) {
    const uint8_t tag = objects[at] >> 4;
    const size_t length = objects[at] & 0x0F;
    if (at + 1 + length > objects.size()) return std::nullopt;
    if (tag == kTagCardIssuerData && length == kCardDataSize) {
      CardData data;
      for (size_t i = 0; i < kCardDataSize; ++i) data[i] = objects[at + 1 + i];
      return data;
    }
    at += 1 + length;
  }
  return std::nullopt;
}

}  // namespace readerio
