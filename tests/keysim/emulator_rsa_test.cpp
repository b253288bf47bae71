// RSA commands against OpenSSL: generation into container key files and into working memory,
// least-significant-first components, public and CRT private operations with loaded keys.
#include <openssl/core_names.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include "emulator_fixture.h"

namespace keysim::test {
namespace {

using cc::test::Pkey;
using cc::test::PkeyCtx;

Bytes bn_param(EVP_PKEY *k, const char *name, size_t width) {
  BIGNUM *b = nullptr;
  EVP_PKEY_get_bn_param(k, name, &b);
  Bytes out(width);
  BN_bn2binpad(b, out.data(), static_cast<int>(width));
  BN_free(b);
  return out;
}

Pkey public_pkey(const Bytes &n, const Bytes &e) {
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  BIGNUM *bn = BN_bin2bn(n.data(), static_cast<int>(n.size()), nullptr);
  BIGNUM *be = BN_bin2bn(e.data(), static_cast<int>(e.size()), nullptr);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, bn);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, be);
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY *k = nullptr;
  EVP_PKEY_fromdata_init(ctx.get());
  EVP_PKEY_fromdata(ctx.get(), &k, EVP_PKEY_PUBLIC_KEY, params);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  BN_free(bn);
  BN_free(be);
  return Pkey(k);
}

// Raw RSA through OpenSSL: public (encrypt, no padding) or private (decrypt, no padding).
Bytes ossl_raw(EVP_PKEY *k, const Bytes &in, bool pub) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(k, nullptr));
  EXPECT_EQ(pub ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get()), 1);
  EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING);
  Bytes out(in.size());
  size_t n = out.size();
  const int r = pub ? EVP_PKEY_encrypt(ctx.get(), out.data(), &n, in.data(), in.size())
                    : EVP_PKEY_decrypt(ctx.get(), out.data(), &n, in.data(), in.size());
  EXPECT_EQ(r, 1);
  out.resize(n);
  return out;
}

Bytes pkcs1_type1(const Bytes &payload, size_t k) {
  Bytes b = {0x00, 0x01};
  b.resize(k - payload.size() - 1, 0xFF);
  b.push_back(0x00);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

struct Rsa : Provisioned {
  // Public key of the selected key file, read as the host does (1024 bits).
  std::pair<Bytes, Bytes> read_public_1024() {
    return {reversed(key.ok(hex("80D82002 80"))), reversed(key.ok(hex("80D82001 04")))};
  }
  // Loads a caller-supplied 1024-bit key into the MF work files 0001 / 0002.
  void load_1024(EVP_PKEY *k) {
    key.select_mf();
    ASSERT_EQ(key.select(0x02, 0x0001), 0x9000);
    key.ok(apdu(0x80, 0xD2, 0x20, 0x01, reversed(bn_param(k, OSSL_PKEY_PARAM_RSA_E, 4))));
    key.ok(apdu(0x80, 0xD2, 0x20, 0x02, reversed(bn_param(k, OSSL_PKEY_PARAM_RSA_N, 128))));
    ASSERT_EQ(key.select(0x02, 0x0002), 0x9000);
    const std::pair<uint8_t, const char *> parts[] = {{3, OSSL_PKEY_PARAM_RSA_FACTOR1},
                                                      {4, OSSL_PKEY_PARAM_RSA_FACTOR2},
                                                      {5, OSSL_PKEY_PARAM_RSA_COEFFICIENT1},
                                                      {6, OSSL_PKEY_PARAM_RSA_EXPONENT1},
                                                      {7, OSSL_PKEY_PARAM_RSA_EXPONENT2}};
    for (const auto &[p2, name] : parts)
      key.ok(apdu(0x80, 0xD2, 0xA0, p2, reversed(bn_param(k, name, 64))));
  }
};

TEST_F(Rsa, ContainerPairSignsAndKeepsPrivatePartsInside) {
  const std::pair<uint8_t, const char *> files[] = {{0x10, "001A000000000000000000000000"},
                                                    {0x11, "001B0001000001000000"},
                                                    {0x10, "001C000000000000000000000000"},
                                                    {0x11, "001D0001000001000000"}};
  for (const auto &[p2, desc] : files) key.create(p2, hex(desc));
  EXPECT_EQ(key.sw(hex("80D01C1D 00")), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x001C), 0x9000);
  const auto [n, e] = read_public_1024();
  EXPECT_EQ(e, hex("00010001"));
  ASSERT_EQ(key.select(0x02, 0x001D), 0x9000);
  EXPECT_EQ(key.sw(hex("80D82003 40")), 0x6982);  // private parts never leave the file

  const Bytes block = pkcs1_type1(hex("3021300906052B0E03021A05000414"), 128);
  const Bytes sign = apdu(0x80, 0xF8, 0x40, 0x00, reversed(block), 0x80);
  EXPECT_EQ(key.sw(sign), 0x6982);  // user PIN not verified
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  const Bytes sig = reversed(key.ok(sign));
  ASSERT_EQ(sig.size(), 128u);
  Pkey pub = public_pkey(n, e);
  EXPECT_EQ(ossl_raw(pub.get(), sig, true), block);
}

