// keysimd wire protocol: field codec.
#include "protocol.h"

namespace keysim::proto {

bool valid_key_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxName) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

void put_be32(uint8_t out[4], uint32_t v) {
  out[0] = uint8_t(v >> 24);
  out[1] = uint8_t(v >> 16);
  out[2] = uint8_t(v >> 8);
  out[3] = uint8_t(v);
}

uint32_t get_be32(const uint8_t in[4]) {
  return uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
}

void Writer::u8(uint8_t v) { body.push_back(v); }

void Writer::u16(uint16_t v) {
  body.push_back(uint8_t(v >> 8));
  body.push_back(uint8_t(v));
}

void Writer::u32(uint32_t v) {
  uint8_t b[4];
  put_be32(b, v);
  body.insert(body.end(), b, b + 4);
}

void Writer::text(std::string_view s) {
  u16(uint16_t(s.size()));
  body.insert(body.end(), s.begin(), s.begin() + uint16_t(s.size()));
}

void Writer::blob(std::span<const uint8_t> b) {
  u32(uint32_t(b.size()));
  body.insert(body.end(), b.begin(), b.end());
}

uint8_t Reader::u8() {
  if (!ok || body.size() - pos < 1) return ok = false, 0;
  return body[pos++];
}

uint16_t Reader::u16() {
  if (!ok || body.size() - pos < 2) return ok = false, 0;
  uint16_t v = uint16_t(body[pos] << 8 | body[pos + 1]);
  pos += 2;
  return v;
}

uint32_t Reader::u32() {
  if (!ok || body.size() - pos < 4) return ok = false, 0;
  uint32_t v = get_be32(body.data() + pos);
  pos += 4;
  return v;
}

std::string Reader::text(size_t max_len) {
  size_t n = u16();
  if (!ok || n > max_len || body.size() - pos < n) return ok = false, std::string();
  std::string s(reinterpret_cast<const char *>(body.data() + pos), n);
  pos += n;
  return s;
}

Bytes Reader::blob(size_t max_len) {
  size_t n = u32();
  if (!ok || n > max_len || body.size() - pos < n) return ok = false, Bytes();
  Bytes b(body.begin() + pos, body.begin() + pos + n);
  pos += n;
  return b;
}

}  // namespace keysim::proto
