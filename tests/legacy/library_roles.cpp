#include "library_roles.h"

#include <cstring>
#include <memory>
#include <string>

#include "both_fixture.h"
#include "examples/sar_text.h"
#include "key_intact.h"
#include "openssl_side.h"

namespace legacytest {

namespace {

using host::Build;
using host::Library;
using keyshare::Round;
using keyshare::Worker;
using Key = std::shared_ptr<EVP_PKEY>;

constexpr char kWrongPin[] = "87654321";
constexpr ULONG kPinTries = 10;  // of a provisioned key
constexpr ULONG kExchangeKey = 1;
constexpr std::size_t kRsaBytes = 128;
constexpr std::size_t kRsaData = 117;
constexpr std::size_t kFileData = 128;
const Bytes kId = ossl::Hex("31323334353637383132333435363738");
// The key every "verify" child signs with, so that one child's key is loaded on the card while
// another's verification runs.
const Bytes kSignerD =
    ossl::Hex("6F0C2A7E57D7B8DD6A2E2D8C3B8DE0B1A44A2E6E0F5A9C1B32D17F8C4E5A1B93");

std::string Text(const char *what, ULONG code) { return std::string(what) + ": " + SarText(code); }

// The connection and application of one child, disconnected when its last copy goes.
struct Session {
  const Library *lib = nullptr;
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  std::shared_ptr<void> connected;
};

ULONG VerifyPin(const Session &s, const char *pin, ULONG *retries) {
  char text[32] = {};
  std::strncpy(text, pin, sizeof text - 1);
  return SKF_OF(*s.lib, SKF_VerifyPIN)(s.app, USER_TYPE, text, retries);
}

bool Open(const Library &lib, const std::string &reader, bool login, Session &s, std::string &why) {
  s.lib = &lib;
  ULONG code = SKF_OF(lib, SKF_ConnectDev)(reader.c_str(), &s.device);
  if (code != SAR_OK) return why = Text("connect", code), false;
  s.connected.reset(s.device, [&lib](DEVHANDLE device) { SKF_OF(lib, SKF_DisConnectDev)(device); });
  code = SKF_OF(lib, SKF_OpenApplication)(s.device, const_cast<char *>(kAppName), &s.app);
  if (code != SAR_OK) return why = Text("application", code), false;
  ULONG retries = 0;
  code = login ? VerifyPin(s, kPin, &retries) : SAR_OK;
  if (code != SAR_OK) return why = Text("PIN", code), false;
  return true;
}

HCONTAINER Container(const Session &s, const char *name, std::string &why) {
  HCONTAINER container = nullptr;
  const ULONG code = SKF_OF(*s.lib, SKF_OpenContainer)(s.app, const_cast<char *>(name), &container);
  if (code != SAR_OK) why = Text(name, code);
  return container;
}

template <typename Blob>
bool PublicBlob(const Session &s, HCONTAINER container, BOOL sign, Blob &blob, std::string &why) {
  ULONG length = sizeof blob;
  const ULONG code = SKF_OF(*s.lib, SKF_ExportPublicKey)(container, sign,
                                                         reinterpret_cast<BYTE *>(&blob), &length);
  if (code != SAR_OK || length != sizeof blob) why = Text("public key", code);
  return code == SAR_OK && length == sizeof blob;
}

// A result that must be SAR_OK and then pass `check`.
void Expect(Worker &w, const char *what, ULONG code, bool check) {
  if (code != SAR_OK) return w.Fail(Text(what, code));
  if (!check) return w.Fail(std::string(what) + ": SAR_OK, but it came back wrong");
  ++w.checked;
}

Round Pins(const Session &s, std::string &) {
  return [s](Worker &w) {
    ULONG retries = 0;
    const ULONG refused = VerifyPin(s, kWrongPin, &retries);
    if (refused != SAR_PIN_INCORRECT) {
      w.Fail(Text("wrong PIN", refused));
    } else if (retries == 0 || retries >= kPinTries) {
      w.Fail("wrong PIN refused with " + std::to_string(retries) + " tries left");
    }
    Expect(w, "right PIN", VerifyPin(s, kPin, &retries), true);
  };
}

Round RsaSign(const Session &s, std::string &why) {
  const HCONTAINER rsa = Container(s, kRsaContainer, why);
  RSAPUBLICKEYBLOB blob{};
  if (!rsa || !PublicBlob(s, rsa, TRUE, blob, why)) return {};
  const Key key(ossl::RsaFromPublicBlob(blob));
  return [s, rsa, key](Worker &w) {
    const Bytes data = ossl::Random(kRsaData);
    BYTE signature[256] = {};
    ULONG length = sizeof signature;
    const ULONG code = SKF_OF(*s.lib, SKF_RSASignData)(rsa, const_cast<BYTE *>(data.data()),
                                                       kRsaData, signature, &length);
    Expect(w, "RSA signature", code,
           length == kRsaBytes &&
               ossl::RsaVerifyRaw(key.get(), data, Bytes(signature, signature + length)));
  };
}

Round Sm2Sign(const Session &s, std::string &why) {
  const HCONTAINER sm2 = Container(s, kSm2Container, why);
  ECCPUBLICKEYBLOB blob{};
  if (!sm2 || !PublicBlob(s, sm2, TRUE, blob, why)) return {};
  const Bytes xy = ossl::EccPoint(blob);
  const Key key(ossl::Sm2FromPublic(xy));
  return [s, sm2, xy, key](Worker &w) {
    const Bytes message = ossl::Random(64);
    Bytes e = ossl::Sm2Digest(xy, kId, message);
    ECCSIGNATUREBLOB signature{};
    const ULONG code = SKF_OF(*s.lib, SKF_ECCSignData)(sm2, e.data(), 32, &signature);
    Expect(w, "SM2 signature", code,
           ossl::Sm2Verify(key.get(), kId, message, ossl::EccSignature(signature)));
  };
}

// tokenbase sends an SM2 ciphertext in the order it is given, which the key takes only with
// its order knob changed: only tokencore decrypts SM2 here.
Round Decrypt(const Session &s, std::string &why) {
  const HCONTAINER rsa = Container(s, kRsaContainer, why);
  const HCONTAINER sm2 = s.lib->IsBase() ? nullptr : Container(s, kSm2Container, why);
  RSAPUBLICKEYBLOB rsa_blob{};
  ECCPUBLICKEYBLOB sm2_blob{};
  if (!rsa || !PublicBlob(s, rsa, FALSE, rsa_blob, why)) return {};
  if (!s.lib->IsBase() && (!sm2 || !PublicBlob(s, sm2, FALSE, sm2_blob, why))) return {};
  const Key rsa_key(ossl::RsaFromPublicBlob(rsa_blob));
  const Key sm2_key(sm2 ? ossl::Sm2FromPublic(ossl::EccPoint(sm2_blob)) : nullptr);
  return [s, rsa, sm2, rsa_key, sm2_key](Worker &w) {
    const Bytes payload = ossl::Random(40);
    Bytes cipher = ossl::RsaEncrypt(rsa_key.get(), payload);
    BYTE out[256] = {};
    ULONG length = sizeof out;
    // The raw block: 00 02, padding, 00, the payload at its end.
    ULONG code =
        SKF_OF(*s.lib, SKF_PriRsaDecrypt)(rsa, FALSE, cipher.data(), kRsaBytes, out, &length);
    Expect(w, "RSA decryption", code,
           length == kRsaBytes && out[0] == 0 && out[1] == 2 &&
               Bytes(out + kRsaBytes - payload.size(), out + kRsaBytes) == payload);
    if (!sm2) return;
    Bytes blob = ossl::EccCipherBlob(ossl::Sm2Encrypt(sm2_key.get(), payload));
    length = sizeof out;
    code = SKF_OF(*s.lib, SKF_PrvKeyDecrypt)(
        sm2, kExchangeKey, reinterpret_cast<PECCCIPHERBLOB>(blob.data()), out, &length);
    Expect(w, "SM2 decryption", code, Bytes(out, out + length) == payload);
  };
}

Round Verify(const Session &s, std::string &) {
  const Key signer(ossl::Sm2FromPrivate(kSignerD));
  const Bytes xy = ossl::Sm2Public(signer.get());
  return [s, signer, xy](Worker &w) {
    const Bytes message = ossl::Random(64);
    Bytes e = ossl::Sm2Digest(xy, kId, message);
    ECCSIGNATUREBLOB signature = ossl::EccSignatureBlob(ossl::Sm2Sign(signer.get(), kId, message));
    ECCPUBLICKEYBLOB right = ossl::EccPublicBlob(xy);
    const ULONG verified =
        SKF_OF(*s.lib, SKF_ECCVerify)(s.device, &right, e.data(), 32, &signature);
    if (verified != SAR_OK) return w.Fail(Text("signature under its signer's key", verified));
    const ossl::Pkey other = ossl::Sm2Generate();
    ECCPUBLICKEYBLOB wrong = ossl::EccPublicBlob(ossl::Sm2Public(other.get()));
    const ULONG refused = SKF_OF(*s.lib, SKF_ECCVerify)(s.device, &wrong, e.data(), 32, &signature);
    if (refused != SAR_FAIL) return w.Fail(Text("signature under another key", refused));
    ++w.checked;
  };
}

Round Files(const Session &s, std::string &) {
  return [s](Worker &w) {
    Bytes data = ossl::Random(kFileData);
    char *name = const_cast<char *>(FileOf(s.lib->build()));
    const ULONG wrote = SKF_OF(*s.lib, SKF_WriteFile)(s.app, name, 0, data.data(), kFileData);
    if (wrote != SAR_OK) return w.Fail(Text("file write", wrote));
    BYTE back[kFileData] = {};
    ULONG length = sizeof back;
    const ULONG read = SKF_OF(*s.lib, SKF_ReadFile)(s.app, name, 0, kFileData, back, &length);
    Expect(w, "file read back", read, Bytes(back, back + length) == data);
  };
}

Round Containers(const Session &s, std::string &) {
  return [s](Worker &w) {
    std::string name = std::string(host::NameOf(s.lib->build())) + "-TEMP";
    HCONTAINER container = nullptr;
    const ULONG created = SKF_OF(*s.lib, SKF_CreateContainer)(s.app, name.data(), &container);
    if (created != SAR_OK) return w.Fail(Text("container created", created));
    SKF_OF(*s.lib, SKF_CloseContainer)(container);
    const std::string listed = NameList(SKF_OF(*s.lib, SKF_EnumContainer), s.app);
    const bool found = listed.find(name) != std::string::npos;
    if (!found) w.Fail("created, then listed: " + listed);
    const ULONG deleted = SKF_OF(*s.lib, SKF_DeleteContainer)(s.app, name.data());
    if (deleted != SAR_OK) return w.Fail(Text("container deleted", deleted));
    const std::string left = NameList(SKF_OF(*s.lib, SKF_EnumContainer), s.app);
    if (left.find(name) != std::string::npos) return w.Fail("deleted, then listed: " + left);
    if (found) ++w.checked;
  };
}

// The certificates of the SM2 and the RSA container, each its encryption and its signing one.
constexpr const char *kCertificateNames[] = {"SM2 encryption", "SM2 signing", "RSA encryption",
                                             "RSA signing"};

// The four certificates; false when one cannot be read.
bool Certificates(const Session &s, const HCONTAINER containers[2], std::vector<Bytes> &out,
                  std::string &why) {
  out.clear();
  for (int c = 0; c < 2; ++c) {
    for (const BOOL sign : {FALSE, TRUE}) {
      BYTE der[2048] = {};
      ULONG length = sizeof der;
      const ULONG code = SKF_OF(*s.lib, SKF_ExportCertificate)(containers[c], sign, der, &length);
      if (code != SAR_OK) return why = Text("certificate", code), false;
      out.emplace_back(der, der + length);
    }
  }
  return true;
}

// Reads the certificates as traywatch does when a key arrives, each time as first read.
Round CertificateReads(const Session &s, std::string &why) {
  const HCONTAINER containers[2] = {Container(s, kSm2Container, why),
                                    Container(s, kRsaContainer, why)};
  std::vector<Bytes> first;
  if (!containers[0] || !containers[1] || !Certificates(s, containers, first, why)) return {};
  return [s, containers, first](Worker &w) {
    std::vector<Bytes> again;
    std::string why;
    if (!Certificates(s, containers, again, why)) return w.Fail(why);
    for (std::size_t i = 0; i < first.size(); ++i) {
      if (again[i] != first[i]) {
        return w.Fail(std::string("the ") + kCertificateNames[i] + " certificate read otherwise");
      }
    }
    ++w.checked;
  };
}

// The roles of one library.
void AddRoles(Build build, std::vector<keyshare::Role> &roles) {
  const std::string library = host::NameOf(build);
  // Whether the role verifies the PIN first, and its round from the open session.
  struct Kind {
    const char *name;
    bool login;
    Round (*round)(const Session &, std::string &);
  };
  static const Kind kinds[] = {
      {"pins", false, Pins},
      {"rsa-sign", true, RsaSign},
      {"sm2-sign", true, Sm2Sign},
      {"decrypt", true, Decrypt},
      {"verify", false, Verify},
      {"files", false, Files},
      {"containers", false, Containers},
      {"certificates", false, CertificateReads},
  };
  for (const Kind &kind : kinds) {
    roles.push_back({library + " " + kind.name,
                     [build, kind](const std::string &reader, std::string &why) -> Round {
                       Session s;
                       if (!Open(host::Of(build), reader, kind.login, s, why)) return {};
                       return kind.round(s, why);
                     }});
  }
}

}  // namespace

std::vector<keyshare::Role> LibraryRoles() {
  std::vector<keyshare::Role> roles;
  AddRoles(Build::kCore, roles);
  AddRoles(Build::kBase, roles);
  return roles;
}

const char *FileOf(Build build) { return build == Build::kCore ? "CORE-FILE" : "BASE-FILE"; }

}  // namespace legacytest