TEST_F(Rsa, LoadedKeyMatchesOpenSsl) {
  Pkey k(EVP_RSA_gen(1024));
  ASSERT_TRUE(k);
  load_1024(k.get());
  // No PIN is needed for the MF work keys (the fixture verified none).
  Bytes x(128);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<uint8_t>(i * 7 + 1);
  x[0] = 0x00;
  const Bytes y = reversed(key.ok(apdu(0x80, 0xF8, 0x40, 0x00, reversed(x), 0x80)));
  EXPECT_EQ(y, ossl_raw(k.get(), x, false));
  ASSERT_EQ(key.select(0x02, 0x0001), 0x9000);
  EXPECT_EQ(reversed(key.ok(apdu(0x80, 0xF6, 0x40, 0x00, reversed(y), 0x80))), x);
  EXPECT_EQ(reversed(key.ok(apdu(0x80, 0xF6, 0x40, 0x00, Bytes(128, 0x01), 0x80))),
            ossl_raw(k.get(), Bytes(128, 0x01), true));
}

TEST_F(Rsa, CommandErrors) {
  Pkey k(EVP_RSA_gen(1024));
  load_1024(k.get());
  ASSERT_EQ(key.select(0x02, 0x0001), 0x9000);
  EXPECT_EQ(key.sw(apdu(0x80, 0xF6, 0x40, 0x00, Bytes(128, 0xFF), 0x80)), 0x6A80);  // >= n
  EXPECT_EQ(key.sw(apdu(0x80, 0xF6, 0x40, 0x00, Bytes(127, 0x01), 0x7F)), 0x6700);
  EXPECT_EQ(key.sw(apdu(0x80, 0xF8, 0x40, 0x00, Bytes(128, 0x01), 0x80)), 0x6981);
  EXPECT_EQ(key.sw(apdu(0x80, 0xD2, 0xA0, 0x03, Bytes(64, 0x01))), 0x6981);
  EXPECT_EQ(key.sw(apdu(0x80, 0xD2, 0x20, 0x02, Bytes(100, 0x01))), 0x6700);
  EXPECT_EQ(key.sw(apdu(0x80, 0xD2, 0x20, 0x03, Bytes(64, 0x01))), 0x6A86);
  ASSERT_EQ(key.select(0x02, 0x0002), 0x9000);
  EXPECT_EQ(key.sw(apdu(0x80, 0xF8, 0x40, 0x00, Bytes(64, 0x01), 0x40)), 0x6700);
  EXPECT_EQ(key.sw(hex("80D01C1D 00")), 0x6A82);  // no container key files in the MF
}

