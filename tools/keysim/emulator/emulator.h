// Virtual key: the card emulator. One Card is the whole state of one key; the daemon owns one
// per key and calls card_transmit for every command. Plain functions, no exceptions.
//
// Interface history: first version. Later changes stay source-compatible (fields and functions
// are only added).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card_model.h"

namespace keysim {

// What happened besides the answer: the reader failed (readerio reports FFxx), or the key was
// pulled out (the daemon drops it from the reader list and fails later commands on the handle).
enum class Event { none, reader_failure, removed };

struct Answer {
  std::vector<uint8_t> data;  // response data without the status word
  uint16_t sw = 0x9000;
  Event event = Event::none;
  bool changed = false;  // persistent state changed: the daemon saves the key's file
};

// Factory-fresh key: empty MF, no keys, default knobs, statistics cleared.
void card_init_blank(Card &card, uint32_t serial);

// One command APDU (short or extended form) in, one answer out. Never throws; malformed input
// gets an ISO status word.
Answer card_transmit(Card &card, std::span<const uint8_t> command);

// Answer-to-reset; clears the security state (authentication, verified PINs, current DF = MF,
// pending GET RESPONSE data).
std::vector<uint8_t> card_reset(Card &card);

// The answer-to-reset that card_reset gives, without resetting anything.
std::vector<uint8_t> card_answer_to_reset(const Card &card);

// Descriptor text: at most 64 upper-case hexadecimal characters whose bytes are the key's name,
// a NUL, the serial least significant byte first and two more bytes.
std::string card_descriptor_text(const Card &card);

// M, the reader's maximum data length in one command (u32 at byte 344 of readerio's reader
// information record).
uint32_t card_max_data_length(const Card &card);

// State file of one key: written to a temporary file beside it, then renamed over it. A file
// that is truncated, corrupt or of another format version is refused with a message in *err.
bool card_save(const Card &card, const std::string &path, std::string *err);
bool card_load(Card &card, const std::string &path, std::string *err);
// The closing line of a state file whose lines before it are `body`: its line count and digest.
std::string card_state_end_line(std::string_view body);

// Knobs by name (see README "Card model"):
//   pin_mode     plain | protected        answer of the PIN mode command
//   extended     on | off                 extended-length commands accepted
//   max_data     decimal number           M of the reader information record
//   chaining     on | off                 long answers sent as 61xx + GET RESPONSE
//   sm2_order    c1c3c2 | c1c2c3          order of SM2 ciphertext expected by decryption
//   delete_6d00  on | off                 DELETE FILE answers 6D00
//   builtin_key  on | off                 EXTERNAL AUTHENTICATE accepts the built-in key
//   fault_sw     N:XXXX | off             status word XXXX (hex) instead of the N-th command
//   fault_reader N | off                  reader failure at the N-th command
//   remove_at    N | off                  key removed at the N-th command
// N counts commands from the moment the knob is set (1 = the next command); faults fire once.
bool card_set_knob(Card &card, std::string_view name, std::string_view value, std::string *err);

// Readable dump of the file tree, keys, counters and knobs; per-command statistics.
std::string card_dump(const Card &card);
std::string card_stats(const Card &card);

}  // namespace keysim
