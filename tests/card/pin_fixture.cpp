#include "pin_fixture.h"

#include <cstdio>

#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/files.h"
#include "skf/card/format.h"

using keysim::proto::Op;

namespace {

std::uint32_t next_serial = 70000001;

}  // namespace

void PinKeyTest::SetUp() {
  ASSERT_TRUE(riotest::shared_daemon(daemon_)) << "no keysimd";
  riotest::set_addr_env(daemon_.addr);
}

void PinKeyTest::TearDown() {
  if (device_) QX_Close(device_);
}

void PinKeyTest::NewKey() {
  key_ = riotest::fresh_key_name("pin");
  const std::uint32_t serial = next_serial++;
  ASSERT_EQ(riotest::control(daemon_.addr, Op::create, {key_}, &serial), 0);
  device_ = QX_OpenByPath(riotest::reader_of(key_).c_str());
  ASSERT_NE(device_, nullptr);
}

void PinKeyTest::Knob(const char *knob, const std::string &value) {
  ASSERT_EQ(riotest::control(daemon_.addr, Op::knob, {key_, knob, value}), 0) << knob;
}

void PinKeyTest::FailCommand(int n, std::uint16_t sw) {
  char value[16];
  std::snprintf(value, sizeof value, "%d:%04X", n, sw);
  Knob("fault_sw", value);
}

void PinKeyTest::FormatWithApplication() {
  NewKey();
  ASSERT_EQ(QX_FormatCard(device_, kDeviceKey), 0);
  ASSERT_TRUE(SelectPath({}));
  ASSERT_EQ(
      QX_CreateApplicationDf(device_, 0xAD01, kAdminPin, kAdminRetries, kUserPin, kUserRetries), 0);
  ASSERT_TRUE(SelectPath({{0x01, 0xAD01}}));
}

bool PinKeyTest::SelectPath(std::initializer_list<std::pair<std::uint8_t, std::uint16_t>> steps) {
  std::uint16_t sw = 0;
  QX_Select(device_, 0x00, 0x00, {}, &sw);
  for (const auto &[p1, id] : steps) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(id >> 8),
                                  static_cast<std::uint8_t>(id)};
    if (QX_Select(device_, p1, 0x00, bytes, &sw) < 0 || sw != kSwOk) return false;
  }
  return true;
}

std::vector<std::uint8_t> PinKeyTest::ReadDirectoryFile(std::uint16_t df, std::uint16_t ef,
                                                        std::uint32_t *length) {
  *length = 0;
  const bool selected = df ? SelectPath({{0x01, df}, {0x02, ef}}) : SelectPath({{0x02, ef}});
  if (!selected) return {};
  std::vector<std::uint8_t> image(4096, 0);
  if (QX_ReadBinaryFile(device_, image, length) != 0) return {};
  image.resize(*length);
  return image;
}
