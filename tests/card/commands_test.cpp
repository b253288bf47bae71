#include <algorithm>
#include <functional>

#include "card_fixture.h"
#include "skf/card/apdu.h"
#include "skf/card/commands.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Seq(std::size_t n, std::uint8_t first = 0) {
  Bytes v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
  return v;
}
Bytes Rev(Bytes v) {
  std::reverse(v.begin(), v.end());
  return v;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
Bytes H(const char *hex) { return FromHex(hex); }

const Bytes k3 = H("01 02 03");
const Bytes k8 = Seq(8, 0xA0);
const Bytes k32 = Seq(32, 0x10);
const Bytes k128 = Seq(128, 0x01);
const Bytes k256 = Seq(256);
const std::uint8_t kFour[4] = {0xA1, 0xA2, 0xA3, 0xA4};
std::uint8_t response[4096];

struct BuilderCase {
  const char *name;
  std::function<int(DEVHANDLE, std::uint16_t *)> send;
  Bytes expected;
};

const BuilderCase kBuilders[] = {
    {"Verify", [](auto d, auto sw) { return QX_Verify(d, 0x01, k3, sw); },
     H("00 20 00 01 03 01 02 03")},
    {"VerifyProtected", [](auto d, auto sw) { return QX_VerifyProtected(d, 0x01, k8, sw); },
     Cat({H("00 20 01 00 08"), k8})},
    {"ChangePinCmd", [](auto d, auto sw) { return QX_ChangePinCmd(d, 0x02, k3, sw); },
     H("80 5E 01 02 03 01 02 03")},
    {"ChangePinCmdProtected",
     [](auto d, auto sw) { return QX_ChangePinCmdProtected(d, 0x02, 0x03, k3, sw); },
     H("80 5E 02 03 03 01 02 03")},
    {"GetPinMode", [](auto d, auto sw) { return QX_GetPinMode(d, response, sw); },
     H("80 22 01 00 02")},
    {"PrepareCreate", [](auto d, auto sw) { return QX_PrepareCreate(d, sw); }, H("BF CE 00 00 00")},
    {"CreateFile", [](auto d, auto sw) { return QX_CreateFile(d, 0x03, k3, sw); },
     H("80 E0 00 03 03 01 02 03")},
    {"DeleteFile", [](auto d, auto sw) { return QX_DeleteFile(d, H("00 21"), sw); },
     H("80 E4 00 00 02 00 21")},
    {"Select MF", [](auto d, auto sw) { return QX_Select(d, 0x00, 0x00, {}, sw); },
     H("00 A4 00 00 00")},
    {"Select DF", [](auto d, auto sw) { return QX_Select(d, 0x01, 0x00, H("DF EA"), sw); },
     H("00 A4 01 00 02 DF EA")},
    {"ReadBinary",
     [](auto d, auto sw) {
       return QX_ReadBinary(d, 0x00, 0x01, 0x02, nullptr, 0x80, response, sw);
     },
     H("00 B0 01 02 80")},
    {"ReadBinary CLA 04",
     [](auto d, auto sw) { return QX_ReadBinary(d, 0x04, 0x00, 0x10, kFour, 0x20, response, sw); },
     H("04 B0 00 10 04 A1 A2 A3 A4 20")},
    {"UpdateBinary", [](auto d, auto sw) { return QX_UpdateBinary(d, 0x00, 0x01, 0x02, k3, sw); },
     H("00 D6 01 02 03 01 02 03")},
    {"GetChallenge", [](auto d, auto sw) { return QX_GetChallenge(d, 8, response, sw); },
     H("00 84 00 00 08")},
    {"ExternalAuth",
     [](auto d, auto sw) {
       return QX_ExternalAuth(d, 0x00, std::span<const std::uint8_t, 8>(k8.data(), 8), sw);
     },
     Cat({H("00 82 00 00 08"), k8})},
    {"GetCardInfo", [](auto d, auto sw) { return QX_GetCardInfo(d, response, sw); },
     H("BF C8 00 00 0F")},
    {"WriteKey", [](auto d, auto sw) { return QX_WriteKey(d, 0x80, 0x01, 0x00, k3, sw); },
     H("80 D4 01 00 03 01 02 03")},
    {"WriteKeyPart", [](auto d, auto sw) { return QX_WriteKeyPart(d, 0x80, 0x01, 0x02, k3, sw); },
     H("80 D2 01 02 03 03 02 01")},
    {"WriteKeyPart2048",
     [](auto d, auto sw) {
       return QX_WriteKeyPart2048(d, std::span<const std::uint8_t, 256>(k256.data(), 256), sw);
     },
     Cat({H("80 D2 20 02 00 01 00"), Rev(k256)})},
    {"GenerateRsaKey", [](auto d, auto sw) { return QX_GenerateRsaKey(d, 0x01, 0x02, sw); },
     H("80 D0 01 02 00")},
    {"ReadRsaPublicKey",
     [](auto d, auto sw) {
       return QX_ReadRsaPublicKey(d, 0x80, 0x01, 0x02, nullptr, 0x80, response, sw);
     },
     H("80 D8 01 02 80")},
    {"ReadRsaPublicKey CLA 84",
     [](auto d, auto sw) {
       return QX_ReadRsaPublicKey(d, 0x84, 0x01, 0x02, kFour, 0x10, response, sw);
     },
     H("84 D8 01 02 04 A4 A3 A2 A1 10")},
    {"ReadRsaPublicKeyExt 128",
     [](auto d, auto sw) { return QX_ReadRsaPublicKeyExt(d, 0x01, 0x02, 128, response, sw); },
     H("80 D8 01 02 80")},
    {"ReadRsaPublicKeyExt 256",
     [](auto d, auto sw) { return QX_ReadRsaPublicKeyExt(d, 0x01, 0x02, 256, response, sw); },
     H("80 D8 01 02 00 01 00")},
    {"RsaPrivateCmd", [](auto d, auto sw) { return QX_RsaPrivateCmd(d, 0x01, k128, response, sw); },
     Cat({H("80 F8 01 00 80"), Rev(k128), H("80")})},
    {"RsaPrivateCmd2048",
     [](auto d, auto sw) {
       return QX_RsaPrivateCmd2048(d, std::span<const std::uint8_t, 256>(k256.data(), 256),
                                   response, sw);
     },
     Cat({H("80 F8 40 00 00 01 00"), Rev(k256), H("01 00")})},
    {"RsaPublicCmd", [](auto d, auto sw) { return QX_RsaPublicCmd(d, 0x02, k3, response, sw); },
     H("80 F6 02 00 03 03 02 01 03")},
    {"RsaPublicCmd2048",
     [](auto d, auto sw) {
       return QX_RsaPublicCmd2048(d, std::span<const std::uint8_t, 256>(k256.data(), 256), response,
                                  sw);
     },
     Cat({H("80 F6 40 00 00 01 00"), Rev(k256), H("01 00")})},
    {"GenerateEccKey", [](auto d, auto sw) { return QX_GenerateEccKey(d, 0x01, 0x02, sw); },
     H("80 32 01 02 00")},
    {"ReadEccPublicKey",
     [](auto d, auto sw) { return QX_ReadEccPublicKey(d, 0x01, 0x02, 0x40, response, sw); },
     H("80 34 01 02 40")},
    {"LoadEccPublicKey", [](auto d, auto sw) { return QX_LoadEccPublicKey(d, 0x01, 0x02, k3, sw); },
     H("80 36 01 02 03 01 02 03")},
    {"EccEncryptCmd", [](auto d, auto sw) { return QX_EccEncryptCmd(d, 0x01, k32, response, sw); },
     Cat({H("80 38 01 00 00 00 20"), k32, H("00 80")})},
    {"EccDecryptCmdAsIs",
     [](auto d, auto sw) { return QX_EccDecryptCmdAsIs(d, 0x01, Seq(100), response, sw); },
     Cat({H("80 3A 01 00 00 00 64"), Seq(100), H("00 04")})},
    {"EccDecryptCmd",  // C1 C2 C3 in, C1 C3 C2 out
     [](auto d, auto sw) {
       return QX_EccDecryptCmd(d, 0x01, Cat({Bytes(64, 0x11), Bytes(300, 0x22), Bytes(32, 0x33)}),
                               response, sw);
     },
     Cat({H("80 3A 01 00 00 01 8C"), Bytes(64, 0x11), Bytes(32, 0x33), Bytes(300, 0x22),
          H("01 2C")})},
    {"EccSignCmd", [](auto d, auto sw) { return QX_EccSignCmd(d, 0x01, k32, response, sw); },
     Cat({H("80 3C 01 00 20"), k32, H("40")})},
    {"EccVerifyCmd",
     [](auto d, auto sw) { return QX_EccVerifyCmd(d, 0x01, H("01 02"), H("03"), sw); },
     H("80 3E 01 00 03 01 02 03")},
};

using BuilderTest = CardTest;

TEST_F(BuilderTest, EachBuilderSendsItsBytes) {
  for (const BuilderCase &c : kBuilders) {
    Fake().Reset();
    Answer("", 0x6A82);
    std::uint16_t sw = 0;
    EXPECT_EQ(c.send(device_, &sw), 0) << c.name;
    EXPECT_EQ(sw, 0x6A82) << c.name;
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u) << c.name;
    EXPECT_EQ(sent[0], ToHex(c.expected)) << c.name;
  }
}

