// SM2 family: container key pairs, signatures, encryption with supplied keys, session keys,
// key agreement, the SM2 extensions and the SM2 key-pair import.
#include <cstring>
#include <vector>

#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

ECCPUBLICKEYBLOB PublicBlob(std::uint8_t seed) {
  ECCPUBLICKEYBLOB blob{};
  blob.BitLen = 256;
  const Bytes x = Filled(32, seed), y = Filled(32, seed + 1);
  std::memcpy(blob.XCoordinate + 32, x.data(), 32);
  std::memcpy(blob.YCoordinate + 32, y.data(), 32);
  return blob;
}

// A cipher blob with `n` bytes of Cipher.
std::vector<std::uint8_t> CipherBlob(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(sizeof(ECCCIPHERBLOB) + n);
  auto *blob = reinterpret_cast<ECCCIPHERBLOB *>(bytes.data());
  const Bytes fill = Filled(bytes.size(), seed);
  std::memcpy(bytes.data(), fill.data(), bytes.size());
  blob->CipherLen = static_cast<ULONG>(n);
  return bytes;
}

ECCCIPHERBLOB *AsCipher(std::vector<std::uint8_t> &bytes) {
  return reinterpret_cast<ECCCIPHERBLOB *>(bytes.data());
}

void GenKeyPair(Run &run, unsigned variant) {
  static const ULONG kAlgs[] = {SGD_SM2_1, SGD_SM2_2, SGD_SM2_ENC_PAIR, SGD_SM2_3};
  ECCPUBLICKEYBLOB blob{};
  SKF_GenECCKeyPair(run.container, kAlgs[variant & 3], &blob);
}

void Sign(Run &run, unsigned variant) {
  Bytes digest = Filled(variant & 1 ? 20 : 32, 5);
  ECCSIGNATUREBLOB signature{};
  SKF_ECCSignData(run.container, digest.data(), static_cast<ULONG>(digest.size()), &signature);
}

void Verify(Run &run, unsigned variant) {
  ECCPUBLICKEYBLOB key = PublicBlob(3);
  Bytes digest = Filled(variant & 1 ? 191 : 32, 5);
  ECCSIGNATUREBLOB signature{};
  if (variant & 2) {
    SKF_ExtECCVerify(run.device, &key, digest.data(), static_cast<ULONG>(digest.size()),
                     &signature);
  } else {
    SKF_ECCVerify(run.device, &key, digest.data(), static_cast<ULONG>(digest.size()), &signature);
  }
}

void ExportSessionKey(Run &run, unsigned variant) {
  ECCPUBLICKEYBLOB key = PublicBlob(3);
  auto cipher = CipherBlob(16, 0);
  HANDLE handle = nullptr;
  if (SKF_ECCExportSessionKey(run.container, variant & 1 ? SGD_SMS4_ECB : SGD_SM1_CBC, &key,
                              AsCipher(cipher), &handle) == SAR_OK) {
    run.key = run.Keep(handle);
  }
}

void ExtEncrypt(Run &run, unsigned variant) {
  ECCPUBLICKEYBLOB key = PublicBlob(3);
  Bytes plain = Filled(variant & 1 ? 160 : 16, 21);
  auto cipher = CipherBlob(plain.size(), 0);
  SKF_ExtECCEncrypt(run.device, &key, plain.data(), static_cast<ULONG>(plain.size()),
                    AsCipher(cipher));
}

void ExtDecryptSign(Run &run, unsigned variant) {
  ECCPRIVATEKEYBLOB key{};
  key.BitLen = 256;
  const Bytes d = Filled(32, 41);
  std::memcpy(key.PrivateKey + 32, d.data(), 32);
  if (variant & 1) {
    Bytes data = Filled(32, 5);
    ECCSIGNATUREBLOB signature{};
    SKF_ExtECCSign(run.device, &key, data.data(), 32, &signature);
    return;
  }
  auto cipher = CipherBlob(variant & 2 ? 100 : 16, 23);
  BYTE plain[256];
  ULONG size = variant & 4 ? 8 : sizeof plain;
  SKF_ExtECCDecrypt(run.device, &key, AsCipher(cipher), variant & 8 ? nullptr : plain, &size);
}

