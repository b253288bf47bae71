// Digest family: SM3 (with the signer's Z value when an ID is given), SHA-1 and SHA-256, all
// on the host. The card only sees a SELECT of the MF.
#include <cstring>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/hash_handle.h"
#include "skf/api/sm2_z.h"

namespace {

constexpr std::size_t kBlobCoordinateSize = ECC_MAX_XCOORDINATE_BITS_LEN / 8;
constexpr std::size_t kCoordinateOffset = kBlobCoordinateSize - kSm2CoordinateSize;

// The digest size of an identifier; 0 for one the digests do not know.
ULONG DigestSize(std::uint32_t alg_id) {
  switch (alg_id) {
    case SGD_SM3:
      return kSm3DigestSize;
    case SGD_SHA1:
      return kSha1DigestSize;
    case SGD_SHA256:
      return kSha256DigestSize;
    default:
      return 0;
  }
}

// SM3 preparation: ID and public key kept, Z absorbed when an ID is given.
ULONG PrepareSm3(HashHandle &h, const ECCPUBLICKEYBLOB *pub, const BYTE *id, ULONG id_len) {
  h.IdLen = id_len;
  const bool with_id = id && id_len > 0;
  if (with_id && id_len > kSm2IdMax) return SAR_INVALIDPARAMERR;
  if (with_id) std::memcpy(h.Id, id, id_len < kHashIdSize ? id_len : kHashIdSize);
  h.PubKeyLen = kHashPubKeyLen;
  std::uint8_t *x = h.PubKey;
  std::uint8_t *y = h.PubKey + kSm2CoordinateSize;
  if (pub) {
    std::memcpy(x, pub->XCoordinate + kCoordinateOffset, kSm2CoordinateSize);
    std::memcpy(y, pub->YCoordinate + kCoordinateOffset, kSm2CoordinateSize);
  }
  SM3_Init(&h.Sm3State);
  if (with_id) {
    std::uint8_t z[kSm3DigestSize];
    Sm2ZValue({id, id_len}, x, y, z);
    SM3_Update(&h.Sm3State, z, sizeof z);
  }
  return SAR_OK;
}

// The SHA-1 or SHA-256 digest of everything the update steps took, the running state kept.
bool RunningDigest(const HashHandle &h, std::uint8_t *out) {
  if (h.AlgId == SGD_SHA256) {
    Sha256Context copy = h.Sha256State;
    return SHA256_FinalContext(out, &copy) == 0;
  }
  return SHA1_Final(&h.Sha1State, out) == 0;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_DigestInit(DEVHANDLE hDev, ULONG ulAlgID, ECCPUBLICKEYBLOB *pPubKey,
                            unsigned char *pucID, ULONG ulIDLen, HANDLE *phHash) {
  return RunExport("SKF_DigestInit", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!phHash) return SAR_INVALIDPARAMERR;
    // Prepared here, then copied into the new record.
    HashHandle prepared{};
    prepared.AlgId = ulAlgID;
    prepared.Device = hDev;
    if (ulAlgID == SGD_SM3) {
      const ULONG result = PrepareSm3(prepared, pPubKey, pucID, ulIDLen);
      if (result != SAR_OK) return result;
    } else if (ulAlgID == SGD_SHA256) {
      SHA256_InitContext(&prepared.Sha256State);
    } else if (ulAlgID == SGD_SHA1) {
      SHA1_Init(&prepared.Sha1State);
    }
    HashHandle *h = NewHashHandle();
    if (!h) return SAR_FAIL;
    *h = prepared;
    *phHash = h;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_Digest(HANDLE hHash, BYTE *pbData, ULONG ulDataLen, BYTE *pbHashData,
                        ULONG *pulHashLen) {
  return RunExport("SKF_Digest", [&]() -> ULONG {
    if (!pulHashLen || !pbData) return SAR_INVALIDPARAMERR;
    if (ulDataLen == 0) return SAR_INDATALENERR;
    HashHandle *h = AsHash(hHash);
    if (!h || !h->Device) return SAR_INVALIDHANDLEERR;
    SelectMf(h->Device);
    const ULONG size = DigestSize(h->AlgId);
    if (size == 0) return SAR_FAIL;
    std::uint8_t digest[kSm3DigestSize] = {};
    if (h->AlgId == SGD_SHA1) {
      std::uint32_t n = 0;
      if (SHA1_Digest(pbData, ulDataLen, digest, &n) != 0) return SAR_FAIL;
    }
    if (!pbHashData) {
      // The length needed, and one byte more.
      *pulHashLen = size + 1;
      return SAR_OK;
    }
    if (*pulHashLen < size) {
      *pulHashLen = size;
      return SAR_BUFFER_TOO_SMALL;
    }
    if (h->AlgId == SGD_SM3) {
      SM3_Update(&h->Sm3State, pbData, ulDataLen);
      SM3_Final(&h->Sm3State, digest);
    } else if (h->AlgId == SGD_SHA256) {
      std::uint32_t n = 0;
      SHA256_Digest(pbData, ulDataLen, digest, &n);
    }
    std::memcpy(pbHashData, digest, size);
    *pulHashLen = size;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DigestUpdate(HANDLE hHash, BYTE *pbData, ULONG ulDataLen) {
  return RunExport("SKF_DigestUpdate", [&]() -> ULONG {
    if (!pbData) return SAR_INVALIDPARAMERR;
    if (ulDataLen == 0) return SAR_INDATALENERR;
    HashHandle *h = AsHash(hHash);
    if (!h || !h->Device) return SAR_INVALIDHANDLEERR;
    SelectMf(h->Device);
    switch (h->AlgId) {
      case SGD_SM3:
        SM3_Update(&h->Sm3State, pbData, ulDataLen);
        break;
      case SGD_SHA1:
        if (SHA1_Update(&h->Sha1State, pbData, ulDataLen) != 0) return SAR_FAIL;
        break;
      case SGD_SHA256:
        if (SHA256_UpdateContext(&h->Sha256State, pbData, ulDataLen) != 0) return SAR_FAIL;
        break;
      default:
        return SAR_FAIL;
    }
    h->Updated = 1;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DigestFinal(HANDLE hHash, BYTE *pHashData, ULONG *pulHashLen) {
  return RunExport("SKF_DigestFinal", [&]() -> ULONG {
    HashHandle *h = AsHash(hHash);
    if (!h || !h->Device) return SAR_INVALIDHANDLEERR;
    if (!pulHashLen) return SAR_INVALIDPARAMERR;
    SelectMf(h->Device);
    if (!h->Updated) return SAR_FAIL;
    const ULONG size = DigestSize(h->AlgId);
    if (size == 0) return SAR_FAIL;
    if (!pHashData) {
      *pulHashLen = size;
      return SAR_OK;
    }
    if (*pulHashLen < size) {
      *pulHashLen = size;
      return SAR_BUFFER_TOO_SMALL;
    }
    std::uint8_t digest[kSm3DigestSize] = {};
    if (h->AlgId == SGD_SM3) {
      SM3_Final(&h->Sm3State, digest);
    } else if (!RunningDigest(*h, digest)) {
      return SAR_FAIL;
    }
    std::memcpy(pHashData, digest, size);
    *pulHashLen = size;
    return SAR_OK;
  });
}

}  // extern "C"
