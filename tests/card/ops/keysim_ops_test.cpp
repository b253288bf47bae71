// Card operations against the virtual key, with OpenSSL as the independent side.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "daemon_harness.h"
#include "keysim_support.h"
#include "ossl_ref.h"
#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/imported_key.h"
#include "skf/card/key_import.h"
#include "skf/card/rsa_keys.h"
#include "skf/card/rsa_ops.h"
#include "skf/card/sm2_agree.h"
#include "skf/card/sm2_ops.h"
#include "skf/card/sym_cipher.h"
#include "skf/card/sym_stream.h"

namespace {

using keysim::proto::Op;
using ref::Bytes;

constexpr std::uint16_t kAppDf = 0xAD01;
constexpr std::uint16_t kSm2Container = 0xDF11;
constexpr std::uint16_t kRsaContainer = 0xDF12;
constexpr std::uint16_t kRsa2048Container = 0xDF13;  // made by the tests that need it

struct Key {
  std::string name;
  DEVHANDLE device = nullptr;
};

class VirtualOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(riotest::shared_daemon(daemon_)) << "no keysimd";
    riotest::set_addr_env(daemon_.addr);
    key_ = NewKey();
    d_ = key_.device;
    ASSERT_NE(d_, nullptr);
  }
  void TearDown() override {
    for (Key &k : keys_) QX_Close(k.device);
  }

  Key NewKey() {
    static std::uint32_t serial = 7000;
    Key k{riotest::fresh_key_name("ops")};
    if (!opsim::CreateKey(daemon_.addr, k.name, ++serial, true)) return k;
    k.device = QX_OpenByPath(riotest::reader_of(k.name).c_str());
    keys_.push_back(k);
    return k;
  }
  void Knob(const Key &k, const char *knob, const char *value) {
    ASSERT_EQ(riotest::control(daemon_.addr, Op::knob, {k.name, knob, value}), 0) << knob;
  }
  long Count(std::uint16_t cla_ins) {
    return opsim::CommandCount(daemon_.addr, key_.name, cla_ins);
  }

  static bool Select(DEVHANDLE d, std::uint8_t p1, std::uint16_t fid) {
    std::uint16_t sw = 0;
    const std::uint8_t id[] = {static_cast<std::uint8_t>(fid >> 8), static_cast<std::uint8_t>(fid)};
    const int r = p1 == 0x00 ? QX_Select(d, 0x00, 0x00, {}, &sw) : QX_Select(d, p1, 0x00, id, &sw);
    return r >= 0 && sw == kSwOk;
  }
  static bool SelectMf(DEVHANDLE d) { return Select(d, 0x00, 0); }
  static bool SelectContainer(DEVHANDLE d, std::uint16_t df) {
    return SelectMf(d) && Select(d, 0x01, kAppDf) && Select(d, 0x01, df);
  }
  // The container DF for a key size: the provisioned 1024-bit one, or a new DF with 2048-bit
  // key files (a card takes a pair only into files made for its size). Selected.
  static bool ContainerFor(DEVHANDLE d, std::uint32_t bits) {
    if (bits == 1024) return SelectContainer(d, kRsaContainer);
    if (SelectContainer(d, kRsa2048Container)) return true;
    const std::vector<std::uint8_t> df = {kRsa2048Container >> 8,
                                          kRsa2048Container & 0xFF,
                                          0x1C,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0x01,
                                          0x00,
                                          0x00,
                                          0x0F};
    std::uint16_t sw = 0;
    return SelectMf(d) && Select(d, 0x01, kAppDf) && QX_AuthDir(d) == 0 &&
           QX_CreateFile(d, 0x01, df, &sw) >= 0 && sw == kSwOk &&
           QX_CreateRsaKeyFiles(d, bits) == 0;
  }
  // The user PIN of the application, so the containers' private keys may be used.
  static bool Login(DEVHANDLE d) {
    std::uint8_t pin[kDerivedPinSize + 1];
    QX_DerivePin("12345678", pin);
    std::uint16_t sw = 0;
    const bool selected = SelectMf(d) && Select(d, 0x01, kAppDf);
    const int r = QX_Verify(d, 0x00, {pin, kDerivedPinSize}, &sw);
    return selected && r >= 0 && sw == kSwOk;
  }

  riotest::Daemon daemon_;
  std::vector<Key> keys_;
  Key key_;
  DEVHANDLE d_ = nullptr;
  std::mt19937 rng_{20261210};
};

// --- symmetric ---

