// RSA family: container key pairs, signatures, session keys, the raw operations, the RSA
// decrypt extensions and the RSA key-pair import.
#include <cstring>

#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

ULONG Bits(unsigned variant) { return variant & 1 ? 2048 : 1024; }

RSAPUBLICKEYBLOB PublicBlob(unsigned variant) {
  RSAPUBLICKEYBLOB blob{};
  blob.AlgID = SGD_RSA;
  blob.BitLen = Bits(variant);
  const Bytes modulus = Filled(sizeof blob.Modulus, 0xC1);
  std::memcpy(blob.Modulus, modulus.data(), modulus.size());
  blob.PublicExponent[1] = 1;
  blob.PublicExponent[3] = 1;
  return blob;
}

void GenKeyPair(Run &run, unsigned variant) {
  RSAPUBLICKEYBLOB blob{};
  SKF_GenRSAKeyPair(run.container, Bits(variant), &blob);
}

void Sign(Run &run, unsigned variant) {
  Bytes data = Filled(variant & 2 ? 200 : 35, 7);
  BYTE signature[256];
  ULONG size = sizeof signature;
  SKF_RSASignData(run.container, data.data(), static_cast<ULONG>(data.size()),
                  variant & 4 ? nullptr : signature, &size);
}

void Verify(Run &run, unsigned variant) {
  RSAPUBLICKEYBLOB blob = PublicBlob(variant);
  Bytes data = Filled(35, 7);
  Bytes signature = Filled(Bits(variant) / 8, 9);
  SKF_RSAVerify(run.device, &blob, data.data(), static_cast<ULONG>(data.size()), signature.data(),
                static_cast<ULONG>(signature.size()));
}

void ExportSessionKey(Run &run, unsigned variant) {
  RSAPUBLICKEYBLOB blob = PublicBlob(variant);
  BYTE out[256];
  ULONG size = sizeof out;
  HANDLE key = nullptr;
  if (SKF_RSAExportSessionKey(run.container, SGD_SM1_ECB, &blob, variant & 2 ? nullptr : out, &size,
                              &key) == SAR_OK) {
    run.key = run.Keep(key);
  }
}

void PublicOperation(Run &run, unsigned variant) {
  RSAPUBLICKEYBLOB blob = PublicBlob(variant);
  Bytes input = Filled(Bits(variant) / 8, 3);
  BYTE out[256];
  ULONG size = sizeof out;
  SKF_ExtRSAPubKeyOperation(run.device, &blob, input.data(), static_cast<ULONG>(input.size()),
                            variant & 2 ? nullptr : out, &size);
}

void PrivateOperation(Run &run, unsigned variant) {
  RSAPRIVATEKEYBLOB blob{};
  blob.AlgID = SGD_RSA;
  blob.BitLen = Bits(variant);
  const Bytes fill = Filled(sizeof blob - 8, 0x55);
  std::memcpy(blob.Modulus, fill.data(), fill.size());
  Bytes input = Filled(Bits(variant) / 8, 3);
  BYTE out[256];
  ULONG size = sizeof out;
  SKF_ExtRSAPriKeyOperation(run.device, &blob, input.data(), static_cast<ULONG>(input.size()),
                            variant & 2 ? nullptr : out, &size);
}

void GenExtKey(Run &run, unsigned variant) {
  RSAPRIVATEKEYBLOB blob{};
  SKF_GenExtRSAKey(run.device, Bits(variant), &blob);
}

void Decrypts(Run &run, unsigned variant) {
  Bytes input = Filled(Bits(variant) / 8, 11);
  const auto n = static_cast<ULONG>(input.size());
  BYTE out[256];
  ULONG size = sizeof out;
  BYTE *output = variant & 2 ? nullptr : out;
  switch ((variant >> 2) % 3) {
    case 0:
      SKF_PriRsaDecrypt(run.container, variant & 8, input.data(), n, output, &size);
      break;
    case 1:
      SKF_PrvRsaKeyDecrypt(run.container, variant & 8 ? 2 : 1, input.data(), n, output, &size);
      break;
    default:
      SKFEX_RSADecrypt(run.container, input.data(), n, output, &size, variant & 8 ? 2 : 1);
      break;
  }
}

void ImportKeyPair(Run &run, unsigned variant) {
  static const ULONG kAlgs[] = {SGD_SMS4_ECB, SGD_SM1_ECB, SGD_SSF33_ECB, 1};
  Bytes wrapped = Filled(Bits(variant) / 8, 13);
  Bytes encrypted = Filled(variant & 2 ? 640 : 1216, 17);
  SKF_ImportRSAKeyPair(run.container, kAlgs[(variant >> 2) & 3], wrapped.data(),
                       static_cast<ULONG>(wrapped.size()), encrypted.data(),
                       static_cast<ULONG>(encrypted.size()));
}

void ImportSessionKey(Run &run, unsigned variant) {
  Bytes wrapped = Filled(Bits(variant) / 8, 19);
  HANDLE key = nullptr;
  if (SKF_ImportSessionKey(run.container, variant & 2 ? SGD_SMS4_CBC : SGD_SM1_ECB, wrapped.data(),
                           static_cast<ULONG>(wrapped.size()), &key) == SAR_OK) {
    run.key = run.Keep(key);
  }
}

const Operation kOps[] = {
    {"open_app", OpenApp},
    {"verify_pin", VerifyUserPin},
    {"open_container", [](Run &run, unsigned v) { OpenContainer(run, v ^ 1); }},
    {"gen_key_pair", GenKeyPair},
    {"sign", Sign},
    {"verify", Verify},
    {"export_session_key", ExportSessionKey},
    {"public_operation", PublicOperation},
    {"private_operation", PrivateOperation},
    {"gen_ext_key", GenExtKey},
    {"decrypts", Decrypts},
    {"import_key_pair", ImportKeyPair},
    {"import_session_key", ImportSessionKey},
};

}  // namespace

std::span<const Operation> RsaOps() { return kOps; }

}  // namespace fuzz