TEST_F(BuilderTest, CommandsThatDoNotFitAreNotSent) {
  const struct {
    const char *name;
    std::function<int(DEVHANDLE, std::uint16_t *)> send;
    int result;
  } cases[] = {
      {"short data of 256 bytes", [](auto d, auto sw) { return QX_Verify(d, 0, k256, sw); },
       kApduFailed},
      {"SM2 plaintext of 256 bytes",
       [](auto d, auto sw) { return QX_EccEncryptCmd(d, 0, k256, response, sw); }, kApduFailed},
      {"SM2 ciphertext below 96 bytes",
       [](auto d, auto sw) { return QX_EccDecryptCmd(d, 0, Seq(95), response, sw); }, kApduFailed},
      {"SM2 ciphertext beyond the 2048-byte command",
       [](auto d, auto sw) { return QX_EccDecryptCmdAsIs(d, 0, Bytes(2040), response, sw); },
       kApduFailed},
      {"verify data of 256 bytes in all",
       [](auto d, auto sw) { return QX_EccVerifyCmd(d, 0, Bytes(200), Bytes(56), sw); },
       kApduFailed},
      {"READ BINARY class 84",
       [](auto d, auto sw) { return QX_ReadBinary(d, 0x84, 0, 0, kFour, 4, response, sw); },
       kApduFailed},
      {"public key read class 00",
       [](auto d, auto sw) { return QX_ReadRsaPublicKey(d, 0x00, 0, 0, kFour, 4, response, sw); },
       kBadClass},
  };
  for (const auto &c : cases) {
    std::uint16_t sw = 0x1234;
    EXPECT_EQ(c.send(device_, &sw), c.result) << c.name;
    EXPECT_EQ(sw, 0x1234) << c.name;
  }
  EXPECT_TRUE(Sent().empty());

  std::uint16_t sw = 0;  // the largest SM2 ciphertext that fits
  EXPECT_EQ(QX_EccDecryptCmdAsIs(device_, 0, Bytes(2039), response, &sw), 0);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(FromHex(Sent()[0]).size(), 2048u);
}

