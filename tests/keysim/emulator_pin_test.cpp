// PIN commands against the host computations, done here with OpenSSL: plain and protected
// VERIFY and change, retry counters, the MAC-checked administrator key update and unblock.
#include "emulator_fixture.h"

namespace keysim::test {
namespace {

// D[0..5]: the six descriptor bytes after the NUL that ends the name, decoded from the text.
Bytes descriptor_tail(const Card &card) {
  const Bytes d = hex(card_descriptor_text(card));
  const auto nul = std::find(d.begin(), d.end(), 0);
  return Bytes(nul + 1, nul + 7);
}

// T = DES of the session key S under the key block (PIN, C[3], C[4]).
Bytes session_key(const Card &card, const Bytes &c, const Bytes &pin, int x, int y0, int y1) {
  const Bytes d = descriptor_tail(card);
  Bytes s(8);
  for (int i = 0; i < 6; ++i) s[i] = d[i] ^ c[x];
  s[6] = c[y0] ^ c[x];
  s[7] = c[y1] ^ c[x];
  return des(true, cat({pin, {c[3], c[4]}}), s);
}

struct Pin : Provisioned {
  uint16_t verify_protected(const Bytes &pin) {
    const Bytes c = key.challenge(8);
    const Bytes u = des(true, session_key(key.card, c, pin, 2, 0, 1), c);
    return key.sw(apdu(0x00, 0x20, 0x01, 0x00, u));
  }
  uint16_t change_protected(const Bytes &old_pin, const Bytes &new_pin) {
    const Bytes c = key.challenge(8);
    const Bytes t = session_key(key.card, c, old_pin, 5, 6, 7);
    const Bytes m = cat({old_pin, {0xFF}, new_pin, {0xFF, 0xFF, 0xFF}});
    const Bytes data = cat({des(true, t, Bytes(m.begin(), m.begin() + 8)),
                            des(true, t, Bytes(m.begin() + 8, m.end()))});
    return key.sw(apdu(0x80, 0x5E, 0x81, 0x00, data));
  }
  // 84 D4 01 14: new administrator key under the MAC of the old one.
  uint16_t admin_update(const std::string &old_pin, const std::string &new_pin) {
    const Bytes c = key.challenge(4);
    const Bytes body = cat({hex("010100"), admin_key(new_pin)});
    const Bytes msg = cat({c, Bytes(4, 0), hex("84D4011417"), body, hex("80 00000000000000")});
    return key.sw(
        apdu(0x84, 0xD4, 0x01, 0x14, cat({body, host_mac(admin_key(old_pin), msg, true)})));
  }
  uint16_t unblock(const std::string &admin_pin, const Bytes &new_pin) {
    const Bytes k = admin_key(admin_pin);
    const Bytes mk = xor_bytes(Bytes(k.begin(), k.begin() + 8), Bytes(k.begin() + 8, k.end()));
    const Bytes mac = des(true, mk, cat({new_pin, {0x80, 0x00}}));
    return key.sw(
        apdu(0x80, 0x5E, 0x00, 0x00, cat({new_pin, Bytes(mac.begin(), mac.begin() + 4)})));
  }
};

const Bytes kWrongPin = hex("999999999999");
const Bytes kNewPin = hex("654321000000");

TEST_F(Pin, ModeAnswerFollowsKnob) {
  EXPECT_EQ(key.ok(hex("80 22 01 00 02")), hex("0008"));
  std::string err;
  ASSERT_TRUE(card_set_knob(key.card, "pin_mode", "plain", &err)) << err;
  EXPECT_EQ(key.ok(hex("80 22 01 00 02")), hex("0001"));
}

TEST_F(Pin, PlainAndProtectedVerifyFromContainerDf) {
  // The fixture leaves container DF11 selected: VERIFY uses its application's key file.
  EXPECT_EQ(verify_plain(kUserPin), 0x9000);
  EXPECT_EQ(verify_protected(kUserPin), 0x9000);
  EXPECT_EQ(verify_protected(kWrongPin), 0x63C4);
}

TEST_F(Pin, ProtectedVerifyNeedsFreshChallenge) {
  const Bytes c = key.challenge(8);
  const Bytes u = des(true, session_key(key.card, c, kUserPin, 2, 0, 1), c);
  EXPECT_EQ(key.sw(apdu(0x00, 0x20, 0x01, 0x00, u)), 0x9000);
  EXPECT_EQ(key.sw(apdu(0x00, 0x20, 0x01, 0x00, u)), 0x6985);  // challenge consumed
}

TEST_F(Pin, WrongPinCountsDownToBlocked) {
  EXPECT_EQ(verify_plain(kWrongPin), 0x63C4);
  EXPECT_EQ(verify_plain(kUserPin), 0x9000);  // success restores the limit
  const uint16_t expected[] = {0x63C4, 0x63C3, 0x63C2, 0x63C1, 0x63C0, 0x6983};
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(i % 2 ? verify_protected(kWrongPin) : verify_plain(kWrongPin), expected[i]) << i;
  EXPECT_EQ(verify_plain(kUserPin), 0x6983);
  EXPECT_EQ(verify_protected(kUserPin), 0x6983);
}

// `changed` tells the daemon to save: every counter move is saved, a repeated success is not.
TEST_F(Pin, ChangedFlagFollowsTheCounters) {
  const Bytes right = apdu(0x00, 0x20, 0x00, 0x00, kUserPin);
  const Bytes wrong = apdu(0x00, 0x20, 0x00, 0x00, kWrongPin);
  EXPECT_FALSE(key.tx(right).changed);
  EXPECT_TRUE(key.tx(wrong).changed);
  EXPECT_TRUE(key.tx(right).changed);
  EXPECT_FALSE(key.tx(right).changed);
  EXPECT_TRUE(key.tx(apdu(0x80, 0x5E, 0x01, 0x00, cat({kUserPin, {0xFF}, kNewPin}))).changed);
}

TEST_F(Pin, FailedVerifyDropsPrivateKeyAccess) {
  key.create(0x19, hex("000D0101000001000000"));
  ASSERT_EQ(key.select(0x02, 0x000D), 0x9000);
  ASSERT_EQ(key.sw(hex("80 32 4C 0D 00")), 0x6A82);  // public file missing
  key.create(0x18, hex("000C010000000000000000000000"));
  ASSERT_EQ(key.sw(hex("80 32 4C 0D 00")), 0x9000);
  ASSERT_EQ(key.select(0x02, 0x000D), 0x9000);
  const Bytes sign = apdu(0x80, 0x3C, 0x40, 0x00, Bytes(32, 0x11), 0x40);
  EXPECT_EQ(key.sw(sign), 0x6982);
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  EXPECT_EQ(key.sw(sign), 0x9000);
  ASSERT_EQ(verify_plain(kWrongPin), 0x63C4);
  EXPECT_EQ(key.sw(sign), 0x6982);
}

TEST_F(Pin, ProtectedAndPlainChange) {
  EXPECT_EQ(change_protected(kWrongPin, kNewPin), 0x63C4);
  EXPECT_EQ(change_protected(kUserPin, kNewPin), 0x9000);
  EXPECT_EQ(verify_plain(kUserPin), 0x63C4);
  EXPECT_EQ(verify_protected(kNewPin), 0x9000);
  const Bytes back = cat({kNewPin, {0xFF}, kUserPin});
  EXPECT_EQ(key.sw(apdu(0x80, 0x5E, 0x01, 0x00, back)), 0x9000);
  EXPECT_EQ(verify_plain(kUserPin), 0x9000);
  EXPECT_EQ(key.sw(apdu(0x80, 0x5E, 0x01, 0x00, back)), 0x63C4);  // old PIN no longer right
}

TEST_F(Pin, AdministratorKeyUpdateChecksMac) {
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  EXPECT_EQ(admin_update(kAdminPin, kAdminPin), 0x9000);  // verification
  EXPECT_EQ(admin_update("wrong", "wrong"), 0x63C2);
  EXPECT_EQ(admin_update(kAdminPin, "newadmin"), 0x9000);  // change, counter restored
  EXPECT_EQ(admin_update(kAdminPin, kAdminPin), 0x63C2);
  EXPECT_EQ(admin_update("newadmin", "newadmin"), 0x9000);
  for (uint16_t expected : {0x63C2, 0x63C1, 0x63C0, 0x6983})
    EXPECT_EQ(admin_update("wrong", "wrong"), expected);
  EXPECT_EQ(admin_update("newadmin", "newadmin"), 0x6983);
}

TEST_F(Pin, AdministratorUpdateWithoutChallengeOrKeyFile) {
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  const Bytes body = cat({hex("010100"), admin_key(kAdminPin), Bytes(4, 0)});
  EXPECT_EQ(key.sw(apdu(0x84, 0xD4, 0x01, 0x14, body)), 0x6985);
  key.select_mf();
  EXPECT_EQ(admin_update(kAdminPin, kAdminPin), 0x6A82);  // no key file 0014 in the MF
}

TEST_F(Pin, UnblockSetsNewPinUnderAdministratorMac) {
  key.select_mf();
  ASSERT_EQ(key.select(0x01, 0xAD01), 0x9000);
  for (int i = 0; i < kUserRetries; ++i) verify_plain(kWrongPin);
  ASSERT_EQ(verify_plain(kUserPin), 0x6983);
  EXPECT_EQ(unblock("wrong", kNewPin), 0x63C2);
  EXPECT_EQ(unblock(kAdminPin, kNewPin), 0x9000);
  EXPECT_EQ(verify_plain(kNewPin), 0x9000);
  // After an administrator PIN change the unblock key follows the new key.
  ASSERT_EQ(admin_update(kAdminPin, "second"), 0x9000);
  EXPECT_EQ(unblock(kAdminPin, kUserPin), 0x63C2);
  EXPECT_EQ(unblock("second", kUserPin), 0x9000);
}

}  // namespace
}  // namespace keysim::test