TEST_F(VirtualOpsTest, OneShotSm4MatchesOpenSslInEveryCommandForm) {
  const Bytes key = ref::Random(16), iv = ref::Random(16), data = ref::Random(1000);
  struct Form {
    const char *extended;
    const char *max_data;
    long commands;  // 80 F3 and 80 F1 commands of one 1008-byte ECB encryption, probe included
  } forms[] = {{"on", "4096", 2}, {"on", "134", 1 + 13}, {"off", "4096", 1 + 63}};
  for (const Form &f : forms) {
    Knob(key_, "extended", f.extended);
    Knob(key_, "max_data", f.max_data);
    for (std::uint32_t alg : {0x401u, 0x402u}) {
      for (std::uint32_t padding : {0u, 1u}) {
        const Bytes in(data.begin(), data.begin() + (padding ? 1000 : 992));
        Bytes padded = in;
        if (padding) padded.resize(1008, 8);
        const Bytes want = ref::Sm4(true, key, alg == 0x402 ? iv : Bytes{}, padded);
        const long before = Count(0x80F3) + Count(0x80F1);
        Bytes out(1024), chain = iv;
        int length = 0;
        ASSERT_EQ(QX_SymEncrypt(d_, alg, padding, key.data(), 16, chain.data(), 16, in.data(),
                                static_cast<int>(in.size()), out, &length),
                  0)
            << f.extended << f.max_data << alg;
        out.resize(static_cast<std::size_t>(length));
        EXPECT_EQ(out, want) << f.extended << " " << f.max_data << " " << std::hex << alg;
        if (alg == 0x401 && padding) {
          EXPECT_EQ(Count(0x80F3) + Count(0x80F1) - before, f.commands) << f.max_data;
        }
        Bytes back(1024);
        chain = iv;
        ASSERT_EQ(QX_SymDecrypt(d_, alg, padding, key.data(), 16, chain.data(), 16, out.data(),
                                length, back, &length),
                  0);
        back.resize(static_cast<std::size_t>(length));
        EXPECT_EQ(back, in);
      }
    }
  }
}

TEST_F(VirtualOpsTest, StreamSplitsMatchOneShotResults) {
  const Bytes key = ref::Random(16), iv = ref::Random(16), data = ref::Random(300);
  for (const char *extended : {"on", "off"}) {
    Knob(key_, "extended", extended);
    for (std::uint32_t alg : {0x401u, 0x402u, 0x102u}) {
      for (std::uint32_t padding : {0u, 1u}) {
        const Bytes in(data.begin(), data.begin() + (padding ? 300 : 288));
        SymStreamState s = {};
        s.dwAlgID = alg;
        s.bPadding = padding;
        std::memcpy(s.Key, key.data(), 16);
        s.IVLen = 16;
        std::memcpy(s.IV, iv.data(), 16);
        s.hDev = d_;
        Bytes cipher;
        for (std::size_t at = 0; at < in.size();) {
          const std::size_t n = std::min<std::size_t>(rng_() % 70, in.size() - at);
          Bytes out(n + 32);
          std::uint32_t got = 0;
          ASSERT_EQ(StreamEncryptUpdate(s, {in.data() + at, n}, out, &got), kStreamOk);
          cipher.insert(cipher.end(), out.begin(), out.begin() + got);
          at += n;
        }
        Bytes last(16);
        std::uint32_t got = 0;
        ASSERT_EQ(StreamEncryptFinal(s, last, &got), kStreamOk);
        cipher.insert(cipher.end(), last.begin(), last.begin() + got);
        // The same through the one-shot path.
        Bytes whole(512), chain = iv;
        int length = 0;
        ASSERT_EQ(QX_SymEncrypt(d_, alg, padding, key.data(), 16, chain.data(), 16, in.data(),
                                static_cast<int>(in.size()), whole, &length),
                  0);
        whole.resize(static_cast<std::size_t>(length));
        EXPECT_EQ(cipher, whole) << extended << " " << std::hex << alg << " " << padding;
        if (alg != 0x102) {
          Bytes padded = in;
          if (padding) padded.resize(304, 4);
          EXPECT_EQ(cipher, ref::Sm4(true, key, alg == 0x402 ? iv : Bytes{}, padded));
        }
        // Decryption in other pieces.
        s.PendingLen = 0;
        std::memcpy(s.IV, iv.data(), 16);
        Bytes plain;
        for (std::size_t at = 0; at < cipher.size();) {
          const std::size_t n = std::min<std::size_t>(rng_() % 50, cipher.size() - at);
          Bytes out(n + 32);
          ASSERT_EQ(StreamDecryptUpdate(s, {cipher.data() + at, n}, out, &got), kStreamOk);
          plain.insert(plain.end(), out.begin(), out.begin() + got);
          at += n;
        }
        ASSERT_EQ(StreamDecryptFinal(s, last, &got), kStreamOk);
        plain.insert(plain.end(), last.begin(), last.begin() + got);
        EXPECT_EQ(plain, in) << extended << " " << std::hex << alg;
      }
    }
  }
}

