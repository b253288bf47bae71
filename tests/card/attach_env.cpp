// Windows: DllMain does not run for a program, so the test program records its own module as
// the library does at process attach. Natively the load-time constructor has done so.
#include <gtest/gtest.h>

#include "platform/os/os.h"
#include "skf/card/binding.h"

#if defined(_WIN32)
namespace {

const char kAnchor = 0;

struct AttachAsLibrary : ::testing::Environment {
  void SetUp() override { SetReaderLibPath(os::ModuleOf(&kAnchor), 1, nullptr); }
};

const auto *const kAttach = ::testing::AddGlobalTestEnvironment(new AttachAsLibrary);

}  // namespace
#endif
