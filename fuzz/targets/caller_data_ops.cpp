// Data a caller hands in: enveloped key pairs, SM2 ciphertexts, DER RSA private keys, RSA and
// SM2 public key blobs, RSA private key blobs, wrapped keys and certificates. Each operation
// takes the run's data as its argument; the containers it needs come from the card answers.
#include <algorithm>
#include <cstring>

#include "fuzz/harness/families.h"
#include "skf/card/key_import.h"

namespace fuzz {

namespace {

constexpr std::size_t kCipherLenMax = 4096;

// At least sizeof(T) bytes: the data, zero-filled after its end.
template <typename T>
Bytes AtLeast(const Run &run, std::size_t extra = 0) {
  Bytes bytes(std::max(run.data.size(), sizeof(T) + extra));
  std::copy(run.data.begin(), run.data.end(), bytes.begin());
  return bytes;
}

// A cipher blob at `offset` of `bytes` whose CipherLen bytes all lie inside the buffer, as a
// caller's would.
void FitCipherLen(Bytes &bytes, std::size_t offset) {
  ECCCIPHERBLOB head;
  std::memcpy(&head, bytes.data() + offset, sizeof head);
  const std::size_t wanted =
      offset + sizeof head - 1 + std::min<std::size_t>(head.CipherLen, kCipherLenMax);
  if (head.CipherLen > kCipherLenMax) {
    head.CipherLen = kCipherLenMax;
    std::memcpy(bytes.data() + offset, &head, sizeof head);
  }
  if (bytes.size() < wanted) bytes.resize(wanted);
}

ECCCIPHERBLOB *Cipher(Bytes &bytes) { return reinterpret_cast<ECCCIPHERBLOB *>(bytes.data()); }

void ParseDer(Run &run, unsigned) {
  RsaKeyRecord record;
  ParseRsaPrivateKey(run.data, &record);
}

void ImportEnveloped(Run &run, unsigned) {
  Bytes bytes = AtLeast<ENVELOPEDKEYBLOB>(run);
  FitCipherLen(bytes, offsetof(ENVELOPEDKEYBLOB, ECCCipherBlob));
  SKF_ImportECCKeyPair(run.container, reinterpret_cast<ENVELOPEDKEYBLOB *>(bytes.data()));
}

void DecryptCipherBlob(Run &run, unsigned variant) {
  Bytes bytes = AtLeast<ECCCIPHERBLOB>(run);
  FitCipherLen(bytes, 0);
  BYTE plain[512];
  ULONG size = variant & 4 ? 16 : sizeof plain;
  switch (variant & 3) {
    case 0: {
      ECCPRIVATEKEYBLOB key{};
      key.BitLen = 256;
      key.PrivateKey[63] = 1;
      SKF_ExtECCDecrypt(run.device, &key, Cipher(bytes), plain, &size);
      break;
    }
    case 1:
      SKF_PrvKeyDecrypt(run.container, 1, Cipher(bytes), plain, &size);
      break;
    case 2:
      SKFEX_ECCDecrypt(run.container, 2, Cipher(bytes), plain, &size);
      break;
    default: {
      HANDLE key = nullptr;
      if (SKF_ImportSessionKey(run.container, SGD_SMS4_ECB, bytes.data(),
                               static_cast<ULONG>(run.data.size()), &key) == SAR_OK) {
        run.key = run.Keep(key);
      }
      break;
    }
  }
}

void RsaPublicBlob(Run &run, unsigned variant) {
  Bytes bytes = AtLeast<RSAPUBLICKEYBLOB>(run);
  auto *blob = reinterpret_cast<RSAPUBLICKEYBLOB *>(bytes.data());
  Bytes input = Filled(256, 3);
  BYTE out[512];
  ULONG size = sizeof out;
  switch (variant % 3) {
    case 0:
      SKF_RSAVerify(run.device, blob, input.data(), 35, input.data(), blob->BitLen / 8 % 257);
      break;
    case 1:
      SKF_ExtRSAPubKeyOperation(run.device, blob, input.data(), blob->BitLen / 8 % 257, out, &size);
      break;
    default: {
      HANDLE key = nullptr;
      if (SKF_RSAExportSessionKey(run.container, SGD_SM1_ECB, blob, out, &size, &key) == SAR_OK) {
        run.key = run.Keep(key);
      }
      break;
    }
  }
}

void RsaPrivateBlob(Run &run, unsigned) {
  Bytes bytes = AtLeast<RSAPRIVATEKEYBLOB>(run);
  auto *blob = reinterpret_cast<RSAPRIVATEKEYBLOB *>(bytes.data());
  Bytes input = Filled(256, 3);
  BYTE out[512];
  ULONG size = sizeof out;
  SKF_ExtRSAPriKeyOperation(run.device, blob, input.data(), blob->BitLen / 8 % 257, out, &size);
}

void EccPublicBlob(Run &run, unsigned variant) {
  Bytes bytes = AtLeast<ECCPUBLICKEYBLOB>(run, 32);
  auto *blob = reinterpret_cast<ECCPUBLICKEYBLOB *>(bytes.data());
  BYTE *id = bytes.data() + sizeof(ECCPUBLICKEYBLOB);
  Bytes data = Filled(160, 5);
  switch (variant % 3) {
    case 0: {
      ECCSIGNATUREBLOB signature{};
      SKF_ECCVerify(run.device, blob, data.data(), 32, &signature);
      break;
    }
    case 1: {
      Bytes cipher(sizeof(ECCCIPHERBLOB) + 160);
      SKF_ExtECCEncrypt(run.device, blob, data.data(), 160, Cipher(cipher));
      break;
    }
    default: {
      HANDLE hash = nullptr;
      if (SKF_DigestInit(run.device, SGD_SM3, blob, id, variant & 8 ? 32 : 16, &hash) == SAR_OK) {
        run.hash = run.KeepHash(hash);
      }
      break;
    }
  }
}

void Certificate(Run &run, unsigned variant) {
  Bytes cert(run.data.begin(), run.data.end());
  SKF_ImportCertificate(run.container, variant & 1, cert.data(), static_cast<ULONG>(cert.size()));
}

void WrappedRsaImport(Run &run, unsigned variant) {
  Bytes bytes(run.data.begin(), run.data.end());
  const std::size_t split = std::min<std::size_t>(bytes.size(), variant & 1 ? 256 : 128);
  SKF_ImportRSAKeyPair(run.container, variant & 2 ? SGD_SM1_ECB : SGD_SMS4_ECB, bytes.data(),
                       static_cast<ULONG>(split), bytes.data() + split,
                       static_cast<ULONG>(bytes.size() - split));
}

const Operation kOps[] = {
    {"parse_der", ParseDer},
    {"import_enveloped", ImportEnveloped},
    {"decrypt_cipher_blob", DecryptCipherBlob},
    {"rsa_public_blob", RsaPublicBlob},
    {"rsa_private_blob", RsaPrivateBlob},
    {"ecc_public_blob", EccPublicBlob},
    {"certificate", Certificate},
    {"wrapped_rsa_import", WrappedRsaImport},
};

}  // namespace

std::span<const Operation> CallerDataOps() { return kOps; }

}  // namespace fuzz
