// Virtual keys with the layouts the certdesk tests need, written raw through readerio (never
// through the libraries under test), and what the card holds read back the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "virtual_key.h"

namespace certdesk_test {

// The provisioned layout (keysim): application AD01 ("12345678", 10 tries), containers DF11
// (SM2) and DF12 (RSA) with encryption (EF01) and signing (EF02) certificates.
inline constexpr char kProvisionedPin[] = "12345678";
inline constexpr char kWrongPin[] = "11111111";
inline constexpr char kSm2Enc[] = "SM2-CONTAINER encryption";
inline constexpr char kSm2Sign[] = "SM2-CONTAINER signing";
inline constexpr char kRsaEnc[] = "RSA-CONTAINER encryption";
inline constexpr char kRsaSign[] = "RSA-CONTAINER signing";

// A provisioned key labelled `label` (raw bytes, at most 68) and inserted.
std::string ProvisionedKey(const std::string &label);
// Keys in the order of readerio's reader list (device indexes 0, 1, ...).
std::vector<std::string> KeysInDeviceOrder(const std::vector<std::string> &keys);

// The 68-byte label field of the AppDirectory (bytes past `label` zero).
bool SetLabel(const std::string &key, const std::string &label);
// Container entry `entry` of AD01: its certificate flags.
bool SetCertificateFlags(const std::string &key, int entry, bool encryption, bool signing);
// A length-prefixed EF below the MF (path of DFs, then the EF) holding `data`, or marked empty
// (length FFFF) when `empty`.
bool WriteFile(const std::string &key, const std::vector<std::uint16_t> &path,
               const vkey::Bytes &data, bool empty = false);
std::optional<vkey::Bytes> ReadFile(const std::string &key, const std::vector<std::uint16_t> &path);

// The device authentication key replaced by `text` (16 bytes at most; the built-in key
// authenticates the write).
bool SetDeviceKey(const std::string &key, const std::string &text);

// Moves the key's only application to AppDirectory entry 1: DF AD02 with user PIN `pin` and
// `tries` tries, container DF21 holding copies of DF11's certificates; entry 0 freed (DF AD01
// stays on the card, unlisted).
bool MoveApplicationToAd02(const std::string &key, const std::string &pin, int tries);

// A DER certificate for `subject_cn` issued by a fresh CA named `issuer_cn` (Ed25519), with a
// comment of `padding` characters when that is not 0.
vkey::Bytes MakeCertificate(const std::string &subject_cn, const std::string &issuer_cn,
                            std::size_t padding = 0);
// A certificate for `cn` of exactly `size` bytes (its comment as long as it takes).
std::optional<vkey::Bytes> CertificateOfSize(std::size_t size, const std::string &cn);

// The user PIN of application `app` verified raw: 0 right, n > 0 wrong with n tries left, -1
// blocked, -1000 another answer. A right PIN restores the tries.
int RawVerify(const std::string &key, std::uint16_t app, const std::string &pin);
// UserRemainRetry as the application's PIN information records it.
int RecordedTriesLeft(const std::string &key, std::uint16_t app = 0xAD01);

}  // namespace certdesk_test
