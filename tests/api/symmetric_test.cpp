// Session keys and symmetric encryption against a virtual key, OpenSSL's SM4 and triple DES as
// the reference: one-shot and streamed, padding on and off, short and extended commands, the
// commands each operation sends, and the buffers and states around them.
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "keysim_fixture.h"
#include "session_record.h"

namespace {

using vkey::Bytes;

const Bytes kKey = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                    0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
const Bytes kIv = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                   0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

Bytes Pattern(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 29 + seed);
  return b;
}

// OpenSSL over the same key, IV and padding (PKCS#7 is the 16-byte block padding).
Bytes Reference(const EVP_CIPHER *cipher, bool encrypt, bool pad, const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
  int n = 0, tail = 0;
  EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher, nullptr, kKey.data(), kIv.data(), encrypt ? 1 : 0), 1);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
  EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n, &tail), 1);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

const EVP_CIPHER *Sm4Of(ULONG alg) { return alg == SGD_SMS4_CBC ? EVP_sm4_cbc() : EVP_sm4_ecb(); }

BLOCKCIPHERPARAM Param(bool pad, std::size_t iv_length = 16) {
  BLOCKCIPHERPARAM p = {};
  std::memcpy(p.IV, kIv.data(), kIv.size());
  p.IVLen = static_cast<ULONG>(iv_length);
  p.PaddingType = pad ? 1 : 0;
  return p;
}

class SymmetricTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    key_ = NewKey(false);
    device_ = Connect(key_);
    ASSERT_NE(device_, nullptr);
  }

  HANDLE Key(ULONG alg) {
    HANDLE k = nullptr;
    EXPECT_EQ(SKF(SKF_SetSymmKey)(device_, const_cast<BYTE *>(kKey.data()), alg, &k), SAR_OK);
    return k;
  }
  // Extended commands on or off, with the reader's maximum data length.
  void Link(bool extended, int max_data = 1024) {
    ASSERT_TRUE(vkey::Knob(key_, "extended", extended ? "on" : "off"));
    ASSERT_TRUE(vkey::Knob(key_, "max_data", std::to_string(max_data).c_str()));
  }

  static Bytes Encrypt(HANDLE k, const Bytes &in, ULONG want = SAR_OK) {
    Bytes out(in.size() + 32);
    ULONG n = static_cast<ULONG>(out.size());
    EXPECT_EQ(SKF(SKF_Encrypt)(k, const_cast<BYTE *>(in.data()), static_cast<ULONG>(in.size()),
                               out.data(), &n),
              want);
    out.resize(want == SAR_OK ? n : 0);
    return out;
  }
  static Bytes Decrypt(HANDLE k, const Bytes &in, ULONG want = SAR_OK) {
    Bytes out(in.size() + 32);
    ULONG n = static_cast<ULONG>(out.size());
    EXPECT_EQ(SKF(SKF_Decrypt)(k, const_cast<BYTE *>(in.data()), static_cast<ULONG>(in.size()),
                               out.data(), &n),
              want);
    out.resize(want == SAR_OK ? n : 0);
    return out;
  }

  using Update = decltype(&SKF_EncryptUpdate);
  using Final = decltype(&SKF_EncryptFinal);
  // Updates of the given sizes, cycled over the whole input, then the final step.
  static Bytes Stream(Update update, Final final, HANDLE k, const Bytes &in,
                      const std::vector<std::size_t> &sizes) {
    Bytes out;
    std::size_t at = 0;
    for (std::size_t i = 0; at < in.size(); ++i) {
      const std::size_t n = std::min(sizes[i % sizes.size()], in.size() - at);
      Bytes part(n + 32);
      ULONG got = static_cast<ULONG>(part.size());
      EXPECT_EQ(
          update(k, const_cast<BYTE *>(in.data() + at), static_cast<ULONG>(n), part.data(), &got),
          SAR_OK);
      out.insert(out.end(), part.begin(), part.begin() + got);
      at += n;
    }
    Bytes last(32);
    ULONG got = static_cast<ULONG>(last.size());
    EXPECT_EQ(final(k, last.data(), &got), SAR_OK);
    out.insert(out.end(), last.begin(), last.begin() + got);
    return out;
  }
  static Bytes StreamEncrypt(HANDLE k, const Bytes &in, const std::vector<std::size_t> &sizes) {
    return Stream(SKF(SKF_EncryptUpdate), SKF(SKF_EncryptFinal), k, in, sizes);
  }
  static Bytes StreamDecrypt(HANDLE k, const Bytes &in, const std::vector<std::size_t> &sizes) {
    return Stream(SKF(SKF_DecryptUpdate), SKF(SKF_DecryptFinal), k, in, sizes);
  }

  std::uint64_t Sent(std::uint8_t ins) { return vkey::Commands(key_, 0x80, ins); }

  std::string key_;
  DEVHANDLE device_ = nullptr;
};

