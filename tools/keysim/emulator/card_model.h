// The card model: file tree, key material, counters, knobs, transient security state and
// statistics of one virtual key. Plain records; the emulator's functions own the logic.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace keysim {

using Bytes = std::vector<uint8_t>;

struct Knobs {
  bool pin_protected = true;       // PIN mode answer: protected (true) or plain
  bool extended_length = true;     // extended-length commands accepted
  uint32_t max_data_length = 1024; // M reported for the reader
  bool chaining = false;           // long answers as 61xx + GET RESPONSE
  bool sm2_c1c2c3 = false;         // decryption expects C1 C2 C3 instead of C1 C3 C2
  bool delete_6d00 = false;        // DELETE FILE answers 6D00
  bool builtin_key = true;         // EXTERNAL AUTHENTICATE accepts the built-in key
  uint64_t fault_sw_at = 0;        // command number (Stats::total) that gets fault_sw; 0 off
  uint16_t fault_sw = 0;
  uint64_t fault_reader_at = 0;    // command number that fails at the reader; 0 off
  uint64_t remove_at = 0;          // command number at which the key is removed; 0 off
};

enum class FileKind : uint8_t { df = 1, ef = 2, key = 3 };

// One node of the file tree. `id` is unique within the card and never reused; the MF has id 1
// and parent 0.
struct CardFile {
  uint32_t id = 0;
  uint32_t parent = 0;
  FileKind kind = FileKind::ef;
  uint16_t fid = 0;     // file identifier as sent, first byte high
  uint8_t key_type = 0; // CREATE FILE P2 for key files (0B, 10, 11, 18, 19)
  Bytes descriptor;     // CREATE FILE data as received
  Bytes data;           // EF content / key file content
  Bytes name;           // DF name (application DFs)
};

struct CommandStats {
  uint64_t count = 0;
  uint64_t ok = 0;  // answered 9000 or 61xx
};

struct Stats {
  uint64_t total = 0;
  std::map<uint16_t, CommandStats> by_command;  // CLA << 8 | INS
};

// Security state; cleared on reset, not saved.
struct Session {
  uint32_t current_df = 1;
  uint32_t current_ef = 0;
  Bytes challenge;          // last GET CHALLENGE answer
  bool authenticated = false;
  std::vector<uint32_t> user_verified;   // DF ids of applications whose user PIN is verified
  std::vector<uint32_t> admin_verified;  // DF ids with the administrator key verified
  Bytes pending;            // answer bytes waiting for GET RESPONSE
};

struct Card {
  uint32_t serial = 0;
  std::string name = "KEYSIM";  // leading text of the descriptor
  std::array<uint8_t, 2> descriptor_tail{};  // the two bytes after the serial
  Knobs knobs;
  std::vector<CardFile> files;  // the file tree, files[0] is the MF
  uint32_t next_id = 2;
  Bytes device_auth_key;        // 16 bytes once installed by WRITE KEY 80 D4 01 00
  Session session;
  Stats stats;
};

}  // namespace keysim
