// tokenbase computes the MAC of its administrator-key and unblock commands with the hex-text
// MAC routines; the command takes the first 4 bytes.
#include <cstring>

#include "skf/card/variant.h"
#include "skf/legacy/hex_des.h"

int QX_CommandMac(const std::uint8_t *message, int length, std::uint8_t mac[4],
                  const std::uint8_t key[16], std::uint8_t flag) {
  std::uint8_t out[kMacOverHexTextOut] = {};
  MacOverHexText(message, length, out, key, flag);
  std::memcpy(mac, out, 4);
  return 0;
}
