// Session logs in the replay format of the fuzz targets: per key, a file <dir>/<name>.replay
// of chunks (u16 big-endian length, then the bytes): first the answer-to-reset, then every
// answer the key gave, its data followed by its status word; a reader failure is the chunk
// FF 01, a removal FF 02. The file starts with the key's first command after the daemon
// started logging.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "keys.h"
#include "protocol.h"

namespace keysimd {

// Appends the answer to one command (result ok: data and status word) to the key's log.
// Nothing is logged when `dir` is empty; a log that cannot be written is reported once on
// stderr and the command is served all the same.
void log_answer(const std::string &dir, Key &key, keysim::proto::Result result,
                std::span<const uint8_t> data, uint16_t sw);

}  // namespace keysimd
