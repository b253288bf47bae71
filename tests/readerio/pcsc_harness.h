// pcscd with the vpcd driver for the PC/SC tests, and a virtual key attached to it. pcscd is one
// per machine (its socket in /run/pcscd) and so is vpcd's port: the test program first moves
// into network and mount namespaces of its own (a loopback, /run/pcscd and /dev/shm of its
// own) and starts its pcscd there, so that runs side by side never meet. Needs root.
#pragma once

#include <cstdint>
#include <string>

#include "daemon_harness.h"

namespace riotest {

// Once per program: the namespaces and pcscd. "" when running, else why not (pcscd or vpcd
// missing: `installed` false).
std::string private_pcscd(bool &installed);

// A key of a keysimd of its own, attached to vpcd; the daemon is stopped on destruction.
class VpcdKey {
 public:
  // serial: the card number; provisioned as keysimctl create --provisioned makes it. Starts
  // once the reader holds no card.
  bool start(uint32_t serial, bool provisioned);
  ~VpcdKey();
  const std::string &addr() const { return daemon_.addr; }
  static constexpr char kName[] = "vcard";

 private:
  Daemon daemon_;
  std::string dir_;
};

// The first reader PC/SC lists with a card (not one of the virtual-key backend), after waiting
// up to 10 s for one; "" when none came.
std::string wait_for_pcsc_card();
// Waits up to 10 s for no PC/SC reader to hold a card.
bool wait_for_no_pcsc_card();

}  // namespace riotest
