// OpenSSL provider start-up and the shared cipher pass.
#include "ossl_util.h"

#include <openssl/provider.h>

#include <climits>

namespace keysim::cc::detail {

namespace {

// Holds the two providers for the life of the process; unloaded at exit before OpenSSL's own
// clean-up, which runs later because OpenSSL registered it first.
struct Providers {
  OSSL_PROVIDER *default_provider = nullptr;
  OSSL_PROVIDER *legacy = nullptr;
  Providers() {
    // Loading any provider explicitly turns off the implicit default one, so load both.
    default_provider = OSSL_PROVIDER_load(nullptr, "default");
    legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  }
  ~Providers() {
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (default_provider) OSSL_PROVIDER_unload(default_provider);
  }
  Providers(const Providers &) = delete;
  Providers &operator=(const Providers &) = delete;
};

}  // namespace

bool ensure_providers() {
  static const Providers providers;
  return providers.legacy != nullptr;
}

bool cipher_run(const EVP_CIPHER *cipher, bool encrypt, const uint8_t *key, const uint8_t *iv,
                const uint8_t *in, size_t in_len, uint8_t *out) {
  if (cipher == nullptr || in_len > static_cast<size_t>(INT_MAX)) return false;
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, iv, encrypt ? 1 : 0) != 1) return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int len = 0;
  int fin = 0;
  if (in_len > 0 && EVP_CipherUpdate(ctx.get(), out, &len, in, static_cast<int>(in_len)) != 1) {
    return false;
  }
  if (EVP_CipherFinal_ex(ctx.get(), out + len, &fin) != 1) return false;
  return static_cast<size_t>(len + fin) == in_len;
}

}  // namespace keysim::cc::detail
