#include "reference.h"

#include <openssl/provider.h>

#include <stdexcept>

Bytes FromHex(std::string_view hex) {
  Bytes out;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  int hi = -1;
  for (char c : hex) {
    const int v = nibble(c);
    if (v < 0) continue;  // spaces group the digits
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<uint8_t>(hi << 4 | v));
      hi = -1;
    }
  }
  return out;
}

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes RandomBytes(std::mt19937 &rng, size_t n) {
  Bytes out(n);
  for (auto &b : out) b = static_cast<uint8_t>(rng());
  return out;
}

void LoadReferenceProviders() {
  // Loaded once for the life of the program, and held here for it.
  static OSSL_PROVIDER *const legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER *const base = OSSL_PROVIDER_load(nullptr, "default");
  if (!legacy || !base) throw std::runtime_error("OpenSSL legacy provider unavailable");
}

Bytes RefDigest(const EVP_MD *md, const Bytes &data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned len = 0;
  if (!EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr)) {
    throw std::runtime_error("EVP_Digest failed");
  }
  out.resize(len);
  return out;
}

Bytes RefCipher(const EVP_CIPHER *cipher, const Bytes &key, const Bytes &iv, const Bytes &in,
                bool encrypt, bool padding) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
  int len = 0, fin = 0;
  const bool ok = ctx != nullptr &&
                  EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(),
                                    iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0) &&
                  EVP_CIPHER_CTX_set_padding(ctx, padding ? 1 : 0) &&
                  EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size())) &&
                  EVP_CipherFinal_ex(ctx, out.data() + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("reference cipher failed");
  out.resize(static_cast<size_t>(len + fin));
  return out;
}