// --- RSA ---

TEST_F(VirtualOpsTest, RsaContainerKeysSignAndDecryptForOpenSsl) {
  for (std::uint32_t bits : {1024u, 2048u}) {
    const int unit = bits == 1024 ? 1 : 2;
    ASSERT_TRUE(ContainerFor(d_, bits));
    ASSERT_EQ(QX_CreateRsaKeyFiles(d_, bits), 0);
    RsaPublicKeyRecord pub = {}, exported = {};
    ASSERT_EQ(QX_GenRsaKeyPair(d_, bits, 1, &pub), 0) << bits;
    ASSERT_EQ(QX_RsaExportPublicKey(d_, unit, 1, &exported), 0);
    EXPECT_EQ(std::memcmp(&pub, &exported, sizeof pub), 0);
    EXPECT_EQ(Bytes(pub.PublicExponent, pub.PublicExponent + 4), Bytes({0, 1, 0, 1}));
    EVP_PKEY *card_key = ref::RsaPublic(Bytes(pub.Modulus, pub.Modulus + bits / 8),
                                        Bytes(pub.PublicExponent, pub.PublicExponent + 4));
    ASSERT_NE(card_key, nullptr);

    ASSERT_TRUE(Login(d_));
    ASSERT_TRUE(ContainerFor(d_, bits));
    const Bytes data = ref::Random(bits / 8 - 11);
    Bytes signature(256);
    std::uint32_t length = 0;
    ASSERT_EQ(QX_RsaSign(d_, unit, data, signature, &length), 0);
    signature.resize(length);
    EXPECT_TRUE(ref::RsaVerifyRaw(card_key, data, signature)) << bits;

    const Bytes session = ref::Random(16);
    const Bytes wrapped = ref::RsaEncrypt(card_key, session);
    Bytes out(256);
    ASSERT_EQ(QX_RsaDecrypt(d_, 1, wrapped, out, &length), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), session);
    ASSERT_EQ(QX_RsaDecryptRaw(d_, 1, wrapped, out, &length), 0);
    EXPECT_EQ(length, bits / 8);
    EXPECT_EQ(out[1], 0x02);
    EVP_PKEY_free(card_key);
  }
}

TEST_F(VirtualOpsTest, RsaSuppliedKeysVerifyWrapAndOperate) {
  for (int bits : {1024, 2048}) {
    EVP_PKEY *key = ref::RsaGenerate(bits);
    Bytes n, e;
    ref::RsaParts(key, n, e);
    RsaPublicKeyRecord pub = {};
    pub.BitLen = static_cast<std::uint32_t>(bits);
    std::memcpy(pub.Modulus, n.data(), n.size());
    std::memcpy(pub.PublicExponent, e.data(), 4);
    ASSERT_TRUE(SelectMf(d_));

    const Bytes data = ref::Random(36);
    Bytes signature = ref::RsaSignRaw(key, data);
    EXPECT_EQ(QX_RsaVerify(d_, pub, data, signature), 0) << bits;
    signature[10] ^= 1;
    EXPECT_EQ(QX_RsaVerify(d_, pub, data, signature), -1);

    const Bytes session = ref::Random(16);
    Bytes out(256);
    std::uint32_t length = 0;
    ASSERT_EQ(QX_RsaExportSessionKey(d_, pub, session, out, &length), 0);
    EXPECT_EQ(ref::RsaDecrypt(key, Bytes(out.begin(), out.begin() + length)), session);

    Bytes block = ref::Random(static_cast<std::size_t>(bits / 8));
    block[0] = 0;
    ASSERT_EQ(QX_RsaPublicOp(d_, pub, block, out, &length), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), ref::RsaRawPublic(key, block));
    EVP_PKEY_free(key);

    // A pair generated in working memory decrypts what OpenSSL wrapped to it.
    RsaKeyRecord ext = {};
    ASSERT_EQ(QX_GenExtRsaKey(d_, static_cast<std::uint32_t>(bits), &ext), 0);
    ext.BitLen = static_cast<std::uint32_t>(bits);
    EVP_PKEY *ext_pub = ref::RsaPublic(Bytes(ext.Modulus, ext.Modulus + bits / 8),
                                       Bytes(ext.PublicExponent, ext.PublicExponent + 4));
    const Bytes wrapped = ref::RsaEncrypt(ext_pub, session);
    ASSERT_EQ(QX_RsaPrivateOp(d_, ext, wrapped, out, &length), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), session);
    EVP_PKEY_free(ext_pub);
  }
}

