// Command APDU parsing: short and extended forms (ISO/IEC 7816-4 cases 1 to 4).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace keysim {

struct Apdu {
  uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
  std::span<const uint8_t> data;  // command data (Lc bytes), may be empty
  uint32_t le = 0;                // expected length; 256 or 65536 for a zero Le byte(s)
  bool has_le = false;
  bool extended = false;
};

// The parsed command, or nothing when the bytes form no valid case (answered 6700).
std::optional<Apdu> parse_apdu(std::span<const uint8_t> command);

}  // namespace keysim
