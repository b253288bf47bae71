// Symmetric card commands against OpenSSL's SM4, and the key's state file.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "emulator_fixture.h"

namespace keysim::test {
namespace {

Bytes ossl_sm4(bool cbc, bool encrypt, const Bytes &key, const Bytes &iv, const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, cbc ? EVP_sm4_cbc() : EVP_sm4_ecb(), nullptr, key.data(),
                    cbc ? iv.data() : nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(in.size() + 16);
  int n = 0, f = 0;
  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + n, &f);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(n + f);
  return out;
}

const Bytes kKey = hex("0123456789abcdeffedcba9876543210");
const Bytes kIv = hex("000102030405060708090a0b0c0d0e0f");

TEST(CardSymmetric, Sm4EcbAndCbcEqualOpenSsl) {
  Key k;
  Bytes data(96);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  // Short and extended forms, as the host sends them.
  const Bytes ecb =
      k.ok(cat({hex("80F30002"), {uint8_t(16 + data.size())}, kKey, data, {uint8_t(data.size())}}));
  EXPECT_EQ(ecb, ossl_sm4(false, true, kKey, {}, data));
  EXPECT_EQ(k.ok(apdu_ext(0x80, 0xF3, 0x01, 0x02, cat({kKey, ecb}), int(ecb.size()))), data);
  const Bytes cbc =
      k.ok(apdu_ext(0x80, 0xF1, 0x00, 0x82, cat({kKey, kIv, data}), int(data.size())));
  EXPECT_EQ(cbc, ossl_sm4(true, true, kKey, kIv, data));
  EXPECT_EQ(k.ok(apdu(0x80, 0xF1, 0x01, 0x82, cat({kKey, kIv, cbc}), int(cbc.size()))), data);
}

TEST(CardSymmetric, StandInModesRoundTripAndDiffer) {
  Key k;
  const Bytes block(32, 0x33);
  Bytes seen[3];
  for (uint8_t mode : {0x00, 0x01, 0x02}) {
    seen[mode] = k.ok(apdu(0x80, 0xF3, 0x00, mode, cat({kKey, block}), 32));
    EXPECT_EQ(k.ok(apdu(0x80, 0xF3, 0x01, mode, cat({kKey, seen[mode]}), 32)), block);
    const Bytes cbc =
        k.ok(apdu(0x80, 0xF1, 0x00, uint8_t(mode | 0x80), cat({kKey, kIv, block}), 32));
    EXPECT_EQ(k.ok(apdu(0x80, 0xF1, 0x01, uint8_t(mode | 0x80), cat({kKey, kIv, cbc}), 32)), block);
  }
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_NE(seen[0], seen[2]);
  EXPECT_NE(seen[1], seen[2]);
}

struct StateFile : Provisioned {
  std::string path = testing::TempDir() + "keysim_state_" +
                     testing::UnitTest::GetInstance()->current_test_info()->name();
  void TearDown() override { std::remove(path.c_str()); }
  std::string text() {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write(const std::string &t) { std::ofstream(path, std::ios::binary) << t; }
  std::string load_error() {
    Card c;
    std::string err;
    EXPECT_FALSE(card_load(c, path, &err));
    return err;
  }
};

TEST_F(StateFile, RoundTripKeepsFilesKeysCountersAndKnobs) {
  key.create(0x18, hex("000C010000000000000000000000"));
  key.create(0x19, hex("000D0101000001000000"));
  ASSERT_EQ(key.sw(hex("80324C0D 00")), 0x9000);
  ASSERT_EQ(verify_plain(hex("000000000000")), 0x63C4);
  ASSERT_TRUE(card_set_knob(key.card, "sm2_order", "c1c2c3", nullptr));
  ASSERT_TRUE(card_set_knob(key.card, "fault_sw", "4:6A80", nullptr));
  std::string err;
  ASSERT_TRUE(card_save(key.card, path, &err)) << err;
  EXPECT_FALSE(std::ifstream(path + ".tmp").good());

  Key back;
  ASSERT_TRUE(card_load(back.card, path, &err)) << err;
  card_reset(back.card);
  card_reset(key.card);
  EXPECT_EQ(card_dump(back.card), card_dump(key.card));
  EXPECT_EQ(card_descriptor_text(back.card), card_descriptor_text(key.card));
  // The loaded key works: counter kept (4 left), signing key usable after VERIFY.
  back.select_mf();
  ASSERT_EQ(back.select(0x01, 0xAD01), 0x9000);
  EXPECT_EQ(back.sw(apdu(0x00, 0x20, 0x00, 0x00, hex("000000000000"))), 0x63C3);
  EXPECT_EQ(back.sw(apdu(0x00, 0x20, 0x00, 0x00, kUserPin)), 0x6A80);  // fourth command: fault
  EXPECT_EQ(back.sw(apdu(0x00, 0x20, 0x00, 0x00, kUserPin)), 0x9000);
  ASSERT_EQ(back.select(0x01, 0xDF11), 0x9000);
  ASSERT_EQ(back.select(0x02, 0x000D), 0x9000);
  EXPECT_EQ(back.ok(apdu(0x80, 0x3C, 0x40, 0x00, Bytes(32, 7), 0x40)).size(), 64u);
}

TEST_F(StateFile, DamagedFilesAreRefused) {
  std::string err;
  ASSERT_TRUE(card_save(key.card, path, &err)) << err;
  const std::string good = text();
  write(good.substr(0, good.size() / 2));
  EXPECT_NE(load_error().find("truncated"), std::string::npos);
  write(good.substr(0, good.size() - 1));
  EXPECT_NE(load_error().find("truncated"), std::string::npos);
  std::string flipped = good;
  flipped[good.size() / 3] ^= 0x01;
  write(flipped);
  EXPECT_NE(load_error().find("corrupt"), std::string::npos);
  write("");
  EXPECT_NE(load_error().find("truncated"), std::string::npos);
  std::remove(path.c_str());
  EXPECT_NE(load_error().find("cannot open"), std::string::npos);
  EXPECT_FALSE(card_save(key.card, "/nonexistent-dir/key", &err));
  EXPECT_FALSE(err.empty());
}

TEST_F(StateFile, OtherVersionIsRefusedEvenWithAValidChecksum) {
  std::string err;
  ASSERT_TRUE(card_save(key.card, path, &err)) << err;
  std::string t = text();
  const size_t end = t.rfind("end ");
  std::string body = t.substr(0, end);
  body.replace(body.find(" 1\n"), 3, " 2\n");
  write(body + card_state_end_line(body));
  EXPECT_NE(load_error().find("version 2"), std::string::npos) << load_error();
}

// A file tree is a tree below the MF: each parent a DF listed before its children (files are
// only appended), no file id 0, which is the MF's parent.
TEST_F(StateFile, FileTreesThatAreNoTreeAreRefused) {
  const std::string head = "keysim-card 1\nnext_id 9\nfile 1 0 1 16128 0 - -\n";
  const struct {
    const char *files, *error;
  } cases[] = {
      {"file 2 1 1 57089 0 - -\nfile 3 2 2 61185 0 - -\n", nullptr},
      {"file 2 1 1 57089 0 - -\nfile 0 2 1 57090 0 - -\n", "file id 0"},
      {"file 2 3 1 57089 0 - -\nfile 3 2 1 57090 0 - -\n", "parent DF before it"},
      {"file 3 2 2 61185 0 - -\nfile 2 1 1 57089 0 - -\n", "parent DF before it"},
      {"file 2 1 2 61185 0 - -\nfile 3 2 2 61186 0 - -\n", "parent DF before it"},
      {"file 2 2 1 57089 0 - -\n", "parent DF before it"},
  };
  for (const auto &c : cases) {
    const std::string body = head + c.files;
    write(body + card_state_end_line(body));
    if (!c.error) {
      Card loaded;
      std::string err;
      EXPECT_TRUE(card_load(loaded, path, &err)) << err;
      EXPECT_NE(card_dump(loaded).find("EF EF01"), std::string::npos) << card_dump(loaded);
      continue;
    }
    EXPECT_NE(load_error().find(c.error), std::string::npos) << c.files;
  }
}

}  // namespace
}  // namespace keysim::test
