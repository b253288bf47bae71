// tokenbase's hex-text DES: the steps of its own DES core against the worked example of
// FIPS 46-3 (key 133457799BBCDFF1, block 0123456789ABCDEF), classic known answers and OpenSSL,
// the MAC routines against OpenSSL (ISO/IEC 9797-1 algorithms 1 and 3, first block as initial
// value) with their result codes, and MacOverHexText against the card layer's DES_RetailMac.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "reference.h"
#include "skf/crypto/retail_mac.h"
#include "skf/legacy/hex_des.h"

namespace {

std::string Hex(const Bytes &b) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t v : b) {
    s += kDigits[v >> 4];
    s += kDigits[v & 15];
  }
  return s;
}

Bytes Encrypt(const Bytes &key, const Bytes &block, bool decrypt = false) {
  Bytes b = block;
  if (decrypt) {
    HexDes_DecryptBlock(b.data(), key.data());
  } else {
    HexDes_EncryptBlock(b.data(), key.data());
  }
  return b;
}

// ISO/IEC 9797-1 with block 0 of the data as initial value, the whole final value.
Bytes ReferenceMac(const Bytes &data, const Bytes &key, bool algorithm3) {
  const Bytes k1(key.begin(), key.begin() + 8);
  Bytes chain(data.begin(), data.begin() + 8);
  const Bytes body(data.begin() + 8, data.end());
  if (!body.empty()) {
    const Bytes cbc = RefCipher(EVP_des_cbc(), k1, chain, body, true);
    chain.assign(cbc.end() - 8, cbc.end());
  }
  if (algorithm3) {
    const Bytes k2(key.begin() + 8, key.begin() + 16);
    chain = RefCipher(EVP_des_ecb(), k2, {}, chain, false);
    chain = RefCipher(EVP_des_ecb(), k1, {}, chain, true);
  }
  return chain;
}

TEST(HexDesCore, StepsOfTheWorkedExample) {
  const Bytes key = FromHex("133457799BBCDFF1");
  std::uint32_t c = 0, d = 0;
  HexDes_PC1(key.data(), &c, &d);
  EXPECT_EQ(c, 0xF0CCAAFu);
  EXPECT_EQ(d, 0x556678Fu);
  HexDes_RotateHalves(&c, &d, 0);
  EXPECT_EQ(c, 0xE19955Fu);
  EXPECT_EQ(d, 0xAACCF1Eu);
  HexDesRoundKeys keys;
  HexDes_KeySchedule(key.data(), keys);
  // K1 = 000110 110000 001011 101111 111111 000111 000001 110010
  EXPECT_EQ(Bytes(keys[0], keys[0] + 8), Bytes({0x06, 0x30, 0x0B, 0x2F, 0x3F, 0x07, 0x01, 0x32}));
  // K16 = 110010 110011 110110 001011 000011 100001 011111 110101
  EXPECT_EQ(Bytes(keys[15], keys[15] + 8), Bytes({0x32, 0x33, 0x36, 0x0B, 0x03, 0x21, 0x1F, 0x35}));

  Bytes block = FromHex("0123456789ABCDEF");
  HexDes_InitialPermute(block.data());
  EXPECT_EQ(Hex(block), "CC00CCFFF0AAF0AA");
  const Bytes r0 = FromHex("F0AAF0AA");
  uint8_t expanded[8];
  HexDes_Expand(r0.data(), expanded);
  EXPECT_EQ(Bytes(expanded, expanded + 8), Bytes({0x1E, 0x21, 0x15, 0x15, 0x1E, 0x21, 0x15, 0x15}));
  HexDes_Xor8(expanded, keys[0]);
  uint8_t s[4];
  HexDes_Substitute(expanded, s);
  EXPECT_EQ(Hex(Bytes(s, s + 4)), "5C82B597");
  HexDes_ApplyP(s);
  EXPECT_EQ(Hex(Bytes(s, s + 4)), "234AA9BB");
  uint8_t f[4];
  HexDes_RoundF(r0.data(), keys[0], f);
  EXPECT_EQ(Hex(Bytes(f, f + 4)), "234AA9BB");
  uint8_t l0[4] = {0xCC, 0x00, 0xCC, 0xFF};
  HexDes_Xor4(l0, f);
  EXPECT_EQ(Hex(Bytes(l0, l0 + 4)), "EF4A6544");  // R1
  HexDes_FinalPermute(block.data());
  EXPECT_EQ(Hex(block), "0123456789ABCDEF");

  EXPECT_EQ(Hex(Encrypt(key, FromHex("0123456789ABCDEF"))), "85E813540F0AB405");
  EXPECT_EQ(Hex(Encrypt(key, FromHex("85E813540F0AB405"), true)), "0123456789ABCDEF");
}

