// Provisioned keys read back as the host library reads them: directory files, certificates
// matching the card's key pairs, PINs derived as the host derives them.
#include <openssl/x509.h>

#include "emulator_fixture.h"
#include "provision.h"

namespace keysim::test {
namespace {

uint32_t i32(const Bytes &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

std::string text_at(const Bytes &b, size_t at) {
  return std::string(reinterpret_cast<const char *>(b.data() + at));
}

// The public key of a DER certificate as the card returns it (SM2 x || y).
Bytes certificate_sm2_point(const Bytes &der) {
  const unsigned char *p = der.data();
  X509 *x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  EXPECT_NE(x, nullptr);
  if (!x) return {};
  uint8_t point[65];
  size_t n = 0;
  EVP_PKEY_get_octet_string_param(X509_get0_pubkey(x), "pub", point, sizeof point, &n);
  X509_free(x);
  return n == 65 ? Bytes(point + 1, point + 65) : Bytes{};
}

// Host PIN derivation with OpenSSL's DES: short PINs under "qotwebun", longer ones under a
// key made from their first 8 characters with "lurapekm"; nibbles above 9 lose 6.
Bytes reference_pin(const std::string &pin) {
  Bytes p(pin.begin(), pin.begin() + std::min<size_t>(pin.size(), 16));
  p.resize(16, 0);
  Bytes block(p.begin(), p.begin() + 8), key = {'q', 'o', 't', 'w', 'e', 'b', 'u', 'n'};
  if (pin.size() > 8) {
    key = des(true, {'l', 'u', 'r', 'a', 'p', 'e', 'k', 'm'}, block);
    for (int j = 0; j < 8; ++j) block[j] = key[7 - j] ^ p[8 + j];
  }
  const Bytes r = des(true, key, block);
  Bytes out;
  for (int k = 1; k <= 6; ++k) {
    uint8_t hi = r[k] >> 4, lo = r[k] & 15;
    out.push_back(static_cast<uint8_t>((hi > 9 ? hi - 6 : hi) << 4 | (lo > 9 ? lo - 6 : lo)));
  }
  return out;
}

TEST(ProvisionDerive, UserPinAndAdministratorKey) {
  for (const char *pin : {"", "1234", "12345678", "123456789", "abcdefghijklmnop"}) {
    uint8_t out[6];
    derive_user_pin(pin, out);
    EXPECT_EQ(Bytes(out, out + 6), reference_pin(pin)) << pin;
    for (uint8_t b : out) EXPECT_TRUE((b >> 4) <= 9 && (b & 15) <= 9) << pin;
  }
  uint8_t a[6], b[6];
  derive_user_pin("abcdefghijklmnop", a);
  derive_user_pin("abcdefghijklmnopXYZ", b);
  EXPECT_EQ(Bytes(a, a + 6), Bytes(b, b + 6));  // only 16 characters count
  uint8_t k[16];
  derive_admin_key("12345", k);
  EXPECT_EQ(Bytes(k, k + 16), admin_key("12345"));
}

TEST(Provision, DefaultKeyReadsBackAsTheHostSeesIt) {
  Key key;
  const ProvisionPlan plan;
  std::string err;
  ASSERT_TRUE(card_provision(key.card, plan, &err)) << err;
  key.select_mf();
  ASSERT_EQ(key.select(0x02, 0xEF01), 0x9000);
  const Bytes apps = key.read_file();
  ASSERT_EQ(apps.size(), 1156u);
  EXPECT_EQ(text_at(apps, 0), "VARN");
  EXPECT_EQ(i32(apps, 68), 1u);
  EXPECT_EQ(i32(apps, 72), plan.create_file_rights);
  EXPECT_EQ(text_at(apps, 76), plan.app_name);
  EXPECT_EQ(i32(apps, 68 + 136), 0u);

  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(key.select(0x02, 0xEF01), 0x9000);
  const Bytes dir = key.read_file();
  ASSERT_EQ(dir.size(), 620u);
  EXPECT_EQ(i32(dir, 4), plan.admin_retries);
  EXPECT_EQ(i32(dir, 16), plan.user_retries);
  for (size_t i = 0; i < plan.containers.size(); ++i) {
    const size_t e = 28 + 148 * i;
    EXPECT_EQ(i32(dir, e), uint32_t(plan.containers[i].key_type));
    for (size_t flag : {4, 8, 12, 16}) EXPECT_EQ(i32(dir, e + flag), 1u) << i << ' ' << flag;
    EXPECT_EQ(text_at(dir, e + 20), plan.containers[i].name);
  }
  EXPECT_EQ(dir[28 + 148 * plan.containers.size() + 20], 0);  // next entry free

  // The user PIN verifies as derived; the signing certificate holds the card's signing key.
  uint8_t pin[6];
  derive_user_pin(plan.user_pin, pin);
  EXPECT_EQ(key.sw(apdu(0x00, 0x20, 0x00, 0x00, Bytes(pin, pin + 6))), 0x9000);
  ASSERT_EQ(key.select(0x01, 0xDF11), 0x9000);
  ASSERT_EQ(key.select(0x02, 0xEF02), 0x9000);
  const Bytes cert_point = certificate_sm2_point(key.read_file());
  ASSERT_EQ(key.select(0x02, 0x000C), 0x9000);
  EXPECT_EQ(key.ok(hex("80342000 40")), cert_point);
  ASSERT_EQ(key.select(0x02, 0x000D), 0x9000);
  EXPECT_EQ(key.ok(apdu(0x80, 0x3C, 0x40, 0x00, Bytes(32, 1), 0x40)).size(), 64u);
  // The RSA container's signing pair answers 1024-bit commands.
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(key.select(0x01, 0xDF12), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x001C), 0x9000);
  EXPECT_EQ(key.ok(hex("80D82002 80")).size(), 128u);
}

TEST(Provision, DeviceKeyPathAndPlanErrors) {
  Key key;
  ASSERT_TRUE(card_set_knob(key.card, "builtin_key", "off", nullptr));
  ProvisionPlan plan;
  plan.containers = {{"RSA2048", kContainerRsa2048, false}};
  std::string err;
  ASSERT_TRUE(card_provision(key.card, plan, &err)) << err;  // factory device key
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(key.select(0x01, 0xDF11), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x001A), 0x9000);
  EXPECT_EQ(key.ok(hex("80D82002 000100")).size(), 256u);

  plan.device_key = "another key";
  EXPECT_FALSE(card_provision(key.card, plan, &err));
  EXPECT_NE(err.find("authentication"), std::string::npos) << err;
  plan.containers.assign(5, {"C", kContainerSm2, false});
  EXPECT_FALSE(card_provision(key.card, plan, &err));
  EXPECT_NE(err.find("at most 4"), std::string::npos) << err;
}

}  // namespace
}  // namespace keysim::test
