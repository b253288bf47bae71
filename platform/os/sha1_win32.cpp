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

}  // namespace

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
