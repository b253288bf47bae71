// The fuzz targets of the virtual key's own parsers (native only, as the virtual key is).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace fuzz::keysim_inputs {

// keysimd_frames: request frames as a client sends them (a u32 big-endian body length, then
// the body), each served by keysimd's request dispatcher against a fresh key set in memory:
// key "blank" (id 0, a blank key), key "fuzz" (id 1, the provisioned key of
// fuzz/keysim/provisioned.key), both inserted, and "spare.key" in the state folder, not yet
// loaded. A length of 0, above the bound or past the input ends the run, as it ends the
// connection.
void RunFrames(std::span<const std::uint8_t> input);

// keysim_state: a replay stream whose first chunk is a key state file, which the emulator
// loads; the later chunks are commands to the loaded key. A first chunk whose last line is not
// an "end" line gets a right one, so runs reach the lines and not only the digest.
void RunStateFile(std::span<const std::uint8_t> input);

// A folder of this process for the files the targets write, removed at exit.
const std::string &ScratchDir();

// A file's bytes as text; empty when it cannot be read.
std::string ReadText(const std::filesystem::path &path);

// A finding: prints `what` and aborts unless `ok`.
void Require(bool ok, const char *what);

}  // namespace fuzz::keysim_inputs
