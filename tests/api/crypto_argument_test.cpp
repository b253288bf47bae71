// Argument checks of the digest, session-key, symmetric and MAC exports, in their order, with
// their codes. The device handle is one readerio never issued (the container one whose device
// it no longer knows): an export that reached the card would fail with SAR_FAIL instead of the
// code of the check it passed over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "session_record.h"
#include "argument_cases.h"
#include "tokencore.h"

namespace {

using namespace argcases;

class CryptoArguments : public ::testing::Test {
 protected:
  DEVHANDLE dev = kStrangeDevice;
  BYTE data[64] = {};
  BYTE out[64] = {};
  ULONG length = sizeof out;
  HANDLE handle = nullptr;

  HANDLE NewHash(ULONG alg) {
    HANDLE h = nullptr;
    EXPECT_EQ(SKF(SKF_DigestInit)(dev, alg, nullptr, nullptr, 0, &h), SAR_OK);
    return h;
  }
  HANDLE NewKey(ULONG alg) {
    BYTE key[16] = {1, 2, 3};
    HANDLE k = nullptr;
    EXPECT_EQ(SKF(SKF_SetSymmKey)(dev, key, alg, &k), SAR_OK);
    return k;
  }
  // A key whose Init set the padding, without reaching the card.
  HANDLE NewPaddedKey(ULONG alg) {
    HANDLE k = NewKey(alg);
    BLOCKCIPHERPARAM p = {};
    p.PaddingType = 1;
    EXPECT_EQ(SKF(SKF_DecryptInit)(k, p), SAR_OK);
    return k;
  }
};

TEST_F(CryptoArguments, DigestFamily) {
  HANDLE sm3 = NewHash(SGD_SM3);
  HANDLE unknown = NewHash(3);
  std::vector<std::uint8_t> id(8192, 'i');
  RunCases({
      {"init: no device first",
       [&] { return SKF(SKF_DigestInit)(nullptr, SGD_SM3, nullptr, nullptr, 0, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"init: no handle out",
       [&] { return SKF(SKF_DigestInit)(dev, SGD_SM3, nullptr, nullptr, 0, nullptr); },
       SAR_INVALIDPARAMERR},
      {"init: any identifier taken",
       [&] { return SKF(SKF_DigestInit)(dev, 0x77, nullptr, nullptr, 0, &handle); }, SAR_OK},
      {"init: an ID of 8191 bytes",
       [&] { return SKF(SKF_DigestInit)(dev, SGD_SM3, nullptr, id.data(), 8191, &handle); },
       SAR_OK},
      {"init: an ID of 8192 bytes has no bit length",
       [&] { return SKF(SKF_DigestInit)(dev, SGD_SM3, nullptr, id.data(), 8192, &handle); },
       SAR_INVALIDPARAMERR},
      {"digest: no length", [&] { return SKF(SKF_Digest)(sm3, data, 3, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"digest: no data", [&] { return SKF(SKF_Digest)(sm3, nullptr, 3, out, &length); },
       SAR_INVALIDPARAMERR},
      {"digest: length 0 before the handle",
       [&] { return SKF(SKF_Digest)(nullptr, data, 0, out, &length); }, SAR_INDATALENERR},
      {"digest: no handle", [&] { return SKF(SKF_Digest)(nullptr, data, 3, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"digest: unknown identifier",
       [&] { return SKF(SKF_Digest)(unknown, data, 3, out, &length); }, SAR_FAIL},
      {"update: no data first", [&] { return SKF(SKF_DigestUpdate)(nullptr, nullptr, 0); },
       SAR_INVALIDPARAMERR},
      {"update: length 0 before the handle",
       [&] { return SKF(SKF_DigestUpdate)(nullptr, data, 0); }, SAR_INDATALENERR},
      {"update: no handle", [&] { return SKF(SKF_DigestUpdate)(nullptr, data, 1); },
       SAR_INVALIDHANDLEERR},
      {"update: unknown identifier", [&] { return SKF(SKF_DigestUpdate)(unknown, data, 1); },
       SAR_FAIL},
      {"final: no handle first", [&] { return SKF(SKF_DigestFinal)(nullptr, out, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"final: no length", [&] { return SKF(SKF_DigestFinal)(sm3, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"final: no update yet", [&] { return SKF(SKF_DigestFinal)(sm3, out, &length); }, SAR_FAIL},
  });
}

// Results are at most 32 bytes; a smaller buffer is refused with the size needed, and the
// state survives for the call with the right buffer.
TEST_F(CryptoArguments, DigestBuffersTooSmall) {
  struct Row {
    ULONG alg, size;
  };
  for (const Row r : {Row{SGD_SM3, 32}, Row{SGD_SHA1, 20}, Row{SGD_SHA256, 32}}) {
    HANDLE h = NewHash(r.alg);
    BYTE digest[40];
    std::memset(digest, 0xEE, sizeof digest);
    ULONG n = r.size - 1;
    EXPECT_EQ(SKF(SKF_Digest)(h, data, 3, digest, &n), SAR_BUFFER_TOO_SMALL) << r.alg;
    EXPECT_EQ(n, r.size);
    EXPECT_EQ(digest[0], 0xEE);
    n = 1;
    ASSERT_EQ(SKF(SKF_DigestUpdate)(h, data, 3), SAR_OK);
    EXPECT_EQ(SKF(SKF_DigestFinal)(h, digest, &n), SAR_BUFFER_TOO_SMALL) << r.alg;
    EXPECT_EQ(n, r.size);
    EXPECT_EQ(digest[0], 0xEE);
    BYTE whole[32], again[32];
    ULONG a = sizeof whole, b = sizeof again;
    HANDLE ref = NewHash(r.alg);
    ASSERT_EQ(SKF(SKF_Digest)(ref, data, 3, whole, &a), SAR_OK);
    ASSERT_EQ(SKF(SKF_DigestFinal)(h, again, &b), SAR_OK);
    EXPECT_EQ(b, r.size);
    EXPECT_EQ(std::memcmp(whole, again, r.size), 0) << r.alg;
  }
}

TEST_F(CryptoArguments, SessionKeyCreation) {
  BYTE key[16] = {};
  RunCases({
      {"set: no device first", [&] { return SKF(SKF_SetSymmKey)(nullptr, nullptr, 0, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"set: no key", [&] { return SKF(SKF_SetSymmKey)(dev, nullptr, SGD_SMS4_ECB, &handle); },
       SAR_INVALIDPARAMERR},
      {"set: no handle out", [&] { return SKF(SKF_SetSymmKey)(dev, key, SGD_SMS4_ECB, nullptr); },
       SAR_INVALIDPARAMERR},
  });
  const ULONG accepted[] = {SGD_SM1_ECB,   SGD_SM1_CBC,  SGD_SM1_MAC,  SGD_SSF33_ECB, SGD_SSF33_CBC,
                            SGD_SSF33_MAC, SGD_SMS4_ECB, SGD_SMS4_CBC, SGD_SMS4_MAC};
  for (ULONG alg : accepted) {
    EXPECT_EQ(SKF(SKF_SetSymmKey)(dev, key, alg, &handle), SAR_OK) << std::hex << alg;
  }
  for (ULONG alg : {0x103u, 0x400u, 1u, 0x404u, 0u}) {
    EXPECT_EQ(SKF(SKF_SetSymmKey)(dev, key, alg, &handle), SAR_INVALIDPARAMERR) << std::hex << alg;
  }
}

TEST_F(CryptoArguments, ImportSessionKey) {
  const LibraryRecords &records = SharedRecords();
  HCONTAINER container = records.container, closed = records.closed_container;
  RunCases({
      {"no container first",
       [&] { return SKF(SKF_ImportSessionKey)(nullptr, SGD_SMS4_ECB, nullptr, 0, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"closed container",
       [&] { return SKF(SKF_ImportSessionKey)(closed, SGD_SMS4_ECB, data, 16, &handle); },
       SAR_INVALIDHANDLEERR},
      {"no data",
       [&] { return SKF(SKF_ImportSessionKey)(container, SGD_SMS4_ECB, nullptr, 16, &handle); },
       SAR_INVALIDPARAMERR},
      {"no handle out",
       [&] { return SKF(SKF_ImportSessionKey)(container, SGD_SMS4_ECB, data, 16, nullptr); },
       SAR_INVALIDPARAMERR},
      {"reaches the card",
       [&] { return SKF(SKF_ImportSessionKey)(container, SGD_SMS4_ECB, data, 16, &handle); },
       SAR_FAIL},
  });
}

TEST_F(CryptoArguments, SymmetricFamily) {
  HANDLE ecb = NewKey(SGD_SMS4_ECB);
  HANDLE padded = NewPaddedKey(SGD_SMS4_ECB);
  SessionRecord foreign = {};  // laid out as the library's, with a device
  foreign.dwAlgID = SGD_SMS4_ECB;
  foreign.hDev = dev;
  BLOCKCIPHERPARAM param = {};
  BLOCKCIPHERPARAM long_iv = {};
  long_iv.IVLen = 33;
  auto query = [&](HANDLE k, ULONG n) {
    ULONG got = 0;
    const ULONG r = SKF(SKF_Encrypt)(k, data, n, nullptr, &got);
    return r == SAR_OK ? got : 0xFFFFFFFFu;
  };
  RunCases({
      {"encrypt init: no handle", [&] { return SKF(SKF_EncryptInit)(nullptr, param); },
       SAR_INVALIDHANDLEERR},
      {"encrypt init: IV over 32 bytes", [&] { return SKF(SKF_EncryptInit)(ecb, long_iv); },
       SAR_INVALIDPARAMERR},
      {"encrypt init: reads the serial", [&] { return SKF(SKF_EncryptInit)(ecb, param); },
       SAR_FAIL},
      {"decrypt init: no handle", [&] { return SKF(SKF_DecryptInit)(nullptr, param); },
       SAR_INVALIDHANDLEERR},
      {"decrypt init: IV over 32 bytes", [&] { return SKF(SKF_DecryptInit)(ecb, long_iv); },
       SAR_INVALIDPARAMERR},
      {"decrypt init: no card access", [&] { return SKF(SKF_DecryptInit)(ecb, param); }, SAR_OK},
      {"encrypt: length 0 before the handle",
       [&] { return SKF(SKF_Encrypt)(nullptr, data, 0, out, &length); }, SAR_INVALIDPARAMERR},
      {"encrypt: no data", [&] { return SKF(SKF_Encrypt)(ecb, nullptr, 16, out, &length); },
       SAR_INVALIDPARAMERR},
      {"encrypt: no length", [&] { return SKF(SKF_Encrypt)(ecb, data, 16, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"encrypt: no handle", [&] { return SKF(SKF_Encrypt)(nullptr, data, 16, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"encrypt: query 17 padded", [&] { return query(padded, 17); }, 32},
      {"encrypt: query 17 unpadded", [&] { return query(ecb, 17); }, 32},
      {"encrypt: query 32 padded", [&] { return query(padded, 32); }, 48},
      {"encrypt: query 32 unpadded", [&] { return query(ecb, 32); }, 32},
      {"encrypt: more than the card layer counts",
       [&] { return SKF(SKF_Encrypt)(ecb, data, 0x7FFFFFF0, out, &length); }, SAR_INDATALENERR},
      {"encrypt: a record the library did not make",
       [&] { return SKF(SKF_Encrypt)(&foreign, data, 16, out, &length); }, SAR_INVALIDHANDLEERR},
      {"encrypt: reaches the card", [&] { return SKF(SKF_Encrypt)(ecb, data, 16, out, &length); },
       SAR_FAIL},
      {"decrypt: no handle first",
       [&] { return SKF(SKF_Decrypt)(nullptr, nullptr, 0, out, nullptr); }, SAR_INVALIDHANDLEERR},
      {"decrypt: no input", [&] { return SKF(SKF_Decrypt)(ecb, nullptr, 16, out, &length); },
       SAR_INVALIDPARAMERR},
      {"decrypt: no length", [&] { return SKF(SKF_Decrypt)(ecb, data, 16, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"decrypt: more than the card layer counts",
       [&] { return SKF(SKF_Decrypt)(ecb, data, 0x7FFFFFF0, out, &length); }, SAR_INDATALENERR},
      {"decrypt: a record the library did not make",
       [&] { return SKF(SKF_Decrypt)(&foreign, data, 16, out, &length); }, SAR_INVALIDHANDLEERR},
      {"decrypt: reaches the card", [&] { return SKF(SKF_Decrypt)(ecb, data, 16, out, &length); },
       SAR_FAIL},
  });
  ULONG n = 0;
  EXPECT_EQ(SKF(SKF_Decrypt)(padded, data, 48, nullptr, &n), SAR_OK);
  EXPECT_EQ(n, 48u) << "the input length, padding or not";
}

// A buffer below the result is refused before the card is asked, with the size it needs.
TEST_F(CryptoArguments, EncryptBufferTooSmall) {
  HANDLE padded = NewPaddedKey(SGD_SMS4_ECB);
  BYTE small[32];
  std::memset(small, 0xEE, sizeof small);
  ULONG n = sizeof small;
  EXPECT_EQ(SKF(SKF_Encrypt)(padded, data, 32, small, &n), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(n, 48u);
  EXPECT_EQ(small[0], 0xEE);
  HANDLE plain = NewKey(SGD_SMS4_ECB);
  n = 31;
  EXPECT_EQ(SKF(SKF_Encrypt)(plain, data, 32, small, &n), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(n, 32u);
}

TEST_F(CryptoArguments, StreamFamily) {
  HANDLE ecb = NewKey(SGD_SMS4_ECB);
  SessionRecord foreign = {};  // laid out as the library's, with a device
  foreign.dwAlgID = SGD_SMS4_ECB;
  foreign.hDev = dev;
  RunCases({
      {"encrypt update: no handle first",
       [&] { return SKF(SKF_EncryptUpdate)(nullptr, nullptr, 1, out, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"encrypt update: no length",
       [&] { return SKF(SKF_EncryptUpdate)(ecb, data, 16, out, nullptr); }, SAR_INVALIDPARAMERR},
      {"encrypt update: no data",
       [&] { return SKF(SKF_EncryptUpdate)(ecb, nullptr, 16, out, &length); }, SAR_INVALIDPARAMERR},
      {"encrypt update: more than the card layer counts",
       [&] { return SKF(SKF_EncryptUpdate)(ecb, data, 0x7FFFFFF0, out, &length); },
       SAR_INDATALENERR},
      {"decrypt update: more than the card layer counts",
       [&] { return SKF(SKF_DecryptUpdate)(ecb, data, 0x7FFFFFF0, out, &length); },
       SAR_INDATALENERR},
      {"encrypt update: a record the library did not make",
       [&] { return SKF(SKF_EncryptUpdate)(&foreign, data, 16, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"encrypt final: no handle", [&] { return SKF(SKF_EncryptFinal)(nullptr, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"encrypt final: no length", [&] { return SKF(SKF_EncryptFinal)(ecb, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"decrypt update: no handle",
       [&] { return SKF(SKF_DecryptUpdate)(nullptr, data, 16, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"decrypt update: no length",
       [&] { return SKF(SKF_DecryptUpdate)(ecb, data, 16, out, nullptr); }, SAR_INVALIDPARAMERR},
      {"decrypt update: no data",
       [&] { return SKF(SKF_DecryptUpdate)(ecb, nullptr, 16, out, &length); }, SAR_INVALIDPARAMERR},
      {"decrypt update: a record the library did not make",
       [&] { return SKF(SKF_DecryptUpdate)(&foreign, data, 16, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"decrypt final: no handle", [&] { return SKF(SKF_DecryptFinal)(nullptr, out, &length); },
       SAR_INVALIDHANDLEERR},
      {"decrypt final: no length", [&] { return SKF(SKF_DecryptFinal)(ecb, out, nullptr); },
       SAR_INVALIDPARAMERR},
      {"decrypt final: a record the library did not make",
       [&] { return SKF(SKF_DecryptFinal)(&foreign, out, &length); }, SAR_INVALIDHANDLEERR},
  });
  // Length queries need no card: the whole blocks of pending and new bytes. Four bytes pending
  // (an update below one block sends nothing).
  ULONG n = sizeof out;
  ASSERT_EQ(SKF(SKF_EncryptUpdate)(ecb, data, 4, out, &n), SAR_OK);
  EXPECT_EQ(n, 0u);
  const auto *record = static_cast<const SessionRecord *>(ecb);
  ASSERT_EQ(record->PendingLen, 4u);
  EXPECT_EQ(SKF(SKF_EncryptUpdate)(ecb, data, 30, nullptr, &n), SAR_OK);
  EXPECT_EQ(n, 32u);
  EXPECT_EQ(SKF(SKF_DecryptUpdate)(ecb, data, 28, nullptr, &n), SAR_OK);
  EXPECT_EQ(n, 16u) << "a whole last block stays for the final step";
  EXPECT_EQ(record->PendingLen, 4u) << "queries change nothing";
}

TEST_F(CryptoArguments, MacFamilyIsNotSupported) {
  HANDLE untouched = reinterpret_cast<HANDLE>(std::uintptr_t{0x5A5A});
  HANDLE mac = untouched;
  BLOCKCIPHERPARAM p = {};
  EXPECT_EQ(SKF(SKF_MacInit)(NewKey(SGD_SMS4_MAC), &p, &mac), SAR_NOTSUPPORTYETERR);
  EXPECT_EQ(mac, untouched);
  EXPECT_EQ(SKF(SKF_MacInit)(nullptr, nullptr, nullptr), SAR_NOTSUPPORTYETERR);
  EXPECT_EQ(SKF(SKF_Mac)(nullptr, data, 16, out, &length), SAR_NOTSUPPORTYETERR);
  EXPECT_EQ(SKF(SKF_MacUpdate)(nullptr, data, 16), SAR_NOTSUPPORTYETERR);
  ULONG n = 7;
  EXPECT_EQ(SKF(SKF_MacFinal)(nullptr, out, &n), SAR_NOTSUPPORTYETERR);
  EXPECT_EQ(n, 7u);
}

}  // namespace
