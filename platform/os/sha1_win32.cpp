// SHA-1 through CryptoAPI with a verify-only context of the enhanced provider.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "skf/crypto/sha1.h"

namespace {

constexpr char kProvider[] = "Microsoft Enhanced Cryptographic Provider v1.0";
constexpr DWORD kHashBufferSize = 256;

struct Provider {
  HCRYPTPROV handle = 0;
  Provider() = default;
  Provider(const Provider &) = delete;
  Provider &operator=(const Provider &) = delete;
  ~Provider() {
    if (handle != 0) CryptReleaseContext(handle, 0);
  }
};

struct Hash {
  HCRYPTHASH handle = 0;
  Hash() = default;
  Hash(const Hash &) = delete;
  Hash &operator=(const Hash &) = delete;
  ~Hash() {
    if (handle != 0) CryptDestroyHash(handle);
  }
};

// The provider of the running hashes: acquired once, kept for the process (the hash objects,
// which are never destroyed either, need it).
HCRYPTPROV RunningProvider() {
  static const HCRYPTPROV provider = [] {
    HCRYPTPROV p = 0;
    return CryptAcquireContextA(&p, nullptr, kProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ? p : 0;
  }();
  return provider;
}

// The value of a hash object, which stays open for more data: read from a duplicate.
int HashValue(HCRYPTHASH source, uint8_t digest[kSha1DigestSize]) {
  Hash copy;
  if (!CryptDuplicateHash(source, nullptr, 0, &copy.handle)) {
    copy.handle = 0;
    return -1;
  }
  BYTE value[kHashBufferSize];
  DWORD size = kHashBufferSize;
  if (!CryptGetHashParam(copy.handle, HP_HASHVAL, value, &size, 0) ||
      size != static_cast<DWORD>(kSha1DigestSize)) {
    return -1;
  }
  std::memcpy(digest, value, size);
  return 0;
}

}  // namespace

int SHA1_Init(Sha1Context *ctx) {
  if (ctx == nullptr) return -1;
  ctx->hash = 0;
  return 0;
}

int SHA1_Update(Sha1Context *ctx, const uint8_t *data, uint32_t len) {
  if (ctx == nullptr || (data == nullptr && len != 0)) return -1;
  if (ctx->hash == 0) {
    const HCRYPTPROV provider = RunningProvider();
    HCRYPTHASH hash = 0;
    if (provider == 0 || !CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) return -1;
    ctx->hash = hash;
  }
  return CryptHashData(static_cast<HCRYPTHASH>(ctx->hash), data, len, 0) ? 0 : -1;
}

int SHA1_Final(const Sha1Context *ctx, uint8_t digest[kSha1DigestSize]) {
  if (ctx == nullptr || digest == nullptr) return -1;
  if (ctx->hash != 0) return HashValue(static_cast<HCRYPTHASH>(ctx->hash), digest);
  uint32_t length = 0;
  return SHA1_Digest(nullptr, 0, digest, &length);  // nothing given yet
}

int SHA1_Digest(const uint8_t *data, uint32_t len, uint8_t *digest, uint32_t *digestLen) {
  if (digest == nullptr || digestLen == nullptr || (data == nullptr && len != 0)) return -1;
  // Declared first, released last: the hash is destroyed before the context.
  Provider prov;
  if (!CryptAcquireContextA(&prov.handle, nullptr, kProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    prov.handle = 0;
    return -1;
  }
  Hash hash;
  if (!CryptCreateHash(prov.handle, CALG_SHA1, 0, 0, &hash.handle)) {
    hash.handle = 0;
    return -1;
  }
  if (!CryptHashData(hash.handle, data, len, 0)) return -1;
  BYTE value[kHashBufferSize];
  DWORD size = kHashBufferSize;
  if (!CryptGetHashParam(hash.handle, HP_HASHVAL, value, &size, 0)) return -1;
  // The caller's buffer holds one SHA-1 digest.
  if (size > static_cast<DWORD>(kSha1DigestSize)) return -1;
  std::memcpy(digest, value, size);
  *digestLen = size;
  return 0;
}
