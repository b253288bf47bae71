// Descriptor texts: validation, and the one made up for a PC/SC reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace readerio {

// 2..64 upper-case hexadecimal characters, an even count.
bool valid_descriptor(std::string_view text);

// Descriptor of a PC/SC key: the reader name (at most 25 bytes), a NUL, a 32-bit number taken
// from the answer-to-reset (FNV-1a), least significant byte first, then the answer-to-reset's
// length and a zero byte. The same key in the same reader gives the same text.
std::string pcsc_descriptor(std::string_view reader, std::span<const uint8_t> atr);

}  // namespace readerio
