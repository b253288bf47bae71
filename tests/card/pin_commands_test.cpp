// The PIN, administrator-key, format and application commands byte for byte, through the test
// readerio; DES and MD5 reference values come from OpenSSL.
#include <openssl/des.h>
#include <openssl/md5.h>

#include <cstring>
#include <string>

#include "card_fixture.h"
#include "skf/card/admin_pin.h"
#include "skf/card/auth.h"
#include "skf/card/format.h"
#include "skf/card/pin_result.h"
#include "skf/card/user_pin.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Des(const Bytes &block, const Bytes &key) {
  DES_cblock k, in, out;
  std::memcpy(k, key.data(), 8);
  std::memcpy(in, block.data(), 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&k, &schedule);
  DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
  return {out, out + 8};
}

Bytes Derived(const char *pin) {
  std::uint8_t d[kDerivedPinSize + 1];
  QX_DerivePin(pin, d);
  return {d, d + kDerivedPinSize};
}

Bytes AdminKey(const std::string &pin) {
  std::uint8_t padded[16];
  std::memset(padded, 0x1E, sizeof padded);
  std::memcpy(padded, pin.data(), std::min<std::size_t>(pin.size(), 16));
  std::uint8_t digest[MD5_DIGEST_LENGTH];
  MD5(padded, sizeof padded, digest);
  return {digest, digest + 16};
}

// ISO/IEC 9797-1 algorithm 3 by OpenSSL's DES: the first block is the initial value, the rest
// chained under K1, then decrypted under K2 and encrypted under K1; the first 4 bytes.
Bytes RetailMac(const Bytes &message, const Bytes &key) {
  DES_cblock k1, k2;
  std::memcpy(k1, key.data(), 8);
  std::memcpy(k2, key.data() + 8, 8);
  DES_key_schedule s1, s2;
  DES_set_key_unchecked(&k1, &s1);
  DES_set_key_unchecked(&k2, &s2);
  DES_cblock v;
  std::memcpy(v, message.data(), 8);
  for (std::size_t at = 8; at + 8 <= message.size(); at += 8) {
    for (int i = 0; i < 8; ++i) v[i] ^= message[at + i];
    DES_ecb_encrypt(&v, &v, &s1, DES_ENCRYPT);
  }
  DES_ecb_encrypt(&v, &v, &s2, DES_DECRYPT);
  DES_ecb_encrypt(&v, &v, &s1, DES_ENCRYPT);
  return {v, v + 4};
}

// The MAC message of the administrator key update: challenge and four zeros, the header, the
// key reference, the new key, 80 and zeros to a whole block.
Bytes KeyUpdateMessage(const Bytes &challenge, const Bytes &new_key) {
  Bytes m = challenge;
  m.resize(8, 0x00);
  m.insert(m.end(), {0x84, 0xD4, 0x01, 0x14, 0x17, 0x01, 0x01, 0x00});
  m.insert(m.end(), new_key.begin(), new_key.end());
  m.push_back(0x80);
  m.resize(40, 0x00);
  return m;
}

std::string Zeros(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += " 00";
  return s;
}

// The descriptor "KEY", NUL, then D = 01 02 03 04 AA BB.
constexpr char kDescriptorText[] = "4B45590001020304AABB";
const Bytes kDescriptorD = {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB};

using PinCommandTest = CardTest;

TEST_F(PinCommandTest, PresentationFollowsThePinModeAnswer) {
  const struct {
    const char *mode;
    std::uint32_t sw;
    bool protect;
  } cases[] = {
      {"00 08", 0x9000, true},  {"00 00", 0x9000, true}, {"00 01", 0x9000, false},
      {"00 08", 0x6A81, false}, {"01 08", 0x9000, true}, {"08 01", 0x9000, false},
  };
  for (const auto &c : cases) {
    Fake().Reset();
    Fake().SetDescriptor(kDescriptorText, 0x9000);
    Answer(c.mode, c.sw);
    if (c.protect) Answer("10 11 12 13 14 15 16 17");
    EXPECT_EQ(QX_VerifyUserPin(device_, "1234", 4), 0) << c.mode;
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), c.protect ? 3u : 2u) << c.mode;
    EXPECT_EQ(sent[0], "80 22 01 00 02");
    if (!c.protect) {
      EXPECT_EQ(sent[1], "00 20 00 00 06 " + ToHex(Derived("1234")));
    }
  }
}

