#include "skf/card/command_layout.h"

#include <algorithm>

#include "skf/card/apdu.h"

namespace {

constexpr bool HasData(Form f) { return f != Form::kLe && f != Form::kExtLe; }
constexpr bool HasLe(Form f) { return f != Form::kData && f != Form::kExtData; }
constexpr bool IsExtended(Form f) {
  return f == Form::kExtLe || f == Form::kExtData || f == Form::kExtDataLe;
}

}  // namespace

int LayOutCommand(const Apdu &apdu, std::span<std::uint8_t> out) {
  const Command &c = apdu.command;
  const std::size_t n = apdu.data.size();
  const bool data = HasData(c.form);
  const bool le = HasLe(c.form);
  const bool extended = IsExtended(c.form);
  if (!data && n != 0) return -1;
  if (!extended && (n > kShortDataMax || apdu.le > kShortLeMax)) return -1;
  if (apdu.le > 0xFFFF) return -1;
  // Extended lengths start with one 00 byte: before Lc, or before Le when there is no data.
  const std::size_t lc_size = data ? (extended ? 3 : 1) : 0;
  const std::size_t le_size = le ? (extended ? (data ? 2 : 3) : 1) : 0;
  const std::size_t total = 4 + lc_size + (data ? n : 0) + le_size;
  if (total > out.size() || total > kCommandBufferSize) return -1;

  auto at = out.begin();
  *at++ = c.cla;
  *at++ = c.ins;
  *at++ = c.p1;
  *at++ = c.p2;
  if (data) {
    if (extended) {
      *at++ = 0x00;
      *at++ = static_cast<std::uint8_t>(n >> 8);
    }
    *at++ = static_cast<std::uint8_t>(n);
    at = c.reverse_data ? std::reverse_copy(apdu.data.begin(), apdu.data.end(), at)
                        : std::copy(apdu.data.begin(), apdu.data.end(), at);
  }
  if (le) {
    if (extended) {
      if (!data) *at++ = 0x00;
      *at++ = static_cast<std::uint8_t>(apdu.le >> 8);
    }
    *at++ = static_cast<std::uint8_t>(apdu.le);
  }
  return static_cast<int>(total);
}

int SendCommand(DEVHANDLE device, const Apdu &apdu, std::span<std::uint8_t> response,
                std::uint16_t *status) {
  std::uint8_t buffer[kCommandBufferSize];
  const int length = LayOutCommand(apdu, buffer);
  if (length < 0) return kApduFailed;
  const int result =
      QX_Application_Manager(device, {buffer, static_cast<std::size_t>(length)}, response, status);
  if (apdu.command.reverse_response && result >= 2 && response.data()) {
    std::reverse(response.begin(), response.begin() + result);
  }
  return result;
}
