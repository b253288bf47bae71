// The record behind a digest handle, one per SKF_DigestInit; never freed.
#pragma once

#include <cstdint>

#include "skf.h"
#include "skf/api/handle_registry.h"
#include "skf/crypto/sha1.h"
#include "skf/crypto/sha256.h"
#include "skf/crypto/sm3.h"

inline constexpr std::size_t kHashIdSize = 32;
inline constexpr std::size_t kHashPubKeySize = 128;
inline constexpr std::uint32_t kHashPubKeyLen = 64;  // xA then yA

struct HashHandle {
  std::uint32_t AlgId;           // as passed to SKF_DigestInit
  std::uint32_t IdLen;           // SM3: the ID's length
  std::uint8_t Id[kHashIdSize];  // SM3: the ID's first 32 bytes
  std::uint32_t PubKeyLen;       // 64 for SM3, else 0
  std::uint8_t PubKey[kHashPubKeySize];
  Sm3Context Sm3State;    // Z already absorbed when an ID was given
  std::uint32_t Updated;  // 1 once SKF_DigestUpdate has succeeded
  DEVHANDLE Device;
  // Running states of the update steps, of constant size whatever the data.
  Sha256Context Sha256State;
  Sha1Context Sha1State;
};

// The one maker of hash records: zeroed and registered; nullptr when the heap is exhausted.
HashHandle *NewHashHandle();
// The record behind a caller's handle, or nullptr when the library made no such record.
inline HashHandle *AsHash(HANDLE handle) {
  return static_cast<HashHandle *>(FindHandle(handle, HandleKind::hash));
}
