// Digest family against a virtual key, OpenSSL as the reference: SM3 with and without the
// signer's ID and public key, SHA-1 and SHA-256, in one piece and in updates.
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "keysim_fixture.h"

namespace {

using vkey::Bytes;

Bytes Hex(const char *text) {
  Bytes out;
  for (std::size_t i = 0; text[i] && text[i + 1]; i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
  }
  return out;
}

Bytes Text(const char *text) { return Bytes(text, text + std::strlen(text)); }

Bytes Pattern(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 131 + seed);
  return b;
}

Bytes Concat(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const EVP_MD *MdOf(ULONG alg) {
  return alg == SGD_SM3 ? EVP_sm3() : alg == SGD_SHA1 ? EVP_sha1() : EVP_sha256();
}

Bytes Reference(ULONG alg, const Bytes &data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned n = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &n, MdOf(alg), nullptr), 1);
  out.resize(n);
  return out;
}

// SM2 signature known answer on the recommended curve (GB/T 32918.5 parameters).
const Bytes kPubX = Hex("09f9df311e5421a150dd7d161e4bc5c672179fad1833fc076bb08ff356f35020");
const Bytes kPubY = Hex("ccea490ce26775a52dc6ea718cc1aa600aed05fbf35e084a6632f6072da9ad13");
const Bytes kId = Text("1234567812345678");
const Bytes kMessage = Text("message digest");
const Bytes kZ = Hex("b2e14c5c79c6df5b85f4fe7ed8db7a262b9da7e07ccb0ea9f4747b8ccda8a4f3");
const Bytes kE = Hex("f0b43e94ba45accaace692ed534382eb17e6ab5a19ce7b31f4486fdfc0d28640");

ECCPUBLICKEYBLOB BlobOf(const Bytes &x, const Bytes &y) {
  ECCPUBLICKEYBLOB blob = {};
  blob.BitLen = 256;
  std::memcpy(blob.XCoordinate + 32, x.data(), 32);
  std::memcpy(blob.YCoordinate + 32, y.data(), 32);
  return blob;
}

Bytes BigEndian32(const BIGNUM *n) {
  Bytes out(32);
  EXPECT_EQ(BN_bn2binpad(n, out.data(), 32), 32);
  return out;
}

// Z from OpenSSL's own parameters of the curve, ID of any length.
Bytes ReferenceZ(const Bytes &id, const Bytes &x, const Bytes &y) {
  EC_GROUP *group = EC_GROUP_new_by_curve_name(NID_sm2);
  BIGNUM *p = BN_new(), *a = BN_new(), *b = BN_new(), *gx = BN_new(), *gy = BN_new();
  EXPECT_EQ(EC_GROUP_get_curve(group, p, a, b, nullptr), 1);
  EXPECT_EQ(EC_POINT_get_affine_coordinates(group, EC_GROUP_get0_generator(group), gx, gy, nullptr),
            1);
  const std::size_t bits = id.size() * 8;
  Bytes input = {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
  for (const Bytes &part :
       {id, BigEndian32(a), BigEndian32(b), BigEndian32(gx), BigEndian32(gy), x, y}) {
    input = Concat(input, part);
  }
  for (BIGNUM *n : {p, a, b, gx, gy}) BN_free(n);
  EC_GROUP_free(group);
  return Reference(SGD_SM3, input);
}

class DigestTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    device_ = Connect(NewKey(false));
    ASSERT_NE(device_, nullptr);
  }

  HANDLE Init(ULONG alg, const ECCPUBLICKEYBLOB *pub = nullptr, const Bytes *id = nullptr) {
    HANDLE h = nullptr;
    EXPECT_EQ(SKF(SKF_DigestInit)(device_, alg, const_cast<ECCPUBLICKEYBLOB *>(pub),
                                  id ? const_cast<BYTE *>(id->data()) : nullptr,
                                  id ? static_cast<ULONG>(id->size()) : 0, &h),
              SAR_OK);
    return h;
  }
  static Bytes OneShot(HANDLE h, Bytes data) {
    Bytes out(32);
    ULONG n = static_cast<ULONG>(out.size());
    EXPECT_EQ(SKF(SKF_Digest)(h, data.data(), static_cast<ULONG>(data.size()), out.data(), &n),
              SAR_OK);
    out.resize(n);
    return out;
  }
  // Updates of the given sizes (the last one takes the rest), then the final step.
  static Bytes Pieces(HANDLE h, Bytes data, std::initializer_list<std::size_t> sizes) {
    std::size_t at = 0;
    for (std::size_t s : sizes) {
      if (at >= data.size()) break;
      const std::size_t n = std::min(s, data.size() - at);
      EXPECT_EQ(SKF(SKF_DigestUpdate)(h, data.data() + at, static_cast<ULONG>(n)), SAR_OK);
      at += n;
    }
    if (at < data.size()) {
      EXPECT_EQ(SKF(SKF_DigestUpdate)(h, data.data() + at, static_cast<ULONG>(data.size() - at)),
                SAR_OK);
    }
    Bytes out(32);
    ULONG n = static_cast<ULONG>(out.size());
    EXPECT_EQ(SKF(SKF_DigestFinal)(h, out.data(), &n), SAR_OK);
    out.resize(n);
    return out;
  }

  DEVHANDLE device_ = nullptr;
};