struct CipherCase {
  ULONG alg;
  bool pad;
  std::size_t length;
};
// clang-format off
constexpr CipherCase kSm4Cases[] = {
    {SGD_SMS4_ECB, false, 16}, {SGD_SMS4_ECB, true, 16}, {SGD_SMS4_ECB, true, 33},
    {SGD_SMS4_ECB, false, 1008}, {SGD_SMS4_ECB, true, 1000},
    {SGD_SMS4_CBC, false, 16}, {SGD_SMS4_CBC, true, 16}, {SGD_SMS4_CBC, true, 33},
    {SGD_SMS4_CBC, false, 1008}, {SGD_SMS4_CBC, true, 1000},
};
// clang-format on

TEST_F(SymmetricTest, OneShotEqualsOpenSslSm4) {
  for (bool extended : {true, false}) {
    Link(extended);
    for (const CipherCase &c : kSm4Cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << c.alg << std::dec << " pad " << c.pad << " "
                                        << c.length << " extended " << extended);
      const Bytes plain = Pattern(c.length, 1);
      const Bytes want = Reference(Sm4Of(c.alg), true, c.pad, plain);
      HANDLE k = Key(c.alg);
      ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(c.pad)), SAR_OK);
      EXPECT_EQ(Encrypt(k, plain), want);
      ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(c.pad)), SAR_OK);
      EXPECT_EQ(Decrypt(k, want), plain);
    }
  }
}

TEST_F(SymmetricTest, StreamedEqualsOpenSslSm4) {
  const std::vector<std::size_t> encrypt_splits = {1, 15, 16, 17, 100, 3};
  const std::vector<std::size_t> decrypt_splits = {7, 16, 33, 48, 1};
  for (bool extended : {true, false}) {
    Link(extended);
    for (const CipherCase &c : kSm4Cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << c.alg << std::dec << " pad " << c.pad << " "
                                        << c.length << " extended " << extended);
      const Bytes plain = Pattern(c.length, 2);
      const Bytes want = Reference(Sm4Of(c.alg), true, c.pad, plain);
      HANDLE k = Key(c.alg);
      ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(c.pad)), SAR_OK);
      EXPECT_EQ(StreamEncrypt(k, plain, encrypt_splits), want);
      ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(c.pad)), SAR_OK);
      EXPECT_EQ(StreamDecrypt(k, want, decrypt_splits), plain);
    }
  }
}

// The stand-in ciphers of the other identifiers have no outside reference: the stream and the
// one-shot operation must agree, and decryption must invert both.
TEST_F(SymmetricTest, OtherCiphersAgreeOneShotAndStreamed) {
  const Bytes plain = Pattern(500, 3);
  for (ULONG alg : {SGD_SM1_ECB, SGD_SM1_CBC, SGD_SSF33_ECB, SGD_SSF33_CBC}) {
    SCOPED_TRACE(::testing::Message() << std::hex << alg);
    HANDLE k = Key(alg);
    ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(true)), SAR_OK);
    const Bytes once = Encrypt(k, plain);
    EXPECT_EQ(once.size(), 512u);
    EXPECT_EQ(Encrypt(k, plain), once) << "the record's IV does not move";
    EXPECT_EQ(StreamEncrypt(k, plain, {100, 7}), once);
    ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(true)), SAR_OK);
    EXPECT_EQ(Decrypt(k, once), plain);
    EXPECT_EQ(StreamDecrypt(k, once, {64, 5}), plain);
  }
}

