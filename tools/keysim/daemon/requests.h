// One protocol request in, one reply out.
#pragma once

#include <span>

#include "keys.h"
#include "protocol.h"

namespace keysimd {

// Serves a request body; sets *stop for the shutdown op.
keysim::proto::Bytes serve_request(Store &store, std::span<const uint8_t> body, bool *stop);

// One command to a key's card with the daemon's rules: saves the key when the card changed,
// takes it out of the reader list on removal. The caller holds key.lock and has checked
// that the key is inserted.
keysim::proto::Result run_command(Key &key, std::span<const uint8_t> command,
                                  keysim::Answer &answer);

}  // namespace keysimd