TEST_F(DigestTest, SignerIdGivesTheKnownZAndE) {
  const ECCPUBLICKEYBLOB pub = BlobOf(kPubX, kPubY);
  ASSERT_EQ(Concat(kZ, kMessage).size(), 46u);
  EXPECT_EQ(Reference(SGD_SM3, Concat(kZ, kMessage)), kE) << "the vectors agree with themselves";
  EXPECT_EQ(OneShot(Init(SGD_SM3, &pub, &kId), kMessage), kE);
  EXPECT_EQ(Pieces(Init(SGD_SM3, &pub, &kId), kMessage, {8}), kE);
  // Any message after the same Z.
  const Bytes long_message = Pattern(1000, 7);
  EXPECT_EQ(OneShot(Init(SGD_SM3, &pub, &kId), long_message),
            Reference(SGD_SM3, Concat(kZ, long_message)));
  EXPECT_EQ(ReferenceZ(kId, kPubX, kPubY), kZ);
}

TEST_F(DigestTest, ZOfLongerIdsAndMissingKeys) {
  const ECCPUBLICKEYBLOB pub = BlobOf(kPubX, kPubY);
  const Bytes zero(32, 0);
  const Bytes message = Text("abc");
  for (std::size_t n : {1u, 33u, 500u, 8191u}) {
    const Bytes id = Pattern(n, 3);
    EXPECT_EQ(OneShot(Init(SGD_SM3, &pub, &id), message),
              Reference(SGD_SM3, Concat(ReferenceZ(id, kPubX, kPubY), message)))
        << n << "-byte ID";
  }
  EXPECT_EQ(OneShot(Init(SGD_SM3, nullptr, &kId), message),
            Reference(SGD_SM3, Concat(ReferenceZ(kId, zero, zero), message)))
      << "no public key: zero coordinates";
  EXPECT_EQ(OneShot(Init(SGD_SM3, &pub, nullptr), message), Reference(SGD_SM3, message))
      << "no ID: plain SM3";
  HANDLE h = nullptr;
  ASSERT_EQ(
      SKF(SKF_DigestInit)(device_, SGD_SM3, const_cast<ECCPUBLICKEYBLOB *>(&pub), nullptr, 16, &h),
      SAR_OK);
  EXPECT_EQ(OneShot(h, message), Reference(SGD_SM3, message)) << "an ID length without an ID";
}

