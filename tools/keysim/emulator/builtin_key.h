// The library's built-in card authentication key: EXTERNAL AUTHENTICATE accepts the DES
// encryption of the last challenge under this key (when the builtin_key knob is on).
#pragma once

#include <cstdint>

namespace keysim {

inline constexpr uint8_t kBuiltinAuthKey[8] = {0x4B, 0x53, 0x49, 0x4D, 0x2D, 0x41, 0x55, 0x54};

}  // namespace keysim
