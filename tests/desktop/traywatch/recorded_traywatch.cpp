// traywatch.exe as the tests run it: the program itself, with the shell recorder in place
// before it starts. The calls go on to Wine's notification area and into the file named by
// TRAYWATCH_RECORD (when set).
#include <cstdlib>

#include "shell_recorder.h"

namespace {

const bool recording = [] {
  const char *log = std::getenv("TRAYWATCH_RECORD");
  traytest::StartRecording(true, TRUE, log ? log : "");
  return true;
}();

}  // namespace
