// Key-pair import into the selected container's exchange (encryption) key files.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"
#include "skf/card/rsa_keys.h"

// A DER (PKCS #1) RSAPrivateKey into a record: k = the modulus's significant bits in whole
// bytes, values right-aligned big-endian at their widths (k, 4 or k/2), BitLen = 8 x k. 0, or
// -1 with the record untouched when the bytes are no such key or a component does not fit its
// width. Sizes other than 1024 and 2048 bits are refused by the import.
int ParseRsaPrivateKey(std::span<const std::uint8_t> der, RsaKeyRecord *key);
// e and n into EF 001A, the five CRT parts into EF 001B; -1 at the first failing command, or
// before any command for a size other than 1024 or 2048 bits.
int QX_RsaImportKeyPair(DEVHANDLE device, const RsaKeyRecord &key);
// The public key into EF 000A, the private key into EF 000B.
int QX_EccImportKeyPair(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                        std::span<const std::uint8_t> private_key);
