// Provisioned virtual keys: drives a blank emulator card with the commands the host library
// sends to format it, create one application and its containers, generate key pairs on the
// card and store certificates, so that tests and the demo start from a known key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator.h"

namespace keysim {

// Container key types as the container directory records them.
inline constexpr int kContainerRsa1024 = 1;
inline constexpr int kContainerRsa2048 = 2;
inline constexpr int kContainerSm2 = 3;

struct ProvisionContainer {
  std::string name;
  int key_type = kContainerSm2;  // kContainer*
  bool certificates = true;      // a certificate for each key pair
};

struct ProvisionPlan {
  std::string device_key = "1234567812345678";  // device authentication key text (<= 16 used)
  std::string app_name = "KEYSIM-APP";
  std::string admin_pin = "12345678";
  std::string user_pin = "12345678";
  uint32_t admin_retries = 10;
  uint32_t user_retries = 10;
  uint32_t create_file_rights = 0xFF;  // everyone
  std::vector<ProvisionContainer> containers = {{"SM2-CONTAINER", kContainerSm2, true},
                                                {"RSA-CONTAINER", kContainerRsa1024, true}};
};

// Formats `card` (which must accept the built-in key or the device key text) and builds the
// application of `plan` in AppDirectory entry 0. Every container gets a signing and an
// encryption key pair generated on the card and, when asked, one certificate per pair issued by
// a throw-away test CA. At most 4 containers. False with a message on the first failing step;
// the card then holds whatever the steps before it built. Leaves the card reset.
bool card_provision(Card &card, const ProvisionPlan &plan, std::string *err);

// The 6-byte user PIN value the card stores for a PIN text (what VERIFY presents).
void derive_user_pin(const std::string &pin, uint8_t out[6]);
// The 16-byte administrator key of an administrator PIN text.
void derive_admin_key(const std::string &pin, uint8_t out[16]);

}  // namespace keysim
