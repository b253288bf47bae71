#include "skf/card/key_import.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>

#include "skf/card/command_status.h"
#include "skf/card/commands.h"
#include "skf/card/rsa_keys.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr std::uint8_t kCla = 0x80;
constexpr std::uint8_t kPublicPart = 0x20;

// One component: least significant byte first at the field's start, then reversed over the
// width, which leaves it big-endian and right-aligned.
bool Place(const EVP_PKEY *pkey, const char *name, std::uint8_t *field, std::size_t width) {
  BIGNUM *bn = nullptr;
  if (EVP_PKEY_get_bn_param(pkey, name, &bn) != 1) return false;
  const int count = BignumToBytes(bn, {field, width});
  BN_clear_free(bn);
  if (count < 0) return false;
  ReverseBuffer(field, static_cast<std::uint32_t>(width));
  return true;
}

}  // namespace

int ParseRsaPrivateKey(std::span<const std::uint8_t> der, RsaKeyRecord *key) {
  if (!key || der.empty() || !der.data()) return -1;
  const unsigned char *p = der.data();
  EVP_PKEY *pkey = d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size()));
  if (!pkey) return -1;
  const int bits = EVP_PKEY_get_bits(pkey);
  const std::size_t k = static_cast<std::size_t>(bits + 7) / 8;
  int result = -1;
  if (bits == static_cast<int>(kRsa1024) || bits == static_cast<int>(kRsa2048)) {
    RsaKeyRecord record = {};
    const std::size_t half = k / 2;
    const struct {
      const char *name;
      std::uint8_t *field;
      std::size_t width;
    } parts[] = {
        {OSSL_PKEY_PARAM_RSA_N, record.Modulus, k},
        {OSSL_PKEY_PARAM_RSA_E, record.PublicExponent, kRsaExponentBytes},
        {OSSL_PKEY_PARAM_RSA_D, record.PrivateExponent, k},
        {OSSL_PKEY_PARAM_RSA_FACTOR1, record.Prime1, half},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, record.Prime2, half},
        {OSSL_PKEY_PARAM_RSA_EXPONENT1, record.Prime1Exponent, half},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, record.Prime2Exponent, half},
        {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, record.Coefficient, half},
    };
    bool placed = true;
    for (const auto &part : parts)
      placed = placed && Place(pkey, part.name, part.field, part.width);
    if (placed) {
      record.BitLen = static_cast<std::uint32_t>(8 * k);
      *key = record;
      result = 0;
    }
    SecureZero(&record, sizeof record);
  }
  EVP_PKEY_free(pkey);
  return result;
}

int QX_RsaImportKeyPair(DEVHANDLE device, const RsaKeyRecord &key) {
  if (key.BitLen != kRsa1024 && key.BitLen != kRsa2048) return -1;
  const std::size_t k = key.BitLen / 8;
  std::uint16_t sw = 0;
  if (SelectEfInDf(device, 0x1A) != 0) return -1;
  if (!CommandOk(QX_WriteKeyPart(device, kCla, kPublicPart, 0x01,
                                 {key.PublicExponent, kRsaExponentBytes}, &sw),
                 sw)) {
    return -1;
  }
  const int n =
      key.BitLen == kRsa1024
          ? QX_WriteKeyPart(device, kCla, kPublicPart, 0x02, {key.Modulus, k}, &sw)
          : QX_WriteKeyPart2048(device, std::span<const std::uint8_t, 256>(key.Modulus), &sw);
  if (!CommandOk(n, sw)) return -1;
  if (SelectEfInDf(device, 0x1B) != 0) return -1;
  if (QX_WriteRsaPrivateParts(device, key) != 0) return -1;
  return 0;
}

int QX_EccImportKeyPair(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                        std::span<const std::uint8_t> private_key) {
  std::uint16_t sw = 0;
  if (SelectEfInDf(device, 0x0A) != 0) return -1;
  if (!CommandOk(QX_LoadEccPublicKey(device, 0x20, 0x00, public_key, &sw), sw)) return -1;
  if (SelectEfInDf(device, 0x0B) != 0) return -1;
  return CommandOk(QX_LoadEccPublicKey(device, 0xA0, 0x01, private_key, &sw), sw) ? 0 : -1;
}