TEST_F(PinCommandTest, ProtectedVerifyAndChangeEncryptUnderTheSessionKey) {
  const Bytes c = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
  Fake().SetDescriptor(kDescriptorText, 0x9000);
  Answer("00 08");
  AnswerBytes(c);
  EXPECT_EQ(QX_VerifyUserPin(device_, "abc123", 6), 0);
  Bytes s(8), b = Derived("abc123");
  for (int i = 0; i < 6; ++i) s[i] = kDescriptorD[i] ^ c[2];
  s[6] = c[0] ^ c[2];
  s[7] = c[1] ^ c[2];
  b.push_back(c[3]);
  b.push_back(c[4]);
  const Bytes t = Des(s, b);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1], "00 84 00 00 08");
  EXPECT_EQ(sent[2], "00 20 01 00 08 " + ToHex(Des(c, t)));

  Fake().Reset();
  Fake().SetDescriptor(kDescriptorText, 0x9000);
  Answer("00 08");
  AnswerBytes(c);
  std::uint32_t retries = 99;
  EXPECT_EQ(QX_ChangeUserPin(device_, "abc123", "9876543210abcdef", &retries), 0);
  EXPECT_EQ(retries, 99u);
  for (int i = 0; i < 6; ++i) s[i] = kDescriptorD[i] ^ c[5];
  s[6] = c[6] ^ c[5];
  s[7] = c[7] ^ c[5];
  const Bytes t2 = Des(s, b);
  Bytes m = Derived("abc123");
  m.push_back(0xFF);
  const Bytes n = Derived("9876543210abcdef");
  m.insert(m.end(), n.begin(), n.end());
  m.insert(m.end(), {0xFF, 0xFF, 0xFF});
  Bytes e = Des({m.begin(), m.begin() + 8}, t2);
  const Bytes e2 = Des({m.begin() + 8, m.end()}, t2);
  e.insert(e.end(), e2.begin(), e2.end());
  sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2], "80 5E 81 00 10 " + ToHex(e));
}

TEST_F(PinCommandTest, PlainChangeSendsBothDerivedPins) {
  Answer("00 01");
  std::uint32_t retries = 0;
  // Both PINs at the 16-character limit: the block holds them whole; more characters do not
  // take part.
  EXPECT_EQ(QX_ChangeUserPin(device_, "0123456789abcdefXYZ", "fedcba9876543210", &retries), 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], "80 5E 01 00 0D " + ToHex(Derived("0123456789abcdef")) + " FF " +
                         ToHex(Derived("fedcba9876543210")));
}

