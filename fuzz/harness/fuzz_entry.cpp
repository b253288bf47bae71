// The libFuzzer entry of one target (FUZZ_OPS: its operation table; FUZZ_CALLER_DATA: whether
// the first chunk carries the caller's data): the input is a replay stream.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/families.h"
#include "fuzz/replay/replay_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  replay::Install({data, size});
  fuzz::RunInput(FUZZ_OPS(), FUZZ_CALLER_DATA != 0, replay::AnswerToReset(), replay::kReaderName);
  return 0;
}
