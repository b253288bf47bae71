// Card-side cryptography of the virtual key, computed with OpenSSL.
//
// All byte strings are big-endian unless stated otherwise. Every function returns true on
// success and false on any failure (bad length, OpenSSL error); outputs are written only on
// success unless stated otherwise. Every function may be called from several threads at once.
// No card logic lives here.
//
// Stand-in ciphers: card modes 0 ("SSF33") and 1 ("SM1") name ciphers whose definitions are not
// public. The virtual key replaces them with stand-ins that have the same shape (128-bit block,
// 16-byte key, ECB and CBC) but are NOT those ciphers:
//   standin_ssf33: SM4 under (key XOR kSsf33StandinPad)
//   standin_sm1:   SM4 under (key XOR kSm1StandinPad)
// Results of these modes agree only with another virtual key, never with a real card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace keysim::cc {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kSm2Bytes = 32;    // field element, scalar, hash size
inline constexpr size_t kSm2C1Bytes = 64;  // x || y, no 04 prefix
inline constexpr size_t kSm2C3Bytes = 32;  // SM3 hash of x2 || M || y2
inline constexpr size_t kSymBlock = 16;    // SM4 and stand-in block size
inline constexpr size_t kSymKey = 16;

// Card mode byte (P2 of the symmetric commands): low bits the cipher, bit 7 CBC.
inline constexpr uint8_t kModeSsf33 = 0x00;  // standin_ssf33
inline constexpr uint8_t kModeSm1 = 0x01;    // standin_sm1
inline constexpr uint8_t kModeSm4 = 0x02;
inline constexpr uint8_t kModeCipherMask = 0x7F;
inline constexpr uint8_t kModeCbc = 0x80;

// Stand-in key pads: the ASCII texts "SSF33-STANDIN" and "SM1-STANDIN", zero-padded to 16.
inline constexpr uint8_t kSsf33StandinPad[kSymKey] = {'S', 'S', 'F', '3', '3', '-', 'S', 'T',
                                                      'A', 'N', 'D', 'I', 'N', 0,   0,   0};
inline constexpr uint8_t kSm1StandinPad[kSymKey] = {'S', 'M', '1', '-', 'S', 'T', 'A', 'N',
                                                    'D', 'I', 'N', 0,   0,   0,   0,   0};

// Fills out[0..n) from OpenSSL's generator.
bool random_bytes(uint8_t *out, size_t n);

// Single DES (8-byte key) or triple DES EDE (16- or 24-byte key) in ECB over one or more whole
// 8-byte blocks; out has in.size() bytes. Single DES needs OpenSSL's "legacy" provider: when it
// cannot be loaded every single-DES call fails.
bool des_ecb(bool encrypt, std::span<const uint8_t> key, std::span<const uint8_t> in, uint8_t *out);
// True when single DES is usable (the legacy provider loaded).
bool des_available();

// DES MAC as the host library computes it: block 0 of msg is the initial chaining value (used
// unchanged), blocks 1..n-1 are chained under K1 = key[0..8), trailing bytes past the last whole
// block are ignored, no padding is added. flag 0: final D(K2) then E(K1) (ISO 9797-1 alg. 3);
// any other flag: single-DES CBC-MAC under K1 (alg. 1). mac = first 4 bytes. msg <= 128 bytes.
bool retail_mac(const uint8_t key[16], std::span<const uint8_t> msg, int flag, uint8_t mac[4]);

void md5(std::span<const uint8_t> in, uint8_t out[16]);
void sm3(std::span<const uint8_t> in, uint8_t out[32]);

// Card symmetric cipher by mode byte (see kMode*); iv16 is read in CBC mode only (may be null in
// ECB). in.size() must be a multiple of 16; out has in.size() bytes and may equal in.data().
// Unknown cipher bits fail.
bool card_sym(uint8_t mode, bool encrypt, const uint8_t key[16], const uint8_t *iv16,
              std::span<const uint8_t> in, uint8_t *out);

// RSA key: big-endian numbers as OpenSSL gives them (no leading zero bytes, so p, q, dp, dq
// and qinv may be shorter than half the modulus; leading zero bytes are accepted on input).
struct RsaKey {
  Bytes n, e, d, p, q, dp, dq, qinv;
};
// bits 1024 or 2048, e = 65537.
bool rsa_generate(int bits, RsaKey &out);
// Raw private operation with CRT (p, q, dp, dq, qinv; d and e are not used; n, when not empty,
// must equal p q). in must be < n; out has the length of n in bytes.
bool rsa_private_crt(const RsaKey &k, std::span<const uint8_t> in, Bytes &out);
// Raw public operation in^e mod n (n odd); in must be < n; out has the length of n in bytes
// (leading zero bytes of n not counted).
bool rsa_public(const Bytes &n, const Bytes &e, std::span<const uint8_t> in, Bytes &out);

// SM2 on the recommended curve.
struct Sm2Point {
  uint8_t x[32], y[32];
};
// d in [1, n-2].
bool sm2_generate(uint8_t d[32], Sm2Point &pub);
// Fails for d = 0 or d >= n - 1.
bool sm2_public_from_private(const uint8_t d[32], Sm2Point &pub);
// True when the point lies on the curve (and is not the point at infinity).
bool sm2_point_valid(const Sm2Point &p);
// Signature on the 32-byte e as given (no Z and no hash inside).
bool sm2_sign(const uint8_t d[32], const uint8_t e[32], uint8_t r[32], uint8_t s[32]);
bool sm2_verify(const Sm2Point &pub, const uint8_t e[32], const uint8_t r[32], const uint8_t s[32]);
// Encryption with SM3 KDF. Output C1 C2 C3 (64 + msg.size() + 32 bytes). msg must not be empty.
bool sm2_encrypt(const Sm2Point &pub, std::span<const uint8_t> msg, Bytes &c1c2c3);
// Decryption of C1 C3 C2. Fails on a bad C1, a C3 mismatch or an all-zero KDF output.
bool sm2_decrypt(const uint8_t d[32], std::span<const uint8_t> c1c3c2, Bytes &msg);
// Decryption of the C1 C2 C3 order.
bool sm2_decrypt_c1c2c3(const uint8_t d[32], std::span<const uint8_t> c1c2c3, Bytes &msg);
// Reorders C1 C2 C3 into C1 C3 C2 and back; false when shorter than 96 bytes.
bool sm2_c1c2c3_to_c1c3c2(std::span<const uint8_t> in, Bytes &out);
bool sm2_c1c3c2_to_c1c2c3(std::span<const uint8_t> in, Bytes &out);
// Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA); id at most 8191 bytes.
bool sm2_z(const Sm2Point &pub, std::span<const uint8_t> id, uint8_t z[32]);
// e = SM3(Z || msg): what a signer hashes before sm2_sign.
bool sm2_e(const uint8_t z[32], std::span<const uint8_t> msg, uint8_t e[32]);
// Key exchange (w = 127, cofactor 1); sponsor = initiator (A), else responder (B). own_z and
// peer_z are the two Z values (the KDF takes ZA || ZB with ZA the sponsor's). Only x of
// own_eph_pub is used (the card receives only x); own_pub takes part through own_z only. The
// peer's points must lie on the curve. klen >= 1 bytes of key.
bool sm2_agree(bool sponsor, const uint8_t own_d[32], const Sm2Point &own_pub,
               const uint8_t own_eph_d[32], const Sm2Point &own_eph_pub, const Sm2Point &peer_pub,
               const Sm2Point &peer_eph_pub, const uint8_t own_z[32], const uint8_t peer_z[32],
               size_t klen, Bytes &key);

}  // namespace keysim::cc