TEST_F(PinCommandTest, ProtectedCommandsFailWithoutChallengeOrDescriptor) {
  Answer("00 08");
  Answer("", 0x6A86);
  EXPECT_EQ(QX_VerifyUserPin(device_, "1234", 4), kPinFailed);
  EXPECT_EQ(Sent().size(), 2u);

  Fake().Reset();
  Fake().SetDescriptor("4B4559", 0x6F00);
  Answer("00 08");
  Answer("10 11 12 13 14 15 16 17");
  EXPECT_EQ(QX_VerifyUserPin(device_, "1234", 4), kPinFailed);
  EXPECT_EQ(Sent().size(), 2u);

  Fake().Reset();
  // A descriptor whose name has no end: no six bytes after it.
  Fake().SetDescriptor(std::string(64, '4').c_str(), 0x9000);
  Answer("00 08");
  Answer("10 11 12 13 14 15 16 17");
  std::uint32_t retries = 7;
  EXPECT_EQ(QX_ChangeUserPin(device_, "1234", "5678", &retries), -1);
  EXPECT_EQ(retries, 7u);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(PinCommandTest, AdministratorKeyUpdate) {
  const Bytes key = AdminKey("admin");
  Answer("11 22 33 44");
  std::uint32_t retries = 9;
  EXPECT_EQ(QX_VerifyAdminPin(device_, "admin", &retries), 0);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "00 84 00 00 04");
  const std::string verify = sent[1];
  ASSERT_EQ(verify.size(), 28u * 3 - 1);
  EXPECT_EQ(verify.substr(0, 24), "84 D4 01 14 17 01 01 00 ");
  EXPECT_EQ(verify.substr(24, 16 * 3 - 1), ToHex(key)) << "verification sends the MAC key";
  EXPECT_EQ(verify.substr(24 + 16 * 3),
            ToHex(RetailMac(KeyUpdateMessage({0x11, 0x22, 0x33, 0x44}, key), key)));

  Fake().Reset();
  Answer("11 22 33 44");
  Answer("", 0x63C2);
  EXPECT_EQ(QX_ChangeAdminPin(device_, "admin", "0123456789abcdefgh", &retries), 2);
  EXPECT_EQ(retries, 2u);
  sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].substr(0, 24), "84 D4 01 14 17 01 01 00 ");
  EXPECT_EQ(sent[1].substr(24, 16 * 3 - 1), ToHex(AdminKey("0123456789abcdef")));
  EXPECT_EQ(sent[1].substr(24 + 16 * 3),
            ToHex(RetailMac(
                KeyUpdateMessage({0x11, 0x22, 0x33, 0x44}, AdminKey("0123456789abcdef")), key)))
      << "the new key under a MAC of the old one";

  Fake().Reset();
  Answer("", 0x6A86);  // no challenge: no key command, retries untouched
  EXPECT_EQ(QX_VerifyAdminPin(device_, "admin", &retries), -1);
  EXPECT_EQ(retries, 2u);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(PinCommandTest, UnblockSendsTheNewPinUnderAMacOfTheAdministratorKey) {
  const Bytes key = AdminKey("admin");
  Bytes mac_key(8);
  for (int i = 0; i < 8; ++i) mac_key[i] = key[i] ^ key[i + 8];
  Bytes block = Derived("654321");
  block.insert(block.end(), {0x80, 0x00});
  const Bytes mac = Des(block, mac_key);
  std::uint32_t retries = 9;
  EXPECT_EQ(QX_UnblockUserPin(device_, "admin", "654321", &retries), 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], "80 5E 00 00 0A " + ToHex(Derived("654321")) + " " +
                         ToHex({mac.begin(), mac.begin() + 4}));
  EXPECT_EQ(retries, 9u);
}

TEST_F(PinCommandTest, RetriesOutOfTheChangeAndUnblockResults) {
  const struct {
    std::uint32_t sw;
    int result;
    std::uint32_t retries;
  } cases[] = {{0x63C4, -1, 4}, {0x6983, -1, 0}, {0x63C0, -1, 0}, {0x6A82, -1, 77}};
  for (const auto &c : cases) {
    Fake().Reset();
    Answer("00 01");
    Answer("", c.sw);
    std::uint32_t retries = 77;
    EXPECT_EQ(QX_ChangeUserPin(device_, "1234", "5678", &retries), c.result) << std::hex << c.sw;
    EXPECT_EQ(retries, c.retries) << std::hex << c.sw;
    Fake().Reset();
    Answer("", c.sw);
    retries = 77;
    EXPECT_EQ(QX_UnblockUserPin(device_, "admin", "5678", &retries), c.result);
    EXPECT_EQ(retries, c.retries) << std::hex << c.sw;
  }
}

