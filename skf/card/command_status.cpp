#include "skf/card/command_status.h"

#include "skf/card/commands.h"

namespace {

constexpr std::uint8_t kSelectEf = 0x02;

}  // namespace

int SelectEfInDf(DEVHANDLE device, std::uint8_t low) {
  std::uint16_t sw = 0;
  const std::uint8_t id[] = {0x00, low};
  return CommandOk(QX_Select(device, kSelectEf, 0x00, id, &sw), sw) ? 0 : -1;
}
