#include "skf/card/key_import.h"

#include <openssl/bn.h>
#include <openssl/rsa.h>

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
bool Place(const BIGNUM *bn, std::uint8_t *field, std::size_t width) {
  if (!bn || BignumToBytes(bn, {field, width}) < 0) return false;
  ReverseBuffer(field, static_cast<std::uint32_t>(width));
  return true;
}

// The PKCS #1 RSAPrivateKey structure only (no PKCS #8 wrapping); nullptr when the bytes are
// not one. The RSA structure interface is what decodes exactly this form.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct RsaKey {
  RSA *rsa = nullptr;
  explicit RsaKey(std::span<const std::uint8_t> der) {
    const unsigned char *p = der.data();
    rsa = d2i_RSAPrivateKey(nullptr, &p, static_cast<long>(der.size()));
  }
  ~RsaKey() { RSA_free(rsa); }
  RsaKey(const RsaKey &) = delete;
  RsaKey &operator=(const RsaKey &) = delete;
  const BIGNUM *n() const { return RSA_get0_n(rsa); }
  const BIGNUM *e() const { return RSA_get0_e(rsa); }
  const BIGNUM *d() const { return RSA_get0_d(rsa); }
  const BIGNUM *p() const { return RSA_get0_p(rsa); }
  const BIGNUM *q() const { return RSA_get0_q(rsa); }
  const BIGNUM *dmp1() const { return RSA_get0_dmp1(rsa); }
  const BIGNUM *dmq1() const { return RSA_get0_dmq1(rsa); }
  const BIGNUM *iqmp() const { return RSA_get0_iqmp(rsa); }
};
#pragma GCC diagnostic pop

}  // namespace

int ParseRsaPrivateKey(std::span<const std::uint8_t> der, RsaKeyRecord *key) {
  if (!key || der.empty() || !der.data()) return -1;
  const RsaKey parsed(der);
  if (!parsed.rsa || !parsed.n()) return -1;
  const std::size_t k = (static_cast<std::size_t>(BN_num_bits(parsed.n())) + 7) / 8;
  if (k == 0 || k > kRsaMaxBytes) return -1;
  RsaKeyRecord record = {};
  const std::size_t half = k / 2;
  const struct {
    const BIGNUM *value;
    std::uint8_t *field;
    std::size_t width;
  } parts[] = {
      {parsed.n(), record.Modulus, k},
      {parsed.e(), record.PublicExponent, kRsaExponentBytes},
      {parsed.d(), record.PrivateExponent, k},
      {parsed.p(), record.Prime1, half},
      {parsed.q(), record.Prime2, half},
      {parsed.dmp1(), record.Prime1Exponent, half},
      {parsed.dmq1(), record.Prime2Exponent, half},
      {parsed.iqmp(), record.Coefficient, half},
  };
  bool placed = true;
  for (const auto &part : parts) placed = placed && Place(part.value, part.field, part.width);
  int result = -1;
  if (placed) {
    record.BitLen = static_cast<std::uint32_t>(8 * k);
    *key = record;
    result = 0;
  }
  SecureZero(&record, sizeof record);
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