// Card commands per operation, from the key's statistics: the probe is one 80 F3 command
// before the data (counted in the F3 column), refused when the key takes no extended commands.
TEST_F(SymmetricTest, CommandsPerPiece) {
  struct Row {
    const char *what;
    bool extended;
    int max_data;
    ULONG alg;
    bool pad;
    std::size_t length;
    bool stream;
    std::uint64_t f3, f1;
  };
  // clang-format off
  const Row rows[] = {
      {"SM4 ECB short: 16 bytes a command", false, 1024, SGD_SMS4_ECB, false, 64, false, 5, 0},
      {"SM1 ECB short: pieces of 112", false, 1024, SGD_SM1_ECB, true, 200, false, 3, 0},
      {"SM4 CBC short: 16 bytes a command", false, 1024, SGD_SMS4_CBC, false, 48, false, 1, 3},
      {"reader M 134: pieces of 80", true, 134, SGD_SMS4_ECB, true, 200, false, 4, 0},
      {"reader M 4096: pieces of 4048", true, 4096, SGD_SMS4_ECB, false, 8192, false, 4, 0},
      {"reader M 4096, CBC", true, 4096, SGD_SMS4_CBC, false, 8192, false, 1, 3},
      {"stream CBC short: an ECB command a block", false, 1024, SGD_SM1_CBC, false, 48, true, 4, 0},
      {"stream ECB short: pieces of 112", false, 1024, SGD_SMS4_ECB, false, 240, true, 4, 0},
      {"stream update under a block: nothing sent", true, 1024, SGD_SMS4_ECB, true, 10, true, 0, 0},
      {"stream CBC extended", true, 1024, SGD_SMS4_CBC, false, 1024, true, 1, 2},
  };
  // clang-format on
  for (const Row &r : rows) {
    SCOPED_TRACE(r.what);
    Link(r.extended, r.max_data);
    HANDLE k = Key(r.alg);
    ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(r.pad)), SAR_OK);
    const Bytes plain = Pattern(r.length, 4);
    const std::uint64_t f3 = Sent(0xF3), f1 = Sent(0xF1);
    Bytes out(r.length + 16);
    ULONG n = static_cast<ULONG>(out.size());
    const ULONG length = static_cast<ULONG>(r.length);
    if (r.stream) {
      ASSERT_EQ(SKF(SKF_EncryptUpdate)(k, const_cast<BYTE *>(plain.data()), length, out.data(), &n),
                SAR_OK);
    } else {
      ASSERT_EQ(SKF(SKF_Encrypt)(k, const_cast<BYTE *>(plain.data()), length, out.data(), &n),
                SAR_OK);
    }
    EXPECT_EQ(Sent(0xF3) - f3, r.f3);
    EXPECT_EQ(Sent(0xF1) - f1, r.f1);
  }
}

// Identifier 1 is two-key triple DES in software for the one-shot operations, and the card's
// CBC mode 80 for the stream steps; only the creators that take any identifier store it, so a
// key made here gets it in its record.
TEST_F(SymmetricTest, IdentifierOneIsSoftwareTripleDesInOneShot) {
  HANDLE one = Key(SGD_SMS4_ECB);
  static_cast<SessionRecord *>(one)->dwAlgID = 1;
  const Bytes plain = Pattern(24, 5);
  const std::uint64_t before = vkey::Commands(key_);
  const Bytes cipher = Encrypt(one, plain);
  EXPECT_EQ(cipher, Reference(EVP_des_ede_ecb(), true, false, plain));
  EXPECT_EQ(Decrypt(one, cipher), plain);
  EXPECT_EQ(vkey::Commands(key_), before) << "nothing reaches the card";
  Encrypt(one, Pattern(20, 5), SAR_FAIL);

  ASSERT_EQ(SKF(SKF_EncryptInit)(one, Param(false)), SAR_OK);
  const Bytes streamed = StreamEncrypt(one, Pattern(32, 6), {32});
  HANDLE ssf33_cbc = Key(SGD_SSF33_CBC);
  ASSERT_EQ(SKF(SKF_EncryptInit)(ssf33_cbc, Param(false)), SAR_OK);
  EXPECT_EQ(streamed, StreamEncrypt(ssf33_cbc, Pattern(32, 6), {32}));
}

TEST_F(SymmetricTest, PaddingBytesOnDecryption) {
  HANDLE k = Key(SGD_SMS4_ECB);
  ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(true)), SAR_OK);
  Bytes block = Pattern(16, 7);
  block[15] = 0x11;
  Decrypt(k, Reference(EVP_sm4_ecb(), true, false, block), SAR_FAIL);
  block[15] = 0x00;
  EXPECT_EQ(Decrypt(k, Reference(EVP_sm4_ecb(), true, false, block)), block) << "0 removes nothing";
}

