#include "key_intact.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "both_fixture.h"
#include "examples/sar_text.h"
#include "host_library.h"
#include "openssl_side.h"

namespace legacytest {

namespace {

constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr std::uint16_t kApplicationDf = 0xAD01;
constexpr std::uint16_t kContainerDfs[] = {0xDF11, 0xDF12};    // SM2, RSA
constexpr std::uint16_t kCertificateEfs[] = {0xEF01, 0xEF02};  // encryption, signing
constexpr ULONG kPinTries = 10;
const vkey::Bytes kId = ossl::Hex("31323334353637383132333435363738");

vkey::Bytes ReadFile(vkey::RawCard &card, const std::vector<std::uint16_t> &path) {
  if (!card.SelectPath(path)) return {};
  return card.ReadPrefixed().value_or(vkey::Bytes());
}

// The container's signing public key; false when it cannot be exported.
template <typename Blob>
bool SigningKey(HAPPLICATION app, const char *name, HCONTAINER *container, Blob &blob) {
  const host::Library &lib = host::Core();
  ULONG length = sizeof blob;
  const ULONG opened = SKF_OF(lib, SKF_OpenContainer)(app, const_cast<char *>(name), container);
  EXPECT_EQ(opened, SAR_OK) << name;
  const ULONG exported = opened == SAR_OK
                             ? SKF_OF(lib, SKF_ExportPublicKey)(
                                   *container, TRUE, reinterpret_cast<BYTE *>(&blob), &length)
                             : opened;
  EXPECT_EQ(exported, SAR_OK) << name;
  return exported == SAR_OK && length == sizeof blob;
}

}  // namespace

std::string NameList(NameLister list, HAPPLICATION app) {
  char names[512] = {};
  ULONG size = sizeof names;
  const ULONG code = list(app, names, &size);
  if (code != SAR_OK) return "(" + SarText(code) + ")";
  std::string text(names, size < sizeof names ? size : sizeof names);
  for (char &c : text) c = c ? c : '|';
  return text;
}

KeyImage ReadKeyImage(const std::string &reader) {
  KeyImage image;
  vkey::RawCard card(vkey::InReader{reader});
  if (!card.IsOpen()) return image;
  image.device_directory = ReadFile(card, {kDirectoryEf});
  for (const std::uint16_t container : kContainerDfs) {
    for (const std::uint16_t file : kCertificateEfs) {
      image.certificates.push_back(ReadFile(card, {kApplicationDf, container, file}));
    }
  }
  return image;
}

std::vector<std::string> Differences(const KeyImage &before, const KeyImage &after) {
  std::vector<std::string> lines;
  auto compare = [&](const vkey::Bytes &was, const vkey::Bytes &is, const std::string &what) {
    if (was == is) return;
    std::size_t at = 0;
    while (at < was.size() && at < is.size() && was[at] == is[at]) ++at;
    lines.push_back(what + ": " + std::to_string(was.size()) + " bytes before, " +
                    std::to_string(is.size()) + " after, the first difference at byte " +
                    std::to_string(at));
  };
  compare(before.device_directory, after.device_directory, "device directory");
  for (std::size_t i = 0; i < before.certificates.size(); ++i) {
    char what[64];
    std::snprintf(what, sizeof what, "%s %s certificate (%04X/%04X)", i / 2 ? "RSA" : "SM2",
                  i % 2 ? "signing" : "encryption", kContainerDfs[i / 2], kCertificateEfs[i % 2]);
    compare(before.certificates[i],
            i < after.certificates.size() ? after.certificates[i] : vkey::Bytes(), what);
  }
  return lines;
}

void ExpectKeyWorks(const std::string &reader, const std::string &files) {
  const host::Library &lib = host::Core();
  DEVHANDLE device = nullptr;
  ASSERT_EQ(SKF_OF(lib, SKF_ConnectDev)(reader.c_str(), &device), SAR_OK);
  HAPPLICATION app = nullptr;
  EXPECT_EQ(SKF_OF(lib, SKF_OpenApplication)(device, const_cast<char *>(kAppName), &app), SAR_OK);
  if (app) {
    ULONG max = 0, left = 0;
    BOOL default_pin = FALSE;
    EXPECT_EQ(SKF_OF(lib, SKF_GetPINInfo)(app, USER_TYPE, &max, &left, &default_pin), SAR_OK);
    EXPECT_EQ(max, kPinTries);
    EXPECT_EQ(left, max) << "user PIN tries left";
    EXPECT_EQ(NameList(SKF_OF(lib, SKF_EnumContainer), app), "SM2-CONTAINER|RSA-CONTAINER||");
    EXPECT_EQ(NameList(SKF_OF(lib, SKF_EnumFiles), app), files);
    char pin[sizeof kPin];
    std::memcpy(pin, kPin, sizeof pin);
    ULONG retries = 0;
    EXPECT_EQ(SKF_OF(lib, SKF_VerifyPIN)(app, USER_TYPE, pin, &retries), SAR_OK);

    const vkey::Bytes data = ossl::Random(100);
    HCONTAINER rsa = nullptr;
    RSAPUBLICKEYBLOB rsa_blob{};
    if (SigningKey(app, kRsaContainer, &rsa, rsa_blob)) {
      const ossl::Pkey rsa_key = ossl::RsaFromPublicBlob(rsa_blob);
      BYTE signature[256] = {};
      ULONG length = sizeof signature;
      EXPECT_EQ(SKF_OF(lib, SKF_RSASignData)(rsa, const_cast<BYTE *>(data.data()),
                                             static_cast<ULONG>(data.size()), signature, &length),
                SAR_OK);
      EXPECT_TRUE(
          ossl::RsaVerifyRaw(rsa_key.get(), data, vkey::Bytes(signature, signature + length)))
          << "RSA signature";
    }
    HCONTAINER sm2 = nullptr;
    ECCPUBLICKEYBLOB sm2_blob{};
    if (SigningKey(app, kSm2Container, &sm2, sm2_blob)) {
      const vkey::Bytes xy = ossl::EccPoint(sm2_blob);
      vkey::Bytes e = ossl::Sm2Digest(xy, kId, data);
      ECCSIGNATUREBLOB signature{};
      EXPECT_EQ(SKF_OF(lib, SKF_ECCSignData)(sm2, e.data(), 32, &signature), SAR_OK);
      EXPECT_TRUE(
          ossl::Sm2Verify(ossl::Sm2FromPublic(xy).get(), kId, data, ossl::EccSignature(signature)))
          << "SM2 signature";
    }
  }
  SKF_OF(lib, SKF_DisConnectDev)(device);
}

}  // namespace legacytest
