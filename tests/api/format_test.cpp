// SKF_FormatCard through the loaded tokencore: the key in the first listed reader formatted,
// read back raw and through the device information.
#include <cstdint>
#include <string>

#include "keysim_fixture.h"
#include "readerio.h"

namespace {

constexpr char kFactoryKey[] = "1234567812345678";  // the device key of a blank virtual key

class FormatCardTest : public VirtualKeyTest {
 protected:
  // The device directory as the card holds it, read raw.
  vkey::Bytes DeviceDirectory(const std::string &key) {
    vkey::RawCard card(key);
    if (!card.IsOpen() || !card.SelectPath({0xEF01})) return {};
    return card.ReadPrefixed().value_or(vkey::Bytes{});
  }
};

TEST_F(FormatCardTest, BlankKeyGetsTheEmptyLayout) {
  const std::string key = NewKey(false);
  char text[] = "0123456789abcdef";
  ASSERT_EQ(SKF(SKF_FormatCard)(text), SAR_OK);
  vkey::Bytes expected(1156, 0);
  expected[0] = 'V', expected[1] = 'A', expected[2] = 'R', expected[3] = 'N';
  EXPECT_EQ(DeviceDirectory(key), expected);

  DEVHANDLE device = Connect(key);
  DEVINFO info{};
  ASSERT_EQ(SKF(SKF_GetDevInfo)(device, &info), SAR_OK);
  EXPECT_STREQ(reinterpret_cast<const char *>(info.Label), "VARN");
}

TEST_F(FormatCardTest, KeyThatRefusesTheBuiltInKey) {
  const std::string key = NewKey(false);
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
  char wrong[] = "not the device key";
  EXPECT_EQ(SKF(SKF_FormatCard)(wrong), SAR_FAIL);
  EXPECT_TRUE(DeviceDirectory(key).empty()) << "nothing created";
  char factory[17];
  std::string(kFactoryKey).copy(factory, 16);
  factory[16] = 0;
  ASSERT_EQ(SKF(SKF_FormatCard)(factory), SAR_OK);
  EXPECT_EQ(DeviceDirectory(key).size(), 1156u);
}

// The key is opened for the format and closed again, whether the format worked or not:
// readerio hands out handles in sequence, and the one between two of the test's own is gone.
TEST_F(FormatCardTest, TheKeyIsClosedAfterAFormatThatWorkedOrFailed) {
  const std::string key = NewKey(false);
  const std::string reader = vkey::ReaderOf(key);
  for (const char *text : {"0123456789abcdef", "not the device key"}) {
    if (std::string(text) != "0123456789abcdef") {
      ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
    }
    QX_DEVHANDLE before = nullptr, after = nullptr;
    ASSERT_EQ(QX_OpenPath(reader.c_str(), &before), READERIO_SW_OK);
    ASSERT_EQ(QX_ClosePort(before), READERIO_SW_OK);
    std::string copy = text;
    const ULONG result = SKF(SKF_FormatCard)(copy.data());
    EXPECT_EQ(result, copy == "0123456789abcdef" ? SAR_OK : SAR_FAIL) << text;
    ASSERT_EQ(QX_OpenPath(reader.c_str(), &after), READERIO_SW_OK);
    ASSERT_EQ(QX_ClosePort(after), READERIO_SW_OK);
    const auto step =
        (reinterpret_cast<std::uintptr_t>(after) - reinterpret_cast<std::uintptr_t>(before)) / 2;
    ASSERT_GT(step, 0u);
    QX_DEVHANDLE formatted =
        reinterpret_cast<QX_DEVHANDLE>(reinterpret_cast<std::uintptr_t>(before) + step);
    EXPECT_EQ(QX_ClosePort(formatted), READERIO_SW_BAD_HANDLE) << text;
  }
}

TEST_F(FormatCardTest, NoKeyTextIsRefusedBeforeTheCard) {
  const std::string key = NewKey(false);
  const std::uint64_t before = vkey::Commands(key);
  EXPECT_EQ(SKF(SKF_FormatCard)(nullptr), SAR_INVALIDPARAMERR);
  EXPECT_EQ(vkey::Commands(key), before);
  EXPECT_TRUE(DeviceDirectory(key).empty()) << "nothing created";
}

TEST_F(FormatCardTest, NoReaderNoFormat) {
  char text[] = "0123456789abcdef";
  EXPECT_EQ(SKF(SKF_FormatCard)(text), SAR_FAIL);
}

}  // namespace
