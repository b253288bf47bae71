// Several threads of one host on one key, through each library: wrong and right PINs, RSA and
// SM2 signing, RSA and SM2 decryption, file writes and container changes at once, over two
// connections to the key, while a thread on a second key uses the PIN slots and the device
// authentication the process shares. Every SAR_OK result is checked (signatures with OpenSSL,
// plaintexts and file data against what was sent) and the keys' directories come out intact. A
// key that answers slowly holds up the exports on it alone.
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "both_fixture.h"
#include "examples/sar_text.h"
#include "openssl_side.h"

namespace legacytest {

namespace {

using Clock = std::chrono::steady_clock;
using host::Build;
using host::Library;

constexpr int kRounds = 20;  // of each worker
constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr char kWrongPin[] = "87654321";
constexpr char kFileName[] = "THREADS-FILE";
constexpr char kTempContainer[] = "THREADS-TEMP";
constexpr ULONG kFileSize = 256;
constexpr std::size_t kFileData = 128;
constexpr ULONG kExchangeKey = 1;  // key spec of the decryptions: not the signing key
const Bytes kId = ossl::Hex("31323334353637383132333435363738");

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What one worker saw go wrong, reported by the main thread.
struct Worker {
  Worker(const char *name, std::function<void(Worker &)> round)
      : name(name), round(std::move(round)) {}

  const char *name;
  std::function<void(Worker &)> round;
  std::vector<std::string> failures;
  int checked = 0;  // SAR_OK results checked

  void Fail(const std::string &what, ULONG code) {
    if (failures.size() < 5) failures.push_back(what + ": " + SarText(code));
  }
};

class ThreadsTest : public BothLibraries, public ::testing::WithParamInterface<Build> {
 protected:
  const Library &Lib() const { return host::Of(GetParam()); }

  // A provisioned key with the device directory as tokenbase formats it.
  std::string ProvisionedKey() {
    const std::string key = NewKey(true);
    EXPECT_TRUE(AsFormattedByBase(key));
    return key;
  }

  HCONTAINER Container(HAPPLICATION app, const char *name) {
    HCONTAINER container = nullptr;
    EXPECT_EQ(SKF_OF(Lib(), SKF_OpenContainer)(app, const_cast<char *>(name), &container), SAR_OK)
        << name;
    return container;
  }

  Bytes PublicBlob(HCONTAINER container, BOOL sign) {
    BYTE blob[sizeof(RSAPUBLICKEYBLOB)] = {};
    ULONG length = sizeof blob;
    EXPECT_EQ(SKF_OF(Lib(), SKF_ExportPublicKey)(container, sign, blob, &length), SAR_OK);
    return Bytes(blob, blob + length);
  }

  ULONG VerifyPin(HAPPLICATION app, const char *pin) {
    char text[32] = {};
    std::strncpy(text, pin, sizeof text - 1);
    ULONG retries = 0;
    return SKF_OF(Lib(), SKF_VerifyPIN)(app, USER_TYPE, text, &retries);
  }

  // A private-key result: SAR_OK is checked by `check`; a PIN slot emptied by a wrong PIN
  // elsewhere is filled again. Anything else fails.
  void PrivateResult(Worker &w, HAPPLICATION app, const char *what, ULONG code, bool check) {
    if (code == SAR_OK) {
      if (!check) w.Fail(std::string(what) + " came back wrong", code);
      ++w.checked;
    } else if (code != SAR_USER_NOT_LOGGED_IN) {
      w.Fail(what, code);
    } else if (const ULONG login = VerifyPin(app, kPin); login != SAR_OK) {
      w.Fail(std::string(what) + ": login", login);
    }
  }

  // The length-prefixed file at `path`, read raw.
  static std::string Raw(const std::string &key, const std::vector<std::uint16_t> &path) {
    vkey::RawCard card(key);
    if (!card.IsOpen() || !card.SelectPath(path)) return "unreadable";
    const auto image = card.ReadPrefixed();
    return image ? std::string(image->begin(), image->end()) : "empty";
  }

