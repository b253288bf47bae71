// The children of the process tests: this test program started again (child_process.h) to work
// through tokenbase in a process of its own. base_child.cpp holds the programs' main, which runs
// the child when the arguments say so and the tests otherwise.
#pragma once

#include <string>
#include <vector>

#include "host_library.h"

namespace legacytest {

// The names of the application's files through `lib`, joined by commas; "(failed)".
std::string FileNames(const host::Library &lib, HAPPLICATION app);

// The arguments that start a child: `mode` on the key in `reader`, with `argument`.
std::vector<std::string> ChildArgs(const std::string &reader, const char *mode,
                                   const std::string &argument = "");
// The child's work when `argv` holds such arguments; else -1. The child connects through
// tokenbase (its first call) and, but for "connect", opens the application; "enum" lists its
// files, to be `argument`. "die-holding" takes no card step: it takes tokenbase's key-file
// record as its holder, leaves in it, half copied, a table of one file "half" for the key with
// serial text `argument`, and ends holding it. Exit code 0 when done, 1 when the list differs, 2
// on a failed step.
int RunChild(int argc, char **argv);

}  // namespace legacytest
