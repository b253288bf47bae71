#include "examples/sar_text.h"

#include <cstdio>

namespace {

struct SarName {
  ULONG code;
  const char *name;
};

constexpr SarName kSarNames[] = {
    {SAR_OK, "SAR_OK"},
    {SAR_FAIL, "SAR_FAIL"},
    {SAR_NOTSUPPORTYETERR, "SAR_NOTSUPPORTYETERR"},
    {SAR_FILEERR, "SAR_FILEERR"},
    {SAR_INVALIDHANDLEERR, "SAR_INVALIDHANDLEERR"},
    {SAR_INVALIDPARAMERR, "SAR_INVALIDPARAMERR"},
    {SAR_NAMELENERR, "SAR_NAMELENERR"},
    {SAR_MODULUSLENERR, "SAR_MODULUSLENERR"},
    {SAR_INDATALENERR, "SAR_INDATALENERR"},
    {SAR_RSAMODULUSLENERR, "SAR_RSAMODULUSLENERR"},
    {SAR_BUFFER_TOO_SMALL, "SAR_BUFFER_TOO_SMALL"},
    {SAR_PIN_INCORRECT, "SAR_PIN_INCORRECT"},
    {SAR_PIN_LOCKED, "SAR_PIN_LOCKED"},
    {SAR_PIN_INVALID, "SAR_PIN_INVALID"},
    {SAR_PIN_LEN_RANGE, "SAR_PIN_LEN_RANGE"},
    {SAR_USER_TYPE_INVALID, "SAR_USER_TYPE_INVALID"},
    {SAR_APPLICATION_NAME_INVALID, "SAR_APPLICATION_NAME_INVALID"},
    {SAR_APPLICATION_EXISTS, "SAR_APPLICATION_EXISTS"},
    {SAR_USER_NOT_LOGGED_IN, "SAR_USER_NOT_LOGGED_IN"},
    {SAR_APPLICATION_NOT_EXISTS, "SAR_APPLICATION_NOT_EXISTS"},
    {SAR_FILE_ALREADY_EXIST, "SAR_FILE_ALREADY_EXIST"},
    {SAR_NO_ROOM, "SAR_NO_ROOM"},
    {SAR_FILE_NOT_EXIST, "SAR_FILE_NOT_EXIST"},
};

}  // namespace

std::string SarText(ULONG code) {
  for (const SarName &entry : kSarNames) {
    if (entry.code == code) return entry.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}
