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
  bool pin_protected = true;        // PIN mode answer: protected (true) or plain
  bool extended_length = true;      // extended-length commands accepted
  uint32_t max_data_length = 1024;  // M reported for the reader
  bool chaining = false;            // answers with data as 61xx + GET RESPONSE
  bool sm2_c1c2c3 = false;          // decryption expects C1 C2 C3 instead of C1 C3 C2
  bool delete_6d00 = false;         // DELETE FILE answers 6D00
  bool builtin_key = true;          // EXTERNAL AUTHENTICATE accepts the built-in key
  uint64_t fault_sw_at = 0;         // command number (Stats::total) answered fault_sw; 0 off
  uint16_t fault_sw = 0;
  uint64_t fault_reader_at = 0;  // command number that fails at the reader; 0 off
  uint64_t remove_at = 0;        // command number at which the key is removed; 0 off
};

enum class FileKind : uint8_t { df = 1, ef = 2, key = 3 };

// CREATE FILE P2 of the key file kinds.
inline constexpr uint8_t kKeyFilePins = 0x0B;
inline constexpr uint8_t kKeyFileRsaPublic = 0x10;
inline constexpr uint8_t kKeyFileRsaPrivate = 0x11;
inline constexpr uint8_t kKeyFileSm2Public = 0x18;
inline constexpr uint8_t kKeyFileSm2Private = 0x19;

// Key file descriptors: the file identifier, then the size byte (RSA: 00 1024 bits, 01 2048
// bits; SM2: 01, 256 bits), then zeros and attributes to a fixed length per kind.
inline constexpr size_t kKeyDescriptorSizeByte = 2;
inline constexpr uint8_t kRsaSize1024 = 0x00;
inline constexpr uint8_t kRsaSize2048 = 0x01;
inline constexpr uint8_t kSm2Size256 = 0x01;

// One key of a PIN key file (WRITE KEY 80 D4 00 fid): the user PIN (kind 1F) or an
// administrator key (kind 01), addressed by kind and id.
struct KeyEntry {
  uint8_t kind = 0;
  uint8_t id = 0;
  Bytes header;       // the record bytes before the value, as written
  uint8_t limit = 0;  // retry limit
  uint8_t remaining = 0;
  Bytes value;  // user PIN: 6 derived bytes (+ padding); administrator: 16-byte key
};

// RSA components by their card number (1 e, 2 n, 3 p, 4 q, 5 qinv, 6 dp, 7 dq), big-endian at
// their full width; index 0 unused. Empty = not present.
using RsaParts = std::array<Bytes, 8>;

// One node of the file tree. `id` is unique within the card and never reused; the MF has id 1
// and parent 0.
struct CardFile {
  uint32_t id = 0;
  uint32_t parent = 0;
  FileKind kind = FileKind::ef;
  uint16_t fid = 0;            // file identifier as sent, first byte high
  uint8_t key_type = 0;        // CREATE FILE P2 of key files (kKeyFile*)
  Bytes descriptor;            // CREATE FILE data as received
  Bytes data;                  // EF content
  std::vector<KeyEntry> keys;  // PIN key file
  RsaParts rsa;                // RSA key file
  Bytes sm2_public;            // SM2 public key file: x || y (64 bytes)
  Bytes sm2_private;           // SM2 private key file: d (32 bytes)
};

struct CommandStats {
  uint64_t count = 0;
  uint64_t ok = 0;  // answered 9000 or 61xx
};

struct Stats {
  uint64_t total = 0;
  std::map<uint16_t, CommandStats> by_command;  // CLA << 8 | INS
};

// Security state and working memory; cleared on reset, not saved.
struct Session {
  uint32_t current_df = 1;
  uint32_t current_ef = 0;  // 0 = none
  Bytes challenge;          // last GET CHALLENGE answer, consumed by its first use
  bool authenticated = false;
  std::vector<uint32_t> user_verified;    // application DFs whose user PIN is verified
  Bytes pending;                          // answer bytes waiting for GET RESPONSE
  RsaParts ext_rsa;                       // last external RSA generation
  Bytes ext_sm2_public, ext_sm2_private;  // last external SM2 generation
};

struct Card {
  uint32_t serial = 0;
  std::string name = "KEYSIM";  // leading text of the descriptor (at most 25 bytes used)
  std::array<uint8_t, 2> descriptor_tail{0x10, 0x01};  // the two bytes after the serial
  Knobs knobs;
  std::vector<CardFile> files;  // the file tree, files[0] is the MF
  uint32_t next_id = 2;
  Bytes device_auth_key;  // 16 bytes; WRITE KEY 80 D4 01 00 replaces it
  Session session;
  Stats stats;
};

}  // namespace keysim
