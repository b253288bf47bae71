// The card access layer against the virtual key, through the real readerio beside the program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "daemon_harness.h"
#include "skf/card/apdu.h"
#include "skf/card/auth.h"
#include "skf/card/binding.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/files.h"

namespace {

using keysim::proto::Op;
using Bytes = std::vector<std::uint8_t>;

class VirtualKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(riotest::shared_daemon(daemon_)) << "no keysimd";
    riotest::set_addr_env(daemon_.addr);
  }
  void TearDown() override {
    if (device_) QX_Close(device_);
  }

  // A new blank key, opened by its reader name.
  std::string NewKey(std::uint32_t serial) {
    const std::string name = riotest::fresh_key_name("card");
    EXPECT_EQ(riotest::control(daemon_.addr, Op::create, {name}, &serial), 0);
    return name;
  }
  void Open(const std::string &key) {
    device_ = QX_OpenByPath(riotest::reader_of(key).c_str());
    ASSERT_NE(device_, nullptr);
  }
  void Knob(const std::string &key, const char *knob, const char *value) {
    ASSERT_EQ(riotest::control(daemon_.addr, Op::knob, {key, knob, value}), 0) << knob;
  }
  bool Sw(int result, std::uint16_t sw) { return result >= 0 && sw == kSwOk; }

  riotest::Daemon daemon_;
  DEVHANDLE device_ = nullptr;
};

TEST_F(VirtualKeyTest, ListsOpensAndReadsTheSerial) {
  const std::string a = NewKey(12345678);
  const std::string b = NewKey(4294967295u);
  char names[kReaderListSize];
  std::uint32_t length = 0;
  ASSERT_EQ(QX_EnumReaderNames(0, names, &length), 0);
  const std::string list(names, length);
  EXPECT_NE(list.find(riotest::reader_of(a) + '\0'), std::string::npos);
  EXPECT_NE(list.find(riotest::reader_of(b) + '\0'), std::string::npos);
  EXPECT_EQ(list.back(), '\0');

  for (const auto &[key, serial] : {std::pair{a, "12345678"}, std::pair{b, "94967295"}}) {
    Open(key);
    char text[kSerialTextSize] = {};
    ASSERT_EQ(QX_GET_BCDSN(device_, text), 0);
    EXPECT_STREQ(text, serial);
    std::uint8_t atr[kAtrSize] = {};
    EXPECT_EQ(QX_ResetCardAtr(device_, atr), 0);
    EXPECT_NE(atr[0], 0);
    QX_Close(device_);
    device_ = nullptr;
  }
  EXPECT_EQ(QX_OpenByPath("KeySim no-such-key"), nullptr);
}

TEST_F(VirtualKeyTest, BuiltinKeyAndFormatKeyAuthenticate) {
  const std::string key = NewKey(1);
  Open(key);
  ASSERT_EQ(QX_AuthDir(device_), 0);
  // Install a device authentication key (the MF's key 01 00), then refuse the built-in key.
  const char *text = "0123456789ABCDEF";
  Bytes data = {0x00, 0x00, 0x00};
  data.insert(data.end(), text, text + 16);
  std::uint16_t sw = 0;
  const int written = QX_WriteKey(device_, 0x80, 0x01, 0x00, data, &sw);
  ASSERT_TRUE(Sw(written, sw)) << std::hex << sw;
  Knob(key, "builtin_key", "off");
  EXPECT_EQ(QX_AuthDir(device_), -1);
  EXPECT_EQ(QX_FormatAuth(device_, "0123456789ABCDEF and more"), 0);
  EXPECT_EQ(QX_FormatAuth(device_, "0123456789ABCDEX"), -1);
}

TEST_F(VirtualKeyTest, FilesRoundTrip) {
  const std::string key = NewKey(2);
  Open(key);
  ASSERT_EQ(QX_AuthDir(device_), 0);
  const Bytes descriptor = {0xEF, 0x01, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::uint16_t sw = 0;
  const int created = QX_CreateFile(device_, 0x03, descriptor, &sw);
  ASSERT_TRUE(Sw(created, sw)) << std::hex << sw;
  const int selected = QX_Select(device_, 0x02, 0x00, Bytes{0xEF, 0x01}, &sw);
  ASSERT_TRUE(Sw(selected, sw)) << std::hex << sw;

  std::uint32_t length = 0;
  EXPECT_EQ(QX_ReadBinaryFile(device_, {}, &length), -1) << "a new EF reads FF FF";
  Bytes data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(QX_WriteBinaryFile(device_, data), 0);
  for (const char *chaining : {"off", "on"}) {
    Knob(key, "chaining", chaining);
    Bytes back(512, 0);
    ASSERT_EQ(QX_ReadBinaryFile(device_, back, &length), 0) << chaining;
    EXPECT_EQ(length, 300u);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 300), data) << chaining;
  }

  // A data file beside it.
  ASSERT_EQ(QX_Select(device_, 0x00, 0x00, {}, &sw), 0);
  ASSERT_EQ(QX_CreateDataFile(device_, 3, 1088), 0);
  int count = 0;
  ASSERT_EQ(QX_WriteDataFile(device_, 3, 10, {data.data(), 200}, &count), 0);
  EXPECT_EQ(count, 200);
  Bytes back(200);
  ASSERT_EQ(QX_ReadDataFile(device_, 3, 10, back, &count), 0);
  EXPECT_EQ(back, Bytes(data.begin(), data.begin() + 200));
  EXPECT_EQ(QX_ReadDataFile(device_, 4, 0, back, &count), -1);  // not created
  EXPECT_EQ(count, 0);

  ASSERT_EQ(QX_Select(device_, 0x00, 0x00, {}, &sw), 0);
  EXPECT_EQ(QX_DeleteDataFile(device_, 3), 0);
  EXPECT_EQ(QX_DeleteDataFile(device_, 3), 0) << "a missing file counts as deleted";
  Knob(key, "delete_6d00", "on");
  EXPECT_EQ(QX_DeleteDataFile(device_, 3), 1);
}

TEST_F(VirtualKeyTest, ReaderFailureReachesTheCaller) {
  const std::string key = NewKey(3);
  Open(key);
  Knob(key, "fault_reader", "1");
  std::uint16_t sw = 0x1234;
  std::uint8_t challenge[8];
  EXPECT_EQ(QX_GetChallenge(device_, 8, challenge, &sw), kApduFailed);
  EXPECT_EQ(sw, 0x1234);
  EXPECT_EQ(QX_GetChallenge(device_, 8, challenge, &sw), 8);
  EXPECT_EQ(sw, kSwOk);
}

}  // namespace
