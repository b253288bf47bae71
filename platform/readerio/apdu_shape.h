// How much response data a command APDU asks for (Ne), from its ISO/IEC 7816-4 form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace readerio {

// Ne of a command: 0 for a command without Le (and for one whose lengths do not add up),
// Le (1..256, 0 meaning 256) in the short form, 1..65536 in the extended form.
size_t expected_length(std::span<const uint8_t> command);

}  // namespace readerio