TEST_F(DigestTest, EveryAlgorithmMatchesOpenSsl) {
  struct Row {
    ULONG alg;
    ULONG size;
  };
  for (const Row r : {Row{SGD_SM3, 32}, Row{SGD_SHA1, 20}, Row{SGD_SHA256, 32}}) {
    for (std::size_t n : {3u, 55u, 56u, 64u, 65u, 1000u}) {
      const Bytes data = n == 3 ? Text("abc") : Pattern(n, 11);
      const Bytes want = Reference(r.alg, data);
      ASSERT_EQ(want.size(), r.size);
      EXPECT_EQ(OneShot(Init(r.alg), data), want) << r.alg << " " << n;
      EXPECT_EQ(Pieces(Init(r.alg), data, {1, 63, 64}), want) << r.alg << " " << n;
    }
    // Queries: one more than the size for the one-shot digest, the size for the final step,
    // which leaves the state for the call with a buffer.
    const Bytes data = Pattern(100, 5);
    ULONG length = 0;
    HANDLE h = Init(r.alg);
    EXPECT_EQ(SKF(SKF_Digest)(h, const_cast<BYTE *>(data.data()), 100, nullptr, &length), SAR_OK);
    EXPECT_EQ(length, r.size + 1);
    ASSERT_EQ(SKF(SKF_DigestUpdate)(h, const_cast<BYTE *>(data.data()), 100), SAR_OK);
    ASSERT_EQ(SKF(SKF_DigestFinal)(h, nullptr, &length), SAR_OK);
    EXPECT_EQ(length, r.size);
    Bytes out(32);
    ASSERT_EQ(SKF(SKF_DigestFinal)(h, out.data(), &length), SAR_OK);
    out.resize(length);
    EXPECT_EQ(out, Reference(r.alg, data)) << r.alg;
  }
}

// The update steps keep a running state: results equal the one-shot digest over parts of
// many sizes, an empty part is refused without disturbing it, and more data than a 32-bit
// process could hold at once (288 MiB) goes through.
TEST_F(DigestTest, UpdatesKeepARunningState) {
  const Bytes data = Pattern(1000, 3);
  const std::vector<std::vector<std::size_t>> splits = {
      {7}, {19, 45, 64, 128}, {63, 1, 64, 0, 200}, {1000}, {3, 0, 0, 61}};
  for (const ULONG alg : {ULONG{SGD_SHA1}, ULONG{SGD_SHA256}, ULONG{SGD_SM3}}) {
    for (const auto &split : splits) {
      HANDLE h = Init(alg);
      for (std::size_t at = 0, i = 0; at < data.size(); ++i) {
        const std::size_t n = std::min(split[i % split.size()], data.size() - at);
        BYTE *part = const_cast<BYTE *>(data.data()) + at;
        EXPECT_EQ(SKF(SKF_DigestUpdate)(h, part, static_cast<ULONG>(n)),
                  n ? SAR_OK : SAR_INDATALENERR);
        at += n;
      }
      Bytes out(32);
      ULONG length = static_cast<ULONG>(out.size());
      ASSERT_EQ(SKF(SKF_DigestFinal)(h, out.data(), &length), SAR_OK);
      out.resize(length);
      EXPECT_EQ(out, Reference(alg, data)) << alg << " " << split.size();
    }
  }

  constexpr std::size_t kPart = 8 << 20, kParts = 36;
  const Bytes part = Pattern(kPart, 7);
  EVP_MD_CTX *reference = EVP_MD_CTX_new();
  ASSERT_EQ(EVP_DigestInit_ex(reference, EVP_sha1(), nullptr), 1);
  HANDLE h = Init(SGD_SHA1);
  for (std::size_t i = 0; i < kParts; ++i) {
    ASSERT_EQ(SKF(SKF_DigestUpdate)(h, const_cast<BYTE *>(part.data()), kPart), SAR_OK) << i;
    EVP_DigestUpdate(reference, part.data(), kPart);
  }
  Bytes want(20);
  EVP_DigestFinal_ex(reference, want.data(), nullptr);
  EVP_MD_CTX_free(reference);
  Bytes out(20);
  ULONG length = 20;
  ASSERT_EQ(SKF(SKF_DigestFinal)(h, out.data(), &length), SAR_OK);
  EXPECT_EQ(out, want);
}

}  // namespace