// A buffer too small for the result is refused with the length needed; nothing is written
// and the stream state stays as it was.
TEST_F(SymmetricTest, BuffersTooSmall) {
  HANDLE k = Key(SGD_SMS4_CBC);
  const Bytes plain = Pattern(20, 8);
  const Bytes cipher = Reference(EVP_sm4_cbc(), true, true, plain);
  ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(true)), SAR_OK);
  Bytes out(32, 0xEE);
  ULONG n = 19;
  EXPECT_EQ(SKF(SKF_Decrypt)(k, const_cast<BYTE *>(cipher.data()), 32, out.data(), &n),
            SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(n, 20u);
  EXPECT_EQ(out, Bytes(32, 0xEE));
  n = 20;
  ASSERT_EQ(SKF(SKF_Decrypt)(k, const_cast<BYTE *>(cipher.data()), 32, out.data(), &n), SAR_OK)
      << "the plaintext fits although the padded input does not";
  EXPECT_EQ(Bytes(out.begin(), out.begin() + n), plain);

  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(true)), SAR_OK);
  n = 15;
  EXPECT_EQ(SKF(SKF_EncryptUpdate)(k, const_cast<BYTE *>(plain.data()), 20, out.data(), &n),
            SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(n, 16u);
  Bytes last(16, 0xEE);
  n = 15;
  EXPECT_EQ(SKF(SKF_EncryptFinal)(k, last.data(), &n), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(last, Bytes(16, 0xEE));
  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(true)), SAR_OK);
  EXPECT_EQ(StreamEncrypt(k, plain, {20}), cipher);
}

TEST_F(SymmetricTest, StreamStates) {
  HANDLE k = Key(SGD_SMS4_ECB);
  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(false)), SAR_OK);
  const Bytes plain = Pattern(21, 9);
  Bytes out(64);
  ULONG n = static_cast<ULONG>(out.size());
  ASSERT_EQ(SKF(SKF_EncryptUpdate)(k, const_cast<BYTE *>(plain.data()), 21, out.data(), &n),
            SAR_OK);
  EXPECT_EQ(n, 16u);
  n = static_cast<ULONG>(out.size());
  EXPECT_EQ(SKF(SKF_EncryptFinal)(k, out.data(), &n), SAR_FAIL) << "5 bytes and no padding";
  n = static_cast<ULONG>(out.size());
  EXPECT_EQ(SKF(SKF_EncryptUpdate)(k, const_cast<BYTE *>(plain.data()), 16, out.data(), &n),
            SAR_FAIL)
      << "finished until the next Init";
  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(true)), SAR_OK);
  EXPECT_EQ(StreamEncrypt(k, plain, {10}), Reference(EVP_sm4_ecb(), true, true, plain));

  ASSERT_EQ(SKF(SKF_DecryptInit)(k, Param(true)), SAR_OK);
  n = static_cast<ULONG>(out.size());
  ASSERT_EQ(SKF(SKF_DecryptUpdate)(k, out.data(), 8, out.data() + 32, &n), SAR_OK);
  EXPECT_EQ(n, 0u);
  n = static_cast<ULONG>(out.size());
  EXPECT_EQ(SKF(SKF_DecryptFinal)(k, out.data(), &n), SAR_FAIL) << "8 bytes pending";
}

TEST_F(SymmetricTest, KeysOutliveCloseAndInitNeedsTheDevice) {
  HANDLE k = Key(SGD_SMS4_ECB);
  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(false)), SAR_OK);
  EXPECT_EQ(SKF(SKF_CloseHandle)(k), SAR_OK);
  const Bytes plain = Pattern(32, 10);
  EXPECT_EQ(Encrypt(k, plain), Reference(EVP_sm4_ecb(), true, false, plain));
  ASSERT_TRUE(vkey::Remove(key_));
  EXPECT_EQ(SKF(SKF_EncryptInit)(k, Param(false)), SAR_FAIL);
  EXPECT_EQ(SKF(SKF_DecryptInit)(k, Param(false)), SAR_OK);
  ASSERT_TRUE(vkey::Insert(key_));
}

TEST_F(SymmetricTest, CbcNeedsA16ByteIvInOneShot) {
  HANDLE k = Key(SGD_SMS4_CBC);
  ASSERT_EQ(SKF(SKF_EncryptInit)(k, Param(false, 8)), SAR_OK);
  Encrypt(k, Pattern(16, 11), SAR_FAIL);
  HANDLE fresh = Key(SGD_SMS4_CBC);
  Encrypt(fresh, Pattern(16, 11), SAR_FAIL);
  // The stream steps of a key without Init run CBC from a zero IV.
  const Bytes plain = Pattern(32, 12);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  const std::uint8_t zero[16] = {};
  Bytes want(32);
  int len = 0;
  EVP_EncryptInit_ex(ctx, EVP_sm4_cbc(), nullptr, kKey.data(), zero);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, want.data(), &len, plain.data(), 32);
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_EQ(StreamEncrypt(fresh, plain, {32}), want);
}

}  // namespace