// A key file takes components and pairs of the size it was made for only.
TEST_F(Rsa, KeyFilesTakeTheirOwnSizeOnly) {
  key.select_mf();
  const struct {
    uint16_t file;
    Bytes command;
    uint16_t sw;
  } cases[] = {
      {0x0001, apdu_ext(0x80, 0xD2, 0x20, 0x02, Bytes(256, 0x01)), 0x6700},
      {0x0001, apdu(0x80, 0xD2, 0x20, 0x02, Bytes(128, 0x01)), 0x9000},
      {0x0003, apdu(0x80, 0xD2, 0x20, 0x02, Bytes(128, 0x01)), 0x6700},
      {0x0003, apdu_ext(0x80, 0xD2, 0x20, 0x02, Bytes(256, 0x01)), 0x9000},
      {0x0002, apdu(0x80, 0xD2, 0xA0, 0x03, Bytes(128, 0x01)), 0x6700},
      {0x0002, apdu(0x80, 0xD2, 0xA0, 0x03, Bytes(64, 0x01)), 0x9000},
      {0x0004, apdu(0x80, 0xD2, 0xA0, 0x03, Bytes(64, 0x01)), 0x6700},
      {0x0004, apdu(0x80, 0xD2, 0xA0, 0x03, Bytes(128, 0x01)), 0x9000},
  };
  for (const auto &c : cases) {
    ASSERT_EQ(key.select(0x02, c.file), 0x9000);
    EXPECT_EQ(key.sw(c.command), c.sw) << std::hex << c.file << " " << c.command.size();
  }
  // A 2048-bit pair into the 1024-bit files of a container, and the reverse.
  ASSERT_EQ(key.auth_builtin(), 0x9000);
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(key.select(0x01, 0xDF11), 0x9000);
  key.create(0x10, hex("001A000000000000000000000000"));
  key.create(0x11, hex("001B0001000001000000"));
  key.create(0x10, hex("001C010000000000000000000000"));
  key.create(0x11, hex("001D0101000001000000"));
  EXPECT_EQ(key.sw(hex("80D05A1B 00")), 0x6700);
  EXPECT_EQ(key.sw(hex("80D01C1D 00")), 0x6700);
  EXPECT_EQ(key.sw(hex("80D01A1B 00")), 0x9000);
}

TEST_F(Rsa, External2048PairInExtendedForms) {
  key.select_mf();
  ASSERT_EQ(key.sw(hex("80D0C080 00")), 0x9000);
  const Bytes n = reversed(key.ok(hex("80D80002 000100")));
  ASSERT_EQ(n.size(), 256u);
  const Bytes e = reversed(key.ok(hex("80D80001 04")));
  EXPECT_EQ(e, hex("00010001"));
  // The CRT parts go into the 2048-bit work files; the public file takes n and e.
  ASSERT_EQ(key.select(0x02, 0x0003), 0x9000);
  key.ok(apdu(0x80, 0xD2, 0x20, 0x01, reversed(e)));
  key.ok(apdu_ext(0x80, 0xD2, 0x20, 0x02, reversed(n)));
  ASSERT_EQ(key.select(0x02, 0x0004), 0x9000);
  for (uint8_t p2 : {6, 7, 3, 4, 5}) {
    const Bytes part = key.ok(apdu(0x80, 0xD8, 0x00, p2, {}, 0x80));
    ASSERT_EQ(part.size(), 128u);
    key.ok(apdu(0x80, 0xD2, 0xA0, p2, part));  // already least significant byte first
  }
  Bytes x(256, 0x5A);
  x[0] = 0x00;
  const Bytes y = reversed(key.ok(apdu_ext(0x80, 0xF8, 0x40, 0x00, reversed(x), 0x100)));
  Pkey pub = public_pkey(n, e);
  EXPECT_EQ(ossl_raw(pub.get(), y, true), x);
}

}  // namespace
}  // namespace keysim::test
