// Card data in the answer-to-reset of a PC/SC key.
//
// A key of this kind carries the six descriptor bytes that follow the name (the card serial
// least significant byte first, then two more bytes; the PIN protection is keyed to them) in
// the historical bytes of its answer-to-reset, since PC/SC passes on nothing else of the card
// without a command:
//   - a well-formed answer-to-reset (ISO/IEC 7816-3: TS 3B or 3F, T0, the interface bytes its
//     indicators announce, K historical bytes, and TCK, whose check must hold, when a protocol
//     other than T=0 is indicated);
//   - historical bytes in compact-TLV form (ISO/IEC 7816-4): category indicator 80 (or 00 with
//     the three status bytes last), then data objects of a tag nibble and a length nibble;
//   - the object "card issuer's data", tag 5, of length 6, holds the six bytes.
// Example (serial 12345678, bytes 10 01): 3B 88 80 01 80 56 4E 61 BC 00 10 01 5D.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace readerio {

inline constexpr size_t kCardDataSize = 6;
using CardData = std::array<uint8_t, kCardDataSize>;

// The six bytes, or nullopt when the answer-to-reset is malformed or carries none.
std::optional<CardData> atr_card_data(std::span<const uint8_t> atr);

}  // namespace readerio