TEST_F(VirtualOpsTest, ImportedRsaPairDecryptsOpenSslWrapping) {
  for (int bits : {1024, 2048}) {
    EVP_PKEY *key = ref::RsaGenerate(bits);
    RsaKeyRecord record = {};
    ASSERT_EQ(ParseRsaPrivateKey(ref::RsaDer(key), &record), 0);
    ASSERT_TRUE(Login(d_));
    ASSERT_TRUE(ContainerFor(d_, bits));
    ASSERT_EQ(QX_RsaImportKeyPair(d_, record), 0) << bits;
    RsaPublicKeyRecord exported = {};
    ASSERT_EQ(QX_RsaExportPublicKey(d_, bits == 1024 ? 1 : 2, 0, &exported), 0);
    EXPECT_EQ(std::memcmp(exported.Modulus, record.Modulus, static_cast<std::size_t>(bits / 8)), 0);
    const Bytes session = ref::Random(24);
    Bytes out(256);
    std::uint32_t length = 0;
    ASSERT_EQ(QX_RsaDecrypt(d_, 0, ref::RsaEncrypt(key, session), out, &length), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), session);
    EVP_PKEY_free(key);
  }
}

// --- SM2 ---

TEST_F(VirtualOpsTest, Sm2ContainerKeysSignAndDecryptInBothOrders) {
  ASSERT_TRUE(SelectContainer(d_, kSm2Container));
  ASSERT_EQ(QX_CreateEccKeyFiles(d_), 0);
  std::uint8_t pub[64], exported[64];
  int length = 0;
  ASSERT_EQ(QX_GenEccKeyPair(d_, 1, pub, &length), 0);
  ASSERT_EQ(QX_EccExportPublicKey(d_, 1, exported, &length), 0);
  EXPECT_EQ(Bytes(pub, pub + 64), Bytes(exported, exported + 64));
  EVP_PKEY *sign_key = ref::Sm2Public(Bytes(pub, pub + 64));
  ASSERT_NE(sign_key, nullptr);

  ASSERT_TRUE(Login(d_));
  ASSERT_TRUE(SelectContainer(d_, kSm2Container));
  const Bytes e = ref::Random(32);
  Bytes rs(64);
  ASSERT_EQ(QX_EccSign(d_, e, rs, &length), 0);
  EXPECT_EQ(length, 64);
  EXPECT_TRUE(ref::Sm2VerifyE(sign_key, e, rs));
  EVP_PKEY_free(sign_key);

  ASSERT_EQ(QX_EccExportPublicKey(d_, 0, exported, &length), 0);
  EVP_PKEY *enc_key = ref::Sm2Public(Bytes(exported, exported + 64));
  const Bytes m = ref::Random(100);
  for (const char *order : {"c1c3c2", "c1c2c3"}) {
    Knob(key_, "sm2_order", order);
    const long before = Count(0x803A);
    Bytes out(256);
    ASSERT_EQ(QX_PrivateEccDecrypt(d_, 0, ref::Sm2Encrypt(enc_key, m), out, &length), 0) << order;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), m);
    EXPECT_EQ(Count(0x803A) - before, std::string(order) == "c1c3c2" ? 1 : 2);
  }
  EVP_PKEY_free(enc_key);
}

TEST_F(VirtualOpsTest, Sm2SuppliedKeysAgainstOpenSsl) {
  EVP_PKEY *key = ref::Sm2Generate();
  const Bytes pub = ref::Sm2PublicOf(key), d = ref::Sm2PrivateOf(key);
  ASSERT_TRUE(SelectMf(d_));
  const Bytes e = ref::Random(32);
  Bytes rs = ref::Sm2SignE(key, e);
  EXPECT_EQ(QX_EccVerify(d_, pub, e, rs), 0);
  rs[40] ^= 1;
  EXPECT_EQ(QX_EccVerify(d_, pub, e, rs), -1);

  const Bytes m = ref::Random(160);
  Bytes out(512);
  int length = 0;
  ASSERT_EQ(QX_EccEncrypt(d_, pub, m, out, &length), 0);
  EXPECT_EQ(length, 256);
  EXPECT_EQ(ref::Sm2Decrypt(key, Bytes(out.begin(), out.begin() + length)), m);
  for (const char *order : {"c1c3c2", "c1c2c3"}) {
    Knob(key_, "sm2_order", order);
    ASSERT_EQ(QX_EccDecryptExt(d_, d, ref::Sm2Encrypt(key, Bytes(m.begin(), m.begin() + 40)), out,
                               &length),
              0)
        << order;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), Bytes(m.begin(), m.begin() + 40));
  }
  ASSERT_EQ(QX_EccSignExt(d_, d, e, rs, &length), 0);
  EXPECT_TRUE(ref::Sm2VerifyE(key, e, rs));
  EVP_PKEY_free(key);

  // A working-memory pair: its private half signs for its public half.
  std::uint8_t ext_pub[64], ext_d[32];
  int pub_length = 0, d_length = 0;
  ASSERT_EQ(QX_GenExtEccKey(d_, ext_pub, &pub_length, ext_d, &d_length), 0);
  ASSERT_EQ(QX_EccSignExt(d_, {ext_d, 32}, e, rs, &length), 0);
  EVP_PKEY *ext_key = ref::Sm2Public(Bytes(ext_pub, ext_pub + 64));
  EXPECT_TRUE(ref::Sm2VerifyE(ext_key, e, rs));
  EVP_PKEY_free(ext_key);
}

