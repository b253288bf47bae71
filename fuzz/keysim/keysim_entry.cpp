// The libFuzzer entry of a virtual-key target: FUZZ_KEYSIM_RUN is its run function.
#include <cstddef>
#include <cstdint>

#include "fuzz/keysim/inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::keysim_inputs::FUZZ_KEYSIM_RUN({data, size});
  return 0;
}
