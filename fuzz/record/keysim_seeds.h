// The seeds of the virtual key's targets: sessions with a keysimd that serves the key set of
// the keysimd_frames target, through a proxy that keeps every request frame.
#pragma once

#include <filesystem>

namespace fuzz {

// Records the seeds of keysimd_frames and keysim_state into OUT/<target>/ and replays them;
// the number of sessions that failed.
int RecordKeysimSeeds(const std::filesystem::path &out);

}  // namespace fuzz
