// Descriptor texts: validation, and the one of a key in a PC/SC reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace readerio {

// 2..64 upper-case hexadecimal characters, an even count.
bool valid_descriptor(std::string_view text);

// Descriptor of a PC/SC key: the reader name (at most 25 bytes), a NUL, then the six bytes the
// key carries in its answer-to-reset (atr.h: the serial and two more bytes, as the card keys
// its PIN protection to them). A key that carries none gets a 32-bit number taken from the
// answer-to-reset (FNV-1a), least significant byte first, its length and a zero byte: the
// same key in the same reader gives the same text.
std::string pcsc_descriptor(std::string_view reader, std::span<const uint8_t> atr);

}  // namespace readerio
