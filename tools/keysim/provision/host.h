// The host side of provisioning: sends commands to an emulator card the way the host library's
// transport does (GET RESPONSE on 61xx) and records the first failure.
#pragma once

#include <cstdint>
#include <string>

#include "emulator.h"

namespace keysim::provision {

struct Host {
  Card &card;
  std::string error;  // first failure; every later call is skipped

  bool ok() const { return error.empty(); }
  // Sends one command; true when it ends with `want`. The answer data go to *out.
  bool send(const Bytes &command, Bytes *out = nullptr, uint16_t want = 0x9000,
            const char *what = nullptr);
  // Status word of one command (0 after a reader failure or removal), never an error.
  uint16_t try_send(const Bytes &command, Bytes *out = nullptr);

  bool select_mf();
  bool select(uint8_t p1, uint16_t fid, bool must = true);
  bool create(uint8_t p2, const Bytes &descriptor);
  bool write_file(const Bytes &data);                // length-prefixed, 128-byte pieces
  bool authenticate(const std::string &device_key);  // built-in key, then the device key
};

Bytes short_apdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes &data = {},
                 int le = -1);
Bytes ext_apdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, int le);

}  // namespace keysim::provision
