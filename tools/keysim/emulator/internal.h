// Shared declarations of the emulator's command handlers (not part of the public interface).
#pragma once

#include <cstdint>
#include <span>

#include "apdu.h"
#include "card_model.h"

namespace keysim {

// Status words the card answers.
namespace sw {
inline constexpr uint16_t kOk = 0x9000;
inline constexpr uint16_t kEndOfFile = 0x6282;
inline constexpr uint16_t kAuthFailed = 0x6300;
inline constexpr uint16_t kWrongLength = 0x6700;
inline constexpr uint16_t kWrongFileType = 0x6981;
inline constexpr uint16_t kSecurity = 0x6982;
inline constexpr uint16_t kBlocked = 0x6983;
inline constexpr uint16_t kConditions = 0x6985;
inline constexpr uint16_t kNoCurrentEf = 0x6986;
inline constexpr uint16_t kWrongData = 0x6A80;
inline constexpr uint16_t kNotFound = 0x6A82;
inline constexpr uint16_t kNoSpace = 0x6A84;
inline constexpr uint16_t kWrongP1P2 = 0x6A86;
inline constexpr uint16_t kDataNotFound = 0x6A88;
inline constexpr uint16_t kExists = 0x6A89;
inline constexpr uint16_t kOffset = 0x6B00;
inline constexpr uint16_t kNoIns = 0x6D00;
inline constexpr uint16_t kNoCla = 0x6E00;
inline constexpr uint16_t kRetries = 0x63C0;  // | remaining tries
}  // namespace sw

// The result of one command handler.
struct Reply {
  Bytes data;
  uint16_t sw = sw::kOk;
  bool changed = false;  // persistent state changed
};

inline Reply status(uint16_t s) { return Reply{{}, s, false}; }

// File tree (files.cpp).
inline constexpr uint32_t kMfId = 1;
inline constexpr uint16_t kMfFid = 0x3F00;
inline constexpr size_t kMaxEfSize = 0xFFFF;  // largest EF, offsets are P1 P2 (16 bits)
void reset_file_tree(Card &card);
CardFile *find_file(Card &card, uint32_t id);
const CardFile *find_file(const Card &card, uint32_t id);
CardFile *find_child(Card &card, uint32_t parent, uint16_t fid);
CardFile *current_ef(Card &card);
// The nearest DF from `df` up to the MF that holds a PIN key file; 0 when none.
uint32_t pin_owner_df(Card &card, uint32_t df);
// The key file of a private-key operation may be used: MF work keys always, container keys
// once the user PIN of their application is verified.
bool private_key_allowed(Card &card, const CardFile &key_file);
size_t used_space(const Card &card);
// Whether a key file descriptor (CREATE FILE data) fits its kind; the PIN key file takes any.
bool key_descriptor_ok(uint8_t key_type, std::span<const uint8_t> descriptor);
// The modulus length in bytes an RSA key file was created for: 128 or 256.
size_t rsa_file_bytes(const CardFile &f);

// Command families.
Reply cmd_select(Card &card, const Apdu &a);
Reply cmd_read_binary(Card &card, const Apdu &a);
Reply cmd_update_binary(Card &card, const Apdu &a);
Reply cmd_create_file(Card &card, const Apdu &a);
Reply cmd_delete_file(Card &card, const Apdu &a);
Reply cmd_prepare_create(Card &card, const Apdu &a);
Reply cmd_card_info(Card &card, const Apdu &a);

Reply cmd_get_challenge(Card &card, const Apdu &a);
Reply cmd_external_auth(Card &card, const Apdu &a);
Reply cmd_pin_mode(Card &card, const Apdu &a);
Reply cmd_verify(Card &card, const Apdu &a);
Reply cmd_change_pin(Card &card, const Apdu &a);
Reply cmd_write_key(Card &card, const Apdu &a);
Reply cmd_write_key_mac(Card &card, const Apdu &a);

Reply cmd_rsa_generate(Card &card, const Apdu &a);
Reply cmd_rsa_read(Card &card, const Apdu &a);
Reply cmd_rsa_write(Card &card, const Apdu &a);
Reply cmd_rsa_public(Card &card, const Apdu &a);
Reply cmd_rsa_private(Card &card, const Apdu &a);

Reply cmd_sm2_generate(Card &card, const Apdu &a);
Reply cmd_sm2_read(Card &card, const Apdu &a);
Reply cmd_sm2_load(Card &card, const Apdu &a);
Reply cmd_sm2_encrypt(Card &card, const Apdu &a);
Reply cmd_sm2_decrypt(Card &card, const Apdu &a);
Reply cmd_sm2_sign(Card &card, const Apdu &a);
Reply cmd_sm2_verify(Card &card, const Apdu &a);
Reply cmd_sm2_agree(Card &card, const Apdu &a);

Reply cmd_symmetric(Card &card, const Apdu &a);

// Byte helpers.
inline Bytes reversed(std::span<const uint8_t> in) { return Bytes(in.rbegin(), in.rend()); }

}  // namespace keysim
