// The SKF flow through tokencore over PC/SC: pcscd with vpcd and a provisioned virtual key in
// namespaces of the program's own (pcsc_harness.h), the virtual-key backend switched off so
// that the key is reached only as a PC/SC card. The serial text and the protected PIN
// presentation rest on the six bytes the key carries in its answer-to-reset; OpenSSL checks
// the signatures and makes the ciphertexts. A host thread cancelled during a transmit leaves the
// PC/SC connection working.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host_thread.h"
#include "openssl_side.h"
#include "pcsc_harness.h"
#include "tokencore.h"

using namespace riotest;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSerial = 20261210;
const Bytes kId = ossl::Hex("31323334353637383132333435363738");  // "1234567812345678"

class PcscSkf : public ::testing::Test {
 protected:
  void SetUp() override {
    bool installed = false;
    const std::string why = private_pcscd(installed);
    if (!installed) GTEST_SKIP() << why;
    ASSERT_EQ(why, "");
    // The card of the test before goes once its daemon has stopped; until then it is listed.
    ASSERT_TRUE(wait_for_no_pcsc_card()) << "the last test's card stays";
    ASSERT_TRUE(key_.start(kSerial, true));
    set_addr_env("");
    reader_ = wait_for_pcsc_card();
    ASSERT_FALSE(reader_.empty()) << "vpcd reader never showed a card";
  }
  void TearDown() override {
    if (dev_) SKF(SKF_DisConnectDev)(dev_);
  }

  HCONTAINER Container(const char *name) {
    std::string text = name;
    HCONTAINER container = nullptr;
    EXPECT_EQ(SKF(SKF_OpenContainer)(app_, text.data(), &container), SAR_OK) << name;
    return container;
  }
  template <typename Blob>
  Blob Public(HCONTAINER container, BOOL sign) {
    Blob blob{};
    ULONG length = sizeof blob;
    EXPECT_EQ(SKF(SKF_ExportPublicKey)(container, sign, reinterpret_cast<BYTE *>(&blob), &length),
              SAR_OK);
    return blob;
  }

  VpcdKey key_;
  std::string reader_;
  DEVHANDLE dev_ = nullptr;
  HAPPLICATION app_ = nullptr;
};

TEST_F(PcscSkf, PinSigningAndDecryptionAgreeWithTheCard) {
  std::vector<char> names(1024);
  ULONG size = static_cast<ULONG>(names.size());
  ASSERT_EQ(SKF(SKF_EnumDev)(TRUE, names.data(), &size), SAR_OK);
  EXPECT_EQ(std::string(names.data()), reader_);
  ASSERT_EQ(SKF(SKF_ConnectDev)(reader_.c_str(), &dev_), SAR_OK);
  DEVINFO info{};
  ASSERT_EQ(SKF(SKF_GetDevInfo)(dev_, &info), SAR_OK);
  EXPECT_STREQ(info.SerialNumber, "20261210");

  // The card's default PIN mode is the protected presentation, keyed to its serial and
  // descriptor bytes: a wrong PIN costs a try, the right one opens the keys.
  char name[] = "KEYSIM-APP";
  ASSERT_EQ(SKF(SKF_OpenApplication)(dev_, name, &app_), SAR_OK);
  char wrong[] = "87654321", right[] = "12345678";
  ULONG retries = 0;
  EXPECT_EQ(SKF(SKF_VerifyPIN)(app_, USER_TYPE, wrong, &retries), SAR_PIN_INCORRECT);
  EXPECT_EQ(retries, 9u);
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app_, USER_TYPE, right, &retries), SAR_OK);

  // SM2: a signature OpenSSL verifies, a ciphertext of OpenSSL's that the card decrypts.
  HCONTAINER sm2 = Container("SM2-CONTAINER");
  const Bytes message = ossl::Random(300);
  const Bytes xy = ossl::EccPoint(Public<ECCPUBLICKEYBLOB>(sm2, TRUE));
  const Bytes e = ossl::Sm2Digest(xy, kId, message);
  ECCSIGNATUREBLOB sig{};
  ASSERT_EQ(SKF(SKF_ECCSignData)(sm2, const_cast<BYTE *>(e.data()), 32, &sig), SAR_OK);
  ossl::Pkey signer = ossl::Sm2FromPublic(xy);
  EXPECT_TRUE(ossl::Sm2Verify(signer.get(), kId, message, ossl::EccSignature(sig)));

  ossl::Pkey enc = ossl::Sm2FromPublic(ossl::EccPoint(Public<ECCPUBLICKEYBLOB>(sm2, FALSE)));
  const Bytes plain = ossl::Random(48);
  Bytes blob = ossl::EccCipherBlob(ossl::Sm2Encrypt(enc.get(), plain));
  BYTE out[256] = {};
  ULONG length = sizeof out;
  ASSERT_EQ(
      SKF(SKFEX_ECCDecrypt)(sm2, 1, reinterpret_cast<ECCCIPHERBLOB *>(blob.data()), out, &length),
      SAR_OK);
  EXPECT_EQ(Bytes(out, out + length), plain);

  // RSA: a signature OpenSSL verifies.
  HCONTAINER rsa = Container("RSA-CONTAINER");
  ossl::Pkey rsa_key = ossl::RsaFromPublicBlob(Public<RSAPUBLICKEYBLOB>(rsa, TRUE));
  const Bytes data = ossl::Random(36);
  BYTE signature[256] = {};
  length = sizeof signature;
  ASSERT_EQ(SKF(SKF_RSASignData)(rsa, const_cast<BYTE *>(data.data()),
                                 static_cast<ULONG>(data.size()), signature, &length),
            SAR_OK);
  EXPECT_TRUE(ossl::RsaVerifyRaw(rsa_key.get(), data, Bytes(signature, signature + length)));
}

// pcsc-lite's calls are not cut short by a cancellation (they would leave the connection's lock
// taken): the thread ends right after the transmit, and the connection goes on in step.
TEST_F(PcscSkf, ThreadCancelledDuringATransmitLeavesTheConnectionWorking) {
  using std::chrono::milliseconds;
  ASSERT_EQ(SKF(SKF_ConnectDev)(reader_.c_str(), &dev_), SAR_OK);
  DEVINFO reference{};
  ASSERT_EQ(SKF(SKF_GetDevInfo)(dev_, &reference), SAR_OK);
  auto slow = [&](const char *ms) {
    return control(key_.addr(), keysim::proto::Op::knob, {VpcdKey::kName, "answer_delay", ms});
  };
  ASSERT_EQ(slow("400"), 0);
  HostThread sender([&] {
    DEVINFO info{};
    SKF(SKF_GetDevInfo)(dev_, &info);
  });
  std::this_thread::sleep_for(milliseconds(200));  // the first command's answer is awaited
  EXPECT_TRUE(sender.CancelledWithin(milliseconds(600)));
  ASSERT_EQ(slow("off"), 0);

  DEVINFO info{};
  ULONG result = SAR_FAIL;
  HostThread other([&] { result = SKF(SKF_GetDevInfo)(dev_, &info); });
  ASSERT_TRUE(other.ReturnsWithin(milliseconds(2000))) << "the connection stays locked";
  EXPECT_EQ(result, SAR_OK);
  EXPECT_EQ(std::memcmp(&info, &reference, sizeof info), 0);
}

}  // namespace
