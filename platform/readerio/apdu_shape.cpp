// Ne of a command APDU.
#include "apdu_shape.h"

namespace readerio {

size_t expected_length(std::span<const uint8_t> c) {
  const size_t n = c.size();
  if (n <= 4) return 0;                  // case 1 (or too short to be a command)
  if (n == 5) return c[4] ? c[4] : 256;  // case 2 short
  if (c[4] != 0) {                       // short Lc
    size_t lc = c[4];
    if (n == 5 + lc) return 0;                          // case 3 short
    if (n == 6 + lc) return c[n - 1] ? c[n - 1] : 256;  // case 4 short
    return 0;
  }
  if (n < 7) return 0;  // 00 and one more byte: no valid form
  if (n == 7) {         // case 2 extended
    size_t le = size_t(c[5]) << 8 | c[6];
    return le ? le : 65536;
  }
  size_t lc = size_t(c[5]) << 8 | c[6];
  if (lc == 0) return 0;
  if (n == 7 + lc) return 0;  // case 3 extended
  if (n == 9 + lc) {          // case 4 extended
    size_t le = size_t(c[n - 2]) << 8 | c[n - 1];
    return le ? le : 65536;
  }
  return 0;
}

}  // namespace readerio
