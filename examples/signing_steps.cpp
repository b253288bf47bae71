// Signing key pairs generated on the key, digests through the library and signatures on the key,
// written out for the OpenSSL command line to verify.
#include <algorithm>

#include "examples/demo.h"

namespace {

constexpr ULONG kDigestSize = 32;
constexpr ULONG kRsaBits = 2048;

std::string OutPath(const Demo &demo, const char *name) {
  return demo.options.out_dir + "/" + name;
}

bool WriteOut(Demo &demo, const char *step, const char *name, const std::string &content) {
  if (WriteHostFile(OutPath(demo, name), content)) return true;
  StepFailed(demo.report, step, "cannot write " + OutPath(demo, name));
  return false;
}

std::string AsText(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// One-shot digest of the message: ID and public key given for SM3 with the signer's Z value.
bool Digest(Demo &demo, const char *step, ULONG algorithm, ECCPUBLICKEYBLOB *public_key,
            std::uint8_t digest[kDigestSize]) {
  if (!Available(demo.report, demo.api, step, {"SKF_DigestInit", "SKF_Digest"})) return false;
  std::string id = demo.options.id;
  const bool with_id = public_key != nullptr;
  HANDLE hash = nullptr;
  ULONG rc =
      demo.api.SKF_DigestInit(demo.device, algorithm, public_key,
                              with_id ? reinterpret_cast<unsigned char *>(id.data()) : nullptr,
                              with_id ? static_cast<ULONG>(id.size()) : 0, &hash);
  if (rc != SAR_OK) return StepResult(demo.report, step, "SKF_DigestInit", rc, "");
  Bytes message = demo.message;
  ULONG size = kDigestSize;
  rc = demo.api.SKF_Digest(hash, message.data(), static_cast<ULONG>(message.size()), digest, &size);
  if (demo.api.SKF_CloseHandle) demo.api.SKF_CloseHandle(hash);
  if (rc != SAR_OK) return StepResult(demo.report, step, "SKF_Digest", rc, "");
  if (size != kDigestSize) {
    StepFailed(demo.report, step, "SKF_Digest gave " + std::to_string(size) + " bytes");
    return false;
  }
  StepOk(demo.report, step,
         std::to_string(message.size()) + "-byte message" +
             (with_id ? ", ID \"" + id + "\"" : std::string()) + ": " + Hex(digest, kDigestSize));
  return true;
}

void SignWithSm2(Demo &demo) {
  const char gen_step[] = "generate SM2 signing key pair";
  if (!Needs(demo.report, gen_step, demo.sm2_container, "the container")) return;
  if (!Needs(demo.report, gen_step, demo.pin_verified, "the verified user PIN")) return;
  if (!Available(demo.report, demo.api, gen_step, {"SKF_GenECCKeyPair"})) return;
  ECCPUBLICKEYBLOB public_key{};
  ULONG rc = demo.api.SKF_GenECCKeyPair(demo.sm2_container, SGD_SM2_1, &public_key);
  if (!StepResult(demo.report, gen_step, "SKF_GenECCKeyPair", rc,
                  "in \"" + std::string(kSm2Container) + "\", public key in " +
                      OutPath(demo, "sm2pub.pem"))) {
    return;
  }
  if (!WriteOut(demo, gen_step, "sm2pub.pem", Sm2PublicKeyPem(public_key))) return;

  std::uint8_t e[kDigestSize];
  if (!Digest(demo, "SM3 digest with the signer's ID (SM3 of Z and the message)", SGD_SM3,
              &public_key, e)) {
    return;
  }
  const char sign_step[] = "SM2 signature";
  if (!Available(demo.report, demo.api, sign_step, {"SKF_ECCSignData"})) return;
  ECCSIGNATUREBLOB signature{};
  rc = demo.api.SKF_ECCSignData(demo.sm2_container, e, kDigestSize, &signature);
  if (!StepResult(demo.report, sign_step, "SKF_ECCSignData", rc,
                  "signed on the key, DER signature in " + OutPath(demo, "sm2.sig"))) {
    return;
  }
  WriteOut(demo, sign_step, "sm2.sig", AsText(Sm2SignatureDer(signature)));
}

void SignWithRsa(Demo &demo) {
  const char container_step[] = "create RSA container";
  if (!Needs(demo.report, container_step, demo.application, "the application")) return;
  if (!Needs(demo.report, container_step, demo.pin_verified, "the verified user PIN")) return;
  if (!Available(demo.report, demo.api, container_step,
                 {"SKF_CreateContainer", "SKF_GenRSAKeyPair", "SKF_RSASignData"})) {
    return;
  }
  std::string name = kRsaContainer;
  HCONTAINER container = nullptr;
  ULONG rc = demo.api.SKF_CreateContainer(demo.application, name.data(), &container);
  if (!StepResult(demo.report, container_step, "SKF_CreateContainer", rc, "\"" + name + "\"")) {
    return;
  }
  const char gen_step[] = "generate RSA signing key pair";
  RSAPUBLICKEYBLOB public_key{};
  rc = demo.api.SKF_GenRSAKeyPair(container, kRsaBits, &public_key);
  if (!StepResult(
          demo.report, gen_step, "SKF_GenRSAKeyPair", rc,
          std::to_string(kRsaBits) + " bits, public key in " + OutPath(demo, "rsapub.pem"))) {
    return;
  }
  const std::string pem = RsaPublicKeyPem(public_key);
  if (pem.empty()) {
    StepFailed(demo.report, gen_step,
               "public key blob of " + std::to_string(public_key.BitLen) + " bits");
    return;
  }
  if (!WriteOut(demo, gen_step, "rsapub.pem", pem)) return;

  std::uint8_t digest[kDigestSize];
  if (!Digest(demo, "SHA-256 digest", SGD_SHA256, nullptr, digest)) return;
  const char sign_step[] = "RSA signature";
  Bytes digest_info = Sha256DigestInfo(digest);
  Bytes signature(MAX_RSA_MODULUS_LEN);
  ULONG size = static_cast<ULONG>(signature.size());
  rc = demo.api.SKF_RSASignData(container, digest_info.data(),
                                static_cast<ULONG>(digest_info.size()), signature.data(), &size);
  if (!StepResult(demo.report, sign_step, "SKF_RSASignData", rc,
                  "PKCS#1 v1.5 over the SHA-256 DigestInfo, signed on the key, in " +
                      OutPath(demo, "rsa.sig"))) {
    return;
  }
  signature.resize(std::min<std::size_t>(size, signature.size()));
  WriteOut(demo, sign_step, "rsa.sig", AsText(signature));
}

}  // namespace

void RunSigningSteps(Demo &demo) {
  SignWithSm2(demo);
  SignWithRsa(demo);
}
