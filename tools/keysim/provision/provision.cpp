// card_provision: format, one application, containers with key pairs and certificates, built
// with the host library's command sequences and directory file layouts.
#include "provision.h"

#include <cstring>

#include "certificates.h"
#include "host.h"

namespace keysim {

namespace {

using provision::Host;
using provision::short_apdu;

// AppDirectory (MF EF01).
constexpr size_t kAppDirSize = 1156;
constexpr size_t kAppEntry0 = 68;  // InUse, CreateFileRights, Name[128]
// ContainerDirectory (application EF01): PinInfoHeader, then 148-byte entries.
constexpr size_t kContainerDirSize = 620;
constexpr size_t kPinHeader = 28;
constexpr size_t kEntrySize = 148;
constexpr size_t kMaxContainers = (kContainerDirSize - kPinHeader) / kEntrySize;
constexpr size_t kEntryKeyType = 0, kEntryEncCert = 4, kEntryEncKey = 8, kEntrySignCert = 12,
                 kEntrySignKey = 16, kEntryName = 20, kEntryNameMax = 64;
constexpr size_t kAppNameMax = 32;
constexpr uint16_t kAppDf = 0xAD01;

void put_i32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes key16(const std::string &text) {
  Bytes k(text.begin(), text.begin() + std::min<size_t>(text.size(), 16));
  k.resize(16, 0);
  return k;
}

bool format(Host &h, const ProvisionPlan &plan) {
  card_reset(h.card);
  h.try_send({0xBF, 0xC8, 0x00, 0x00, 0x0F});
  if (!h.authenticate(plan.device_key)) return false;
  h.create(0x00, {0x3F, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00});
  Bytes wk = {0x00, 0x00, 0x00};
  const Bytes k = key16(plan.device_key);
  wk.insert(wk.end(), k.begin(), k.end());
  h.send(short_apdu(0x80, 0xD4, 0x01, 0x00, wk), nullptr, 0x9000, "device key");
  const struct {
    uint8_t p2;
    Bytes desc;
  } work_keys[] = {
      {0x10, {0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0x11, {0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0x10, {0x00, 0x03, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0x11, {0x00, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0}},
      {0x18, {0x00, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0x19, {0x00, 0x06, 0x01, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto &w : work_keys) h.create(w.p2, w.desc);
  h.create(0x03, {0xEF, 0x01, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Bytes dir(kAppDirSize, 0);
  std::memcpy(dir.data(), "VARN", 4);
  h.write_file(dir);
  return h.ok();
}

bool create_application(Host &h, const ProvisionPlan &plan) {
  h.select_mf();
  h.select(0x01, kAppDf, false);  // a freshly formatted card has no DF yet
  h.create(0x01, {0xAD, 0x01, 0xE8, 0x00, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00, 0x0F});
  h.create(0x03, {0xEF, 0x01, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Bytes cdir(kContainerDirSize, 0);
  put_i32(cdir, 4, plan.admin_retries);
  put_i32(cdir, 8, plan.admin_retries);
  put_i32(cdir, 12, plan.user_retries);
  put_i32(cdir, 16, plan.user_retries);
  h.write_file(cdir);
  h.create(0x03, {0xEF, 0x02, 0x06, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  h.write_file(Bytes(1040, 0));
  uint8_t admin[16], user[6];
  derive_admin_key(plan.admin_pin, admin);
  derive_user_pin(plan.user_pin, user);
  h.create(0x0B, {0x00, 0x14, 0x01, 0x00, 0x01, 0x20, 0x00, 0x0F});
  Bytes upin = {0x1F, 0x00, 0x1A, 0x01, 0x0F, 0x0F, static_cast<uint8_t>(plan.user_retries), 0x00};
  upin.insert(upin.end(), user, user + 6);
  upin.insert(upin.end(), {0xFF, 0xFF});
  h.send(short_apdu(0x80, 0xD4, 0x00, 0x14, upin), nullptr, 0x9000, "user PIN key");
  for (uint8_t id : {0x1A, 0x01}) {
    Bytes ak = {0x01, id, 0, 0, 0, 0, static_cast<uint8_t>(plan.admin_retries), 0x00};
    ak.insert(ak.end(), admin, admin + 16);
    h.send(short_apdu(0x80, 0xD4, 0x00, 0x14, ak), nullptr, 0x9000, "administrator key");
  }
  std::memset(admin, 0, sizeof admin);
  std::memset(user, 0, sizeof user);
  // AppDirectory entry 0.
  Bytes dir(kAppDirSize, 0);
  std::memcpy(dir.data(), "VARN", 4);
  put_i32(dir, kAppEntry0, 1);
  put_i32(dir, kAppEntry0 + 4, plan.create_file_rights);
  std::memcpy(dir.data() + kAppEntry0 + 8, plan.app_name.data(), plan.app_name.size());
  h.select_mf();
  h.select(0x02, 0xEF01);
  h.write_file(dir);
  return h.ok();
}

// Key files and one generated pair (public key read back); `signing` picks the pair.
bool generate_pair(Host &h, int key_type, bool signing, provision::PublicKey &pub) {
  pub = provision::PublicKey{};
  if (key_type == kContainerSm2) {
    const uint8_t p1 = signing ? 0x4C : 0x4A, p2 = signing ? 0x0D : 0x0B;
    h.send({0x80, 0x32, p1, p2, 0x00}, nullptr, 0x9000, "SM2 generation");
    h.select(0x02, p1 & 0x3F);
    return h.send(short_apdu(0x80, 0x34, 0x20, 0x00, {}, 0x40), &pub.sm2_xy, 0x9000, "SM2 public");
  }
  const bool large = key_type == kContainerRsa2048;
  const uint8_t pub_file = signing ? 0x1C : 0x1A, prv_file = signing ? 0x1D : 0x1B;
  pub.sm2 = false;
  h.send({0x80, 0xD0, static_cast<uint8_t>(pub_file | (large ? 0x40 : 0)), prv_file, 0x00}, nullptr,
         0x9000, "RSA generation");
  h.select(0x02, pub_file);
  Bytes n, e;
  h.send(large ? provision::ext_apdu(0x80, 0xD8, 0x20, 0x02, 256)
               : short_apdu(0x80, 0xD8, 0x20, 0x02, {}, 0x80),
         &n, 0x9000, "RSA modulus");
  h.send(short_apdu(0x80, 0xD8, 0x20, 0x01, {}, 0x04), &e, 0x9000, "RSA exponent");
  pub.rsa_n.assign(n.rbegin(), n.rend());
  pub.rsa_e.assign(e.rbegin(), e.rend());
  return h.ok();
}

void create_key_files(Host &h, int key_type, const std::string &device_key) {
  h.authenticate(device_key);
  if (key_type == kContainerSm2) {
    const Bytes pub = {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes prv = {0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    for (uint8_t f : {0x0A, 0x0B, 0x0C, 0x0D}) {
      Bytes d = {0x00, f};
      const Bytes &rest = (f & 1) ? prv : pub;
      d.insert(d.end(), rest.begin(), rest.end());
      if (!h.select(0x02, f, false)) h.create((f & 1) ? 0x19 : 0x18, d);
    }
    return;
  }
  const uint8_t size = key_type == kContainerRsa2048 ? 0x01 : 0x00;
  for (uint8_t f : {0x1A, 0x1B, 0x1C, 0x1D}) {
    Bytes d = (f & 1) ? Bytes{0x00, f, size, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}
                      : Bytes{0x00, f, size, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!h.select(0x02, f, false)) h.create((f & 1) ? 0x11 : 0x10, d);
  }
}

bool select_container(Host &h, uint16_t df) {
  return h.select_mf() && h.select(0x01, kAppDf) && h.select(0x01, df);
}

bool build_container(Host &h, const ProvisionContainer &c, size_t index, Bytes &cdir,
                     provision::Issuer &issuer, const std::string &device_key) {
  const uint16_t df = static_cast<uint16_t>(0xDF11 + index);
  h.select_mf();
  h.select(0x01, kAppDf);
  h.authenticate(device_key);
  h.select(0x01, df, false);
  h.create(0x01, {uint8_t(df >> 8), uint8_t(df), 0x1C, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00, 0x0F});
  h.create(0x03, {0xEF, 0x01, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  h.create(0x03, {0xEF, 0x02, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  create_key_files(h, c.key_type, device_key);
  const size_t e = kPinHeader + index * kEntrySize;
  put_i32(cdir, e + kEntryKeyType, static_cast<uint32_t>(c.key_type));
  std::memcpy(cdir.data() + e + kEntryName, c.name.data(), c.name.size());
  for (bool signing : {true, false}) {
    provision::PublicKey pub;
    if (!generate_pair(h, c.key_type, signing, pub)) return false;
    put_i32(cdir, e + (signing ? kEntrySignKey : kEntryEncKey), 1);
    if (!c.certificates) continue;
    Bytes der;
    const std::string cn = c.name + (signing ? " signing" : " encryption");
    if (!issuer.certificate(pub, cn, signing, der, &h.error)) return false;
    select_container(h, df);
    h.select(0x02, signing ? 0xEF02 : 0xEF01);
    h.write_file(der);
    put_i32(cdir, e + (signing ? kEntrySignCert : kEntryEncCert), 1);
    select_container(h, df);
  }
  return h.ok();
}

bool check_plan(const ProvisionPlan &plan, std::string &why) {
  if (plan.app_name.empty() || plan.app_name.size() > kAppNameMax)
    return why = "application name must have 1 to 32 characters", false;
  if (plan.containers.size() > kMaxContainers) return why = "at most 4 containers", false;
  for (const ProvisionContainer &c : plan.containers) {
    if (c.name.empty() || c.name.size() > kEntryNameMax)
      return why = "container name must have 1 to 64 characters", false;
    if (c.key_type < kContainerRsa1024 || c.key_type > kContainerSm2)
      return why = "container " + c.name + ": unknown key type", false;
  }
  return true;
}

}  // namespace

bool card_provision(Card &card, const ProvisionPlan &plan, std::string *err) {
  Host h{card, {}};
  if (!check_plan(plan, h.error)) {
    if (err) *err = h.error;
    return false;
  }
  provision::Issuer issuer;
  if (format(h, plan) && create_application(h, plan)) {
    Bytes cdir(kContainerDirSize, 0);
    put_i32(cdir, 4, plan.admin_retries);
    put_i32(cdir, 8, plan.admin_retries);
    put_i32(cdir, 12, plan.user_retries);
    put_i32(cdir, 16, plan.user_retries);
    for (size_t i = 0; i < plan.containers.size() && h.ok(); ++i)
      build_container(h, plan.containers[i], i, cdir, issuer, plan.device_key);
    h.select_mf();
    h.select(0x01, kAppDf);
    h.select(0x02, 0xEF01);
    h.write_file(cdir);
  }
  card_reset(card);
  if (!h.ok() && err) *err = h.error;
  return h.ok();
}

}  // namespace keysim
