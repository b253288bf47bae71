#include "apdu.h"

namespace keysim {

namespace {
constexpr size_t kHeader = 4;
}

std::optional<Apdu> parse_apdu(std::span<const uint8_t> c) {
  if (c.size() < kHeader) return std::nullopt;
  Apdu a;
  a.cla = c[0];
  a.ins = c[1];
  a.p1 = c[2];
  a.p2 = c[3];
  const size_t n = c.size();
  if (n == kHeader) return a;  // case 1
  if (n == kHeader + 1) {      // case 2 short
    a.has_le = true;
    a.le = c[4] == 0 ? 256 : c[4];
    return a;
  }
  if (c[4] != 0) {  // case 3 or 4 short
    const size_t lc = c[4];
    if (n == kHeader + 1 + lc) {
      a.data = c.subspan(5, lc);
      return a;
    }
    if (n == kHeader + 2 + lc) {
      a.data = c.subspan(5, lc);
      a.has_le = true;
      a.le = c[n - 1] == 0 ? 256 : c[n - 1];
      return a;
    }
    return std::nullopt;
  }
  // Extended forms: a zero byte, then two length bytes.
  if (n < kHeader + 3) return std::nullopt;
  a.extended = true;
  const size_t l = static_cast<size_t>(c[5]) << 8 | c[6];
  if (n == kHeader + 3) {  // case 2 extended
    a.has_le = true;
    a.le = l == 0 ? 65536 : static_cast<uint32_t>(l);
    return a;
  }
  if (l == 0) return std::nullopt;
  if (n == kHeader + 3 + l) {  // case 3 extended
    a.data = c.subspan(7, l);
    return a;
  }
  if (n == kHeader + 5 + l) {  // case 4 extended
    a.data = c.subspan(7, l);
    a.has_le = true;
    const size_t le = static_cast<size_t>(c[n - 2]) << 8 | c[n - 1];
    a.le = le == 0 ? 65536 : static_cast<uint32_t>(le);
    return a;
  }
  return std::nullopt;
}

}  // namespace keysim
