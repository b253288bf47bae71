#include "cardcmd_fixture.h"

CardCmd CardCmdTest::api_;
bool CardCmdTest::bound_ = false;

void CardCmdTest::SetUpTestSuite() {
  if (!bound_) bound_ = BindCardCmd(api_);
}

void CardCmdTest::SetUp() {
  ASSERT_TRUE(bound_) << "cardcmd.dll or one of its seventeen names is missing";
  ASSERT_TRUE(vkey::Attach()) << "no keysimd";
}

void CardCmdTest::TearDown() {
  for (const std::int32_t card : opened_) api_.QX_Close(card);
}

std::string CardCmdTest::NewKey(bool provisioned, std::uint32_t serial) {
  const std::string key = vkey::CreateKey("cc", provisioned, serial);
  EXPECT_FALSE(key.empty());
  return key;
}

std::int32_t CardCmdTest::Open(std::int32_t index) {
  const std::int32_t card = api_.QX_Open(index);
  if (card > 0) opened_.push_back(card);
  return card;
}

std::int32_t CardCmdTest::OpenApplication(std::int32_t index) {
  const std::int32_t card = Open(index);
  if (card <= 0) return 0;
  std::uint8_t atr[80] = {};
  const std::uint8_t app[] = {0xAD, 0x01};
  std::uint16_t sw = 0;
  if (api_.QX_IC_RESET(card, atr) != 0 || api_.Select_File(card, 1, 0, 2, app, &sw) < 0 ||
      sw != kSwOk) {
    return 0;
  }
  return card;
}

vkey::Bytes CardCmdTest::PinHeader(const std::string &key) {
  vkey::RawCard card(key);
  if (!card.SelectPath({0xAD01, 0xEF01})) return {};
  const auto directory = card.ReadPrefixed();
  if (!directory || directory->size() < 28) return {};
  return vkey::Bytes(directory->begin(), directory->begin() + 28);
}

std::int32_t CardCmdTest::DeviceIndexOf(const std::string &key) {
  return DeviceIndexOfReader(vkey::ReaderOf(key));
}
