#include "key_layouts.h"

#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "readerio.h"

namespace certdesk_test {

namespace {

using vkey::Bytes;

constexpr std::size_t kLabelField = 68;
constexpr std::size_t kAppEntry = 68, kAppEntrySize = 136;
constexpr std::size_t kContainerEntry = 28, kContainerEntrySize = 148;
constexpr std::size_t kUserRemain = 16;

void PutU32(Bytes &b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A short command: header, Lc, data.
Bytes Command(std::uint8_t cla, std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
              const Bytes &data) {
  Bytes command(5 + data.size());
  command[0] = cla;
  command[1] = ins;
  command[2] = p1;
  command[3] = p2;
  command[4] = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), command.begin() + 5);
  return command;
}

bool Create(vkey::RawCard &card, std::uint8_t p2, const Bytes &descriptor) {
  return card.Send(Command(0x80, 0xE0, 0x00, p2, descriptor)) == 0x9000;
}

bool Select(vkey::RawCard &card, std::uint8_t p1, std::uint16_t id) {
  return card.Send({0x00, 0xA4, p1, 0x00, 0x02, static_cast<std::uint8_t>(id >> 8),
                    static_cast<std::uint8_t>(id)}) == 0x9000;
}

Bytes Ef(std::uint16_t id, std::uint8_t size_high) {
  Bytes d(13, 0);
  d[0] = static_cast<std::uint8_t>(id >> 8);
  d[1] = static_cast<std::uint8_t>(id);
  d[2] = size_high;
  return d;
}

Bytes Df(std::uint16_t id, std::uint8_t size_high) {
  Bytes d = {static_cast<std::uint8_t>(id >> 8),
             static_cast<std::uint8_t>(id),
             size_high,
             0,
             0,
             0,
             0,
             0,
             0,
             0x01,
             0x00,
             0x00,
             0x0F};
  return d;
}

// The card's 6-byte user PIN of a PIN text of up to 8 characters: DES under "qotwebun" of the
// text padded with zeros, bytes 1..6 with each nibble above 9 brought into 0..9.
Bytes DerivedUserPin(const std::string &pin) {
  DES_cblock key = {'q', 'o', 't', 'w', 'e', 'b', 'u', 'n'}, in = {}, out = {};
  std::memcpy(in, pin.data(), std::min<std::size_t>(pin.size(), 8));
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
  auto fix = [](std::uint8_t n) { return static_cast<std::uint8_t>(n >= 10 ? n - 6 : n); };
  Bytes derived;
  for (int k = 1; k <= 6; ++k)
    derived.push_back(static_cast<std::uint8_t>(fix(out[k] >> 4) << 4 | fix(out[k] & 15)));
  return derived;
}

template <typename T, void (*Free)(T *)>
struct Deleter {
  void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;

// Ed25519: signatures of one size, so a certificate's size follows from its names.
Key NewKey() { return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")); }

// The name as one common name, typed as UTF-8 (no length limit of the string table).
bool SetCommonName(X509_NAME *name, const std::string &cn) {
  return X509_NAME_add_entry_by_txt(name, "CN", V_ASN1_UTF8STRING,
                                    reinterpret_cast<const unsigned char *>(cn.data()),
                                    static_cast<int>(cn.size()), -1, 0) == 1;
}

// A comment extension of `n` characters: bulk that no name shows.
bool Pad(X509 *x, std::size_t n) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
  X509_EXTENSION *comment =
      X509V3_EXT_conf_nid(nullptr, &ctx, NID_netscape_comment, std::string(n, 'p').c_str());
  const bool added = comment && X509_add_ext(x, comment, -1) == 1;
  X509_EXTENSION_free(comment);
  return added;
}

}  // namespace

std::string ProvisionedKey(const std::string &label) {
  const std::string key = vkey::CreateKey("cd", true);
  if (key.empty() || !SetLabel(key, label)) return {};
  return key;
}

std::vector<std::string> KeysInDeviceOrder(const std::vector<std::string> &keys) {
  std::vector<std::string> ordered;
  std::uint32_t count = 0;
  char **list = QX_GetReaderList(&count, 0);
  for (std::uint32_t i = 0; list && i < count; ++i) {
    for (const std::string &key : keys) {
      if (vkey::ReaderOf(key) == list[i]) ordered.push_back(key);
    }
  }
  if (list) QX_DestroyReaderList(list);
  return ordered;
}

std::optional<Bytes> ReadFile(const std::string &key, const std::vector<std::uint16_t> &path) {
  vkey::RawCard card(key);
  if (!card.SelectPath(path)) return {};
  return card.ReadPrefixed();
}

bool WriteFile(const std::string &key, const std::vector<std::uint16_t> &path, const Bytes &data,
               bool empty) {
  vkey::RawCard card(key);
  if (!card.SelectPath(path)) return false;
  if (!empty) return card.WritePrefixed(data);
  return card.Send({0x00, 0xD6, 0x00, 0x00, 0x02, 0xFF, 0xFF}) == 0x9000;
}

bool SetLabel(const std::string &key, const std::string &label) {
  auto directory = ReadFile(key, {0xEF01});
  if (!directory || directory->size() < kLabelField || label.size() > kLabelField) return false;
  std::fill(directory->begin(), directory->begin() + kLabelField, 0);
  std::copy(label.begin(), label.end(), directory->begin());
  return WriteFile(key, {0xEF01}, *directory);
}

bool SetCertificateFlags(const std::string &key, int entry, bool encryption, bool signing) {
  auto directory = ReadFile(key, {0xAD01, 0xEF01});
  const std::size_t at = kContainerEntry + kContainerEntrySize * entry;
  if (!directory || directory->size() < at + kContainerEntrySize) return false;
  PutU32(*directory, at + 4, encryption ? 1 : 0);
  PutU32(*directory, at + 12, signing ? 1 : 0);
  return WriteFile(key, {0xAD01, 0xEF01}, *directory);
}

bool SetDeviceKey(const std::string &key, const std::string &text) {
  Bytes data(19, 0);  // 00 00 00, then the key padded with zeros
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 16), data.begin() + 3);
  vkey::RawCard card(key);
  return card.Authenticate() && card.Send(Command(0x80, 0xD4, 0x01, 0x00, data)) == 0x9000;
}

