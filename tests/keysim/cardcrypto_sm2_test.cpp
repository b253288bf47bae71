// Card cryptography: SM2 signature, encryption and key exchange on the recommended curve.
#include "cardcrypto.h"
#include "cardcrypto_fixture.h"
#include "sm2_core.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/ecdsa.h>

#include <cstring>

namespace keysim::cc {
namespace {

using test::hex;

// Known answers on the recommended curve (GB/T 32918.5 parameters), recomputed independently.
constexpr const char *kD = "3945208f7b2144b13f36e38ac6d39f95889393692860b51a42fb81ef4df7c5b8";
constexpr const char *kPx = "09f9df311e5421a150dd7d161e4bc5c672179fad1833fc076bb08ff356f35020";
constexpr const char *kPy = "ccea490ce26775a52dc6ea718cc1aa600aed05fbf35e084a6632f6072da9ad13";
constexpr const char *kId = "31323334353637383132333435363738";  // "1234567812345678"
constexpr const char *kMsg = "6d65737361676520646967657374";     // "message digest"
constexpr const char *kZ = "b2e14c5c79c6df5b85f4fe7ed8db7a262b9da7e07ccb0ea9f4747b8ccda8a4f3";
constexpr const char *kE = "f0b43e94ba45accaace692ed534382eb17e6ab5a19ce7b31f4486fdfc0d28640";
constexpr const char *kK = "59276e27d506861a16680f3ad9c02dccef3cc1fa3cdbe4ce6d54b80deac1bc21";
constexpr const char *kR = "f5a03b0648d2c4630eeac513e1bb81a15944da3827d5b74143ac7eaceee720b3";
constexpr const char *kS = "b1b6aa29df212fd8763182bc0d421ca1bb9038fd1f7f42d4840b69c485bbc1aa";
constexpr const char *kPlain = "656e6372797074696f6e207374616e64617264";  // "encryption standard"
constexpr const char *kC1 =
    "04ebfc718e8d1798620432268e77feb6415e2ede0e073c0f4f640ecd2e149a73"
    "e858f9d81e5430a57b36daab8f950a3c64e6ee6a63094d99283aff767e124df0";
constexpr const char *kC3 = "59983c18f809e262923c53aec295d30383b54e39d609d160afcb1908d0bd8766";
constexpr const char *kC2 = "21886ca989ca9c7d58087307ca93092d651efa";
// Key exchange, both identities kId, 16-byte key.
constexpr const char *kDA = "81eb26e941bb5af16df116495f90695272ae2cd63d6c4ae1678418be48230029";
constexpr const char *kXA = "160e12897df4edb61dd812feb96748fbd3ccf4ffe26aa6f6db9540af49c94232";
constexpr const char *kYA = "4a7dad08bb9a459531694beb20aa489d6649975e1bfcf8c4741b78b4b223007f";
constexpr const char *kRA = "d4de15474db74d06491c440d305e012400990f3e390c7e87153c12db2ea60bb3";
constexpr const char *kXRA = "64ced1bdbc99d590049b434d0fd73428cf608a5db8fe5ce07f15026940bae40e";
constexpr const char *kYRA = "376629c7ab21e7db260922499ddb118f07ce8eaae3e7720afef6a5cc062070c0";
constexpr const char *kDB = "785129917d45a9ea5437a59356b82338eaadda6ceb199088f14ae10defa229b5";
constexpr const char *kXB = "6ae848c57c53c7b1b5fa99eb2286af078ba64c64591b8b566f7357d576f16dfb";
constexpr const char *kYB = "ee489d771621a27b36c5c7992062e9cd09a9264386f3fbea54dff69305621c4d";
constexpr const char *kXRB = "acc27688a6f7b706098bc91ff3ad1bff7dc2802cdb14ccccdb0a90471f9bd707";
constexpr const char *kYRB = "2fedac0494b2ffc4d6853876c79b8f301c6573ad0aa50f39fc87181e1a1b46fe";
constexpr const char *kKeySponsor = "6c89347354de2484c60b4ab1fde4c6e5";
constexpr const char *kKeyAAsResponder = "b807d0d7b44dc23035c4dded52bedf8c";
// The group order n.
constexpr const char *kN = "fffffffeffffffffffffffffffffffff7203df6b21c6052b53bbf40939d54123";

struct Scalar {
  uint8_t v[32];
};
Scalar scalar(const char *h) {
  Scalar s{};
  const Bytes b = hex(h);
  std::memcpy(s.v, b.data(), 32);
  return s;
}
Sm2Point point(const char *x, const char *y) {
  Sm2Point p{};
  std::memcpy(p.x, hex(x).data(), 32);
  std::memcpy(p.y, hex(y).data(), 32);
  return p;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// OpenSSL's SM2 ciphertext is DER: SEQUENCE { x INTEGER, y INTEGER, C3 OCTET STRING,
// C2 OCTET STRING }. These convert it to and from C1 C3 C2.
Bytes der_from_c1c3c2(const Bytes &c) {
  Bytes body;
  auto put = [&body](int len, auto encode) {
    Bytes b(static_cast<size_t>(len));
    uint8_t *p = b.data();
    encode(&p);
    body.insert(body.end(), b.begin(), b.end());
  };
  for (size_t off : {size_t{0}, size_t{32}}) {
    BIGNUM *bn = BN_bin2bn(c.data() + off, 32, nullptr);
    ASN1_INTEGER *i = BN_to_ASN1_INTEGER(bn, nullptr);
    put(i2d_ASN1_INTEGER(i, nullptr), [&](uint8_t **p) { i2d_ASN1_INTEGER(i, p); });
    ASN1_INTEGER_free(i);
    BN_free(bn);
  }
  const std::pair<size_t, size_t> octets[] = {{64, 32}, {96, c.size() - 96}};
  for (auto [off, len] : octets) {
    ASN1_OCTET_STRING *o = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(o, c.data() + off, static_cast<int>(len));
    put(i2d_ASN1_OCTET_STRING(o, nullptr), [&](uint8_t **p) { i2d_ASN1_OCTET_STRING(o, p); });
    ASN1_OCTET_STRING_free(o);
  }
  const int body_len = static_cast<int>(body.size());
  Bytes der(static_cast<size_t>(ASN1_object_size(1, body_len, V_ASN1_SEQUENCE)));
  uint8_t *p = der.data();
  ASN1_put_object(&p, 1, body_len, V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL);
  std::memcpy(p, body.data(), body.size());
  return der;
}

Bytes c1c3c2_from_der(const Bytes &der) {
  const uint8_t *p = der.data();
  long len = 0;
  int tag = 0, cls = 0;
  if (ASN1_get_object(&p, &len, &tag, &cls, static_cast<long>(der.size())) & 0x80) return {};
  Bytes out;
  for (int i = 0; i < 2; ++i) {
    ASN1_INTEGER *n = d2i_ASN1_INTEGER(nullptr, &p, der.data() + der.size() - p);
    BIGNUM *bn = ASN1_INTEGER_to_BN(n, nullptr);
    uint8_t v[32];
    BN_bn2binpad(bn, v, 32);
    out.insert(out.end(), v, v + 32);
    BN_free(bn);
    ASN1_INTEGER_free(n);
  }
  for (int i = 0; i < 2; ++i) {
    ASN1_OCTET_STRING *o = d2i_ASN1_OCTET_STRING(nullptr, &p, der.data() + der.size() - p);
    const uint8_t *d = ASN1_STRING_get0_data(o);
    out.insert(out.end(), d, d + ASN1_STRING_length(o));
    ASN1_OCTET_STRING_free(o);
  }
  return out;
}

// DER ECDSA-style signature SEQUENCE { r, s } to and from r || s.
Bytes der_sig(const uint8_t r[32], const uint8_t s[32]) {
  ECDSA_SIG *sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_bin2bn(r, 32, nullptr), BN_bin2bn(s, 32, nullptr));
  Bytes der(static_cast<size_t>(i2d_ECDSA_SIG(sig, nullptr)));
  uint8_t *p = der.data();
  i2d_ECDSA_SIG(sig, &p);
  ECDSA_SIG_free(sig);
  return der;
}
bool rs_from_der(const Bytes &der, uint8_t r[32], uint8_t s[32]) {
  const uint8_t *p = der.data();
  ECDSA_SIG *sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
  if (sig == nullptr) return false;
  BN_bn2binpad(ECDSA_SIG_get0_r(sig), r, 32);
  BN_bn2binpad(ECDSA_SIG_get0_s(sig), s, 32);
  ECDSA_SIG_free(sig);
  return true;
}

// --- Keys, Z and e -----------------------------------------------------------------------------

TEST(Sm2Keys, PublicKeysOfTheKnownPrivateKeys) {
  const struct {
    const char *d, *x, *y;
  } keys[] = {{kD, kPx, kPy}, {kDA, kXA, kYA}, {kRA, kXRA, kYRA}, {kDB, kXB, kYB}};
  for (const auto &k : keys) {
    Sm2Point pub{};
    ASSERT_TRUE(sm2_public_from_private(scalar(k.d).v, pub));
    EXPECT_EQ(Bytes(pub.x, pub.x + 32), hex(k.x));
    EXPECT_EQ(Bytes(pub.y, pub.y + 32), hex(k.y));
  }
}

TEST(Sm2Keys, PrivateKeyRangeAndGeneration) {
  Sm2Point pub{};
  Scalar zero{}, n_minus_1 = scalar(kN), n_minus_2 = scalar(kN);
  n_minus_1.v[31] -= 1;  // n ends in 0x23: no borrow
  n_minus_2.v[31] -= 2;
  EXPECT_FALSE(sm2_public_from_private(zero.v, pub));
  EXPECT_FALSE(sm2_public_from_private(scalar(kN).v, pub));
  EXPECT_FALSE(sm2_public_from_private(n_minus_1.v, pub));
  EXPECT_TRUE(sm2_public_from_private(n_minus_2.v, pub));

  uint8_t d[32];
  ASSERT_TRUE(sm2_generate(d, pub));
  EXPECT_TRUE(sm2_point_valid(pub));
  Sm2Point again{};
  ASSERT_TRUE(sm2_public_from_private(d, again));
  EXPECT_EQ(0, std::memcmp(&again, &pub, sizeof pub));

  Sm2Point off = point(kPx, kPy);
  off.y[31] ^= 1;
  EXPECT_FALSE(sm2_point_valid(off));
}

TEST(Sm2Keys, ZAndE) {
  uint8_t z[32], e[32];
  ASSERT_TRUE(sm2_z(point(kPx, kPy), hex(kId), z));
  EXPECT_EQ(Bytes(z, z + 32), hex(kZ));
  ASSERT_TRUE(sm2_e(z, hex(kMsg), e));
  EXPECT_EQ(Bytes(e, e + 32), hex(kE));
  EXPECT_FALSE(sm2_z(point(kPx, kPy), Bytes(8192, 0x41), z));  // ENTL is 16 bits
}

// --- Signature ---------------------------------------------------------------------------------

TEST(Sm2Sign, KnownSignature) {
  uint8_t r[32], s[32];
  ASSERT_TRUE(detail::sm2_sign_with_k(scalar(kD).v, scalar(kE).v, scalar(kK).v, r, s));
  EXPECT_EQ(Bytes(r, r + 32), hex(kR));
  EXPECT_EQ(Bytes(s, s + 32), hex(kS));
  EXPECT_TRUE(sm2_verify(point(kPx, kPy), scalar(kE).v, scalar(kR).v, scalar(kS).v));
}

TEST(Sm2Sign, VerifyRejectsAlteredInputs) {
  const Sm2Point pub = point(kPx, kPy);
  const Scalar e = scalar(kE), r = scalar(kR), s = scalar(kS), zero{}, n = scalar(kN);
  Scalar e2 = e, r2 = r, s2 = s;
  e2.v[0] ^= 1;
  r2.v[31] ^= 1;
  s2.v[15] ^= 0x80;
  const struct {
    const char *what;
    Sm2Point pub;
    Scalar e, r, s;
  } cases[] = {{"e", pub, e2, r, s},    {"r", pub, e, r2, s},
               {"s", pub, e, r, s2},    {"r = 0", pub, e, zero, s},
               {"s = n", pub, e, r, n}, {"other key", point(kXA, kYA), e, r, s}};
  for (const auto &c : cases) {
    EXPECT_FALSE(sm2_verify(c.pub, c.e.v, c.r.v, c.s.v)) << c.what;
  }
}

TEST(Sm2Sign, RoundTripAndOpenSslBothWays) {
  uint8_t d[32];
  Sm2Point pub{};
  ASSERT_TRUE(sm2_generate(d, pub));
  uint8_t e[32], r[32], s[32];
  ASSERT_TRUE(random_bytes(e, 32));
  ASSERT_TRUE(sm2_sign(d, e, r, s));
  EXPECT_TRUE(sm2_verify(pub, e, r, s));

  test::Pkey pkey = test::sm2_pkey(d, pub);
  ASSERT_TRUE(pkey);
  // OpenSSL verifies the card's signature on the same e...
  const Bytes ours = der_sig(r, s);
  test::PkeyCtx vctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_verify_init(vctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_verify(vctx.get(), ours.data(), ours.size(), e, 32), 1);
  // ...and the card verifies OpenSSL's.
  test::PkeyCtx sctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_sign_init(sctx.get()), 1);
  Bytes theirs(80);
  size_t len = theirs.size();
  ASSERT_EQ(EVP_PKEY_sign(sctx.get(), theirs.data(), &len, e, 32), 1);
  theirs.resize(len);
  ASSERT_TRUE(rs_from_der(theirs, r, s));
  EXPECT_TRUE(sm2_verify(pub, e, r, s));
}

// --- Encryption --------------------------------------------------------------------------------

TEST(Sm2Cipher, KnownCiphertextInBothOrders) {
  const Bytes c1c3c2 = cat({hex(kC1), hex(kC3), hex(kC2)});
  const Bytes c1c2c3 = cat({hex(kC1), hex(kC2), hex(kC3)});
  Bytes msg, out;
  ASSERT_TRUE(sm2_decrypt(scalar(kD).v, c1c3c2, msg));
  EXPECT_EQ(msg, hex(kPlain));
  ASSERT_TRUE(sm2_decrypt_c1c2c3(scalar(kD).v, c1c2c3, msg));
  EXPECT_EQ(msg, hex(kPlain));
  ASSERT_TRUE(detail::sm2_encrypt_with_k(point(kPx, kPy), hex(kPlain), scalar(kK).v, out));
  EXPECT_EQ(out, c1c2c3);
  ASSERT_TRUE(sm2_c1c2c3_to_c1c3c2(c1c2c3, out));
  EXPECT_EQ(out, c1c3c2);
  ASSERT_TRUE(sm2_c1c3c2_to_c1c2c3(c1c3c2, out));
  EXPECT_EQ(out, c1c2c3);
}

TEST(Sm2Cipher, DecryptRejectsDamage) {
  const Bytes good = cat({hex(kC1), hex(kC3), hex(kC2)});
  const struct {
    const char *what;
    size_t offset;
  } flips[] = {{"C1 off the curve", 63}, {"C3", 64}, {"C2", 100}};
  Bytes msg;
  for (const auto &f : flips) {
    Bytes bad = good;
    bad[f.offset] ^= 1;
    EXPECT_FALSE(sm2_decrypt(scalar(kD).v, bad, msg)) << f.what;
  }
  EXPECT_FALSE(sm2_decrypt(scalar(kD).v, std::span(good).first(96), msg));
  EXPECT_FALSE(sm2_decrypt(scalar(kDA).v, good, msg));  // other key
  EXPECT_FALSE(sm2_c1c2c3_to_c1c3c2(Bytes(95, 0), msg));
  EXPECT_FALSE(sm2_encrypt(point(kPx, kPy), Bytes(), msg));
}

TEST(Sm2Cipher, RoundTripAndOpenSslBothWays) {
  uint8_t d[32];
  Sm2Point pub{};
  ASSERT_TRUE(sm2_generate(d, pub));
  test::Pkey pkey = test::sm2_pkey(d, pub);
  ASSERT_TRUE(pkey);
  for (size_t len : {size_t{1}, size_t{32}, size_t{160}}) {
    SCOPED_TRACE(len);
    Bytes plain(len);
    ASSERT_TRUE(random_bytes(plain.data(), len));
    Bytes c1c2c3, c1c3c2, msg;
    ASSERT_TRUE(sm2_encrypt(pub, plain, c1c2c3));
    ASSERT_EQ(c1c2c3.size(), len + 96);
    ASSERT_TRUE(sm2_decrypt_c1c2c3(d, c1c2c3, msg));
    EXPECT_EQ(msg, plain);

    // OpenSSL decrypts the card's ciphertext...
    ASSERT_TRUE(sm2_c1c2c3_to_c1c3c2(c1c2c3, c1c3c2));
    const Bytes der = der_from_c1c3c2(c1c3c2);
    test::PkeyCtx dctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_decrypt_init(dctx.get()), 1);
    Bytes ref(len + 16);
    size_t ref_len = ref.size();
    ASSERT_EQ(EVP_PKEY_decrypt(dctx.get(), ref.data(), &ref_len, der.data(), der.size()), 1);
    ref.resize(ref_len);
    EXPECT_EQ(ref, plain);

    // ...and the card decrypts OpenSSL's.
    test::PkeyCtx ectx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_encrypt_init(ectx.get()), 1);
    Bytes theirs(len + 200);
    size_t theirs_len = theirs.size();
    ASSERT_EQ(EVP_PKEY_encrypt(ectx.get(), theirs.data(), &theirs_len, plain.data(), len), 1);
    theirs.resize(theirs_len);
    ASSERT_TRUE(sm2_decrypt(d, c1c3c2_from_der(theirs), msg));
    EXPECT_EQ(msg, plain);
  }
}

