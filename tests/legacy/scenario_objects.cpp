// Scenarios of the file family and of the container key operations.
#include <cstring>

#include "openssl_side.h"
#include "scenario.h"

namespace legacytest {

namespace {

constexpr ULONG kAnyone = 0xFF;
constexpr std::uint16_t kApp1 = 0xAD01;
constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr std::size_t kEightContainers = 1212;
constexpr std::size_t kCreateRightsAt = 68 + 4;  // AppEntry 0's CreateFileRights
constexpr std::uint32_t kUserRights = 0x10;

ULONG CreateFile(ScenarioRun &r, HAPPLICATION app, const char *name, ULONG size) {
  return SKF_OF(r.lib, SKF_CreateFile)(app, const_cast<char *>(name), size, kAnyone, kAnyone);
}

std::string FileSize(ScenarioRun &r, HAPPLICATION app, const char *name) {
  FILEATTRIBUTE info{};
  const ULONG code = SKF_OF(r.lib, SKF_GetFileInfo)(app, const_cast<char *>(name), &info);
  return code == SAR_OK ? std::to_string(info.FileSize) : Code(code);
}

// The names of a multi-string, "[a,b]".
std::string Files(const char *list, ULONG size) {
  std::string names;
  for (const char *p = list; p < list + size && *p; p += std::strlen(p) + 1) {
    names += (names.empty() ? "" : ",") + std::string(p);
  }
  return "[" + names + "]";
}

std::string Files(ScenarioRun &r, HAPPLICATION app) {
  char list[256] = {};
  ULONG size = sizeof list;
  if (SKF_OF(r.lib, SKF_EnumFiles)(app, list, &size) != SAR_OK) return "(failed)";
  return Files(list, size);
}

HAPPLICATION FreshApp(ScenarioRun &r) { return r.App(r.Connect(r.Key(true))); }

ossl::Bytes PublicKey(const host::Library &lib, HCONTAINER container, BOOL signing) {
  ossl::Bytes blob(512);
  ULONG length = static_cast<ULONG>(blob.size());
  if (SKF_OF(lib, SKF_ExportPublicKey)(container, signing, blob.data(), &length) != SAR_OK) {
    return {};
  }
  blob.resize(length);
  return blob;
}

// A session key's SM4 ECB encryption of 16 fixed bytes on its card.
ossl::Bytes EncryptWith(const host::Library &lib, HANDLE key) {
  BYTE data[16] = {0x11, 0x22, 0x33};
  ossl::Bytes out(32);
  ULONG length = static_cast<ULONG>(out.size());
  if (!key || SKF_OF(lib, SKF_Encrypt)(key, data, sizeof data, out.data(), &length) != SAR_OK) {
    return {};
  }
  out.resize(length);
  return out;
}

}  // namespace

std::string CoreDeviceDirectory(ScenarioRun &r) {
  DEVHANDLE device = r.Connect(r.Key(true, true));
  char list[256] = {};
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(r.lib, SKF_EnumApplication)(device, list, &size);
  return Code(code) + (code == SAR_OK ? std::string(" ") + list : "");
}

std::string LongContainerDirectory(ScenarioRun &r) {
  const std::string key = r.Key(true);
  {
    vkey::RawCard card(key);
    auto directory = card.SelectPath({kApp1, kDirectoryEf}) ? card.ReadPrefixed() : std::nullopt;
    if (!directory) return "no directory";
    directory->resize(kEightContainers);
    if (!card.WritePrefixed(*directory)) return "not written";
  }
  HAPPLICATION app = r.App(r.Connect(key));
  char list[256] = {};
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(r.lib, SKF_EnumContainer)(app, list, &size);
  return Code(code) + (code == SAR_OK ? " " + Files(list, size) : "");
}

std::string CreateFileTwice(ScenarioRun &r) {
  HAPPLICATION app = FreshApp(r);
  const ULONG first = CreateFile(r, app, "f", 100);
  const ULONG second = CreateFile(r, app, "f", 100);
  return Code(first) + " " + Code(second) + " " + Files(r, app);
}

std::string NewFileSize(ScenarioRun &r) {
  HAPPLICATION app = FreshApp(r);
  CreateFile(r, app, "f", 100);
  return FileSize(r, app, "f");
}

std::string FreedRecordReused(ScenarioRun &r) {
  const std::string key = r.Key(true);
  HAPPLICATION app = r.App(r.Connect(key));
  CreateFile(r, app, "a", 100);
  const std::uint64_t before = vkey::Commands(key, 0x80, 0xE4);
  const ULONG deleted = SKF_OF(r.lib, SKF_DeleteFile)(app, const_cast<char *>("a"));
  const std::uint64_t delete_commands = vkey::Commands(key, 0x80, 0xE4) - before;
  CreateFile(r, app, "b", 96);
  return Code(deleted) + ", " + std::to_string(delete_commands) + " DELETE FILE, b " +
         FileSize(r, app, "b") + " " + Files(r, app);
}

std::string ReadBoundedByDataEnd(ScenarioRun &r) {
  HAPPLICATION app = FreshApp(r);
  CreateFile(r, app, "f", 100);
  BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  char name[] = "f";
  SKF_OF(r.lib, SKF_WriteFile)(app, name, 0, data, sizeof data);
  ULONG length = 0;
  const ULONG code = SKF_OF(r.lib, SKF_ReadFile)(app, name, 0, 0, nullptr, &length);
  BYTE back[10] = {};
  ULONG back_length = sizeof back;
  SKF_OF(r.lib, SKF_ReadFile)(app, name, 0, sizeof back, back, &back_length);
  const bool same = std::memcmp(back, data, sizeof data) == 0;
  return Code(code) + " " + std::to_string(length) + (same ? " read back" : " differs");
}

std::string WritePastFileLen(ScenarioRun &r) {
  HAPPLICATION app = FreshApp(r);
  CreateFile(r, app, "f", 100);
  BYTE data[4] = {1, 2, 3, 4};
  return Code(SKF_OF(r.lib, SKF_WriteFile)(app, const_cast<char *>("f"), 200, data, sizeof data));
}

std::string TwentyFirstFile(ScenarioRun &r) {
  HAPPLICATION app = FreshApp(r);
  for (int i = 0; i < 20; ++i) {
    const std::string name = "file" + std::to_string(i);
    if (CreateFile(r, app, name.c_str(), 8) != SAR_OK) return "file " + std::to_string(i);
  }
  return Code(CreateFile(r, app, "one-more", 8));
}

std::string CreateHugeFile(ScenarioRun &r) {
  // A size whose EF size field (size + 64) would wrap around.
  return Code(CreateFile(r, FreshApp(r), "huge", 0xFFFFFFF0));
}

std::string CreateLargeFile(ScenarioRun &r) {
  return Code(CreateFile(r, FreshApp(r), "big", 40000));
}

std::string CreateFileWithoutPin(ScenarioRun &r) {
  const std::string key = r.Key(true);
  {
    vkey::RawCard card(key);
    auto directory = card.SelectPath({kDirectoryEf}) ? card.ReadPrefixed() : std::nullopt;
    if (!directory) return "no directory";
    std::memcpy(&(*directory)[kCreateRightsAt], &kUserRights, sizeof kUserRights);
    if (!card.WritePrefixed(*directory)) return "not written";
  }
  HAPPLICATION app = r.App(r.Connect(key));
  SKF_OF(r.lib, SKF_ClearSecureState)(app);  // no PIN verified in tokencore either
  return Code(CreateFile(r, app, "f", 100));
}

std::string EccAlgorithmIds(ScenarioRun &r) {
  HCONTAINER container = r.Container(r.LoggedIn(), kSm2Container);
  std::string codes;
  for (const ULONG alg :
       {ULONG{SGD_SM2_1}, ULONG{SGD_SM2_2}, ULONG{SGD_SM2_3}, ULONG{SGD_SM2_ENC_PAIR}}) {
    ECCPUBLICKEYBLOB blob{};
    codes +=
        (codes.empty() ? "" : " ") + Code(SKF_OF(r.lib, SKF_GenECCKeyPair)(container, alg, &blob));
  }
  return codes;
}

std::string Sm2DecryptOrder(ScenarioRun &r) {
  std::string key;
  HCONTAINER container = r.Container(r.LoggedIn(&key), kSm2Container);
  const ossl::Bytes blob = PublicKey(r.lib, container, FALSE);
  if (blob.size() != sizeof(ECCPUBLICKEYBLOB)) return "no public key";
  ECCPUBLICKEYBLOB point;
  std::memcpy(&point, blob.data(), sizeof point);
  const ossl::Bytes plain = {'l', 'e', 'g', 'a', 'c', 'y'};
  ossl::Bytes cipher = ossl::EccCipherBlob(
      ossl::Sm2Encrypt(ossl::Sm2FromPublic(ossl::EccPoint(point)).get(), plain));
  std::string codes;
  for (const char *order : {"c1c3c2", "c1c2c3"}) {
    vkey::Knob(key, "sm2_order", order);
    BYTE out[64] = {};
    ULONG length = sizeof out;
    const ULONG code = SKF_OF(r.lib, SKF_PrvKeyDecrypt)(
        container, 1, reinterpret_cast<PECCCIPHERBLOB>(cipher.data()), out, &length);
    const bool same = code == SAR_OK && ossl::Bytes(out, out + length) == plain;
    codes += (codes.empty() ? "" : " ") + Code(code) + (same || code != SAR_OK ? "" : " (wrong)");
  }
  return codes;
}

std::string RsaPublicFirst(ScenarioRun &r) {
  std::string key;
  HCONTAINER container = r.Container(r.LoggedIn(&key), kRsaContainer);
  const ossl::Bytes blob = PublicKey(r.lib, container, TRUE);
  if (blob.size() != sizeof(RSAPUBLICKEYBLOB)) return "no public key";
  RSAPUBLICKEYBLOB rsa;
  std::memcpy(&rsa, blob.data(), sizeof rsa);
  const ossl::Pkey pub = ossl::RsaFromPublicBlob(rsa);

  const ossl::Bytes data = {'t', 'o', 'k', 'e', 'n'};
  BYTE signature[512] = {};
  ULONG length = sizeof signature;
  std::uint64_t before = vkey::Commands(key, 0x80, 0xF6);
  const ULONG signed_code =
      SKF_OF(r.lib, SKF_RSASignData)(container, const_cast<BYTE *>(data.data()),
                                     static_cast<ULONG>(data.size()), signature, &length);
  const std::uint64_t sign_public = vkey::Commands(key, 0x80, 0xF6) - before;
  const bool valid =
      ossl::RsaVerifyRaw(pub.get(), data, ossl::Bytes(signature, signature + length));

  ossl::Bytes cipher = ossl::RsaEncrypt(pub.get(), data);
  BYTE raw[512] = {};
  ULONG raw_length = sizeof raw;
  before = vkey::Commands(key, 0x80, 0xF6);
  const ULONG decrypted = SKF_OF(r.lib, SKF_PriRsaDecrypt)(
      container, TRUE, cipher.data(), static_cast<ULONG>(cipher.size()), raw, &raw_length);
  const std::uint64_t decrypt_public = vkey::Commands(key, 0x80, 0xF6) - before;
  const bool recovered = raw_length >= data.size() &&
                         std::memcmp(raw + raw_length - data.size(), data.data(), data.size()) == 0;
  return Code(signed_code) + (valid ? " valid" : " invalid") + " after " +
         std::to_string(sign_public) + " public; " + Code(decrypted) +
         (recovered ? " recovered" : " lost") + " after " + std::to_string(decrypt_public) +
         " public";
}

// tokencore sponsors on one key, the library of the run responds on another: the sponsor's key
// agrees with the responder's only for the responder's static pair that the library uses.
std::string AgreementPair(ScenarioRun &r) {
  const host::Library &core = host::Core();
  const std::string sponsor_key = r.Key(true);
  DEVHANDLE sponsor_device = nullptr;
  if (ConnectThrough(core, sponsor_key, &sponsor_device) != SAR_OK) return "no sponsor";
  HAPPLICATION sponsor_app = nullptr;
  SKF_OF(core, SKF_OpenApplication)(sponsor_device, const_cast<char *>(kAppName), &sponsor_app);
  ULONG retries = 0;
  SKF_OF(core, SKF_VerifyPIN)(sponsor_app, USER_TYPE, const_cast<char *>(kPin), &retries);
  HCONTAINER sponsor = nullptr;
  SKF_OF(core, SKF_OpenContainer)(sponsor_app, const_cast<char *>(kSm2Container), &sponsor);
  HCONTAINER responder = r.Container(r.LoggedIn(), kSm2Container);

  ECCPUBLICKEYBLOB sponsor_public{}, sponsor_temp{}, responder_temp{};
  const ossl::Bytes sponsor_blob = PublicKey(core, sponsor, FALSE);
  if (sponsor_blob.size() != sizeof sponsor_public) return "no sponsor key";
  std::memcpy(&sponsor_public, sponsor_blob.data(), sizeof sponsor_public);
  BYTE sponsor_id[] = "sponsor", responder_id[] = "responder";
  HANDLE agreement = nullptr, responder_key = nullptr;
  SKF_OF(core, SKF_GenerateAgreementDataWithECC)
  (sponsor, SGD_SMS4_ECB, &sponsor_temp, sponsor_id, 7, &agreement);
  const ULONG responded = SKF_OF(r.lib, SKF_GenerateAgreementDataAndKeyWithECC)(
      responder, SGD_SMS4_ECB, &sponsor_public, &sponsor_temp, &responder_temp, responder_id, 9,
      sponsor_id, 7, &responder_key);
  const ossl::Bytes expected = EncryptWith(r.lib, responder_key);

  std::string pairs;
  for (const BOOL signing : {FALSE, TRUE}) {
    const ossl::Bytes blob = PublicKey(r.lib, responder, signing);
    ECCPUBLICKEYBLOB responder_public{};
    if (blob.size() != sizeof responder_public) return "no responder key";
    std::memcpy(&responder_public, blob.data(), sizeof responder_public);
    HANDLE sponsor_key = nullptr;
    SKF_OF(core, SKF_GenerateKeyWithECC)
    (agreement, &responder_public, &responder_temp, responder_id, 9, &sponsor_key);
    if (!expected.empty() && EncryptWith(core, sponsor_key) == expected) {
      pairs += signing ? "signing pair" : "encryption pair";
    }
  }
  SKF_OF(core, SKF_DisConnectDev)(sponsor_device);
  return Code(responded) + " " + (pairs.empty() ? "no pair" : pairs);
}

}  // namespace legacytest
