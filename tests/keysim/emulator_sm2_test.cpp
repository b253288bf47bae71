// SM2 commands: the published known answers, OpenSSL as the second implementation for signature
// and encryption, and two keys agreeing in opposite roles.
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/param_build.h>

#include "emulator_fixture.h"

namespace keysim::test {
namespace {

using cc::test::Pkey;
using cc::test::PkeyCtx;

// Recommended-curve values (GB/T 32918 examples as recomputed in the project's vector set).
const Bytes kD = hex("3945208f7b2144b13f36e38ac6d39f95889393692860b51a42fb81ef4df7c5b8");
const Bytes kPub =
    hex("09f9df311e5421a150dd7d161e4bc5c672179fad1833fc076bb08ff356f35020"
        "ccea490ce26775a52dc6ea718cc1aa600aed05fbf35e084a6632f6072da9ad13");
const Bytes kE = hex("f0b43e94ba45accaace692ed534382eb17e6ab5a19ce7b31f4486fdfc0d28640");
const Bytes kSig =
    hex("f5a03b0648d2c4630eeac513e1bb81a15944da3827d5b74143ac7eaceee720b3"
        "b1b6aa29df212fd8763182bc0d421ca1bb9038fd1f7f42d4840b69c485bbc1aa");
const Bytes kPlain = hex("656e6372797074696f6e207374616e64617264");
const Bytes kC1 =
    hex("04ebfc718e8d1798620432268e77feb6415e2ede0e073c0f4f640ecd2e149a73"
        "e858f9d81e5430a57b36daab8f950a3c64e6ee6a63094d99283aff767e124df0");
const Bytes kC3 = hex("59983c18f809e262923c53aec295d30383b54e39d609d160afcb1908d0bd8766");
const Bytes kC2 = hex("21886ca989ca9c7d58087307ca93092d651efa");
const Bytes kId = hex("31323334353637383132333435363738");
const Bytes kDa = hex("81eb26e941bb5af16df116495f90695272ae2cd63d6c4ae1678418be48230029");
const Bytes kPa =
    hex("160e12897df4edb61dd812feb96748fbd3ccf4ffe26aa6f6db9540af49c94232"
        "4a7dad08bb9a459531694beb20aa489d6649975e1bfcf8c4741b78b4b223007f");
const Bytes kRa = hex("d4de15474db74d06491c440d305e012400990f3e390c7e87153c12db2ea60bb3");
const Bytes kRaPub =
    hex("64ced1bdbc99d590049b434d0fd73428cf608a5db8fe5ce07f15026940bae40e"
        "376629c7ab21e7db260922499ddb118f07ce8eaae3e7720afef6a5cc062070c0");
const Bytes kPb =
    hex("6ae848c57c53c7b1b5fa99eb2286af078ba64c64591b8b566f7357d576f16dfb"
        "ee489d771621a27b36c5c7992062e9cd09a9264386f3fbea54dff69305621c4d");
const Bytes kRbPub =
    hex("acc27688a6f7b706098bc91ff3ad1bff7dc2802cdb14ccccdb0a90471f9bd707"
        "2fedac0494b2ffc4d6853876c79b8f301c6573ad0aa50f39fc87181e1a1b46fe");

Bytes agree_command(uint8_t role, const Bytes &own_id, const Bytes &peer_id, const Bytes &peer_eph,
                    const Bytes &peer_static, const Bytes &own_eph_pub, const Bytes &own_eph_d) {
  const Bytes data =
      cat({{0x01, 0x00, uint8_t(own_id.size()), 0x00, uint8_t(peer_id.size()), role, 0x10},
           own_id,
           peer_id,
           peer_eph,
           peer_static,
           Bytes(own_eph_pub.begin(), own_eph_pub.begin() + 32),
           own_eph_d});
  return apdu_ext(0x80, 0x42, 0x0A, 0x0B, data);
}

// Minimal DER for OpenSSL's SM2 ciphertext: SEQUENCE { INTEGER x, INTEGER y, OCTET STRING C3,
// OCTET STRING C2 }.
void der_put(Bytes &out, uint8_t tag, Bytes v) {
  if (tag == 0x02) {
    while (v.size() > 1 && v[0] == 0 && !(v[1] & 0x80)) v.erase(v.begin());
    if (v[0] & 0x80) v.insert(v.begin(), 0);
  }
  out.push_back(tag);
  if (v.size() >= 128) out.push_back(0x81);
  out.push_back(static_cast<uint8_t>(v.size()));
  out.insert(out.end(), v.begin(), v.end());
}

Bytes der_from_c1c2c3(const Bytes &c) {
  const size_t n = c.size() - 96;
  Bytes body;
  der_put(body, 0x02, Bytes(c.begin(), c.begin() + 32));
  der_put(body, 0x02, Bytes(c.begin() + 32, c.begin() + 64));
  der_put(body, 0x04, Bytes(c.begin() + 64 + n, c.end()));
  der_put(body, 0x04, Bytes(c.begin() + 64, c.begin() + 64 + n));
  Bytes out;
  der_put(out, 0x30, body);
  return out;
}

// C1 C3 C2 from OpenSSL's DER.
Bytes c1c3c2_from_der(const Bytes &der) {
  size_t i = 0;
  auto take = [&](uint8_t tag) {
    EXPECT_EQ(der[i], tag);
    size_t len = der[i + 1];
    i += 2;
    if (len == 0x81) len = der[i++];
    return std::pair(i, len);
  };
  take(0x30);
  Bytes out;
  for (uint8_t tag : {0x02, 0x02, 0x04, 0x04}) {
    auto [at, len] = take(tag);
    Bytes v(der.begin() + at, der.begin() + at + len);
    if (tag == 0x02) {
      while (v.size() > 32) v.erase(v.begin());
      v.insert(v.begin(), 32 - v.size(), 0);
    }
    out.insert(out.end(), v.begin(), v.end());
    i = at + len;
  }
  return out;
}

Pkey sm2_public_pkey(const Bytes &xy) {
  const Bytes point = cat({{0x04}, xy});
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
  OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "SM2", nullptr));
  EVP_PKEY *k = nullptr;
  EVP_PKEY_fromdata_init(ctx.get());
  EVP_PKEY_fromdata(ctx.get(), &k, EVP_PKEY_PUBLIC_KEY, params);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  return Pkey(k);
}

