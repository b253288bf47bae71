// OpenSSL as the independent reference, and small byte helpers for the tests.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes FromHex(std::string_view hex);
Bytes FromText(std::string_view text);
Bytes RandomBytes(std::mt19937 &rng, size_t n);

// Makes single DES available to the reference (legacy provider) besides the default one.
void LoadReferenceProviders();

Bytes RefDigest(const EVP_MD *md, const Bytes &data);
// ECB or CBC without padding; iv may be empty for ECB.
Bytes RefCipher(const EVP_CIPHER *cipher, const Bytes &key, const Bytes &iv, const Bytes &in,
                bool encrypt, bool padding = false);