// --- Key exchange ------------------------------------------------------------------------------

struct Party {
  Scalar d, r;
  Sm2Point pub, eph;
  uint8_t z[32];
};

Party party(const Scalar &d, const Scalar &r, const Bytes &id) {
  Party p{d, r, {}, {}, {}};
  EXPECT_TRUE(sm2_public_from_private(p.d.v, p.pub));
  EXPECT_TRUE(sm2_public_from_private(p.r.v, p.eph));
  EXPECT_TRUE(sm2_z(p.pub, id, p.z));
  return p;
}

bool agree(bool sponsor, const Party &own, const Sm2Point &peer_pub, const Sm2Point &peer_eph,
           const uint8_t peer_z[32], size_t klen, Bytes &key) {
  return sm2_agree(sponsor, own.d.v, own.pub, own.r.v, own.eph, peer_pub, peer_eph, own.z, peer_z,
                   klen, key);
}

TEST(Sm2Agree, KnownKeysInBothRoles) {
  const Party a = party(scalar(kDA), scalar(kRA), hex(kId));
  const Sm2Point pb = point(kXB, kYB), rb = point(kXRB, kYRB);
  uint8_t zb[32];
  ASSERT_TRUE(sm2_z(pb, hex(kId), zb));
  Bytes key;
  ASSERT_TRUE(agree(true, a, pb, rb, zb, 16, key));
  EXPECT_EQ(key, hex(kKeySponsor));
  ASSERT_TRUE(agree(false, a, pb, rb, zb, 16, key));
  EXPECT_EQ(key, hex(kKeyAAsResponder));
  // The card receives only x of its own temporary key: y does not take part.
  Party a_x_only = a;
  std::memset(a_x_only.eph.y, 0, 32);
  ASSERT_TRUE(agree(true, a_x_only, pb, rb, zb, 16, key));
  EXPECT_EQ(key, hex(kKeySponsor));
}

