// Descriptor texts.
#include "descriptor.h"

#include <vector>

#include "atr.h"

namespace readerio {

namespace {
constexpr size_t kMaxDescriptorText = 64;
constexpr size_t kMaxNameBytes = kMaxDescriptorText / 2 - 1 - 4 - 2;
constexpr char kHex[] = "0123456789ABCDEF";
}  // namespace

bool valid_descriptor(std::string_view text) {
  if (text.empty() || text.size() > kMaxDescriptorText || text.size() % 2) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::string pcsc_descriptor(std::string_view reader, std::span<const uint8_t> atr) {
  std::vector<uint8_t> bytes;
  for (char c : reader.substr(0, kMaxNameBytes))
    if (c != 0) bytes.push_back(uint8_t(c));
  bytes.push_back(0);
  if (const auto data = atr_card_data(atr)) {
    bytes.insert(bytes.end(), data->begin(), data->end());
  } else {
    uint32_t h = 2166136261u;
    for (uint8_t b : atr) h = (h ^ b) * 16777619u;
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(h >> (8 * i)));
    bytes.push_back(uint8_t(atr.size()));
    bytes.push_back(0);
  }
  std::string text;
  for (uint8_t b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

}  // namespace readerio
