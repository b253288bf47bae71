// Test helpers for the card emulator: command building, a formatted key with one application
// and one container, and host-side computations done with OpenSSL directly.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "builtin_key.h"
#include "cardcrypto_fixture.h"
#include "emulator.h"

namespace keysim::test {

// Hexadecimal text to bytes; spaces are ignored.
inline Bytes hex(std::string_view s) {
  std::string t;
  for (char c : s)
    if (c != ' ') t.push_back(c);
  return cc::test::hex(t);
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Short command: header, Lc and data when data is not empty, Le when le >= 0.
inline Bytes apdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes &data = {},
                  int le = -1) {
  Bytes c = {cla, ins, p1, p2};
  if (!data.empty()) {
    c.push_back(static_cast<uint8_t>(data.size()));
    c.insert(c.end(), data.begin(), data.end());
  }
  if (le >= 0) c.push_back(static_cast<uint8_t>(le));
  return c;
}

// Extended command: 00 Lc(2) data, then Le(2) when le >= 0; Le alone when data is empty.
inline Bytes apdu_ext(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes &data,
                      int le = -1) {
  Bytes c = {cla, ins, p1, p2, 0};
  if (!data.empty()) {
    c.push_back(static_cast<uint8_t>(data.size() >> 8));
    c.push_back(static_cast<uint8_t>(data.size()));
    c.insert(c.end(), data.begin(), data.end());
  }
  if (le >= 0) {
    c.push_back(static_cast<uint8_t>(le >> 8));
    c.push_back(static_cast<uint8_t>(le));
  }
  return c;
}

inline Bytes reversed(const Bytes &b) { return Bytes(b.rbegin(), b.rend()); }

// Host-side single DES through OpenSSL's legacy provider.
inline Bytes des(bool encrypt, const Bytes &key8, const Bytes &in) {
  static OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER *deflt = OSSL_PROVIDER_load(nullptr, "default");
  (void)legacy;
  (void)deflt;
  Bytes out(in.size() + 8);
  EVP_CIPHER *c = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  int n = 0, f = 0;
  EVP_CipherInit_ex2(ctx, c, key8.data(), nullptr, encrypt ? 1 : 0, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + n, &f);
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(c);
  out.resize(in.size());
  return out;
}

inline Bytes xor_bytes(Bytes a, const Bytes &b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
  return a;
}

// ISO 9797-1 MAC over msg with block 0 as the initial value: chained single DES under K1, then
// (flag 0) D(K2), E(K1). First 4 bytes.
inline Bytes host_mac(const Bytes &key16, const Bytes &msg, bool two_key) {
  const Bytes k1(key16.begin(), key16.begin() + 8), k2(key16.begin() + 8, key16.end());
  Bytes c(msg.begin(), msg.begin() + 8);
  for (size_t i = 8; i + 8 <= msg.size(); i += 8)
    c = des(true, k1, xor_bytes(c, Bytes(msg.begin() + i, msg.begin() + i + 8)));
  if (two_key) c = des(true, k1, des(false, k2, c));
  return Bytes(c.begin(), c.begin() + 4);
}

inline Bytes md5(const Bytes &in) {
  Bytes out(16);
  unsigned n = 0;
  EVP_Digest(in.data(), in.size(), out.data(), &n, EVP_md5(), nullptr);
  return out;
}

// Administrator key: MD5 of the PIN text padded with 0x1E to 16 bytes.
inline Bytes admin_key(const std::string &pin) {
  Bytes b(pin.begin(), pin.end());
  b.resize(16, 0x1E);
  return md5(b);
}

// A key driven through the commands the host library sends.
struct Key {
  Card card;
  Key(uint32_t serial = 12345678) {
    card_init_blank(card, serial);
    card_reset(card);
  }
  Answer tx(const Bytes &c) { return card_transmit(card, c); }
  uint16_t sw(const Bytes &c) { return tx(c).sw; }
  // Sends the command and fetches an answer announced by 61xx, as a T=0 host does.
  Bytes ok(const Bytes &c) {
    Answer a = tx(c);
    for (int i = 0; i < 8 && (a.sw >> 8) == 0x61; ++i)
      a = tx(Bytes{0x00, 0xC0, 0x00, 0x00, static_cast<uint8_t>(a.sw)});
    EXPECT_EQ(a.sw, 0x9000) << "command " << testing::PrintToString(c);
    return a.data;
  }
  Bytes challenge(int n) { return ok(apdu(0x00, 0x84, 0x00, 0x00, {}, n)); }
  // External authentication with the built-in key.
  uint16_t auth_builtin() {
    const Bytes c = challenge(8);
    return sw(
        apdu(0x00, 0x82, 0x00, 0x00, des(true, Bytes(kBuiltinAuthKey, kBuiltinAuthKey + 8), c)));
  }
  void select_mf() { ok({0x00, 0xA4, 0x00, 0x00, 0x00}); }
  uint16_t select(uint8_t p1, uint16_t fid) {
    return sw(apdu(0x00, 0xA4, p1, 0x00, {uint8_t(fid >> 8), uint8_t(fid)}));
  }
  void create(uint8_t p2, const Bytes &desc) { ok(apdu(0x80, 0xE0, 0x00, p2, desc)); }
  // Whole-file write: 2-byte length, then 128-byte pieces.
  void write_file(const Bytes &data) {
    ok(apdu(0x00, 0xD6, 0x00, 0x00, {uint8_t(data.size() >> 8), uint8_t(data.size())}));
    for (size_t p = 0; p < data.size(); p += 128) {
      const size_t n = std::min<size_t>(128, data.size() - p);
      const size_t off = p + 2;
      ok(apdu(0x00, 0xD6, uint8_t(off >> 8), uint8_t(off),
              Bytes(data.begin() + p, data.begin() + p + n)));
    }
  }
  Bytes read_file() {
    const Bytes l = ok(apdu(0x00, 0xB0, 0x00, 0x00, {}, 2));
    const size_t len = size_t(l[0]) << 8 | l[1];
    Bytes out;
    for (size_t p = 0; p < len; p += 128) {
      const size_t n = std::min<size_t>(128, len - p), off = p + 2;
      const Bytes piece = ok(apdu(0x00, 0xB0, uint8_t(off >> 8), uint8_t(off), {}, int(n)));
      out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
  }
};

inline const Bytes kUserPin = hex("123456789012");  // a derived user PIN (6 bytes)
inline const std::string kAdminPin = "admin1234";
constexpr uint8_t kUserRetries = 5, kAdminRetries = 3;

// Card format as the host library does it (device key text "1234567812345678").
inline void format(Key &k) {
  ASSERT_EQ(k.auth_builtin(), 0x9000);
  k.create(0x00, hex("3F 00 10 00 00 00 00 08 00 00 00"));
  k.ok(apdu(0x80, 0xD4, 0x01, 0x00, cat({hex("000000"), Bytes(16, '1')})));
  k.create(0x10, hex("0001000000000000000000000000"));
  k.create(0x11, hex("00020000000000000000"));
  k.create(0x10, hex("0003010000000000000000000000"));
  k.create(0x11, hex("00040100000000000000"));
  k.create(0x18, hex("0005010000000000000000000000"));
  k.create(0x19, hex("00060100000000000000"));
  k.create(0x03, hex("EF010200000000000000000000"));
  Bytes dir(1156, 0);
  std::copy_n("VARN", 4, dir.begin());
  k.write_file(dir);
}

// Application AD01 with its directory files and PIN keys, as the host builds it: a DF that
// exists already is emptied with PREPARE CREATE. Leaves AD01 selected.
inline void create_application(Key &k, const Bytes &user_pin = kUserPin,
                               const std::string &admin_pin = kAdminPin) {
  k.select_mf();
  if (k.select(0x01, 0xAD01) == 0x9000) {
    ASSERT_EQ(k.auth_builtin(), 0x9000);
    k.ok(hex("BFCE0000 00"));
  } else {
    k.create(0x01, hex("AD 01 E8 00 00 00 00 00 00 01 00 00 0F"));
  }
  k.create(0x03, hex("EF010400000000000000000000"));
  k.write_file(Bytes(620, 0));
  k.create(0x03, hex("EF020600000000000000000000"));
  k.write_file(Bytes(1040, 0));
  k.create(0x0B, hex("00 14 01 00 01 20 00 0F"));
  const Bytes ak = admin_key(admin_pin);
  k.ok(apdu(0x80, 0xD4, 0x00, 0x14,
            cat({hex("1F001A010F0F"), {kUserRetries, 0}, user_pin, hex("FFFF")})));
  k.ok(apdu(0x80, 0xD4, 0x00, 0x14, cat({hex("011A00000000"), {kAdminRetries, 0}, ak})));
  k.ok(apdu(0x80, 0xD4, 0x00, 0x14, cat({hex("010100000000"), {kAdminRetries, 0}, ak})));
}

// Container DF11 in AD01 with its certificate EFs; leaves DF11 selected.
inline void create_container(Key &k) {
  k.select_mf();
  ASSERT_EQ(k.select(0x01, 0xAD01), 0x9000);
  ASSERT_NE(k.select(0x01, 0xDF11), 0x9000);
  k.create(0x01, hex("DF 11 1C 00 00 00 00 00 00 01 00 00 0F"));
  k.create(0x03, hex("EF010800000000000000000000"));
  k.create(0x03, hex("EF020800000000000000000000"));
}

// A formatted key with AD01 and container DF11 (selected), authenticated.
struct Provisioned : testing::Test {
  Key key;
  void SetUp() override {
    format(key);
    create_application(key);
    create_container(key);
  }
  uint16_t verify_plain(const Bytes &pin) { return key.sw(apdu(0x00, 0x20, 0x00, 0x00, pin)); }
};

}  // namespace keysim::test