TEST(Sm2Agree, SponsorAndResponderAgree) {
  Party a{}, b{};
  uint8_t d[32], r[32];
  for (Party *p : {&a, &b}) {
    Sm2Point unused{};
    ASSERT_TRUE(sm2_generate(d, unused));
    ASSERT_TRUE(sm2_generate(r, unused));
    Scalar sd{}, sr{};
    std::memcpy(sd.v, d, 32);
    std::memcpy(sr.v, r, 32);
    *p = party(sd, sr, p == &a ? hex(kId) : hex("414c494345"));
  }
  for (size_t klen : {size_t{16}, size_t{48}}) {
    Bytes ka, kb;
    ASSERT_TRUE(agree(true, a, b.pub, b.eph, b.z, klen, ka));
    ASSERT_TRUE(agree(false, b, a.pub, a.eph, a.z, klen, kb));
    EXPECT_EQ(ka.size(), klen);
    EXPECT_EQ(ka, kb);
  }
  // Both sides taking the same role do not agree.
  Bytes ka, kb;
  ASSERT_TRUE(agree(true, a, b.pub, b.eph, b.z, 16, ka));
  ASSERT_TRUE(agree(true, b, a.pub, a.eph, a.z, 16, kb));
  EXPECT_NE(ka, kb);
}

TEST(Sm2Agree, RejectsBadPeerPointsAndLength) {
  const Party a = party(scalar(kDA), scalar(kRA), hex(kId));
  const Sm2Point pb = point(kXB, kYB), rb = point(kXRB, kYRB);
  Sm2Point bad = rb;
  bad.y[0] ^= 1;
  uint8_t zb[32] = {};
  Bytes key;
  EXPECT_FALSE(agree(true, a, pb, bad, zb, 16, key));
  EXPECT_FALSE(agree(true, a, bad, rb, zb, 16, key));
  EXPECT_FALSE(agree(true, a, pb, rb, zb, 0, key));
}

}  // namespace
}  // namespace keysim::cc