void Agreement(Run &run, unsigned variant) {
  ECCPUBLICKEYBLOB temp{};
  Bytes id = Filled(16, 1);
  HANDLE handle = nullptr;
  if (SKF_GenerateAgreementDataWithECC(run.container, SGD_SMS4_ECB, &temp, id.data(),
                                       static_cast<ULONG>(id.size()), &handle) == SAR_OK) {
    run.agreement = run.Keep(handle);
  }
  if (variant & 1) return;
  ECCPUBLICKEYBLOB peer = PublicBlob(7), peer_temp = PublicBlob(9);
  Bytes peer_id = Filled(20, 2);
  HANDLE key = nullptr;
  if (SKF_GenerateKeyWithECC(run.agreement, &peer, &peer_temp, peer_id.data(),
                             static_cast<ULONG>(peer_id.size()), &key) == SAR_OK) {
    run.key = run.Keep(key);
  }
}

void AgreementResponder(Run &run, unsigned) {
  ECCPUBLICKEYBLOB sponsor = PublicBlob(7), sponsor_temp = PublicBlob(9), temp{};
  Bytes id = Filled(20, 2), sponsor_id = Filled(16, 1);
  HANDLE key = nullptr;
  if (SKF_GenerateAgreementDataAndKeyWithECC(
          run.container, SGD_SM1_ECB, &sponsor, &sponsor_temp, &temp, id.data(),
          static_cast<ULONG>(id.size()), sponsor_id.data(), static_cast<ULONG>(sponsor_id.size()),
          &key) == SAR_OK) {
    run.key = run.Keep(key);
  }
}

void GenExtKey(Run &run, unsigned) {
  BYTE pub[64], pri[32];
  ULONG pub_len = sizeof pub, pri_len = sizeof pri;
  SKF_GenExtEccKey(run.device, pub, &pub_len, pri, &pri_len);
}

void ContainerDecrypt(Run &run, unsigned variant) {
  auto cipher = CipherBlob(variant & 2 ? 160 : 16, 29);
  BYTE plain[256];
  ULONG size = variant & 4 ? 8 : sizeof plain;
  BYTE *out = variant & 8 ? nullptr : plain;
  if (variant & 1) {
    SKF_PrvKeyDecrypt(run.container, variant & 16 ? 2 : 1, AsCipher(cipher), out, &size);
  } else {
    SKFEX_ECCDecrypt(run.container, variant & 16 ? 2 : 1, AsCipher(cipher), out, &size);
  }
}

void ImportKeyPair(Run &run, unsigned variant) {
  std::vector<std::uint8_t> bytes(sizeof(ENVELOPEDKEYBLOB) + 16);
  auto *blob = reinterpret_cast<ENVELOPEDKEYBLOB *>(bytes.data());
  const Bytes fill = Filled(bytes.size(), 31);
  std::memcpy(bytes.data(), fill.data(), bytes.size());
  blob->ulSymmAlgID = variant & 1 ? SGD_SMS4_ECB : SGD_SM1_ECB;
  if (variant & 2) std::memset(blob->cbEncryptedPriKey, 0, 32);
  blob->ECCCipherBlob.CipherLen = 16;
  SKF_ImportECCKeyPair(run.container, blob);
}

void ImportSessionKey(Run &run, unsigned variant) {
  auto cipher = CipherBlob(16, 37);
  HANDLE key = nullptr;
  if (SKF_ImportSessionKey(run.container, variant & 1 ? SGD_SMS4_ECB : SGD_SSF33_CBC, cipher.data(),
                           static_cast<ULONG>(cipher.size() - 1), &key) == SAR_OK) {
    run.key = run.Keep(key);
  }
}

const Operation kOps[] = {
    {"open_app", OpenApp},
    {"verify_pin", VerifyUserPin},
    {"open_container", OpenContainer},
    {"gen_key_pair", GenKeyPair},
    {"sign", Sign},
    {"verify", Verify},
    {"export_session_key", ExportSessionKey},
    {"ext_encrypt", ExtEncrypt},
    {"ext_decrypt_sign", ExtDecryptSign},
    {"agreement", Agreement},
    {"agreement_responder", AgreementResponder},
    {"gen_ext_key", GenExtKey},
    {"container_decrypt", ContainerDecrypt},
    {"import_key_pair", ImportKeyPair},
    {"import_session_key", ImportSessionKey},
};

}  // namespace

std::span<const Operation> Sm2Ops() { return kOps; }

}  // namespace fuzz