bool MoveApplicationToAd02(const std::string &key, const std::string &pin, int tries) {
  const auto enc = ReadFile(key, {0xAD01, 0xDF11, 0xEF01});
  const auto sign = ReadFile(key, {0xAD01, 0xDF11, 0xEF02});
  auto containers = ReadFile(key, {0xAD01, 0xEF01});
  auto apps = ReadFile(key, {0xEF01});
  if (!enc || !sign || !containers || !apps || apps->size() < kAppEntry + 2 * kAppEntrySize) {
    return false;
  }
  // The container directory of AD02: AD01's first entry, its own PIN tries.
  containers->resize(kContainerEntry + 4 * kContainerEntrySize);
  std::fill(containers->begin() + kContainerEntry + kContainerEntrySize, containers->end(), 0);
  for (std::size_t at : {12u, 16u}) PutU32(*containers, at, static_cast<std::uint32_t>(tries));
  vkey::RawCard card(key);
  Bytes user_key = {0x1F, 0x00, 0x1A, 0x01, 0x0F, 0x0F, static_cast<std::uint8_t>(tries), 0x00};
  const Bytes derived = DerivedUserPin(pin);
  user_key.insert(user_key.end(), derived.begin(), derived.end());
  user_key.insert(user_key.end(), {0xFF, 0xFF});
  const Bytes write_key = Command(0x80, 0xD4, 0x00, 0x14, user_key);
  const bool built = card.Authenticate() && card.Send({0x00, 0xA4, 0x00, 0x00, 0x00}) == 0x9000 &&
                     Create(card, 0x01, Df(0xAD02, 0xE8)) && Create(card, 0x03, Ef(0xEF01, 0x04)) &&
                     card.WritePrefixed(*containers) &&
                     Create(card, 0x0B, {0x00, 0x14, 0x01, 0x00, 0x01, 0x20, 0x00, 0x0F}) &&
                     card.Send(write_key) == 0x9000 &&
                     card.Send({0x00, 0xA4, 0x00, 0x00, 0x00}) == 0x9000 &&
                     Select(card, 0x01, 0xAD02) && Create(card, 0x01, Df(0xDF21, 0x1C)) &&
                     Create(card, 0x03, Ef(0xEF01, 0x08)) && card.WritePrefixed(*enc) &&
                     Create(card, 0x03, Ef(0xEF02, 0x08)) && card.WritePrefixed(*sign);
  if (!built) return false;
  std::copy_n(apps->begin() + kAppEntry, kAppEntrySize, apps->begin() + kAppEntry + kAppEntrySize);
  std::fill_n(apps->begin() + kAppEntry, kAppEntrySize, 0);
  return card.SelectPath({0xEF01}) && card.WritePrefixed(*apps);
}