  // A name list with '|' for each NUL.
  static std::string Names(decltype(&::SKF_EnumContainer) list, HAPPLICATION app) {
    char names[512] = {};
    ULONG size = sizeof names;
    if (list(app, names, &size) != SAR_OK) return "unlisted";
    std::string text(names, size);
    for (char &c : text) c = c ? c : '|';
    return text;
  }
};

TEST_P(ThreadsTest, ThreadsOnOneKeyGetOnlyRightResultsAndLeaveItIntact) {
  const Library &lib = Lib();
  const std::string key = ProvisionedKey();
  // tokenbase sends the SM2 ciphertext in the order it is given (C1 C2 C3).
  if (lib.IsBase()) {
    ASSERT_TRUE(vkey::Knob(key, "sm2_order", "c1c2c3"));
  }
  // A second key, a copy of the first, shares the process's PIN slots and device
  // authentication with it.
  const std::string other = vkey::CloneKey(key);
  ASSERT_FALSE(other.empty());
  keys_.push_back(other);
  const std::string device_directory = Raw(key, {kDirectoryEf});
  DEVHANDLE devices[2] = {Connect(lib, key), Connect(lib, key)};
  ASSERT_TRUE(devices[0] && devices[1]);
  DEVHANDLE other_device = Connect(lib, other);
  HAPPLICATION other_app = OpenApp(lib, other_device);
  ASSERT_NE(other_app, nullptr);
  HCONTAINER other_rsa = Container(other_app, kRsaContainer);
  HAPPLICATION first = OpenApp(lib, devices[0]);
  ASSERT_EQ(VerifyPin(first, kPin), SAR_OK);
  ASSERT_EQ(SKF_OF(lib, SKF_CreateFile)(first, const_cast<char *>(kFileName), kFileSize,
                                        SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT),
            SAR_OK);

  // The key's public keys, read before the threads start.
  HCONTAINER rsa = Container(first, kRsaContainer);
  HCONTAINER sm2 = Container(first, kSm2Container);
  RSAPUBLICKEYBLOB rsa_blobs[2];
  ECCPUBLICKEYBLOB sm2_blobs[2];
  for (BOOL sign : {FALSE, TRUE}) {
    const Bytes r = PublicBlob(rsa, sign), s = PublicBlob(sm2, sign);
    ASSERT_EQ(r.size(), sizeof(RSAPUBLICKEYBLOB));
    ASSERT_EQ(s.size(), sizeof(ECCPUBLICKEYBLOB));
    std::memcpy(&rsa_blobs[sign], r.data(), r.size());
    std::memcpy(&sm2_blobs[sign], s.data(), s.size());
  }
  const ossl::Pkey rsa_sign = ossl::RsaFromPublicBlob(rsa_blobs[TRUE]);
  const ossl::Pkey rsa_exchange = ossl::RsaFromPublicBlob(rsa_blobs[FALSE]);
  const Bytes sm2_sign_xy = ossl::EccPoint(sm2_blobs[TRUE]);
  const ossl::Pkey sm2_sign = ossl::Sm2FromPublic(sm2_sign_xy);
  const ossl::Pkey sm2_exchange = ossl::Sm2FromPublic(ossl::EccPoint(sm2_blobs[FALSE]));

  // Each worker on its own records, the two connections taken in turn.
  auto app_on = [&](int n) { return OpenApp(lib, devices[n % 2]); };
  HAPPLICATION apps[6];
  for (int n = 0; n < 6; ++n) apps[n] = app_on(n);
  HCONTAINER rsa_of[6], sm2_of[6];
  for (int n = 0; n < 6; ++n) {
    rsa_of[n] = Container(apps[n], kRsaContainer);
    sm2_of[n] = Container(apps[n], kSm2Container);
  }

  std::vector<Worker> workers = {
      {"PINs",
       [&](Worker &w) {
         const ULONG refused = VerifyPin(apps[0], kWrongPin);
         if (refused != SAR_PIN_INCORRECT) w.Fail("wrong PIN", refused);
         const ULONG right = VerifyPin(apps[0], kPin);
         if (right != SAR_OK) w.Fail("right PIN", right);
         ++w.checked;
       }},
      {"RSA signing",
       [&](Worker &w) {
         const Bytes data = ossl::Random(117);
         BYTE signature[256] = {};
         ULONG length = sizeof signature;
         const ULONG code = SKF_OF(lib, SKF_RSASignData)(rsa_of[1], const_cast<BYTE *>(data.data()),
                                                         117, signature, &length);
         PrivateResult(
             w, apps[1], "RSA signature", code,
             code == SAR_OK && length == 128 &&
                 ossl::RsaVerifyRaw(rsa_sign.get(), data, Bytes(signature, signature + 128)));
       }},
      {"SM2 signing",
       [&](Worker &w) {
         const Bytes message = ossl::Random(64);
         Bytes e = ossl::Sm2Digest(sm2_sign_xy, kId, message);
         ECCSIGNATUREBLOB signature{};
         const ULONG code = SKF_OF(lib, SKF_ECCSignData)(sm2_of[2], e.data(), 32, &signature);
         PrivateResult(w, apps[2], "SM2 signature", code,
                       code == SAR_OK && ossl::Sm2Verify(sm2_sign.get(), kId, message,
                                                         ossl::EccSignature(signature)));
       }},
      {"decryption",
       [&](Worker &w) {
         const Bytes payload = ossl::Random(40);
         Bytes rsa_cipher = ossl::RsaEncrypt(rsa_exchange.get(), payload);
         BYTE out[256] = {};
         ULONG length = sizeof out;
         ULONG code =
             SKF_OF(lib, SKF_PriRsaDecrypt)(rsa_of[3], 0, rsa_cipher.data(), 128, out, &length);
         PrivateResult(w, apps[3], "RSA decryption", code,
                       code == SAR_OK && length == 128 && out[1] == 2 &&
                           Bytes(out + 88, out + 128) == payload);
         Bytes blob = ossl::EccCipherBlob(ossl::Sm2Encrypt(sm2_exchange.get(), payload));
         length = sizeof out;
         code = SKF_OF(lib, SKF_PrvKeyDecrypt)(
             sm2_of[3], kExchangeKey, reinterpret_cast<PECCCIPHERBLOB>(blob.data()), out, &length);
         PrivateResult(w, apps[3], "SM2 decryption", code,
                       code == SAR_OK && Bytes(out, out + length) == payload);
       }},
      {"file data",
       [&](Worker &w) {
         Bytes data = ossl::Random(kFileData);
         char *name = const_cast<char *>(kFileName);
         const ULONG wrote = SKF_OF(lib, SKF_WriteFile)(apps[4], name, 0, data.data(), kFileData);
         if (wrote != SAR_OK) return w.Fail("file write", wrote);
         BYTE back[kFileData] = {};
         ULONG length = sizeof back;
         const ULONG read = SKF_OF(lib, SKF_ReadFile)(apps[4], name, 0, kFileData, back, &length);
         if (read != SAR_OK) return w.Fail("file read", read);
         if (Bytes(back, back + length) != data) w.Fail("file data came back wrong", read);
         ++w.checked;
       }},
      {"directories",
       [&](Worker &w) {
         HAPPLICATION app = nullptr;
         char app_name[] = "KEYSIM-APP";
         const ULONG opened = SKF_OF(lib, SKF_OpenApplication)(devices[1], app_name, &app);
         if (opened != SAR_OK) return w.Fail("application", opened);
         char temp[] = "THREADS-TEMP";
         HCONTAINER container = nullptr;
         const ULONG created = SKF_OF(lib, SKF_CreateContainer)(app, temp, &container);
         if (created != SAR_OK) return w.Fail("container created", created);
         SKF_OF(lib, SKF_CloseContainer)(container);
         const std::string listed = Names(SKF_OF(lib, SKF_EnumContainer), app);
         if (listed.find(kTempContainer) == std::string::npos) w.Fail("listed " + listed, SAR_OK);
         const ULONG deleted = SKF_OF(lib, SKF_DeleteContainer)(app, temp);
         if (deleted != SAR_OK) w.Fail("container deleted", deleted);
         SKF_OF(lib, SKF_CloseApplication)(app);
         // Only the other key is ever authenticated.
         const BYTE device_key[16] = {};
         const ULONG changed = SKF_OF(lib, SKF_ChangeDevAuthKey)(devices[1], device_key, 16);
         if (changed != SAR_FAIL) w.Fail("device key of the key not authenticated", changed);
         ++w.checked;
       }},
      {"the other key",
       [&](Worker &w) {
         const ULONG refused = VerifyPin(other_app, kWrongPin);
         if (refused != SAR_PIN_INCORRECT) w.Fail("wrong PIN", refused);
         const ULONG right = VerifyPin(other_app, kPin);
         if (right != SAR_OK) w.Fail("right PIN", right);
         const Bytes data = ossl::Random(117);
         BYTE signature[128] = {};
         ULONG length = sizeof signature;
         const ULONG code = SKF_OF(lib, SKF_RSASignData)(other_rsa, const_cast<BYTE *>(data.data()),
                                                         117, signature, &length);
         PrivateResult(w, other_app, "RSA signature", code,
                       code == SAR_OK && ossl::RsaVerifyRaw(rsa_sign.get(), data,
                                                            Bytes(signature, signature + 128)));
         const BYTE any[16] = {};
         const ULONG authenticated = SKF_OF(lib, SKF_DevAuth)(other_device, any, 16);
         if (authenticated != SAR_OK) w.Fail("device authentication", authenticated);
         // The built-in device key stays: nothing is written.
         const ULONG changed = SKF_OF(lib, SKF_ChangeDevAuthKey)(other_device, any, 16);
         if (changed != SAR_OK) w.Fail("device key", changed);
         // Every PIN slot emptied (tokencore), with no card command.
         const ULONG cleared = SKF_OF(lib, SKF_ClearSecureState)(other_app);
         if (cleared != SAR_OK) w.Fail("secure state cleared", cleared);
       }},
  };

  // An event wait runs alongside and holds up nobody; the cancel ends it.
  std::atomic<ULONG> waited{SAR_OK};
  std::thread waiter([&] {
    char name[256] = {};
    ULONG length = sizeof name, event = 0;
    waited = SKF_OF(lib, SKF_WaitForDevEvent)(name, &length, &event);
  });
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (Worker &w : workers) {
    threads.emplace_back([&w] {
      for (int round = 0; round < kRounds; ++round) w.round(w);
    });
  }
  for (std::thread &t : threads) t.join();
  const long long worked_ms = MsSince(start);
  const Clock::time_point cancelled = Clock::now();
  // A cancel before the wait has begun does not end it: cancelled until it returns.
  std::atomic<bool> ended{false};
  std::thread canceller([&] {
    while (!ended) {
      SKF_OF(lib, SKF_CancelWaitForDevEvent)();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  waiter.join();
  ended = true;
  canceller.join();
  EXPECT_EQ(waited, SAR_NOT_EVENTERR);
  EXPECT_LT(MsSince(cancelled), 2000) << "the cancel ends the wait within a poll";

  for (const Worker &w : workers) {
    for (const std::string &f : w.failures) ADD_FAILURE() << w.name << ": " << f;
    EXPECT_GT(w.checked, 0) << w.name << " never succeeded";
  }
  RecordProperty("worked_ms", static_cast<int>(worked_ms));

  // The directories as they were: the device directories byte for byte, the containers and
  // files listed, the PIN record full; the keys still sign.
  EXPECT_EQ(Raw(key, {kDirectoryEf}), device_directory);
  EXPECT_EQ(Raw(other, {kDirectoryEf}), device_directory);
  DEVHANDLE fresh = Connect(lib, key);
  HAPPLICATION app = OpenApp(lib, fresh);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(Names(SKF_OF(lib, SKF_EnumContainer), app), "SM2-CONTAINER|RSA-CONTAINER||");
  EXPECT_EQ(Names(SKF_OF(lib, SKF_EnumFiles), app), std::string(kFileName) + "||");
  ASSERT_EQ(VerifyPin(app, kPin), SAR_OK);
  ULONG max = 0, left = 0;
  BOOL default_pin = FALSE;
  ASSERT_EQ(SKF_OF(lib, SKF_GetPINInfo)(app, USER_TYPE, &max, &left, &default_pin), SAR_OK);
  EXPECT_EQ(left, max);
  const Bytes data = ossl::Random(117);
  BYTE signature[128] = {};
  ULONG length = sizeof signature;
  ASSERT_EQ(SKF_OF(lib, SKF_RSASignData)(Container(app, kRsaContainer),
                                         const_cast<BYTE *>(data.data()), 117, signature, &length),
            SAR_OK);
  EXPECT_TRUE(ossl::RsaVerifyRaw(rsa_sign.get(), data, Bytes(signature, signature + length)));
}

TEST_P(ThreadsTest, SlowKeyHoldsUpOnlyTheExportsOnIt) {
  const Library &lib = Lib();
  const std::string slow = ProvisionedKey();
  const std::string fast = vkey::CloneKey(slow);
  ASSERT_FALSE(fast.empty());
  keys_.push_back(fast);
  DEVHANDLE slow_device = Connect(lib, slow), fast_device = Connect(lib, fast);
  ASSERT_TRUE(slow_device && fast_device);
  constexpr int kDelayMs = 150;
  ASSERT_TRUE(vkey::Knob(slow, "answer_delay", std::to_string(kDelayMs).c_str()));

  std::atomic<bool> slow_done{false};
  ULONG slow_result = SAR_FAIL;
  long long slow_ms = 0;
  std::thread slow_thread([&] {
    const Clock::time_point start = Clock::now();
    DEVINFO info{};
    slow_result = SKF_OF(lib, SKF_GetDevInfo)(slow_device, &info);
    slow_ms = MsSince(start);
    slow_done = true;
  });
  // The slow export is at its second command or later by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(kDelayMs + 50));
  DEVINFO info{};
  EXPECT_EQ(SKF_OF(lib, SKF_GetDevInfo)(fast_device, &info), SAR_OK);
  EXPECT_FALSE(slow_done) << "the export on the other key waited for the slow one";
  slow_thread.join();
  EXPECT_EQ(slow_result, SAR_OK);
  EXPECT_GE(slow_ms, 4 * kDelayMs) << "the key answered no slower";
  EXPECT_TRUE(vkey::Knob(slow, "answer_delay", "off"));
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, ThreadsTest, ::testing::Values(Build::kCore, Build::kBase),
                         [](const auto &info) { return std::string(host::NameOf(info.param)); });

}  // namespace

}  // namespace legacytest