TEST(HexDesCore, KnownAnswersAndOpenSsl) {
  // Classic known answers (the NBS sample and the variable-plaintext test's first row).
  EXPECT_EQ(Hex(Encrypt(FromHex("0123456789ABCDEF"), FromHex("4E6F772069732074"))),
            "3FA40E8A984D4815");
  EXPECT_EQ(Hex(Encrypt(FromHex("0101010101010101"), FromHex("8000000000000000"))),
            "95F8A5E5DD31D900");
  EXPECT_EQ(Hex(Encrypt(FromHex("0101010101010101"), FromHex("95F8A5E5DD31D900"), true)),
            "8000000000000000");
  LoadReferenceProviders();
  std::mt19937 rng(463);
  for (int i = 0; i < 200; ++i) {
    const Bytes key = RandomBytes(rng, 8), block = RandomBytes(rng, 8);
    const Bytes cipher = RefCipher(EVP_des_ecb(), key, {}, block, true);
    ASSERT_EQ(Encrypt(key, block), cipher) << Hex(key) << " " << Hex(block);
    ASSERT_EQ(Encrypt(key, cipher, true), block) << Hex(key);
  }
}

TEST(HexDesMac, MatchesIsoAlgorithmsOverHexText) {
  LoadReferenceProviders();
  std::mt19937 rng(9797);
  for (std::size_t blocks = 2; blocks <= 7; ++blocks) {
    const Bytes data = RandomBytes(rng, 8 * blocks), key = RandomBytes(rng, 16);
    std::string data_text = Hex(data), key_text = Hex(key);
    if (blocks % 2) {  // lower case is accepted too
      for (char &ch : data_text) ch = static_cast<char>(std::tolower(ch));
      for (char &ch : key_text) ch = static_cast<char>(std::tolower(ch));
    }
    char result[kHexDesMacText] = {};
    ASSERT_EQ(HexDes_Mac3(data_text.c_str(), key_text.c_str(), result), kHexDesOk);
    EXPECT_EQ(std::string(result), Hex(ReferenceMac(data, key, true))) << blocks;
    const std::string single_key = key_text.substr(0, 16);
    ASSERT_EQ(HexDes_Mac(data_text.c_str(), single_key.c_str(), result), kHexDesOk);
    EXPECT_EQ(std::string(result), Hex(ReferenceMac(data, key, false))) << blocks;
  }
}

TEST(HexDesMac, RefusesInTheOrderOfTheCodes) {
  const std::string key32(32, 'A'), key31(31, 'A'), key30(30, 'A'), key16(16, 'A');
  const std::string data16(32, '1'), data8(16, '1'), data20(40, '1');
  struct Case {
    const char *name;
    bool algorithm3;
    std::string data, key;
    std::uint16_t code;
  } cases[] = {
      {"odd key text", true, data16, key31, kHexDesNotHex},
      {"no hex digit in the data", true, "0G" + data16.substr(2), key30, kHexDesNotHex},
      {"odd data text", true, data16 + "1", key32, kHexDesNotHex},
      {"key of 30 characters", true, data8, key30, kHexDesKeyLength},
      {"algorithm 1 wants 16 characters", false, data16, key32, kHexDesKeyLength},
      {"20 data bytes", true, data20, key32, kHexDesPartialBlock},
      {"20 data bytes, algorithm 1", false, data20, key16, kHexDesPartialBlock},
      {"8 data bytes", true, data8, key32, kHexDesShortData},
      {"no data", false, "", key16, kHexDesShortData},
  };
  for (const Case &c : cases) {
    char result[kHexDesMacText] = "unchanged";
    const auto mac = c.algorithm3 ? HexDes_Mac3 : HexDes_Mac;
    EXPECT_EQ(mac(c.data.c_str(), c.key.c_str(), result), c.code) << c.name;
    EXPECT_STREQ(result, "unchanged") << c.name;
  }
}

