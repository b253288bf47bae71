#include "skf/crypto/des_evp.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include "platform/os/cancel.h"

namespace {

constexpr int kBlock = 8;
constexpr int kSingleKey = 8;
constexpr int kTwoKey = 16;
constexpr int kThreeKey = 24;

// Single DES lives in the legacy provider, triple DES in the default one. Loading any
// provider explicitly stops OpenSSL from loading the default one by itself, so both are
// loaded, once per process. OpenSSL may read its configuration file meanwhile, under locks of
// its own that a cancelled thread would leave taken: cancellation is held off.
struct Providers {
  OSSL_PROVIDER *legacy;
  OSSL_PROVIDER *fallback;
};

Providers LoadProviders() {
  const os::NoCancel hold;
  return {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
}

const Providers &LoadedProviders() {
  static const Providers providers = LoadProviders();
  return providers;
}

// The cipher for the flags, or nullptr when the key is too short for it or its provider
// is missing.
const EVP_CIPHER *ChooseCipher(int keyLen, int triple) {
  const Providers &p = LoadedProviders();
  if (!triple) return p.legacy != nullptr && keyLen >= kSingleKey ? EVP_des_ecb() : nullptr;
  if (p.fallback == nullptr) return nullptr;
  if (keyLen == kTwoKey) return EVP_des_ede();
  return keyLen >= kThreeKey ? EVP_des_ede3() : nullptr;
}

bool ArgumentsValid(const uint8_t *out, const int *outLen, const uint8_t *in, int inLen,
                    const uint8_t *key) {
  return out != nullptr && outLen != nullptr && key != nullptr && inLen >= 0 &&
         (in != nullptr || inLen == 0);
}

struct CipherCtx {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  CipherCtx() = default;
  CipherCtx(const CipherCtx &) = delete;
  CipherCtx &operator=(const CipherCtx &) = delete;
  ~CipherCtx() {
    if (ctx != nullptr) {
      EVP_CIPHER_CTX_cleanup(ctx);
      EVP_CIPHER_CTX_free(ctx);
    }
  }
};

}  // namespace

int DES_EvpEncrypt(uint8_t *out, int *outLen, const uint8_t *in, int inLen, const uint8_t *key,
                   int keyLen, int triple, int padding) {
  if (!ArgumentsValid(out, outLen, in, inLen, key)) return 0;
  if (!padding && inLen % kBlock != 0) return 0;
  const EVP_CIPHER *cipher = ChooseCipher(keyLen, triple);
  if (cipher == nullptr) return 0;
  CipherCtx c;
  if (c.ctx == nullptr || !EVP_EncryptInit(c.ctx, cipher, key, nullptr)) return 0;
  EVP_CIPHER_CTX_set_padding(c.ctx, padding ? 1 : 0);
  int len = 0;
  if (!EVP_EncryptUpdate(c.ctx, out, &len, in, inLen)) return 0;
  int total = len;
  if (padding) {
    if (!EVP_EncryptFinal(c.ctx, out + total, &len)) return 0;
    total += len;
  }
  *outLen = total;
  return 1;
}

int DES_EvpDecrypt(uint8_t *out, int *outLen, const uint8_t *in, int inLen, const uint8_t *key,
                   int keyLen, int triple, int padding) {
  if (!ArgumentsValid(out, outLen, in, inLen, key)) return 0;
  if (inLen % kBlock != 0) return 0;
  const EVP_CIPHER *cipher = ChooseCipher(keyLen, triple);
  if (cipher == nullptr) return 0;
  CipherCtx c;
  if (c.ctx == nullptr || !EVP_DecryptInit(c.ctx, cipher, key, nullptr)) return 0;
  EVP_CIPHER_CTX_set_padding(c.ctx, padding ? 1 : 0);
  int len = 0;
  if (!EVP_DecryptUpdate(c.ctx, out, &len, in, inLen)) return 0;
  int total = len;
  if (padding) {
    if (!EVP_DecryptFinal(c.ctx, out + total, &len)) return 0;
    total += len;
  }
  *outLen = total;
  return 1;
}