TEST_F(PinCommandTest, FormatSequence) {
  Answer(Zeros(15).substr(1));        // card information
  Answer("01 02 03 04 05 06 07 08");  // challenge: the built-in key is accepted
  ASSERT_EQ(QX_FormatCard(device_, "0123456789abcdefXYZ"), 0);
  const auto sent = Sent();
  ASSERT_GE(sent.size(), 13u);
  const std::vector<std::string> expected = {
      "BF C8 00 00 0F",
      "00 84 00 00 08",
      sent[2],  // external authentication, checked by the authentication tests
      "80 E0 00 00 0B 3F 00 10 00 00 00 00 08 00 00 00",
      "80 D4 01 00 13 00 00 00 " + ToHex(Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
                                               'a', 'b', 'c', 'd', 'e', 'f'}),
      "80 E0 00 10 0E 00 01" + Zeros(12),
      "80 E0 00 11 0A 00 02" + Zeros(8),
      "80 E0 00 10 0E 00 03 01" + Zeros(11),
      "80 E0 00 11 0A 00 04 01" + Zeros(7),
      "80 E0 00 18 0E 00 05 01" + Zeros(11),
      "80 E0 00 19 0A 00 06 01" + Zeros(7),
      "80 E0 00 03 0D EF 01 02 00" + Zeros(9),
      "00 D6 00 00 02 04 84",
  };
  EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 13), expected);
  EXPECT_EQ(sent[13].substr(0, 29), "00 D6 00 02 80 56 41 52 4E 00");  // "VARN"
  EXPECT_EQ(sent.size(), 13u + (1156 + 127) / 128);
  for (const auto &s : sent) EXPECT_NE(s.substr(0, 5), "80 F3") << "no format authentication";
}

TEST_F(PinCommandTest, FormatFallsBackToTheFormatKeyAndStopsAtTheFirstFailure) {
  Answer(Zeros(15).substr(1));
  Answer("01 02 03 04 05 06 07 08");
  Answer("", 0x6300);  // built-in key refused
  Answer("01 02 03 04 05 06 07 08");
  Answer(Zeros(16).substr(1));  // the card's encryption
  Answer("");                   // format key accepted
  Answer("");                   // MF
  Answer("", 0x6A84);           // device key refused
  EXPECT_EQ(QX_FormatCard(device_, "abcdefgh"), -1);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[4], "80 F3 00 00 20 61 62 63 64 65 66 67 68" + Zeros(8) +
                         " 01 02 03 04 05 06 07 08" + Zeros(8) + " 10");
  EXPECT_EQ(sent[7], "80 D4 01 00 13 00 00 00 61 62 63 64 65 66 67 68" + Zeros(8));

  Fake().Reset();
  Answer(Zeros(15).substr(1));
  Answer("", 0x6A86);
  Answer("", 0x6A86);
  EXPECT_EQ(QX_FormatCard(device_, "abcdefgh"), -1);
  EXPECT_EQ(Sent().size(), 3u) << "nothing created when both authentications fail";
}

// Every step after the authentication must succeed: the first one refused ends the format.
TEST_F(PinCommandTest, FormatStopsAtEachFailingStep) {
  // Card information, challenge and authentication, then the MF, its key, six key files,
  // EF01, the directory's length and its ten pieces.
  constexpr std::size_t kFirstStep = 3, kCommands = 3 + 2 + 6 + 1 + 1 + 10;
  for (std::size_t failing = kFirstStep; failing < kCommands; ++failing) {
    Fake().Reset();
    Answer(Zeros(15).substr(1));
    Answer("01 02 03 04 05 06 07 08");
    for (std::size_t i = 2; i < failing; ++i) Answer("");
    Answer("", 0x6A84);
    EXPECT_EQ(QX_FormatCard(device_, "0123456789abcdef"), -1) << failing;
    EXPECT_EQ(Sent().size(), failing + 1) << failing;
  }
}

