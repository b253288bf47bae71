// Command forms, file system, authentication, knobs, faults and statistics of the emulator.
#include <random>

#include "emulator_fixture.h"

namespace keysim::test {
namespace {

struct CardFiles : Provisioned {};

const Bytes kProbe = cat({hex("80F30000 000020"), Bytes(32, 0), hex("0010")});

TEST(CardForms, MalformedAndUnknownCommandsGetStatusWords) {
  const struct {
    const char *command;
    uint16_t sw;
  } cases[] = {
      {"", 0x6700},
      {"00A4", 0x6700},
      {"00A40200 02EF", 0x6700},         // Lc beyond the data
      {"00A40200 02EF01 0000", 0x6700},  // bytes after Le
      {"80F30000 0000", 0x6700},         // extended header cut short
      {"80F30000 000020 0000", 0x6700},  // extended Lc beyond the data
      {"80F30000 000000 00", 0x6700},    // extended Lc of zero with data
      {"12340000", 0x6E00},
      {"80990000", 0x6D00},
      {"BF000000", 0x6D00},
      {"00A40500 023F00", 0x6A86},
      {"00A40200 021234", 0x6A82},
      {"00A40100 03DF1100", 0x6700},
      {"00B00000 10", 0x6986},                            // no current EF
      {"00C00000 10", 0x6985},                            // nothing to get
      {"80E00003 0DEF010200000000000000000000", 0x6982},  // not authenticated
      {"80E40000 02EF01", 0x6982},
      {"BFCE0000 00", 0x6982},
      {"80D40100 03 000000", 0x6982},
      {"00200000 05 1122334455", 0x6700},
      {"00200200 06 112233445566", 0x6A86},
      {"00820000 04 11223344", 0x6700},
      {"00820000 08 1122334455667788", 0x6985},  // no challenge
      {"00840000 00", 0x9000},                   // Le 00: 256 bytes
      {"80D80002 80", 0x6A88},                   // no external RSA pair
      {"80D80902 80", 0x6A86},
      {"80340001 20", 0x6A88},  // no external SM2 pair
      {"803C4000 20 "
       "0000000000000000000000000000000000000000000000000000000000000000 40",
       0x6986},
      {"80F30300 20 "
       "0000000000000000000000000000000000000000000000000000000000000000 20",
       0x6A86},
      {"80F30003 20 "
       "0000000000000000000000000000000000000000000000000000000000000000 20",
       0x6A86},
      {"80F30002 18 "
       "000000000000000000000000000000000000000000000000 08",
       0x6700},
      {"80220200 02", 0x6A86},
  };
  for (const auto &c : cases) {
    Key k;
    EXPECT_EQ(k.sw(hex(c.command)), c.sw) << c.command;
  }
}

// Random bytes, and random well-formed commands of every family (short and extended, P1/P2
// from the values the commands use), against a key with an application: never a crash, always
// a status word of the card's set.
TEST(CardForms, RandomCommandsNeverCrashAndGetKnownStatusWords) {
  Key k;
  format(k);
  create_application(k);
  create_container(k);
  k.create(0x18, hex("000A010000000000000000000000"));
  k.create(0x19, hex("000B0101000001000000"));
  std::mt19937 rng(7);
  static constexpr uint8_t kCla[] = {0x00, 0x80, 0x84, 0xBF, 0x12};
  static constexpr uint8_t kIns[] = {0xA4, 0xB0, 0xD6, 0xE0, 0xE4, 0xD4, 0x5E, 0x42, 0xF1, 0xF3,
                                     0x20, 0xC0, 0x82, 0x84, 0x22, 0xD2, 0xD8, 0xF6, 0xF8, 0x32,
                                     0x34, 0x36, 0x38, 0x3A, 0x3C, 0x3E, 0xCE, 0xC8};
  static constexpr uint8_t kP[] = {0x00, 0x01, 0x02, 0x03, 0x0A, 0x0B, 0x0D, 0x14, 0x20,
                                   0x40, 0x4A, 0x80, 0x81, 0x82, 0xA0, 0xC0, 0xEF, 0xDF};
  auto pick = [&](const auto &table) { return table[rng() % std::size(table)]; };
  for (int i = 0; i < 20000; ++i) {
    Bytes c;
    if (i % 2) {
      c.resize(rng() % 24);
      for (uint8_t &b : c) b = static_cast<uint8_t>(rng());
    } else {
      c = {pick(kCla), pick(kIns), pick(kP), pick(kP)};
      Bytes data(rng() % 3 == 0 ? rng() % 300 : rng() % 40);
      for (uint8_t &b : data) b = static_cast<uint8_t>(rng() % 4 ? rng() : 0);
      const int le = rng() % 2 ? int(rng() % 300) : -1;
      c = data.size() > 255 || rng() % 4 == 0 ? apdu_ext(c[0], c[1], c[2], c[3], data, le)
                                              : apdu(c[0], c[1], c[2], c[3], data, le % 256);
    }
    if (c.size() >= 2 && (c[1] == 0xD0 || c[1] == 0xE0)) continue;  // slow or tree-growing
    const Answer a = k.tx(c);
    const uint8_t sw1 = a.sw >> 8;
    EXPECT_TRUE(sw1 == 0x90 || sw1 == 0x61 || sw1 == 0x62 || sw1 == 0x63 || sw1 == 0x67 ||
                sw1 == 0x69 || sw1 == 0x6A || sw1 == 0x6B || sw1 == 0x6D || sw1 == 0x6E)
        << testing::PrintToString(c) << " -> " << std::hex << a.sw;
    if (i % 1000 == 0) card_reset(k.card);
  }
}

TEST(CardForms, ExtendedLengthKnob) {
  Key k;
  EXPECT_EQ(k.ok(kProbe).size(), 16u);
  ASSERT_TRUE(card_set_knob(k.card, "extended", "off", nullptr));
  EXPECT_EQ(k.sw(kProbe), 0x6700);
  EXPECT_EQ(k.ok(cat({hex("80F30002 20"), Bytes(32, 0), hex("10")})).size(), 16u);
}

TEST(CardForms, ChainingAnswersThroughGetResponse) {
  Key k;
  ASSERT_TRUE(card_set_knob(k.card, "chaining", "on", nullptr));
  Answer a = k.tx(hex("00840000 08"));
  EXPECT_EQ(a.sw, 0x6108);
  EXPECT_TRUE(a.data.empty());
  a = k.tx(hex("00C00000 05"));
  EXPECT_EQ(a.sw, 0x6103);
  EXPECT_EQ(a.data.size(), 5u);
  a = k.tx(hex("00C00000 03"));
  EXPECT_EQ(a.sw, 0x9000);
  EXPECT_EQ(a.data.size(), 3u);
  // A 256-byte answer announces 61 00; any other command drops what was pending.
  EXPECT_EQ(k.sw(hex("00840000 00")), 0x6100);
  EXPECT_EQ(k.ok(hex("00C00000 00")).size(), 256u);
  EXPECT_EQ(k.sw(hex("00840000 08")), 0x6108);
  EXPECT_EQ(k.sw(hex("00A40000 00")), 0x9000);
  EXPECT_EQ(k.sw(hex("00C00000 08")), 0x6985);
}

TEST(CardForms, DataForACommandWithoutLeComesThroughGetResponse) {
  Key k;
  // A symmetric command without its Le byte: the 16 result bytes are announced, not sent.
  Answer a = k.tx(cat({hex("80F30002 20"), Bytes(32, 0)}));
  EXPECT_EQ(a.sw, 0x6110);
  EXPECT_TRUE(a.data.empty());
  EXPECT_EQ(k.ok(hex("00C00000 10")).size(), 16u);
}

TEST(CardForms, FaultsFireOnceAtTheirCommand) {
  Key k;
  std::string err;
  ASSERT_TRUE(card_set_knob(k.card, "fault_sw", "2:6A82", &err)) << err;
  ASSERT_TRUE(card_set_knob(k.card, "fault_reader", "3", &err)) << err;
  ASSERT_TRUE(card_set_knob(k.card, "remove_at", "4", &err)) << err;
  const Bytes select = hex("00A40000 00");
  EXPECT_EQ(k.tx(select).sw, 0x9000);
  Answer a = k.tx(select);
  EXPECT_EQ(a.sw, 0x6A82);
  EXPECT_TRUE(a.changed);
  EXPECT_EQ(k.tx(select).event, Event::reader_failure);
  EXPECT_EQ(k.tx(select).event, Event::removed);
  a = k.tx(select);
  EXPECT_EQ(a.sw, 0x9000);
  EXPECT_EQ(a.event, Event::none);
  EXPECT_NE(card_stats(k.card).find("00 A4  count 5  ok 2"), std::string::npos)
      << card_stats(k.card);
}

TEST(CardForms, KnobErrorsAreReported) {
  Key k;
  const std::pair<const char *, const char *> bad[] = {
      {"pin_mode", "on"},     {"max_data", "x"},      {"max_data", "0"},  {"fault_sw", "3:6A8"},
      {"fault_sw", "0:6A82"}, {"fault_reader", "-1"}, {"nonsense", "on"}, {"sm2_order", "c3"}};
  for (const auto &[name, value] : bad) {
    std::string err;
    EXPECT_FALSE(card_set_knob(k.card, name, value, &err)) << name << '=' << value;
    EXPECT_FALSE(err.empty());
  }
  ASSERT_TRUE(card_set_knob(k.card, "max_data", "261", nullptr));
  EXPECT_EQ(card_max_data_length(k.card), 261u);
}

TEST(CardForms, DescriptorCarriesNameAndSerial) {
  Key k(12345678);
  // "KEYSIM", NUL, 12345678 = 0x00BC614E least significant byte first, two more bytes.
  EXPECT_EQ(card_descriptor_text(k.card), "4B455953494D004E61BC001001");
  // The answer-to-reset carries the six bytes after the name as card issuer's data (compact-TLV
  // tag 5), so that a reader with only the answer-to-reset (PC/SC) can rebuild them.
  EXPECT_EQ(card_reset(k.card), hex("3B888001 80 56 4E61BC00 1001 5D"));
}

TEST(CardFormat, LayoutReadsBack) {
  Key k;
  format(k);
  k.select_mf();
  ASSERT_EQ(k.select(0x02, 0xEF01), 0x9000);
  const Bytes dir = k.read_file();  // 1158 bytes in an EF created with size field 0200
  ASSERT_EQ(dir.size(), 1156u);
  EXPECT_EQ(Bytes(dir.begin(), dir.begin() + 4), hex("5641524E"));
  for (uint16_t fid : {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006})
    EXPECT_EQ(k.select(0x02, fid), 0x9000) << fid;
  EXPECT_EQ(k.sw(hex("00B00000 02")), 0x6981);  // key files are not readable as data
}

TEST_F(CardFiles, SelectionRules) {
  Key &k = key;
  k.select_mf();
  EXPECT_EQ(k.select(0x01, 0xDF11), 0x6A82);  // a DF of AD01, not of the MF
  ASSERT_EQ(k.select(0x01, 0xAD01), 0x9000);
  ASSERT_EQ(k.select(0x02, 0xEF02), 0x9000);
  EXPECT_EQ(k.select(0x01, 0xDFEA), 0x6A82);  // failure keeps DF and EF
  EXPECT_EQ(k.select(0x02, 0xEF01), 0x9000);
  EXPECT_EQ(k.read_file().size(), 620u);
  EXPECT_EQ(k.select(0x01, 0xEF01), 0x6A82);  // an EF is no DF
  EXPECT_EQ(k.select(0x02, 0xDF11), 0x6A82);  // and a DF no EF
  ASSERT_EQ(k.select(0x01, 0xDF11), 0x9000);
  EXPECT_EQ(k.sw(hex("00B00000 02")), 0x6986);  // selecting a DF clears the EF
  EXPECT_EQ(k.sw(hex("00A40000 02 3F00")), 0x9000);
}

TEST_F(CardFiles, DataFileOffsetsAndBounds) {
  Key &k = key;
  k.select_mf();
  ASSERT_EQ(k.select(0x01, 0xAD01), 0x9000);
  k.create(0x03, hex("0024 0040 000000000000000000"));   // 64 bytes, selected by CREATE FILE
  EXPECT_EQ(k.ok(hex("00B00000 04")), hex("FFFFFFFF"));  // fresh EFs read as FF
  k.ok(apdu(0x00, 0xD6, 0x00, 0x0A, hex("A1A2A3")));
  EXPECT_EQ(k.ok(hex("00B00009 05")), hex("FFA1A2A3FF"));
  Answer a = k.tx(hex("00B0003E 04"));
  EXPECT_EQ(a.sw, 0x6282);
  EXPECT_EQ(a.data.size(), 2u);
  EXPECT_EQ(k.sw(hex("00B00040 01")), 0x6B00);
  EXPECT_EQ(k.sw(hex("00B08000 01")), 0x6B00) << "offsets are 16 bits";
  EXPECT_EQ(k.sw(apdu(0x00, 0xD6, 0xFF, 0xFF, hex("0102"))), 0x6A84);
  EXPECT_EQ(k.sw(apdu(0x80, 0xE0, 0x00, 0x03, hex("0024 0040 000000000000000000"))), 0x6A89);
}

TEST_F(CardFiles, DeleteKeepsCurrentEfAndKnobAnswers6D00) {
  Key &k = key;
  k.select_mf();
  ASSERT_EQ(k.select(0x01, 0xAD01), 0x9000);
  k.create(0x03, hex("0021 0040 000000000000000000"));
  ASSERT_EQ(k.select(0x02, 0xEF02), 0x9000);
  EXPECT_EQ(k.sw(hex("80E40000 02 0021")), 0x9000);
  EXPECT_EQ(k.sw(hex("80E40000 02 0021")), 0x6A82);
  EXPECT_EQ(k.select(0x02, 0x0021), 0x6A82);
  EXPECT_EQ(k.read_file().size(), 1040u);  // EF02 is still the current EF
  ASSERT_TRUE(card_set_knob(k.card, "delete_6d00", "on", nullptr));
  EXPECT_EQ(k.sw(hex("80E40000 02 EF01")), 0x6D00);
  EXPECT_EQ(k.select(0x02, 0xEF01), 0x9000);
}

// Key file descriptors: a fixed length per kind and the size byte after the identifier (RSA 00
// or 01, SM2 01); anything else is refused.
TEST_F(CardFiles, KeyFileDescriptorsAreChecked) {
  const struct {
    uint8_t p2;
    const char *descriptor;
    uint16_t sw;
  } cases[] = {
      {0x10, "0031000000000000000000000000", 0x9000},
      {0x10, "0032010000000000000000000000", 0x9000},
      {0x10, "0033020000000000000000000000", 0x6A80},
      {0x10, "003400", 0x6A80},
      {0x11, "00350001000001000000", 0x9000},
      {0x11, "00360101000001000000", 0x9000},
      {0x11, "00370201000001000000", 0x6A80},
      {0x11, "0038000100000100000000", 0x6A80},
      {0x18, "0039010000000000000000000000", 0x9000},
      {0x18, "003A000000000000000000000000", 0x6A80},
      {0x18, "003B01", 0x6A80},
      {0x19, "003C0101000001000000", 0x9000},
      {0x19, "003D0001000001000000", 0x6A80},
  };
  ASSERT_EQ(key.auth_builtin(), 0x9000);
  for (const auto &c : cases) {
    EXPECT_EQ(key.sw(apdu(0x80, 0xE0, 0x00, c.p2, hex(c.descriptor))), c.sw) << c.descriptor;
  }
}

TEST_F(CardFiles, PrepareCreateEmptiesTheCurrentDf) {
  Key &k = key;
  ASSERT_EQ(verify_plain(kUserPin), 0x9000);
  k.select_mf();
  ASSERT_EQ(k.select(0x01, 0xAD01), 0x9000);
  EXPECT_EQ(k.sw(hex("BFCE0000 00")), 0x9000);
  for (uint16_t fid : {0xEF01, 0xEF02, 0x0014}) EXPECT_EQ(k.select(0x02, fid), 0x6A82);
  EXPECT_EQ(k.select(0x01, 0xDF11), 0x6A82);
  EXPECT_EQ(verify_plain(kUserPin), 0x6A88);  // no PIN keys any more
  create_application(k);                      // the application can be built again
  EXPECT_EQ(verify_plain(kUserPin), 0x9000);
}

TEST(CardFormat, CardInfoReportsSpace) {
  Key k;
  auto free_space = [&] {
    const Bytes r = k.ok(hex("BFC80000 0F"));
    EXPECT_EQ(r.size(), 15u);
    // The two layouts the host libraries decode agree.
    const uint32_t total_a = ((r[7] & 3u) << 16) + (r[5] << 8 | r[6]);
    const uint32_t total_b = (((r[7] >> 6) << 8) + r[11]) * 256u + r[12];
    const uint32_t free_a = (((r[7] >> 4) & 3u) << 16) + (r[13] << 8 | r[14]);
    const uint32_t free_b = ((((r[7] >> 2) & 3u) << 8) + r[13]) * 256u + r[14];
    EXPECT_EQ(total_a, total_b);
    EXPECT_EQ(free_a, free_b);
    EXPECT_LE(free_a, total_a);
    return free_a;
  };
  const uint32_t before = free_space();
  format(k);
  EXPECT_LT(free_space(), before - 1156);
}

TEST(CardAuth, BuiltinKeyKnobAndDeviceKey) {
  Key k;
  format(k);  // installs the device key "1111111111111111"
  card_reset(k.card);
  ASSERT_TRUE(card_set_knob(k.card, "builtin_key", "off", nullptr));
  EXPECT_EQ(k.auth_builtin(), 0x6300);
  EXPECT_EQ(k.sw(apdu(0x80, 0xE0, 0x00, 0x03, hex("EF090010000000000000000000"))), 0x6982);
  // As a host does with a key text: the card's own mode-0 encryption of challenge and eight
  // zero bytes, folded to 8 bytes.
  auto device_auth = [&](const Bytes &key16) {
    const Bytes c = k.challenge(8);
    const Bytes a = k.ok(cat({hex("80F30000 20"), key16, c, Bytes(8, 0), hex("10")}));
    return k.sw(apdu(0x00, 0x82, 0x00, 0x00,
                     xor_bytes(Bytes(a.begin(), a.begin() + 8), Bytes(a.begin() + 8, a.end()))));
  };
  EXPECT_EQ(device_auth(Bytes(16, '2')), 0x6300);
  EXPECT_EQ(device_auth(Bytes(16, '1')), 0x9000);
  // A failed attempt afterwards keeps the authentication: the device key can be replaced.
  EXPECT_EQ(k.auth_builtin(), 0x6300);
  k.ok(apdu(0x80, 0xD4, 0x01, 0x00, cat({hex("000000"), Bytes(16, '3')})));
  card_reset(k.card);
  EXPECT_EQ(device_auth(Bytes(16, '1')), 0x6300);
  EXPECT_EQ(device_auth(Bytes(16, '3')), 0x9000);
}

TEST(CardAuth, BlankKeyTakesTheFactoryDeviceKey) {
  Key k;
  ASSERT_TRUE(card_set_knob(k.card, "builtin_key", "off", nullptr));
  const Bytes c = k.challenge(8);
  const Bytes a = k.ok(
      cat({hex("80F30000 20"),
           Bytes({'1', '2', '3', '4', '5', '6', '7', '8', '1', '2', '3', '4', '5', '6', '7', '8'}),
           c, Bytes(8, 0), hex("10")}));
  EXPECT_EQ(k.sw(apdu(0x00, 0x82, 0x00, 0x00,
                      xor_bytes(Bytes(a.begin(), a.begin() + 8), Bytes(a.begin() + 8, a.end())))),
            0x9000);
}

}  // namespace
}  // namespace keysim::test