struct Sm2 : Provisioned {
  void container_key_files() {
    key.create(0x18, hex("000A010000000000000000000000"));
    key.create(0x19, hex("000B0101000001000000"));
    key.create(0x18, hex("000C010000000000000000000000"));
    key.create(0x19, hex("000D0101000001000000"));
  }
  void load(uint16_t fid, uint8_t p1, uint8_t p2, const Bytes &v) {
    ASSERT_EQ(key.select(0x02, fid), 0x9000);
    key.ok(apdu(0x80, 0x36, p1, p2, v));
  }
  Bytes decrypt(const Bytes &c) {
    return key.ok(apdu_ext(0x80, 0x3A, 0x40, 0x00, c, static_cast<int>(c.size() - 96)));
  }
};

TEST_F(Sm2, KnownSignatureVerifies) {
  key.select_mf();
  load(0x0005, 0x20, 0x00, kPub);
  EXPECT_EQ(key.sw(apdu(0x80, 0x3E, 0x40, 0x00, cat({kE, kSig}))), 0x9000);
  Bytes bad = kSig;
  bad[63] ^= 1;
  EXPECT_EQ(key.sw(apdu(0x80, 0x3E, 0x40, 0x00, cat({kE, bad}))), 0x6A80);
  EXPECT_EQ(key.sw(apdu(0x80, 0x3E, 0x40, 0x00, kE)), 0x6700);
}