TEST_F(PinCommandTest, ApplicationOnANewDf) {
  Answer("", 0x6A82);  // DF AD03 not there
  ASSERT_EQ(QX_CreateApplicationDf(device_, 0xAD03, "admin", 300, "123456", 6), 0);
  const auto sent = Sent();
  // SELECT, CREATE DF, EF01 with 620 bytes (6 writes), EF02 with 1040 (10 writes), key file and
  // three keys.
  ASSERT_EQ(sent.size(), 2u + 7 + 11 + 4);
  EXPECT_EQ(sent[0], "00 A4 01 00 02 AD 03");
  EXPECT_EQ(sent[1], "80 E0 00 01 0D AD 03 E8 00 00 00 00 00 00 01 00 00 0F");
  EXPECT_EQ(sent[2], "80 E0 00 03 0D EF 01 04 00" + Zeros(9));
  EXPECT_EQ(sent[3], "00 D6 00 00 02 02 6C");
  // PIN header: reserved, admin 300 / 300, user 6 / 6, flags 0.
  EXPECT_EQ(sent[4].substr(0, 15 + 28 * 3),
            "00 D6 00 02 80 00 00 00 00 2C 01 00 00 2C 01 00 00 06 00 00 00 06 00 00 00" +
                Zeros(8) + " ");
  EXPECT_EQ(sent[8].substr(0, 14), "00 D6 02 02 6C");  // last piece: 108 bytes
  EXPECT_EQ(sent[9], "80 E0 00 03 0D EF 02 06 00" + Zeros(9));
  EXPECT_EQ(sent[10], "00 D6 00 00 02 04 10");
  EXPECT_EQ(sent[20], "80 E0 00 0B 08 00 14 01 00 01 20 00 0F");
  EXPECT_EQ(sent[21],
            "80 D4 00 14 10 1F 00 1A 01 0F 0F 06 00 " + ToHex(Derived("123456")) + " FF FF");
  const std::string key = ToHex(AdminKey("admin"));
  EXPECT_EQ(sent[22], "80 D4 00 14 18 01 1A 00 00 00 00 2C 00 " + key);
  EXPECT_EQ(sent[23], "80 D4 00 14 18 01 01 00 00 00 00 2C 00 " + key);
}

TEST_F(PinCommandTest, ApplicationOnAnExistingDfIsPreparedAgain) {
  Answer("");                         // SELECT AD01
  Answer("01 02 03 04 05 06 07 08");  // challenge
  ASSERT_EQ(QX_CreateApplicationDf(device_, 0xAD01, "admin", 5, "123456", 3), 0);
  const auto sent = Sent();
  ASSERT_GE(sent.size(), 5u);
  EXPECT_EQ(sent[0], "00 A4 01 00 02 AD 01");
  EXPECT_EQ(sent[1], "00 84 00 00 08");
  EXPECT_EQ(sent[2].substr(0, 14), "00 82 00 00 08");
  EXPECT_EQ(sent[3], "BF CE 00 00 00");
  EXPECT_EQ(sent[4], "80 E0 00 03 0D EF 01 04 00" + Zeros(9));
}

TEST_F(PinCommandTest, ApplicationFailures) {
  EXPECT_EQ(QX_CreateApplicationDf(device_, 0xAD09, "admin", 5, "123456", 3), -1);
  EXPECT_EQ(QX_CreateApplicationDf(device_, 0xAD00, "admin", 5, "123456", 3), -1);
  EXPECT_TRUE(Sent().empty());

  // The user PIN key refused: -1000; any other step: -1 at once.
  const struct {
    std::size_t failing;  // index of the command answered with an error
    int result;
  } cases[] = {{1, -1}, {2, -1}, {3, -1}, {9, -1}, {20, -1}, {21, -1000}, {22, -1}, {23, -1}};
  for (const auto &c : cases) {
    Fake().Reset();
    Answer("", 0x6A82);
    for (std::size_t i = 1; i < c.failing; ++i) Answer("");
    Answer("", 0x6A84);
    EXPECT_EQ(QX_CreateApplicationDf(device_, 0xAD02, "admin", 5, "123456", 3), c.result)
        << c.failing;
    EXPECT_EQ(Sent().size(), c.failing + 1) << c.failing;
  }
}

}  // namespace
