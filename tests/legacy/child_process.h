// This test program started again as a separate process with other arguments.
#pragma once

#include <string>
#include <vector>

// Runs this program's executable with `args` and waits for it; its exit code, or -1 when it
// could not be started.
int RunSelf(const std::vector<std::string> &args);