TEST_F(VirtualOpsTest, ImportedSm2PairDecryptsForOpenSsl) {
  EVP_PKEY *key = ref::Sm2Generate();
  const Bytes pub = ref::Sm2PublicOf(key), d = ref::Sm2PrivateOf(key);
  // The private key travels SM4-encrypted with padding; the card decrypts it block by block.
  Bytes padded = d;
  padded.resize(48, 16);
  const Bytes session = ref::Random(16);
  const Bytes encrypted = ref::Sm4(true, session, {}, padded);
  ASSERT_TRUE(SelectMf(d_));
  Bytes plain(48);
  int length = 0;
  ASSERT_EQ(QX_DecryptImportedKey(d_, 0x401, 1, session, encrypted, plain, &length), 0);
  ASSERT_EQ(Bytes(plain.begin(), plain.begin() + length), d);

  ASSERT_TRUE(Login(d_));
  ASSERT_TRUE(SelectContainer(d_, kSm2Container));
  ASSERT_EQ(QX_EccImportKeyPair(d_, pub, {plain.data(), 32}), 0);
  const Bytes m = ref::Random(32);
  Bytes out(256);
  ASSERT_EQ(QX_PrivateEccDecrypt(d_, 0, ref::Sm2Encrypt(key, m), out, &length), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + length), m);
  EVP_PKEY_free(key);
}

TEST_F(VirtualOpsTest, AgreementBetweenTwoKeysGivesOneSessionKey) {
  const Key peer = NewKey();
  ASSERT_NE(peer.device, nullptr);
  // The command carries no Le: its answer comes the T=0 way, 61 10 and GET RESPONSE.
  int length = 0;
  struct Side {
    DEVHANDLE d;
    Bytes id, static_pub;
    std::uint8_t temp_pub[64], temp_d[32];
    std::uint8_t key[16];
  } a{d_, Bytes(16, 'A'), {}, {}, {}, {}}, b{peer.device, Bytes(20, 'B'), {}, {}, {}, {}};
  for (Side *s : {&a, &b}) {
    ASSERT_TRUE(Login(s->d));
    ASSERT_TRUE(SelectContainer(s->d, kSm2Container));
    std::uint8_t pub[64];
    int n = 0, m = 0;
    ASSERT_EQ(QX_EccExportPublicKey(s->d, 0, pub, &n), 0);
    s->static_pub.assign(pub, pub + 64);
    ASSERT_EQ(QX_GenExtEccKey(s->d, s->temp_pub, &n, s->temp_d, &m), 0);
  }
  ASSERT_EQ(QX_EccAgreementSponsor(a.d, 1, a.id, a.temp_pub, a.temp_d, b.id, b.static_pub.data(),
                                   b.temp_pub, a.key, &length),
            0);
  ASSERT_EQ(QX_EccAgreementResponder(b.d, 0, b.id, b.temp_pub, b.temp_d, a.id, a.static_pub.data(),
                                     a.temp_pub, b.key, &length),
            0);
  EXPECT_EQ(Bytes(a.key, a.key + 16), Bytes(b.key, b.key + 16));

  // Encrypted on one key, decrypted on the other.
  const Bytes m = ref::Random(40);
  Bytes c(64), back(64);
  int n = 0;
  ASSERT_EQ(QX_SymEncrypt(a.d, 0x401, 1, a.key, 16, nullptr, 0, m.data(), 40, c, &n), 0);
  ASSERT_EQ(QX_SymDecrypt(b.d, 0x401, 1, b.key, 16, nullptr, 0, c.data(), n, back, &n), 0);
  EXPECT_EQ(Bytes(back.begin(), back.begin() + n), m);
}

}  // namespace
