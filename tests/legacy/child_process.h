// This test program, or its twin of another build, started as a separate process with other
// arguments.
#pragma once

#include <string>
#include <vector>

// The full file name of this program's executable; empty when the system gives none.
std::string SelfPath();
// Runs `program` with `args` and waits for it; its exit code, or -1 when it could not be started.
int RunProgram(const std::string &program, const std::vector<std::string> &args);
// RunProgram of this program's executable.
int RunSelf(const std::vector<std::string> &args);