TEST(HexDesText, PairsAndConversions) {
  EXPECT_EQ(HexDes_HexPairToByte("1b", 1), 0x1B);
  EXPECT_EQ(HexDes_HexPairToByte("001B", 2), 0x1B);
  EXPECT_EQ(HexDes_HexPairToByte("001B", 3), 0);
  EXPECT_EQ(HexDes_HexPairToByte("001", 2), 0);  // a half pair is no pair
  EXPECT_TRUE(HexDes_IsHexText(""));
  EXPECT_TRUE(HexDes_IsHexText("09afAF"));
  EXPECT_FALSE(HexDes_IsHexText("09a"));
  EXPECT_FALSE(HexDes_IsHexText("0 "));

  char text[8] = "AB";
  EXPECT_TRUE(HexDes_AppendHexByte(text, 0x0C));
  EXPECT_STREQ(text, "AB0C");
  EXPECT_TRUE(HexDes_AppendHexByte(text, 0xFF));
  EXPECT_STREQ(text, "AB0CFF");
  EXPECT_FALSE(HexDes_AppendHexByte(text, 0x01));  // no room for two digits and the NUL
  EXPECT_STREQ(text, "AB0CFF");

  const Bytes bytes = FromHex("00A5FF10");
  char hex[9];
  int length = 4;
  ASSERT_EQ(HexDes_BytesToHexText(bytes.data(), &length, hex), 0);
  EXPECT_EQ(length, 8);
  EXPECT_STREQ(hex, "00A5FF10");
  length = 4;
  EXPECT_EQ(HexDes_BytesToHexText(bytes.data(), &length, {hex, 8}), -1);  // no room for the NUL
  const Bytes many(257, 0x11);
  std::string big(600, 'x');
  length = 257;
  EXPECT_EQ(HexDes_BytesToHexText(many.data(), &length, {big.data(), big.size()}), -1);
  EXPECT_EQ(big[0], 'x');

  uint8_t out[5];
  std::memset(out, 0xEE, sizeof out);
  length = 8;
  ASSERT_EQ(HexDes_HexTextToBytes("00a5FF10", &length, out), 0);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(out, out + 5), FromHex("00A5FF1000"));
  length = 8;
  EXPECT_EQ(HexDes_HexTextToBytes("00A5FF10", &length, {out, 4}), -1);  // no room for the NUL
  const std::string long_text(262, '1');
  Bytes room(200);
  length = 262;
  EXPECT_EQ(HexDes_HexTextToBytes(long_text.c_str(), &length, room), -1);
}

TEST(MacOverHexText, EqualsTheRetailMacOfTheCommands) {
  LoadReferenceProviders();
  std::mt19937 rng(3102);
  for (int i = 0; i < 20; ++i) {
    // Administrator-key commands: 40 bytes, flag 0, the 16-byte key.
    const Bytes message = RandomBytes(rng, 40), key = RandomBytes(rng, 16);
    uint8_t out[kMacOverHexTextOut + 1];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(MacOverHexText(message.data(), 40, out, key.data(), 0), 0);
    EXPECT_EQ(Bytes(out, out + 8), ReferenceMac(message, key, true));
    EXPECT_EQ(out[8], 0);
    EXPECT_EQ(out[9], 0xEE);  // 9 bytes written
    uint8_t retail[4];
    DES_RetailMac(message.data(), 40, retail, key.data(), 0);
    EXPECT_EQ(Bytes(out, out + 4), Bytes(retail, retail + 4));

    // Unblock command: 16 bytes, flag 1, an 8-byte key.
    const Bytes unblock = RandomBytes(rng, 16);
    Bytes short_key(key.begin(), key.begin() + 8);
    short_key.resize(16, 0x5A);  // the bytes after the eighth play no part
    EXPECT_EQ(MacOverHexText(unblock.data(), 16, out, short_key.data(), 1), 0);
    DES_RetailMac(unblock.data(), 16, retail, short_key.data(), 1);
    EXPECT_EQ(Bytes(out, out + 4), Bytes(retail, retail + 4));
  }
}

TEST(MacOverHexText, RefusedInputLeavesOnlyANul) {
  const Bytes message(64, 0x80), key(16, 0x31);
  for (int length : {64, 200, -1, 8, 20}) {  // too long, negative, too short, partial block
    uint8_t out[kMacOverHexTextOut];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(MacOverHexText(message.data(), length, out, key.data(), 0), 0) << length;
    EXPECT_EQ(out[0], 0) << length;
    EXPECT_EQ(Bytes(out + 1, out + 9), Bytes(8, 0xEE)) << length;
  }
  // The longest message that is turned into text: 63 bytes (whole blocks: 56).
  uint8_t out[kMacOverHexTextOut] = {};
  EXPECT_EQ(MacOverHexText(message.data(), 56, out, key.data(), 0), 0);
  EXPECT_NE(Bytes(out, out + 8), Bytes(8, 0));
  // Flag 2: algorithm 1 with the 16-byte key text, which it refuses.
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(MacOverHexText(message.data(), 16, out, key.data(), 2), 0);
  EXPECT_EQ(out[0], 0);
}

}  // namespace
