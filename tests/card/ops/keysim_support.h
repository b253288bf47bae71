// Control requests to keysimd beyond the shared harness: provisioned keys and statistics.
#pragma once

#include <cstdint>
#include <string>

namespace opsim {

// A new key in the daemon, inserted; provisioned keys carry KEYSIM-APP with an SM2 container
// in DF11 and a 1024-bit RSA container in DF12, PINs 12345678. True on success.
bool CreateKey(const std::string &addr, const std::string &name, std::uint32_t serial,
               bool provisioned);
// How many commands of class and instruction `cla_ins` (CLA << 8 | INS) the key has answered;
// -1 when the statistics cannot be read.
long CommandCount(const std::string &addr, const std::string &name, std::uint16_t cla_ins);

}  // namespace opsim
