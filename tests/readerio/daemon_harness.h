// A keysimd for the readerio tests. Natively the test starts its own (on a free port, in a
// fresh state directory); on Windows the test driver has started a native one and left its
// port in the file named by KEYSIM_PORT_FILE. Either way KEYSIM_ADDR is set for readerio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol.h"

namespace riotest {

struct Daemon {
  std::string addr;   // 127.0.0.1:port
  std::string state;  // state directory (native)
  long pid = 0;       // process id (native, when started by the test)
};

// Starts keysimd on state (created when missing) with extra arguments; false on failure.
bool start_daemon(Daemon &d, const std::string &state, const std::vector<std::string> &extra = {});
// SIGTERM and wait; true when it exited cleanly.
bool stop_daemon(Daemon &d);
// The daemon of this test run: started natively, or the one of KEYSIM_PORT_FILE.
bool shared_daemon(Daemon &d);
std::string make_temp_dir();
void remove_dir(const std::string &dir);

void set_addr_env(const std::string &addr);  // "" unsets KEYSIM_ADDR

// One control request; returns the result byte (0xFF when the daemon did not answer).
// create takes the serial in *number and its flags byte in create_flags.
uint8_t control(const std::string &addr, keysim::proto::Op op,
                const std::vector<std::string> &texts, const uint32_t *number = nullptr,
                uint8_t create_flags = 0);

// A key name no earlier call of this process returned.
std::string fresh_key_name(const char *stem);
inline std::string reader_of(const std::string &key) {
  return std::string(keysim::proto::kReaderPrefix) + key;
}

}  // namespace riotest
