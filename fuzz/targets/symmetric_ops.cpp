// Session keys in clear, one-shot and streaming encryption and decryption, digests and MACs.
#include <cstring>

#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

constexpr ULONG kAlgs[] = {SGD_SM1_ECB,  SGD_SM1_CBC, SGD_SSF33_ECB, SGD_SSF33_CBC, SGD_SMS4_ECB,
                           SGD_SMS4_CBC, 1,           SGD_SMS4_MAC};

void SetKey(Run &run, unsigned variant) {
  Bytes key = Filled(16, static_cast<std::uint8_t>(variant));
  HANDLE handle = nullptr;
  if (SKF_SetSymmKey(run.device, key.data(), kAlgs[variant % 8], &handle) == SAR_OK) {
    run.key = run.Keep(handle);
  }
}

BLOCKCIPHERPARAM Param(unsigned variant) {
  BLOCKCIPHERPARAM param{};
  param.IVLen = variant & 1 ? 16 : 0;
  const Bytes iv = Filled(16, 77);
  std::memcpy(param.IV, iv.data(), iv.size());
  param.PaddingType = variant & 2 ? 1 : 0;
  return param;
}

void Init(Run &run, unsigned variant) {
  if (variant & 4) {
    SKF_DecryptInit(run.key, Param(variant));
  } else {
    SKF_EncryptInit(run.key, Param(variant));
  }
}

void OneShot(Run &run, unsigned variant) {
  Bytes data = Filled(variant & 1 ? 35 : 48, 3);
  BYTE out[128];
  ULONG size = variant & 2 ? 8 : sizeof out;
  if (variant & 4) {
    SKF_Decrypt(run.key, data.data(), static_cast<ULONG>(data.size()), out, &size);
  } else {
    SKF_Encrypt(run.key, data.data(), static_cast<ULONG>(data.size()), out, &size);
  }
}

void Update(Run &run, unsigned variant) {
  Bytes data = Filled(variant & 1 ? 21 : 32, 5);
  BYTE out[128];
  ULONG size = variant & 2 ? 8 : sizeof out;
  if (variant & 4) {
    SKF_DecryptUpdate(run.key, data.data(), static_cast<ULONG>(data.size()), out, &size);
  } else {
    SKF_EncryptUpdate(run.key, data.data(), static_cast<ULONG>(data.size()), out, &size);
  }
}

void Final(Run &run, unsigned variant) {
  BYTE out[64];
  ULONG size = variant & 2 ? 4 : sizeof out;
  if (variant & 4) {
    SKF_DecryptFinal(run.key, out, &size);
  } else {
    SKF_EncryptFinal(run.key, out, &size);
  }
}

void DigestInit(Run &run, unsigned variant) {
  static const ULONG kHashes[] = {SGD_SM3, SGD_SHA1, SGD_SHA256, SGD_SM3};
  ECCPUBLICKEYBLOB key{};
  key.BitLen = 256;
  const Bytes xy = Filled(64, 9);
  std::memcpy(key.XCoordinate + 32, xy.data(), 32);
  std::memcpy(key.YCoordinate + 32, xy.data() + 32, 32);
  Bytes id = Filled(16, 1);
  const bool with_key = (variant & 3) == 3;
  HANDLE hash = nullptr;
  if (SKF_DigestInit(run.device, kHashes[variant & 3], with_key ? &key : nullptr,
                     with_key ? id.data() : nullptr, with_key ? 16 : 0, &hash) == SAR_OK) {
    run.hash = run.KeepHash(hash);
  }
}

void Digest(Run &run, unsigned variant) {
  Bytes data = Filled(variant & 1 ? 100 : 3, 13);
  BYTE out[64];
  ULONG size = variant & 2 ? 16 : sizeof out;
  switch ((variant >> 2) % 3) {
    case 0:
      SKF_Digest(run.hash, data.data(), static_cast<ULONG>(data.size()), out, &size);
      break;
    case 1:
      SKF_DigestUpdate(run.hash, data.data(), static_cast<ULONG>(data.size()));
      break;
    default:
      SKF_DigestFinal(run.hash, variant & 1 ? nullptr : out, &size);
      break;
  }
}

void Mac(Run &run, unsigned) {
  BLOCKCIPHERPARAM param = Param(1);
  HANDLE mac = nullptr;
  SKF_MacInit(run.key, &param, &mac);
  SKF_CloseHandle(run.key);
}

const Operation kOps[] = {
    {"set_key", SetKey}, {"init", Init},   {"one_shot", OneShot},
    {"update", Update},  {"final", Final}, {"digest_init", DigestInit},
    {"digest", Digest},  {"mac", Mac},     {"open_app", OpenApp},
};

}  // namespace

std::span<const Operation> SymmetricOps() { return kOps; }

}  // namespace fuzz
