// The libFuzzer entry of one target (FUZZ_OPS: its operation table; FUZZ_CALLER_DATA: whether
// the first chunk carries the caller's data; FUZZ_LIST_FROM_STREAM: whether the reader list
// comes from the stream): the input is a replay stream.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/families.h"
#include "fuzz/replay/replay_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  replay::Install({data, size}, FUZZ_LIST_FROM_STREAM ? replay::ReaderList::from_stream
                                                      : replay::ReaderList::fixed);
  fuzz::RunInput(FUZZ_OPS(), FUZZ_CALLER_DATA != 0, replay::AnswerToReset(), replay::kReaderName);
  return 0;
}