TEST_F(BuilderTest, ReversedAnswersComeBackInOrder) {
  Answer("01 02 03");
  EXPECT_EQ(QX_RsaPrivateCmd(device_, 0x01, k3, response, nullptr), 3);
  EXPECT_EQ(ToHex({response, response + 3}), "03 02 01");

  AnswerBytes(Seq(256));
  EXPECT_EQ(QX_ReadRsaPublicKeyExt(device_, 0x01, 0x02, 256, response, nullptr), 256);
  EXPECT_EQ(ToHex({response, response + 256}), ToHex(Rev(Seq(256))));

  // The rule's edge: two bytes are reversed, one byte stays as it is.
  Answer("01 02");
  EXPECT_EQ(QX_RsaPrivateCmd(device_, 0x01, k3, response, nullptr), 2);
  EXPECT_EQ(ToHex({response, response + 2}), "02 01");
  Answer("07");
  EXPECT_EQ(QX_RsaPrivateCmd(device_, 0x01, k3, response, nullptr), 1);
  EXPECT_EQ(ToHex({response, response + 1}), "07");

  Answer("01 02 03");  // not a reversing command
  EXPECT_EQ(QX_ReadEccPublicKey(device_, 0x01, 0x02, 3, response, nullptr), 3);
  EXPECT_EQ(ToHex({response, response + 3}), "01 02 03");

  Answer("", 0xFF01);  // failure: nothing reversed
  response[0] = 0x5A;
  EXPECT_EQ(QX_RsaPublicCmd(device_, 0x01, k3, response, nullptr), kApduFailed);
  EXPECT_EQ(response[0], 0x5A);
}

}  // namespace
