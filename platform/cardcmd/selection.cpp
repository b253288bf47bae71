#include "platform/cardcmd/selection.h"

#include <cstring>

#include "skf/card/commands.h"

namespace {

constexpr std::uint8_t kByMasterFile = 0x00;
constexpr std::uint8_t kChildDf = 0x01;
constexpr std::uint8_t kEfOfCurrentDf = 0x02;

}  // namespace

void AddSelect(Selection &selection, std::uint8_t p1, std::uint8_t p2,
               std::span<const std::uint8_t> data) {
  if (p1 == kByMasterFile) {
    selection.count = 0;
  } else if (p1 != kChildDf && p1 != kEfOfCurrentDf) {
    selection.count = -1;  // a form whose effect is not followed here
  }
  if (selection.count < 0) return;
  // An EF's DF stays current: a later EF replaces it, a child DF is that DF's.
  if (selection.count > 0 && selection.steps[selection.count - 1].p1 == kEfOfCurrentDf &&
      p1 != kByMasterFile) {
    --selection.count;
  }
  if (selection.count == kMaxSelectSteps || data.size() > kMaxSelectData) {
    selection.count = -1;
    return;
  }
  SelectStep &step = selection.steps[selection.count++];
  step = {p1, p2, static_cast<std::uint8_t>(data.size()), {}};
  if (!data.empty()) std::memcpy(step.data, data.data(), data.size());
}

int Reselect(DEVHANDLE device, const Selection &selection, std::uint16_t *sw) {
  for (int i = 0; i < selection.count; ++i) {
    const SelectStep &step = selection.steps[i];
    std::uint16_t status = 0;
    const int result = QX_Select(device, step.p1, step.p2, {step.data, step.lc}, &status);
    if (result < 0) return result;
    if (status != kSwOk) {
      *sw = status;
      return 1;
    }
  }
  return 0;
}
