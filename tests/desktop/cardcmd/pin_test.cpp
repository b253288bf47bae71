// The PIN operations: the PIN result convention from the card's answers, and the retry record
// at the head of the application's container directory, read back raw.
#include <cstring>

#include "cardcmd_fixture.h"

namespace {

constexpr char kPin[] = "12345678";  // what a provisioned key holds
constexpr char kWrong[] = "87654321";
constexpr std::uint32_t kLimit = 10;
constexpr std::size_t kUserMaxAt = 12, kUserChangedAt = 24;

std::vector<std::uint8_t> ChangeBlock(const std::string &old_pin, const std::string &new_pin) {
  std::vector<std::uint8_t> block(old_pin.begin(), old_pin.end());
  block.push_back(0xFF);
  block.insert(block.end(), new_pin.begin(), new_pin.end());
  return block;
}

class PinTest : public CardCmdTest {
 protected:
  void SetUp() override {
    CardCmdTest::SetUp();
    key_ = NewKey(true);
    card_ = OpenApplication(0);
    ASSERT_GT(card_, 0);
    initial_ = PinHeader(key_);
    ASSERT_EQ(initial_.size(), 28u);
    ASSERT_EQ(vkey::U32At(initial_, kUserMaxAt), kLimit);
    ASSERT_EQ(vkey::U32At(initial_, kUserRemainAt), kLimit);
  }
  int Verify(const char *pin) {
    return api_.QX_VerifyPinUpDatePinInfoFile(card_, pin, static_cast<std::int32_t>(strlen(pin)));
  }
  int Change(const std::vector<std::uint8_t> &block) {
    return api_.QX_ChangePin(card_, static_cast<std::int32_t>(block.size()), block.data());
  }
  // The header as it started, with the user's retries left set to `remain`.
  vkey::Bytes Expected(std::uint32_t remain, bool changed = false) const {
    vkey::Bytes header = initial_;
    for (std::size_t i = 0; i < 4; ++i) {
      header[kUserRemainAt + i] = static_cast<std::uint8_t>(remain >> (8 * i));
      if (changed) header[kUserChangedAt + i] = i == 0 ? 1 : 0;
    }
    return header;
  }

  std::string key_;
  std::int32_t card_ = 0;
  vkey::Bytes initial_;
};

}  // namespace

TEST_F(PinTest, AWrongAndARightPinKeepTheRetryRecord) {
  EXPECT_EQ(Verify(kWrong), 9);
  EXPECT_EQ(PinHeader(key_), Expected(9));
  EXPECT_EQ(Verify(kPin), 0);
  EXPECT_EQ(PinHeader(key_), Expected(kLimit)) << "the limit restored";
}

// n tries left down to the last one (1), then locked (-1), and a right PIN stays refused.
TEST_F(PinTest, WrongPinsCountDownToLocked) {
  for (int left = 9; left >= 1; --left) {
    ASSERT_EQ(Verify(kWrong), left);
    ASSERT_EQ(PinHeader(key_), Expected(static_cast<std::uint32_t>(left)));
  }
  EXPECT_EQ(Verify(kWrong), -1);
  EXPECT_EQ(PinHeader(key_), Expected(0));
  EXPECT_EQ(Verify(kPin), -1) << "locked";
  EXPECT_EQ(PinHeader(key_), Expected(0));
}

// A card answer that is no PIN result, or a reader failure, gives -1000 and leaves the record.
TEST_F(PinTest, AFailedExchangeLeavesTheRecord) {
  // A right PIN with the record at its limit writes nothing: its last command is the VERIFY.
  const std::uint64_t start = vkey::Commands(key_);
  ASSERT_EQ(Verify(kPin), 0);
  const std::uint64_t verify_at = vkey::Commands(key_) - start;
  ASSERT_EQ(Verify(kWrong), 9);
  const std::string at = std::to_string(verify_at);
  const std::pair<const char *, std::string> faults[] = {{"fault_sw", at + ":6A82"},
                                                         {"fault_reader", at}};
  for (const auto &[knob, value] : faults) {
    ASSERT_TRUE(vkey::Knob(key_, knob, value.c_str()));
    EXPECT_EQ(Verify(kPin), -1000) << knob;
    EXPECT_EQ(PinHeader(key_), Expected(9)) << knob;
  }
}

TEST_F(PinTest, PinArgumentsAreCheckedBeforeTheCard) {
  const std::uint64_t verifies = vkey::Commands(key_, 0x00, 0x20);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_, nullptr, 8), -1000);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_, kPin, 0), -1000);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_, "12345678901234567", 17), -1000);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_, "", 1), -1000);
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_ + 1, kPin, 8), -1000) << "no such handle";
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0x20), verifies);
  EXPECT_EQ(PinHeader(key_), initial_);
  // Only `length` bytes are the PIN.
  EXPECT_EQ(api_.QX_VerifyPinUpDatePinInfoFile(card_, "12345678tail", 8), 0);
}

TEST_F(PinTest, ChangeKeepsTheRecordAsTheSkfFamilyDoes) {
  ASSERT_EQ(Verify(kWrong), 9);
  EXPECT_EQ(Change(ChangeBlock(kPin, "24681357")), 0);
  EXPECT_EQ(PinHeader(key_), Expected(kLimit, true)) << "changed, limit restored";
  EXPECT_EQ(Verify(kPin), 9) << "the old PIN is gone";
  EXPECT_EQ(Verify("24681357"), 0);
  EXPECT_EQ(Change(ChangeBlock(kWrong, "11112222")), 9);
  EXPECT_EQ(PinHeader(key_), Expected(9, true));
  EXPECT_EQ(Change(ChangeBlock("24681357", "1")), 0) << "the card alone judges a PIN's length";
}

TEST_F(PinTest, MalformedChangeBlocksSendNothing) {
  const std::vector<std::vector<std::uint8_t>> blocks = {
      {'1', '2', '3', '4'},                          // no separator
      ChangeBlock("", "12345678"),                   // no old PIN
      ChangeBlock("12345678", ""),                   // no new PIN
      ChangeBlock("12345678901234567", "12345678"),  // old PIN of 17
      ChangeBlock("12345678", "12345678901234567"),  // new PIN of 17
  };
  const std::uint64_t changes = vkey::Commands(key_, 0x80, 0x5E);
  for (const auto &block : blocks) EXPECT_EQ(Change(block), -1000);
  EXPECT_EQ(api_.QX_ChangePin(card_, 10, nullptr), -1000);
  EXPECT_EQ(api_.QX_ChangePin(card_, 0, blocks[0].data()), -1000);
  EXPECT_EQ(vkey::Commands(key_, 0x80, 0x5E), changes);
  EXPECT_EQ(PinHeader(key_), initial_);
}