TEST_F(Sm2, KnownCiphertextDecryptsInTheKnobsOrder) {
  key.select_mf();
  load(0x0006, 0xA0, 0x01, kD);
  const Bytes c1c3c2 = cat({kC1, kC3, kC2}), c1c2c3 = cat({kC1, kC2, kC3});
  EXPECT_EQ(decrypt(c1c3c2), kPlain);
  EXPECT_EQ(key.sw(apdu_ext(0x80, 0x3A, 0x40, 0x00, c1c2c3, 19)), 0x6A80);
  ASSERT_TRUE(card_set_knob(key.card, "sm2_order", "c1c2c3", nullptr));
  EXPECT_EQ(key.sw(apdu_ext(0x80, 0x3A, 0x40, 0x00, c1c3c2, 19)), 0x6A80);
  EXPECT_EQ(decrypt(c1c2c3), kPlain);
}

TEST_F(Sm2, KnownKeyExchangeInBothRoles) {
  container_key_files();
  load(0x000A, 0x20, 0x00, kPa);
  load(0x000B, 0xA0, 0x01, kDa);
  const Bytes sponsor = agree_command(0x00, kId, kId, kRbPub, kPb, kRaPub, kRa);
  const Bytes responder = agree_command(0x01, kId, kId, kRbPub, kPb, kRaPub, kRa);
  EXPECT_EQ(sponsor.size(), 2 * kId.size() + 206);
  EXPECT_EQ(key.sw(sponsor), 0x6982);  // the container's private key needs the user PIN
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  EXPECT_EQ(key.ok(sponsor), hex("6c89347354de2484c60b4ab1fde4c6e5"));
  EXPECT_EQ(key.ok(responder), hex("b807d0d7b44dc23035c4dded52bedf8c"));
  // The own temporary x must belong to the temporary private key.
  EXPECT_EQ(key.sw(agree_command(0x00, kId, kId, kRbPub, kPb, kPb, kRa)), 0x6A80);
  Bytes cut = sponsor;
  cut.pop_back();
  EXPECT_EQ(key.sw(cut), 0x6700);
}

TEST_F(Sm2, CardSignatureVerifiesWithOpenSsl) {
  container_key_files();
  ASSERT_EQ(key.sw(hex("80324C0D 00")), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x000C), 0x9000);
  const Bytes pub = key.ok(hex("80342000 40"));
  ASSERT_EQ(pub.size(), 64u);
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x000D), 0x9000);
  const Bytes sig = key.ok(apdu(0x80, 0x3C, 0x40, 0x00, kE, 0x40));
  ASSERT_EQ(sig.size(), 64u);
  ECDSA_SIG *es = ECDSA_SIG_new();
  ECDSA_SIG_set0(es, BN_bin2bn(sig.data(), 32, nullptr), BN_bin2bn(sig.data() + 32, 32, nullptr));
  unsigned char *der = nullptr;
  const int der_len = i2d_ECDSA_SIG(es, &der);
  ECDSA_SIG_free(es);
  Pkey pk = sm2_public_pkey(pub);
  PkeyCtx ctx(EVP_PKEY_CTX_new(pk.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_verify_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_verify(ctx.get(), der, der_len, kE.data(), kE.size()), 1);
  OPENSSL_free(der);
}