Bytes MakeCertificate(const std::string &subject_cn, const std::string &issuer_cn,
                      std::size_t padding) {
  Key ca = NewKey(), subject = NewKey();
  Cert x(X509_new());
  if (!ca || !subject || !x) return {};
  const bool filled = X509_set_version(x.get(), 2) == 1 &&
                      ASN1_INTEGER_set(X509_get_serialNumber(x.get()), 7) == 1 &&
                      X509_gmtime_adj(X509_getm_notBefore(x.get()), -3600) &&
                      X509_gmtime_adj(X509_getm_notAfter(x.get()), 86400) &&
                      SetCommonName(X509_get_subject_name(x.get()), subject_cn) &&
                      SetCommonName(X509_get_issuer_name(x.get()), issuer_cn) &&
                      X509_set_pubkey(x.get(), subject.get()) == 1 &&
                      (padding == 0 || Pad(x.get(), padding)) &&
                      X509_sign(x.get(), ca.get(), nullptr) > 0;
  if (!filled) return {};
  unsigned char *der = nullptr;
  const int n = i2d_X509(x.get(), &der);
  if (n <= 0) return {};
  Bytes out(der, der + n);
  OPENSSL_free(der);
  return out;
}

std::optional<Bytes> CertificateOfSize(std::size_t size, const std::string &cn) {
  std::size_t padding = 1;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const Bytes der = MakeCertificate(cn, "certdesk test CA", padding);
    if (der.empty()) return {};
    if (der.size() == size) return der;
    const long grow = static_cast<long>(size) - static_cast<long>(der.size());
    if (static_cast<long>(padding) + grow < 1) return {};
    padding += grow;
  }
  return {};
}

int RawVerify(const std::string &key, std::uint16_t app, const std::string &pin) {
  vkey::RawCard card(key);
  if (card.Send({0x00, 0xA4, 0x00, 0x00, 0x00}) != 0x9000 || !Select(card, 0x01, app)) {
    return -1000;
  }
  const std::uint16_t sw = card.Send(Command(0x00, 0x20, 0x00, 0x00, DerivedUserPin(pin)));
  if (sw == 0x9000) return 0;
  if (sw == 0x6983 || sw == 0x63C0) return -1;  // blocked, or blocked by this try
  if ((sw & 0xFFF0) == 0x63C0) return sw & 0x0F;
  return -1000;
}

int RecordedTriesLeft(const std::string &key, std::uint16_t app) {
  const auto directory = ReadFile(key, {app, 0xEF01});
  if (!directory || directory->size() < kContainerEntry) return -1;
  return static_cast<int>(vkey::U32At(*directory, kUserRemain));
}

}  // namespace certdesk_test
