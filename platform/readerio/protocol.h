// keysimd wire protocol, shared by readerio's virtual-key backend, keysimd and keysimctl.
// A frame is a u32 big-endian body length (1 .. kMaxBody) followed by the body. A request body
// is an op code byte and its fields; a reply body is a result byte and its fields. Fields are
// u8, u16 and u32 big-endian, text (u16 length + bytes) and blob (u32 length + bytes). Every
// length read from the wire is checked against what is left of the body before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keysim::proto {

using Bytes = std::vector<uint8_t>;

// Largest command or answer data: an extended APDU carries at most 65535 data bytes plus a
// 4-byte header, 3 Lc bytes and 2 Le bytes; an answer at most 65536 bytes plus the status word.
inline constexpr size_t kMaxApdu = 65544;
inline constexpr size_t kMaxAnswer = 65536;
inline constexpr size_t kMaxText = 1u << 20;  // dumps and statistics
inline constexpr size_t kMaxBody = kMaxText + 64;
inline constexpr size_t kMaxName = 32;  // key names: [A-Za-z0-9_-]{1,32}

enum class Op : uint8_t {
  // Reader side (readerio).
  list = 0x01,         // -> u16 n, n x text reader name
  open = 0x02,         // text reader name -> u32 key, u32 generation
  transmit = 0x03,     // u32 key, u32 gen, blob command -> u16 sw, blob data
  reset = 0x04,        // u32 key, u32 gen -> blob answer-to-reset
  descriptor = 0x05,   // u32 key, u32 gen -> text descriptor
  reader_info = 0x06,  // u32 key, u32 gen -> u32 M
  // Control side (keysimctl).
  keys = 0x10,      // -> u16 n, n x (text key name, u8 inserted)
  insert = 0x11,    // text key name (loads <state>/<name>.key when not yet known)
  remove = 0x12,    // text key name
  knob = 0x13,      // text key name, text knob, text value
  dump = 0x14,      // text key name -> blob text
  stats = 0x15,     // text key name -> blob text
  create = 0x16,    // text key name, u32 serial, u8 flags (1 = provisioned): new key, inserted
  shutdown = 0x17,  // stops the daemon after the reply
};

enum class Result : uint8_t {
  ok = 0,
  no_key = 1,          // no such reader or key
  removed = 2,         // the key behind the handle was removed (or re-inserted since open)
  reader_failure = 3,  // the key's reader failed this command
  bad_request = 4,     // malformed frame or field
  failed = 5,          // operation refused; a text field gives the reason
};

// Reader names of virtual keys are this prefix followed by the key name.
inline constexpr std::string_view kReaderPrefix = "KeySim ";

bool valid_key_name(std::string_view name);

// Builds a body field by field.
struct Writer {
  Bytes body;
  void u8(uint8_t v);
  void u16(uint16_t v);
  void u32(uint32_t v);
  void text(std::string_view s);  // s.size() <= 0xFFFF
  void blob(std::span<const uint8_t> b);
};

// Reads a body field by field; any overrun sets ok = false and yields zeros / empty values.
struct Reader {
  std::span<const uint8_t> body;
  size_t pos = 0;
  bool ok = true;
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  std::string text(size_t max_len);
  Bytes blob(size_t max_len);
  bool done() const { return ok && pos == body.size(); }
};

// Frame header codec.
void put_be32(uint8_t out[4], uint32_t v);
uint32_t get_be32(const uint8_t in[4]);

}  // namespace keysim::proto
