// One key as a virtual card of pcscd's vpcd driver. vpcd listens (127.0.0.1:35963 by
// default); the card connects and answers frames of a 2-byte big-endian length and a body:
// a 1-byte body is a control (0x00 power off, 0x01 power on, 0x02 reset, 0x04 send the
// answer-to-reset), any longer body a command APDU answered with data and status word.
#pragma once

#include <atomic>
#include <string>

#include "keys.h"

namespace keysimd {

// Keeps the key attached until stop is set: connects while the key is inserted (retrying
// while vpcd is not there), drops the connection when the key is removed.
void run_vpcd(Store &store, const std::string &key_name, const std::string &addr,
              const std::atomic<bool> &stop);

}  // namespace keysimd
