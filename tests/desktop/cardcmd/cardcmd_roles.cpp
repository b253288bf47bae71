#include "cardcmd_roles.h"

#include <cstring>
#include <memory>
#include <string>

#include "cardcmd_library.h"

namespace {

using keyshare::Round;
using keyshare::Worker;

constexpr char kPin[] = "12345678";
constexpr char kWrongPin[] = "87654321";
constexpr std::int32_t kPinTries = 10;  // of a provisioned key
constexpr std::int32_t kCertificates = 4;
constexpr std::uint16_t kSwOk = 0x9000;

// cardcmd.dll bound in this child; nullptr with `why` set when it is not.
std::shared_ptr<const CardCmd> Bound(std::string &why) {
  auto api = std::make_shared<CardCmd>();
  if (BindCardCmd(*api)) return api;
  why = "cardcmd.dll or one of its names is missing";
  return nullptr;
}

Round Import(const std::string &reader, std::string &why) {
  const auto api = Bound(why);
  if (!api) return {};
  return [api, reader](Worker &w) {
    char out[CARDCMD_OUT_BUFFER] = {};
    const std::int32_t count = api->QX_AddCertToIE(0, reader.c_str(), 0, 0, 0, 0, 0, out);
    if (count != kCertificates) {
      return w.Fail("QX_AddCertToIE counted " + std::to_string(count) + " certificates");
    }
    ++w.checked;
  };
}

Round Pins(const std::string &reader, std::string &why) {
  const auto api = Bound(why);
  if (!api) return {};
  const std::int32_t index = DeviceIndexOfReader(reader);
  const std::int32_t card = index < 0 ? 0 : api->QX_Open(index);
  if (card <= 0) return why = "QX_Open of device " + std::to_string(index), Round();
  const std::uint8_t app[] = {0xAD, 0x01};
  std::uint16_t mf = 0, selected = 0;
  if (api->Select_File(card, 0, 0, 0, nullptr, &mf) < 0 || mf != kSwOk ||
      api->Select_File(card, 1, 0, 2, app, &selected) < 0 || selected != kSwOk) {
    return why = "the application's selection", Round();
  }
  // Closed when the round goes.
  const std::shared_ptr<void> opened(nullptr, [api, card](void *) { api->QX_Close(card); });
  return [api, card, opened](Worker &w) {
    const std::int32_t wrong = api->QX_VerifyPinUpDatePinInfoFile(card, kWrongPin, 8);
    if (wrong <= 0 || wrong >= kPinTries) {
      w.Fail("wrong PIN answered " + std::to_string(wrong));
    }
    const std::int32_t right = api->QX_VerifyPinUpDatePinInfoFile(card, kPin, 8);
    if (right != 0) return w.Fail("right PIN answered " + std::to_string(right));
    ++w.checked;
  };
}

}  // namespace

std::vector<keyshare::Role> CardCmdRoles() {
  return {{"cardcmd import", Import}, {"cardcmd pins", Pins}};
}