TEST_F(Sm2, EncryptionCrossesWithOpenSsl) {
  // Card encrypts to an OpenSSL key.
  Pkey ours(EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"));
  ASSERT_TRUE(ours);
  uint8_t point[65];
  size_t plen = 0;
  EVP_PKEY_get_octet_string_param(ours.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &plen);
  ASSERT_EQ(plen, 65u);
  key.select_mf();
  load(0x0005, 0x20, 0x00, Bytes(point + 1, point + 65));
  const Bytes msg(100, 0x42);
  const Bytes c = key.ok(apdu_ext(0x80, 0x38, 0x40, 0x00, msg, int(msg.size() + 96)));
  ASSERT_EQ(c.size(), msg.size() + 96);
  const Bytes der = der_from_c1c2c3(c);
  PkeyCtx dctx(EVP_PKEY_CTX_new(ours.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_decrypt_init(dctx.get()), 1);
  Bytes plain(der.size());
  size_t n = plain.size();
  ASSERT_EQ(EVP_PKEY_decrypt(dctx.get(), plain.data(), &n, der.data(), der.size()), 1);
  plain.resize(n);
  EXPECT_EQ(plain, msg);

  // OpenSSL encrypts to the container's encryption key; the card decrypts with it.
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(key.select(0x01, 0xDF11), 0x9000);
  container_key_files();
  ASSERT_EQ(key.sw(hex("80324A0B 00")), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x000A), 0x9000);
  Pkey card_pub = sm2_public_pkey(key.ok(hex("80342000 40")));
  PkeyCtx ectx(EVP_PKEY_CTX_new(card_pub.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_encrypt_init(ectx.get()), 1);
  Bytes enc(512);
  size_t elen = enc.size();
  ASSERT_EQ(EVP_PKEY_encrypt(ectx.get(), enc.data(), &elen, msg.data(), msg.size()), 1);
  enc.resize(elen);
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x000B), 0x9000);
  EXPECT_EQ(decrypt(c1c3c2_from_der(enc)), msg);
}

TEST(Sm2Agreement, TwoKeysInOppositeRolesAgree) {
  struct Side {
    Key key{1};
    Bytes pub, eph_pub, eph_d;
  } a, b;
  b.key.card.serial = 2;
  for (Side *s : {&a, &b}) {
    Key &k = s->key;
    format(k);
    create_application(k);
    create_container(k);
    k.create(0x18, hex("000A010000000000000000000000"));
    k.create(0x19, hex("000B0101000001000000"));
    ASSERT_EQ(k.sw(hex("80324A0B 00")), 0x9000);
    ASSERT_EQ(k.select(0x02, 0x000A), 0x9000);
    s->pub = k.ok(hex("80342000 40"));
    ASSERT_EQ(k.sw(hex("8032C080 00")), 0x9000);  // temporary pair in working memory
    s->eph_pub = k.ok(hex("80340000 40"));
    s->eph_d = k.ok(hex("80340001 20"));
    ASSERT_EQ(k.sw(apdu(0x00, 0x20, 0x00, 0x00, kUserPin)), 0x9000);
  }
  const Bytes id_a = hex("414C494345"), id_b = hex("424F42");
  const Bytes ka = a.key.ok(agree_command(0x00, id_a, id_b, b.eph_pub, b.pub, a.eph_pub, a.eph_d));
  const Bytes kb = b.key.ok(agree_command(0x01, id_b, id_a, a.eph_pub, a.pub, b.eph_pub, b.eph_d));
  EXPECT_EQ(ka.size(), 16u);
  EXPECT_EQ(ka, kb);
}

TEST_F(Sm2, LoadRefusesBadKeys) {
  key.select_mf();
  ASSERT_EQ(key.select(0x02, 0x0005), 0x9000);
  Bytes off_curve = kPub;
  off_curve[63] ^= 1;
  EXPECT_EQ(key.sw(apdu(0x80, 0x36, 0x20, 0x00, off_curve)), 0x6A80);
  EXPECT_EQ(key.sw(apdu(0x80, 0x36, 0xA0, 0x01, kD)), 0x6981);  // public file
  ASSERT_EQ(key.select(0x02, 0x0006), 0x9000);
  EXPECT_EQ(key.sw(apdu(0x80, 0x36, 0xA0, 0x01, Bytes(32, 0))), 0x6A80);
  EXPECT_EQ(key.sw(apdu(0x80, 0x36, 0xA0, 0x01, Bytes(31, 1))), 0x6700);
  EXPECT_EQ(key.sw(apdu(0x80, 0x3C, 0x40, 0x00, kE, 0x40)), 0x6A88);  // nothing loaded yet
}

}  // namespace
}  // namespace keysim::test
